// An account looked up by name in the local security policy, for judging
// (see account_lookup.h) before anything is written. Windows only.
#pragma once

#include <string>

#include "setup/model/account_lookup.h"

// LookupAccountNameW on this computer: the kind of the account and its SID
// as text, or the error (ERROR_NONE_MAPPED for a name of no account).
AccountLookup LookUpAccountName(const std::wstring& name);
