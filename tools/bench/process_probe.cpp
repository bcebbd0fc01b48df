#include "tools/bench/process_probe.h"

#include <psapi.h>
#include <tlhelp32.h>
#include <winternl.h>

constexpr NTSTATUS kInfoLengthMismatch = NTSTATUS(0xC0000004);

static ULONGLONG Ticks(const FILETIME& time) {
    return (ULONGLONG(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

static bool ReadThreads(DWORD pid, Footprint& footprint) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return false;
    bool read = true;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != pid) continue;
        ++footprint.threads;
        HANDLE thread = OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ThreadID);
        // A thread that ended since the snapshot has no time left to add.
        if (!thread) continue;
        FILETIME created, exited, kernel, user;
        if (GetThreadTimes(thread, &created, &exited, &kernel, &user)) {
            footprint.cpu100ns += Ticks(kernel) + Ticks(user);
        } else {
            read = false;
        }
        CloseHandle(thread);
    }
    CloseHandle(snapshot);
    return read && footprint.threads > 0;
}

static bool CountHandles(DWORD pid, Footprint& footprint) {
    std::vector<BYTE> buffer(256 * 1024);
    NTSTATUS status;
    for (;;) {
        ULONG needed = 0;
        status = NtQuerySystemInformation(SystemHandleInformation, buffer.data(),
                                          ULONG(buffer.size()), &needed);
        if (status != kInfoLengthMismatch) break;
        buffer.resize(needed > buffer.size() ? needed + 4096 : buffer.size() * 2);
    }
    if (!NT_SUCCESS(status)) return false;
    const auto* list = reinterpret_cast<const SYSTEM_HANDLE_INFORMATION*>(buffer.data());
    for (ULONG i = 0; i < list->Count; ++i) {
        if (list->Handle[i].OwnerPid == pid) ++footprint.handles;
    }
    return true;
}

static bool ReadMemory(DWORD pid, Footprint& footprint) {
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (!process) return false;
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    bool read = GetProcessMemoryInfo(process, &counters, sizeof(counters));
    CloseHandle(process);
    if (!read) return false;
    footprint.workingSetBytes = counters.WorkingSetSize;
    footprint.pagefileBytes = counters.PagefileUsage;
    return true;
}

bool ProbeProcess(DWORD pid, Footprint& footprint) {
    footprint = Footprint{};
    return ReadMemory(pid, footprint) && ReadThreads(pid, footprint) &&
           CountHandles(pid, footprint);
}

std::vector<std::wstring> ModulesOf(DWORD pid) {
    std::vector<std::wstring> names;
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (!process) return names;
    std::vector<HMODULE> modules(256);
    DWORD needed = 0;
    while (EnumProcessModules(process, modules.data(), DWORD(modules.size() * sizeof(HMODULE)),
                              &needed) &&
           needed > modules.size() * sizeof(HMODULE)) {
        modules.resize(needed / sizeof(HMODULE));
    }
    modules.resize(needed / sizeof(HMODULE));
    for (HMODULE module : modules) {
        wchar_t name[MAX_PATH];
        DWORD length = GetModuleBaseNameW(process, module, name, MAX_PATH);
        if (length) names.emplace_back(name, length);
    }
    CloseHandle(process);
    return names;
}
