// Reading a service object's security, which the permission audit judges.
// Windows only: the simulated manager keeps none.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

// The service's security descriptor with its access list
// (QueryServiceObjectSecurity through a READ_CONTROL handle). Gives
// NO_ERROR or the platform's error.
DWORD ReadServiceSecurity(const std::wstring& name, std::vector<BYTE>& descriptor);
