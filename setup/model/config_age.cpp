#include "setup/model/config_age.h"

const wchar_t kChangedSinceStartText[] =
    L"its configuration was changed after it started, so it runs with the one before; restart "
    L"it to apply the change (restart, or apply or set with --restart).";

std::optional<bool> ChangedSinceStart(const SERVICE_STATUS_PROCESS& status,
                                      std::optional<ULONGLONG> keyWrittenAt,
                                      std::optional<ULONGLONG> processStartedAt) {
    if (status.dwCurrentState == SERVICE_STOPPED || status.dwProcessId == 0) return std::nullopt;
    if (!keyWrittenAt || !processStartedAt) return std::nullopt;
    return *keyWrittenAt > *processStartedAt;
}
