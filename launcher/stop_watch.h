// Watches the launcher's own service for the stop-pending report, so that the
// program can be asked to finish before the stop timeout ends it.
#pragma once

#include <string>

#include "platform/platform.h"

// Arms the watch. Gives NO_ERROR, or why the service cannot be watched.
DWORD WatchService(const std::wstring& serviceName);

// After an alertable wait returned WAIT_IO_COMPLETION: whether the service
// has now reported stop-pending. Re-arms the watch for any other report.
bool StopReported();

void EndWatch();
