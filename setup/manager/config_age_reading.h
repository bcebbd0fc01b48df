// Whether a running service's configuration was written after its process
// started (see config_age.h): none where that cannot be told.
#pragma once

#include <optional>
#include <string>

#include "setup/model/config_age.h"

std::optional<bool> ReadChangedSinceStart(const std::wstring& name,
                                          const SERVICE_STATUS_PROCESS& status);
