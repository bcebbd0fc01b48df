#include "setup/manager/log_folder.h"

#include "launcher/log_folder.h"
#include "setup/audit/access_review.h"

std::wstring ProgramDataFolder() {
    wchar_t folder[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"ProgramData", folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return L"C:\\ProgramData";
    return folder;
}

// What a folder made above a log folder lets others do. Not what it would
// inherit: under C:\ProgramData that lets every user add folders, and so make
// a log folder that is missing at a start (deleted to clear it) before the
// launcher does, as a folder of their own or a link that the launcher would
// write through with the service's account. The launcher makes it for any
// service account, so whoever runs as a service (SERVICE) may add folders;
// the machine's users may read.
static const wchar_t kFolderAboveSddl[] =
    L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;;0x1200AD;;;SU)(A;OICI;0x1200A9;;;BU)";

// Each missing folder above the log folder, from the one below the root of
// the drive or share down, into made.
static DWORD MakeFoldersAbove(const std::wstring& path, std::vector<std::wstring>& made) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kFolderAboveSddl, SDDL_REVISION_1,
                                                              &descriptor, /*size=*/nullptr)) {
        return GetLastError();
    }
    SECURITY_ATTRIBUTES security{sizeof(security), descriptor, /*bInheritHandle=*/FALSE};
    const std::vector<std::wstring> folders = FoldersUpToRoot(path);
    DWORD error = NO_ERROR;
    for (std::size_t i = folders.size(); i-- > 1 && error == NO_ERROR;) {
        const std::wstring& folder = folders[i - 1];
        if (CreateDirectoryW(folder.c_str(), &security)) {
            made.push_back(folder);
        } else if (GetLastError() != ERROR_ALREADY_EXISTS) {
            error = GetLastError();
        }
    }
    LocalFree(descriptor);
    return error;
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
