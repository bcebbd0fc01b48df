#include "service/service_state.h"

ServiceState g_state;
std::mutex g_lock;

void ReportStatus() {
    SetServiceStatus(g_state.statusHandle, &g_state.status);
}

void ReportState(DWORD currentState, DWORD checkPoint, DWORD waitHintMs) {
    g_state.status.dwCurrentState = currentState;
    g_state.status.dwWin32ExitCode = NO_ERROR;
    g_state.status.dwServiceSpecificExitCode = 0;
    g_state.status.dwCheckPoint = checkPoint;
    g_state.status.dwWaitHint = waitHintMs;
    ReportStatus();
}

void ReportStopped(DWORD exitCode, DWORD serviceSpecificExitCode) {
    {
        std::lock_guard<std::mutex> hold(g_lock);
        g_state.runEnded = true;
        g_state.status.dwCurrentState = SERVICE_STOPPED;
        g_state.status.dwWin32ExitCode = exitCode;
        g_state.status.dwServiceSpecificExitCode = serviceSpecificExitCode;
        g_state.status.dwCheckPoint = 0;
        g_state.status.dwWaitHint = 0;
    }
    // Once runEnded is set nothing else writes the record, so it can be sent
    // without the lock.
    ReportStatus();
}

void CloseStopEvent() {
    std::lock_guard<std::mutex> hold(g_lock);
    if (!g_state.stopEvent) return;
    CloseHandle(g_state.stopEvent);
    g_state.stopEvent = nullptr;
}
