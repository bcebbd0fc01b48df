#include "setup/model/service_status.h"

StatusReport StatusReportOf(const SERVICE_STATUS_PROCESS& status) {
    return StatusReport{status.dwCurrentState, status.dwProcessId, status.dwWin32ExitCode,
                        status.dwServiceSpecificExitCode};
}

const wchar_t* StateWord(DWORD state) {
    switch (state) {
    case SERVICE_STOPPED: return L"stopped";
    case SERVICE_START_PENDING: return L"starting";
    case SERVICE_STOP_PENDING: return L"stopping";
    case SERVICE_RUNNING: return L"running";
    case SERVICE_CONTINUE_PENDING: return L"continuing";
    case SERVICE_PAUSE_PENDING: return L"pausing";
    case SERVICE_PAUSED: return L"paused";
    default: return L"unknown";
    }
}
