#include "setup/model/config_age.h"

// The key's time cannot tell which setting was written: a description
// takes effect at once, a command line or an account only at a start.
const wchar_t kChangedSinceStartText[] =
    L"its configuration was written after it started: a change of its command line or account "
    L"waits until it starts again (restart, or apply or set with --restart).";

std::optional<bool> ChangedSinceStart(const SERVICE_STATUS_PROCESS& status,
                                      std::optional<ULONGLONG> keyWrittenAt,
                                      std::optional<ULONGLONG> processStartedAt) {
    if (status.dwCurrentState == SERVICE_STOPPED || status.dwProcessId == 0) return std::nullopt;
    if (!keyWrittenAt || !processStartedAt) return std::nullopt;
    return *keyWrittenAt > *processStartedAt;
}
