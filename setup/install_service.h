// Writing a new service into the service control manager, all or nothing.
#pragma once

#include <optional>
#include <string>

#include "platform/platform.h"
#include "setup/model/write_outcome.h"

struct InstallPlan {
    std::wstring name;
    std::wstring displayName;
    std::wstring commandLine;
    DWORD startType;
    bool delayedAutoStart;
    LPCWSTR serviceStartName;  // null for LocalSystem
    std::wstring description;  // empty: none is set
    DWORD preshutdownTimeoutMs;
};


// Creates the service, then sets its description, the delayed start where
// asked and the pre-shutdown timeout. If a step after the creation fails,
// the service is deleted again. Every handle is closed on return.
std::optional<InstallFailure> InstallService(const InstallPlan& plan);
