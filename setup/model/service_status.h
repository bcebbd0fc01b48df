// A service's state as the manager reports it, and its word; a service as
// list finds it.
#pragma once

#include <string>

#include "platform/platform.h"
#include "setup/model/service_command_line.h"

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

// A wrapped service as list shows it.
struct ListedService {
    std::wstring name;
    std::wstring displayName;
    StatusReport status;
    ServiceCommandLine commandLine;
};

// A service whose configuration could not be read, so that list cannot
// tell whether it is wrapped.
struct UnreadService {
    std::wstring name;
    DWORD error;
};
