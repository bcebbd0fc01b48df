#include "launcher/stop_watch.h"

struct WatchRecord {
    SC_HANDLE manager;
    SC_HANDLE service;
    SERVICE_NOTIFYW notify;
    bool notified;
};
static WatchRecord g_watch = {};

// Runs as an APC on the main thread, inside its alertable wait.
static VOID CALLBACK OnServiceStatus(PVOID) {
    g_watch.notified = true;
}

static DWORD Arm() {
    g_watch.notify = SERVICE_NOTIFYW{};
    g_watch.notify.dwVersion = SERVICE_NOTIFY_STATUS_CHANGE;
    g_watch.notify.pfnNotifyCallback = OnServiceStatus;
    g_watch.notified = false;
    return NotifyServiceStatusChangeW(g_watch.service, SERVICE_NOTIFY_STOP_PENDING, &g_watch.notify);
}

DWORD WatchService(const std::wstring& serviceName) {
    g_watch.manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!g_watch.manager) return GetLastError();
    g_watch.service = OpenServiceW(g_watch.manager, serviceName.c_str(), SERVICE_QUERY_STATUS);
    if (!g_watch.service) {
        const DWORD error = GetLastError();
        EndWatch();
        return error;
    }
    const DWORD error = Arm();
    if (error != NO_ERROR) EndWatch();
    return error;
}

// A registration notifies once; some managers notify other changes too.
bool StopReported() {
    if (!g_watch.service || !g_watch.notified) return false;
    if (g_watch.notify.dwNotificationStatus == NO_ERROR &&
        g_watch.notify.ServiceStatus.dwCurrentState == SERVICE_STOP_PENDING) {
        return true;
    }
    if (Arm() != NO_ERROR) EndWatch();
    return false;
}

void EndWatch() {
    if (g_watch.service) {
        CloseServiceHandle(g_watch.service);
        g_watch.service = nullptr;
    }
    if (g_watch.manager) {
        CloseServiceHandle(g_watch.manager);
        g_watch.manager = nullptr;
    }
}
