// The right to log on as a service (SeServiceLogonRight), which a user
// account needs before a service can start under it: read and given
// through the local security policy. Windows only; the service store takes
// it as its LogonRightGrant, so that its tests can pass their own.
#pragma once

#include <string>

#include "platform/platform.h"

// Looks the account up (.\user as the computer's own account), and gives it
// the right where the policy says it lacks it. NO_ERROR, with granted true
// when it was given now; else the error (ERROR_NONE_MAPPED for an account
// that does not exist, ERROR_ACCESS_DENIED without an administrator's rights).
DWORD GrantServiceLogonRight(const std::wstring& account, bool& granted);
