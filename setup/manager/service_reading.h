// Reading a service: its state, and the record of its configuration as the
// manager gives it back. Reaches the platform only through platform.h, so it
// is built on the host too.
#pragma once

#include <optional>
#include <string>

#include "platform/platform.h"
#include "setup/manager/service_handles.h"
#include "setup/model/service_config.h"
#include "setup/model/service_status.h"

// QueryServiceStatusEx. Gives NO_ERROR or the error.
DWORD ReadStatus(SC_HANDLE service, SERVICE_STATUS_PROCESS& status);

// Everything the manager keeps of the service (the handle needs
// SERVICE_QUERY_CONFIG): QueryServiceConfigW, whose failure is the result,
// then each QueryServiceConfig2W level, whose failure leaves its part none.
DWORD ReadStoredService(SC_HANDLE service, const std::wstring& name, StoredService& stored);

// A service opened by name and read as it is now.
struct OpenedService {
    ServiceHandles handles;
    StoredService stored;
    SERVICE_STATUS_PROCESS status;
    DWORD statusError;  // NO_ERROR, or why the state could not be read
};

// OpenServiceByName with this access (which must include
// SERVICE_QUERY_CONFIG, and SERVICE_QUERY_STATUS where the state counts),
// then its configuration, whose failure is "cannot read its
// configuration.", then its state, whose failure is left in statusError.
// On failure nothing is left open.
std::optional<StepFailure> OpenAndReadService(const std::wstring& name, DWORD access,
                                              const wchar_t* openProblem, OpenedService& opened);

// Whether a change may wait for the service's next start: it is not known
// to be stopped. A state that could not be read counts as running.
bool MayBeRunning(const OpenedService& opened);
