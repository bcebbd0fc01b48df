// Finding services and reading what start, stop, restart, status, list and
// remove need of them: the state, and the configured command line.
// Reaches the platform only through platform.h, so that the simulated
// manager can play Windows and Wine on the host.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "setup/model/state_report.h"
#include "setup/manager/service_reading.h"

// A step that failed: what, in words (a sentence for "Cannot ... the
// service X: <problem>"), and the Windows error.
struct StepFailure {
    std::wstring problem;
    DWORD error;
};

struct ServiceHandles {
    SC_HANDLE manager;
    SC_HANDLE service;
};

// OpenSCManagerW on the local machine, then OpenServiceW with this access.
// A missing name is told apart (ERROR_SERVICE_DOES_NOT_EXIST). On failure
// nothing is left open.
std::optional<StepFailure> OpenServiceByName(const std::wstring& name, DWORD access,
                                             ServiceHandles& handles);
void CloseServiceHandles(ServiceHandles& handles);

// The configured command line, as ReadStoredService reads it (the handle
// needs SERVICE_QUERY_CONFIG). Gives NO_ERROR or the error.
DWORD ReadCommandLine(SC_HANDLE service, std::wstring& commandLine);

// Every service whose command line names service-wrapper.exe as the file
// the manager starts, in the manager's order. A service whose configuration
// cannot be read is put in unread instead; one deleted meanwhile is left
// out. Gives NO_ERROR, or the error of a listing that failed. The manager
// handle needs SC_MANAGER_ENUMERATE_SERVICE and SC_MANAGER_CONNECT.
DWORD ListWrappedServices(SC_HANDLE manager, std::vector<ListedService>& services,
                          std::vector<UnreadService>& unread);
