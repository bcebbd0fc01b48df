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
// from the one below the root of the drive or share down, into made.
static DWORD MakeFoldersAbove(const std::wstring& path, std::vector<std::wstring>& made) {
    const std::vector<std::wstring> folders = FoldersUpToRoot(path);
    for (std::size_t i = folders.size(); i-- > 1;) {
        const std::wstring& folder = folders[i - 1];
        if (CreateDirectoryW(folder.c_str(), nullptr)) {
            made.push_back(folder);
        } else if (GetLastError() != ERROR_ALREADY_EXISTS) {
            return GetLastError();
        }
    }
    return NO_ERROR;
}

bool RemoveMadeFolders(const std::vector<std::wstring>& made) {
    for (auto folder = made.rbegin(); folder != made.rend(); ++folder) {
        // What keeps a folder keeps the ones above it too.
        if (!RemoveDirectoryW(folder->c_str())) return folder != made.rbegin();
    }
    return true;
}

DWORD MakeLogFolder(const std::wstring& path, const std::wstring& accountSid,
                    const std::wstring& serviceSid, std::vector<std::wstring>& made) {
    made.clear();
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? NO_ERROR : ERROR_DIRECTORY;
    }
    DWORD error = MakeFoldersAbove(path, made);
    if (error == NO_ERROR) error = MakeFolderWithLogAccess(path, accountSid, serviceSid);
    if (error != NO_ERROR) {
        RemoveMadeFolders(made);
        made.clear();
        return error;
    }
    made.push_back(path);
    return NO_ERROR;
}
