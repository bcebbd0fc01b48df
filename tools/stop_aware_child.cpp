// A program that ends by itself as soon as its service is being stopped.
// service-wrapper.exe sends its program no signal: on a stop it reports the
// service stop-pending, gives the program the stop timeout to end, then
// terminates it. The program can watch for that report instead. Its service
// is the one whose process is the program's parent: the wrapper.
//
//   stop_aware_child.exe [<file>]   writes "stop seen" into <file> before it ends
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <string>
#include <vector>

static DWORD ParentProcessId() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    DWORD parent = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID == GetCurrentProcessId()) parent = entry.th32ParentProcessID;
    }
    CloseHandle(snapshot);
    return parent;
}

// The name of the running service whose process has this id, or "".
static std::wstring ServiceOfProcess(SC_HANDLE manager, DWORD processId) {
    std::vector<BYTE> buffer(64 * 1024);
    for (;;) {
        DWORD needed = 0, count = 0, resume = 0;
        if (EnumServicesStatusExW(manager, SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_ACTIVE,
                                  buffer.data(), DWORD(buffer.size()), &needed, &count, &resume,
                                  /*pszGroupName=*/nullptr)) {
            auto* services = reinterpret_cast<ENUM_SERVICE_STATUS_PROCESSW*>(buffer.data());
            for (DWORD i = 0; i < count; ++i) {
                if (services[i].ServiceStatusProcess.dwProcessId == processId) {
                    return services[i].lpServiceName;
                }
            }
            return L"";
        }
        if (GetLastError() != ERROR_MORE_DATA) return L"";
        buffer.resize(buffer.size() + needed);
    }
}

static bool g_stopping = false;

// Runs as an APC on the thread that registered, while it waits alertably.
static void CALLBACK OnStatusChange(PVOID parameter) {
    const auto* notify = static_cast<SERVICE_NOTIFYW*>(parameter);
    const DWORD state = notify->ServiceStatus.dwCurrentState;
    // A failed notification (the service was deleted, say) ends the wait too.
    g_stopping = notify->dwNotificationStatus != ERROR_SUCCESS ||
                 state == SERVICE_STOP_PENDING || state == SERVICE_STOPPED;
}

// Returns once the service is stop-pending, or can no longer be asked: told
// by the manager if it can, else by asking it four times a second.
static void WaitForStop(SC_HANDLE service) {
    SERVICE_NOTIFYW notify = {};
    notify.dwVersion = SERVICE_NOTIFY_STATUS_CHANGE;
    notify.pfnNotifyCallback = OnStatusChange;
    while (!g_stopping) {
        if (NotifyServiceStatusChangeW(service, SERVICE_NOTIFY_STOP_PENDING, &notify) ==
            ERROR_SUCCESS) {
            SleepEx(INFINITE, /*bAlertable=*/TRUE);
            continue;
        }
        SERVICE_STATUS_PROCESS status = {};
        DWORD needed = 0;
        if (!QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO,
                                  reinterpret_cast<LPBYTE>(&status), sizeof(status), &needed)) {
            return;
        }
        g_stopping = status.dwCurrentState == SERVICE_STOP_PENDING ||
                     status.dwCurrentState == SERVICE_STOPPED;
        if (!g_stopping) Sleep(250);
    }
}

int wmain(int argc, wchar_t** argv) {
    SC_HANDLE manager = OpenSCManagerW(/*lpMachineName=*/nullptr, /*lpDatabaseName=*/nullptr,
                                       SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE);
    if (!manager) return 1;
    const std::wstring name = ServiceOfProcess(manager, ParentProcessId());
    SC_HANDLE service =
        name.empty() ? nullptr : OpenServiceW(manager, name.c_str(), SERVICE_QUERY_STATUS);
    if (!service) {
        std::fputs("stop_aware_child: not started by a running service\n", stderr);
        CloseServiceHandle(manager);
        return 1;
    }

    // A real program starts its work here, on threads of its own.
    WaitForStop(service);
    // And here it finishes or saves that work, well within the stop timeout.
    if (argc > 1) {
        if (FILE* note = _wfopen(argv[1], L"w")) {
            std::fputs("stop seen\n", note);
            std::fclose(note);
        }
    }
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return 0;
}
