#include "setup/files.h"

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

DWORD SearchProgram(const std::wstring& name, std::wstring& fullPath) {
    std::wstring found(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = SearchPathW(/*lpPath=*/nullptr, name.c_str(), L".exe",
                                   static_cast<DWORD>(found.size()), &found[0],
                                   /*lpFilePart=*/nullptr);
        if (length == 0) {
            DWORD error = GetLastError();
            return error != NO_ERROR ? error : ERROR_FILE_NOT_FOUND;
        }
        if (length < found.size()) {
            found.resize(length);
            break;
        }
        found.resize(length);  // the size needed, with its terminating null
    }
    fullPath = found;
    return NO_ERROR;
}
