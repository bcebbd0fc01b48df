#include "setup/files.h"

#include <cwchar>

#include "setup/model/environment_references.h"
#include "setup/system_variables.h"

DWORD CheckFile(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD error = GetLastError();
        return error != NO_ERROR ? error : ERROR_FILE_NOT_FOUND;
    }
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? ERROR_DIRECTORY : NO_ERROR;
}

bool FileExists(const std::wstring& path) {
    return CheckFile(path) == NO_ERROR;
}

static bool IdentityOf(const std::wstring& path, BY_HANDLE_FILE_INFORMATION& info) {
    HANDLE handle = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                /*lpSecurityAttributes=*/nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, /*hTemplateFile=*/nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const bool read = GetFileInformationByHandle(handle, &info) != FALSE;
    CloseHandle(handle);
    return read;
}

bool SameFileOnDisk(const std::wstring& a, const std::wstring& b) {
    BY_HANDLE_FILE_INFORMATION first = {}, second = {};
    // Some network file systems give every file the index 0: no identity.
    return IdentityOf(a, first) && IdentityOf(b, second) &&
           (first.nFileIndexHigh | first.nFileIndexLow) != 0 &&
           first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh &&
           first.nFileIndexLow == second.nFileIndexLow;
}

std::wstring OwnFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD length =
            GetModuleFileNameW(/*hModule=*/nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (length == 0) return L"";
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);  // cut short: try a larger buffer
    }
    std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? L"" : path.substr(0, slash);
}

// A folder the platform gives by filling a buffer of MAX_PATH.
static std::wstring Folder(UINT (WINAPI* get)(LPWSTR, UINT)) {
    wchar_t path[MAX_PATH + 1] = {};
    const UINT length = get(path, MAX_PATH + 1);
    return length > 0 && length <= MAX_PATH ? std::wstring(path, length) : L"";
}

// The machine's PATH, the one services get, rather than this program's own,
// which holds the installing person's folders too.
static std::wstring MachinePath() {
    DWORD size = 0;
    const wchar_t* key = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
    const DWORD kinds = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, key, L"Path", kinds, nullptr, nullptr, &size) !=
        ERROR_SUCCESS) {
        return L"";
    }
    std::wstring path(size / sizeof(wchar_t) + 1, L'\0');
    if (RegGetValueW(HKEY_LOCAL_MACHINE, key, L"Path", kinds, nullptr, &path[0], &size) !=
        ERROR_SUCCESS) {
        return L"";
    }
    path.resize(wcsnlen(path.c_str(), path.size()));
    return ExpandReferences(path, SystemVariables()).text;
}

std::vector<SearchFolder> ServiceSearchFoldersFor(const std::wstring& wrapperPath) {
    return ServiceSearchFolders(wrapperPath, Folder(GetSystemDirectoryW),
                                Folder(GetWindowsDirectoryW), MachinePath());
}
