// Whether a running service runs with the configuration it has now: one
// written after its process started waits for its next start.
#pragma once

#include <optional>
#include <string>

#include "platform/platform.h"

// From the service key's last write time and the process's start time,
// both in FILETIME's units (100 ns since 1601). None where the service has
// no process or either time is unknown.
std::optional<bool> ChangedSinceStart(const SERVICE_STATUS_PROCESS& status,
                                      std::optional<ULONGLONG> keyWrittenAt,
                                      std::optional<ULONGLONG> processStartedAt);

// What show and status say of a service that runs with an older
// configuration.
extern const wchar_t kChangedSinceStartText[];
