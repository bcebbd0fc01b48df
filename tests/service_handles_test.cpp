// Opening a service by name and reading it for a change or for show, on the
// simulated manager: each failure in its words, nothing left open after
// one, and a state that cannot be read taken as running.
#include "setup/manager/service_handles.h"

#include <gtest/gtest.h>

#include "setup/manager/service_reading.h"

namespace {

struct OpeningCase {
    const char* what;
    const char* failingCall;  // fails once with ERROR_ACCESS_DENIED; null: none
    const wchar_t* name;
    DWORD state;
    const wchar_t* problem;  // null: opened and read
    DWORD error;
    DWORD statusError;
    bool mayBeRunning;
};

const OpeningCase kOpeningCases[] = {
    {"manager refused", "OpenSCManagerW", L"svc", SERVICE_RUNNING,
     L"cannot open the service control manager.", ERROR_ACCESS_DENIED, NO_ERROR, false},
    {"no such service", nullptr, L"other", SERVICE_RUNNING, L"there is no service of that name.",
     ERROR_SERVICE_DOES_NOT_EXIST, NO_ERROR, false},
    {"service refused", "OpenServiceW", L"svc", SERVICE_RUNNING, L"cannot open it for this.",
     ERROR_ACCESS_DENIED, NO_ERROR, false},
    {"configuration unread", "QueryServiceConfigW", L"svc", SERVICE_RUNNING,
     L"cannot read its configuration.", ERROR_ACCESS_DENIED, NO_ERROR, false},
    {"stopped", nullptr, L"svc", SERVICE_STOPPED, nullptr, NO_ERROR, NO_ERROR, false},
    {"running", nullptr, L"svc", SERVICE_RUNNING, nullptr, NO_ERROR, NO_ERROR, true},
    {"stopping", nullptr, L"svc", SERVICE_STOP_PENDING, nullptr, NO_ERROR, NO_ERROR, true},
    // Not knowing whether it runs, a change is taken to wait for a restart.
    {"state unread", "QueryServiceStatusEx", L"svc", SERVICE_STOPPED, nullptr, NO_ERROR,
     ERROR_ACCESS_DENIED, true},
};

TEST(OpenAndReadService, NamesEachFailureLeavesNothingOpenAndTakesAnUnreadStateAsRunning) {
    for (const OpeningCase& c : kOpeningCases) {
        SCOPED_TRACE(c.what);
        sim::Reset();
        sim::ServiceRecord record;
        record.name = L"svc";
        record.binaryPathName = L"\"C:\\W\\service-wrapper.exe\" 1000 \"C:\\P\\u.exe\"";
        record.status.dwCurrentState = c.state;
        sim::AddService(record);
        if (c.failingCall) sim::FailCall(c.failingCall, 1, ERROR_ACCESS_DENIED);
        {
            OpenedService opened{};
            // Left from before, as an unread state would leave it: not to be trusted.
            opened.status.dwCurrentState = SERVICE_STOPPED;
            const std::optional<StepFailure> failure = OpenAndReadService(
                c.name, SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS, L"cannot open it for this.",
                opened);
            ASSERT_EQ(failure.has_value(), c.problem != nullptr);
            if (failure) {
                EXPECT_EQ(failure->problem, c.problem);
                EXPECT_EQ(failure->error, c.error);
                EXPECT_EQ(sim::OpenHandleCount(), 0);
                continue;
            }
            EXPECT_EQ(opened.stored.binaryPathName, record.binaryPathName);
            EXPECT_EQ(opened.statusError, c.statusError);
            EXPECT_EQ(MayBeRunning(opened), c.mayBeRunning);
            EXPECT_EQ(sim::OpenHandleCount(), 2);
        }
        // The holders close both once they go.
        EXPECT_EQ(sim::OpenHandleCount(), 0);
        EXPECT_EQ(sim::Problems(), std::vector<std::string>());
    }
}

}  // namespace
