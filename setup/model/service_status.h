// A service's state as the manager reports it, and its word.
#pragma once

#include "platform/platform.h"

struct StatusReport {
    DWORD currentState;  // SERVICE_STOPPED, SERVICE_RUNNING, ...
    DWORD processId;
    DWORD win32ExitCode;
    DWORD serviceSpecificExitCode;
};

StatusReport StatusReportOf(const SERVICE_STATUS_PROCESS& status);

// "stopped", "starting", "stopping", "running", "continuing", "pausing",
// "paused" or "unknown".
const wchar_t* StateWord(DWORD state);
