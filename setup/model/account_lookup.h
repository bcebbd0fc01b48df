// A user account named with --account, judged by what the system's lookup
// of its name said: a user runs the service; the system's own accounts are
// written by the names the manager takes for them; a group, an alias or a
// name that is no account is refused before anything is written.
#pragma once

#include <string>

#include "platform/platform.h"

// What LookupAccountNameW gave: NO_ERROR and the kind of the SID (the
// value of SID_NAME_USE: 1 a user, 2 a group, 4 an alias, 5 a well-known
// group, ...) and the SID as text; or the error.
struct AccountLookup {
    DWORD error;
    int sidNameUse;
    std::wstring sid;
};

constexpr int kSidTypeUser = 1;  // SidTypeUser

// The name to look up: the lookup takes the computer's name where a
// service's account names it ".".
std::wstring NameToLookUp(const std::wstring& account, const std::wstring& computerName);

// The account to write in place of the one given (the system's accounts,
// SYSTEM however spelt, as LocalSystem, LocalService and NetworkService),
// or the one given. Gives why it is refused, or empty.
std::wstring JudgeLookedUpAccount(const std::wstring& given, const AccountLookup& lookup,
                                  std::wstring& account);
