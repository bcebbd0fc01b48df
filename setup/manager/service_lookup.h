// Finding services and reading what start, stop, restart, status, list and
// remove need of them: the state, and the configured command line.
// Reaches the platform only through platform.h, so that the simulated
// manager can play Windows and Wine on the host.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "setup/model/service_status.h"
#include "setup/manager/service_handles.h"
#include "setup/manager/service_reading.h"

// The configured command line, as ReadStoredService reads it (the handle
// needs SERVICE_QUERY_CONFIG). Gives NO_ERROR or the error.
DWORD ReadCommandLine(SC_HANDLE service, std::wstring& commandLine);

// Every service whose command line names service-wrapper.exe as the file
// the manager starts, in the manager's order. A service whose configuration
// cannot be read is put in unread instead; one deleted meanwhile is left
// out. Gives nothing, or why the manager could not be opened or did not
// list them.
std::optional<StepFailure> ListWrappedServices(std::vector<ListedService>& services,
                                               std::vector<UnreadService>& unread);

// Of these service names, the ones the manager has no service of, in their
// order; a load-order group (+name) is no service and is left out. Nothing
// when the manager cannot be opened.
std::vector<std::wstring> MissingServices(const std::vector<std::wstring>& names);
