#include "setup/manager/launched_program.h"

#include <tlhelp32.h>

#include <vector>

#include "setup/manager/service_reading.h"

namespace {

constexpr DWORD kPollMs = 25;

struct ProcessLink {
    DWORD pid;
    DWORD parent;
    std::wstring fileName;
};

std::vector<ProcessLink> ProcessLinks() {
    std::vector<ProcessLink> links;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, /*th32ProcessID=*/0);
    if (snapshot == INVALID_HANDLE_VALUE) return links;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        links.push_back({entry.th32ProcessID, entry.th32ParentProcessID, entry.szExeFile});
    }
    CloseHandle(snapshot);
    return links;
}

bool HasGrandchild(DWORD pid, const std::wstring& fileName) {
    const std::vector<ProcessLink> links = ProcessLinks();
    for (const ProcessLink& child : links) {
        if (child.parent != pid || child.pid == pid) continue;
        for (const ProcessLink& grandchild : links) {
            if (grandchild.parent == child.pid && grandchild.pid != child.pid &&
                CompareStringOrdinal(grandchild.fileName.c_str(), -1, fileName.c_str(), -1,
                                     /*bIgnoreCase=*/TRUE) == CSTR_EQUAL) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace

SERVICE_STATUS_PROCESS AwaitLaunchedProgram(SC_HANDLE service, const SERVICE_STATUS_PROCESS& running,
                                            const std::wstring& fileName, DWORD timeoutMs) {
    SERVICE_STATUS_PROCESS status = running;
    const ULONGLONG until = GetTickCount64() + timeoutMs;
    while (status.dwCurrentState != SERVICE_STOPPED && GetTickCount64() < until) {
        if (status.dwCurrentState == SERVICE_RUNNING && HasGrandchild(status.dwProcessId, fileName)) break;
        Sleep(kPollMs);
        SERVICE_STATUS_PROCESS now = {};
        if (ReadStatus(service, now) != NO_ERROR) break;
        status = now;
    }
    return status;
}
