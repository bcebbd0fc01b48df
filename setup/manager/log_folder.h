// The service's log folder on disk: where it is by default, and made with
// the access list that lets only SYSTEM, the administrators and the
// service's own account in. Windows only.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

// %ProgramData% as this machine names it (C:\ProgramData when unset).
std::wstring ProgramDataFolder();

// Makes the folder if it is missing: the folders above it with an access
// list of their own (users may read them, services may add folders, only
// SYSTEM and the administrators may do more), the folder itself with
// LogFolderAccessList(accountSid,
// serviceSid), serviceSid empty unless the service's SID type is restricted.
// made: the folders made now, from the top down, the folder itself last.
// Gives NO_ERROR or the error, and then has made nothing that stays.
DWORD MakeLogFolder(const std::wstring& path, const std::wstring& accountSid,
                    const std::wstring& serviceSid, std::vector<std::wstring>& made);

// Removes folders MakeLogFolder made, from the bottom up, each only if it is
// empty. Gives whether the last one made (the log folder) went; when not,
// GetLastError says why.
bool RemoveMadeFolders(const std::vector<std::wstring>& made);
