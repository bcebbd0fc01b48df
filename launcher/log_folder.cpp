#include "launcher/log_folder.h"

#include <algorithm>
#include <vector>

#include "launcher/log_folder_access.h"

// The account the launcher runs with, the service's, as a SID string
// ("S-1-5-18" for LocalSystem, "S-1-5-80-..." for a service's own account).
static DWORD ProcessAccountSid(std::wstring& sid) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return GetLastError();
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);  // fails, giving the size
    std::vector<unsigned char> user(std::max<DWORD>(size, sizeof(TOKEN_USER)));
    const BOOL read = GetTokenInformation(token, TokenUser, user.data(), static_cast<DWORD>(user.size()), &size);
    const DWORD error = read ? NO_ERROR : GetLastError();
    CloseHandle(token);
    if (error != NO_ERROR) return error;
    wchar_t* text = nullptr;
    if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &text)) return GetLastError();
    sid = text;
    LocalFree(text);
    return NO_ERROR;
}

DWORD MakeFolderWithLogAccess(const std::wstring& path, const std::wstring& accountSid) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const std::wstring sddl = AccessListSddl(LogFolderAccessList(accountSid));
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor,
                                                              /*SecurityDescriptorSize=*/nullptr)) {
        return GetLastError();
    }
    SECURITY_ATTRIBUTES security{sizeof(security), descriptor, /*bInheritHandle=*/FALSE};
    const DWORD error = CreateDirectoryW(path.c_str(), &security) ? NO_ERROR : GetLastError();
    LocalFree(descriptor);
    return error;
}

DWORD MakeOwnLogFolder(const std::wstring& path) {
    // Most starts find the folder: no token to read for them.
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return NO_ERROR;
    std::wstring account;
    DWORD error = ProcessAccountSid(account);
    if (error == NO_ERROR) error = MakeFolderWithLogAccess(path, account);
    return error == ERROR_ALREADY_EXISTS ? NO_ERROR : error;  // made meanwhile by another
}
