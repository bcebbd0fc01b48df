#include "launcher/log_folder.h"

#include <vector>

#include "launcher/log_folder_access.h"

// One of the token's records, in bytes; empty when it cannot be read.
static std::vector<unsigned char> TokenRecord(HANDLE token, TOKEN_INFORMATION_CLASS what) {
    DWORD size = 0;
    GetTokenInformation(token, what, nullptr, 0, &size);  // fails, giving the size
    std::vector<unsigned char> record(size);
    if (size == 0 || !GetTokenInformation(token, what, record.data(), size, &size)) record.clear();
    return record;
}

static std::wstring SidText(PSID sid) {
    wchar_t* text = nullptr;
    if (!ConvertSidToStringSidW(sid, &text)) return L"";
    const std::wstring copy = text;
    LocalFree(text);
    return copy;
}

// The account the launcher runs with, the service's, as a SID string
// ("S-1-5-18" for LocalSystem, "S-1-5-80-..." for a service's own account),
// and, when its token is write-restricted (the service's SID type is
// restricted), the service's own SID among those that restrict it.
static DWORD ProcessSids(std::wstring& account, std::wstring& service) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return GetLastError();
    const std::vector<unsigned char> user = TokenRecord(token, TokenUser);
    const std::vector<unsigned char> restricting =
        IsTokenRestricted(token) ? TokenRecord(token, TokenRestrictedSids) : std::vector<unsigned char>();
    CloseHandle(token);
    if (user.empty()) return ERROR_INVALID_DATA;
    account = SidText(reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid);
    if (account.empty()) return GetLastError();
    if (restricting.empty()) return NO_ERROR;
    const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(restricting.data());
    for (DWORD i = 0; i < groups->GroupCount; ++i) {
        const std::wstring sid = SidText(groups->Groups[i].Sid);
        if (sid.compare(0, 9, L"S-1-5-80-") == 0) service = sid;
    }
    return NO_ERROR;
}

DWORD MakeFolderWithLogAccess(const std::wstring& path, const std::wstring& accountSid,
                              const std::wstring& serviceSid) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const std::wstring sddl = AccessListSddl(LogFolderAccessList(accountSid, serviceSid));
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
    // Most starts find the folder: no token to read for them. A file of its
    // name fails the start, as a folder that cannot be made does: no line of
    // the log could ever be written, not even the one that counts the loss.
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? NO_ERROR : ERROR_DIRECTORY;
    std::wstring account, service;
    DWORD error = ProcessSids(account, service);
    if (error == NO_ERROR) error = MakeFolderWithLogAccess(path, account, service);
    return error == ERROR_ALREADY_EXISTS ? NO_ERROR : error;  // made meanwhile by another
}
