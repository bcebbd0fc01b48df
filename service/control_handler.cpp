#include "service/service_state.h"

// Dispatcher thread, called by the platform under a lock of its own. Only
// reports and signals; the stop itself is carried out on the service thread.
DWORD WINAPI ServiceControlHandler(DWORD dwControl, DWORD /*dwEventType*/, LPVOID /*lpEventData*/,
                                   LPVOID /*lpContext*/) {
    if (dwControl != SERVICE_CONTROL_STOP && dwControl != SERVICE_CONTROL_SHUTDOWN &&
        dwControl != SERVICE_CONTROL_PRESHUTDOWN) {
        return NO_ERROR;
    }
    std::lock_guard<std::mutex> hold(g_lock);
    // After the stopped report a stop-pending one would bring a stopped
    // service back to life in the manager's eyes.
    if (g_state.runEnded) return NO_ERROR;
    g_state.stopRequested = true;
    ReportState(SERVICE_STOP_PENDING, /*checkPoint=*/1, g_state.stopTimeoutMs);
    // Before the event exists the request is kept in stopRequested; the
    // service thread signals the event as soon as it creates it.
    if (g_state.stopEvent) SetEvent(g_state.stopEvent);
    return NO_ERROR;
}
