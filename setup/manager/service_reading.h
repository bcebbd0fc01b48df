// Opening the manager and a service, and reading a service: its state, and
// the record of its configuration as the manager gives it back. Reaches the
// platform only through platform.h, so it is built on the host too.
#pragma once

#include <string>

#include "platform/platform.h"
#include "setup/model/service_config.h"
#include "setup/model/service_status.h"

// OpenSCManagerW / OpenServiceW on the local machine. Give NO_ERROR, or the
// error (ERROR_SERVICE_DOES_NOT_EXIST for a missing name); the handle is
// the caller's to close.
DWORD OpenManager(DWORD access, SC_HANDLE& manager);
DWORD OpenNamedService(SC_HANDLE manager, const std::wstring& name, DWORD access,
                       SC_HANDLE& service);

// QueryServiceStatusEx. Gives NO_ERROR or the error.
DWORD ReadStatus(SC_HANDLE service, SERVICE_STATUS_PROCESS& status);

// Everything the manager keeps of the service (the handle needs
// SERVICE_QUERY_CONFIG): QueryServiceConfigW, whose failure is the result,
// then each QueryServiceConfig2W level, whose failure leaves its part none.
DWORD ReadStoredService(SC_HANDLE service, const std::wstring& name, StoredService& stored);

