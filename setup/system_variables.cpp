#include "setup/system_variables.h"

#include <cwchar>

#include "platform/platform.h"

typedef BOOL(WINAPI* CreateBlock)(LPVOID*, HANDLE, BOOL);
typedef BOOL(WINAPI* DestroyBlock)(LPVOID);

static std::vector<std::wstring> Entries(const wchar_t* block) {
    std::vector<std::wstring> entries;
    for (const wchar_t* entry = block; *entry; entry += wcslen(entry) + 1) {
        entries.push_back(entry);
    }
    return entries;
}

static std::vector<std::wstring> OwnVariables() {
    LPWCH block = GetEnvironmentStringsW();
    if (!block) return {};
    std::vector<std::wstring> entries = Entries(block);
    FreeEnvironmentStringsW(block);
    return entries;
}

// userenv.dll is on every Windows but is loaded only here, from the system
// folder by its full path, so that the program imports nothing more.
std::vector<std::wstring> SystemVariables() {
    wchar_t folder[MAX_PATH + 1] = {};
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH) return OwnVariables();
    HMODULE userenv = LoadLibraryW((std::wstring(folder, length) + L"\\userenv.dll").c_str());
    if (!userenv) return OwnVariables();
    const auto create = reinterpret_cast<CreateBlock>(
        reinterpret_cast<void*>(GetProcAddress(userenv, "CreateEnvironmentBlock")));
    const auto destroy = reinterpret_cast<DestroyBlock>(
        reinterpret_cast<void*>(GetProcAddress(userenv, "DestroyEnvironmentBlock")));
    LPVOID block = nullptr;
    if (!create || !destroy || !create(&block, /*hToken=*/nullptr, /*bInherit=*/FALSE)) {
        FreeLibrary(userenv);
        return OwnVariables();
    }
    std::vector<std::wstring> entries = Entries(static_cast<const wchar_t*>(block));
    destroy(block);
    FreeLibrary(userenv);
    return entries;
}
