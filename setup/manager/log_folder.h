// The service's log folder on disk: where it is by default, and made with
// the access list that lets only SYSTEM, the administrators and the
// service's own account in. Windows only.
#pragma once

#include <string>

#include "platform/platform.h"

// %ProgramData% as this machine names it (C:\ProgramData when unset).
std::wstring ProgramDataFolder();

// Makes the folder if it is missing: the folders above it as the platform
// makes them, the folder itself with LogFolderAccessList(accountSid,
// serviceSid), serviceSid empty unless the service's SID type is restricted.
// created says whether it was made now. Gives NO_ERROR or the error.
DWORD MakeLogFolder(const std::wstring& path, const std::wstring& accountSid,
                    const std::wstring& serviceSid, bool& created);
