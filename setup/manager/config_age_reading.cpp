// The two times that tell whether a running service has its configuration:
// the service key's last write, and its process's start, read from the
// system's process list (which Wine fills; its GetProcessTimes of another
// process gives the caller's own times).
#include <winternl.h>

#include <vector>

#include "setup/manager/config_age_reading.h"

static std::optional<ULONGLONG> KeyWrittenAt(const std::wstring& name) {
    HKEY key = nullptr;
    const std::wstring path = L"SYSTEM\\CurrentControlSet\\Services\\" + name;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    FILETIME written = {};
    const LONG result = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                         nullptr, nullptr, nullptr, nullptr, &written);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) return std::nullopt;
    return (ULONGLONG(written.dwHighDateTime) << 32) | written.dwLowDateTime;
}

typedef NTSTATUS(NTAPI* QuerySystemInformation)(ULONG, PVOID, ULONG, PULONG);

static std::optional<ULONGLONG> ProcessStartedAt(DWORD pid) {
    const auto query = reinterpret_cast<QuerySystemInformation>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (!query) return std::nullopt;
    std::vector<BYTE> buffer(256 * 1024);
    for (int attempt = 0; attempt < 4; ++attempt) {
        ULONG needed = 0;
        const NTSTATUS status = query(SystemProcessInformation, buffer.data(),
                                      static_cast<ULONG>(buffer.size()), &needed);
        if (status >= 0) break;
        if (attempt == 3) return std::nullopt;
        buffer.resize(buffer.size() * 2 + needed);  // processes came meanwhile
    }
    for (std::size_t at = 0;;) {
        const auto* entry = reinterpret_cast<const SYSTEM_PROCESS_INFORMATION*>(&buffer[at]);
        if (reinterpret_cast<ULONG_PTR>(entry->UniqueProcessId) == pid) {
            return static_cast<ULONGLONG>(entry->CreateTime.QuadPart);
        }
        if (entry->NextEntryOffset == 0) return std::nullopt;
        at += entry->NextEntryOffset;
    }
}

std::optional<bool> ReadChangedSinceStart(const std::wstring& name,
                                          const SERVICE_STATUS_PROCESS& status) {
    if (status.dwCurrentState == SERVICE_STOPPED || status.dwProcessId == 0) return std::nullopt;
    return ChangedSinceStart(status, KeyWrittenAt(name), ProcessStartedAt(status.dwProcessId));
}
