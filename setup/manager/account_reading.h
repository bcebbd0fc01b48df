// An account looked up by name in the local security policy, for judging
// (see account_lookup.h) before anything is written.
#pragma once

#include <string>

#include "setup/model/account_lookup.h"

// LookupAccountNameW on this computer: the kind of the account and its SID
// as text, or the error (ERROR_NONE_MAPPED for a name of no account).
AccountLookup LookUpAccountName(const std::wstring& name);

// This computer's name, or "." where it cannot be had.
std::wstring ComputerName();

// The account's SID in its string form: derived from the name where the
// name decides it, else looked up as a service's account is (.\name by the
// computer's name). Gives NO_ERROR or the platform's error.
DWORD AccountSidOf(const std::wstring& account, std::wstring& sid);
