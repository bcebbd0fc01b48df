// The log folder on disk, made with its access list: by the setup program
// at install, and by the launcher when it is missing at a start. Windows only.
#pragma once

#include <string>

#include "platform/platform.h"

// Makes the folder if it is missing, with the log folder's access list for
// the launcher's own account (the service's): never with the access it would
// inherit, which under %ProgramData% lets every user add files and plant
// links the launcher would write through. The folder above it must be there.
// Gives NO_ERROR or the error; a folder the list cannot be made for is not made.
DWORD MakeOwnLogFolder(const std::wstring& path);

// Makes the one folder with the log folder's access list for accountSid,
// and serviceSid when given (see LogFolderAccessList; the folder above must
// be there). Gives NO_ERROR or the error, which is ERROR_ALREADY_EXISTS when
// something is there by that name.
DWORD MakeFolderWithLogAccess(const std::wstring& path, const std::wstring& accountSid,
                              const std::wstring& serviceSid);
