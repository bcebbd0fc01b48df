#include "setup/manager/log_folder.h"

#include "launcher/log_folder.h"
#include "setup/audit/access_review.h"

std::wstring ProgramDataFolder() {
    wchar_t folder[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"ProgramData", folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return L"C:\\ProgramData";
    return folder;
}

// Each missing folder above the log folder, as the platform makes them,
// from the one below the root of the drive or share down.
static DWORD MakeFoldersAbove(const std::wstring& path) {
    const std::vector<std::wstring> folders = FoldersUpToRoot(path);
    for (std::size_t i = folders.size(); i-- > 1;) {
        const std::wstring& folder = folders[i - 1];
        if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
            return GetLastError();
        }
    }
    return NO_ERROR;
}

DWORD MakeLogFolder(const std::wstring& path, const std::wstring& accountSid,
                    const std::wstring& serviceSid, bool& created) {
    created = false;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? NO_ERROR : ERROR_DIRECTORY;
    }
    DWORD error = MakeFoldersAbove(path);
    if (error != NO_ERROR) return error;
    error = MakeFolderWithLogAccess(path, accountSid, serviceSid);
    created = error == NO_ERROR;
    return error;
}
