#include "setup/model/config_age.h"

#include <gtest/gtest.h>

namespace {

TEST(ChangedSinceStart, OnlyAConfigurationWrittenAfterTheRunningProcessStarted) {
    struct AgeCase {
        DWORD state;
        DWORD pid;
        std::optional<ULONGLONG> written;
        std::optional<ULONGLONG> started;
        std::optional<bool> changed;
    };
    const AgeCase kCases[] = {
        {SERVICE_RUNNING, 88, 200, 100, true},
        {SERVICE_RUNNING, 88, 100, 200, false},
        {SERVICE_RUNNING, 88, 100, 100, false},
        {SERVICE_START_PENDING, 88, 200, 100, true},
        {SERVICE_STOPPED, 0, 200, 100, std::nullopt},
        {SERVICE_RUNNING, 0, 200, 100, std::nullopt},
        {SERVICE_RUNNING, 88, std::nullopt, 100, std::nullopt},
        {SERVICE_RUNNING, 88, 200, std::nullopt, std::nullopt},
    };
    for (const AgeCase& c : kCases) {
        SERVICE_STATUS_PROCESS status = {};
        status.dwCurrentState = c.state;
        status.dwProcessId = c.pid;
        EXPECT_EQ(ChangedSinceStart(status, c.written, c.started), c.changed);
    }
}

}  // namespace
