// The one failure the suite starts again: Wine's process creation failing
// before the child ran. Anything else must fail the test as it is.
#include "e2e/wrapper_service_fixture.h"

namespace {

Report MakeReport(DWORD state, DWORD exitCode) {
    Report report = {};
    report.status.dwCurrentState = state;
    report.status.dwWin32ExitCode = exitCode;
    return report;
}

}  // namespace

TEST(WineProcessCreationFault, IsTheOnlyFailedStartMadeAgain) {
    const Report kStartPending = MakeReport(SERVICE_START_PENDING, 0);
    const Report kRunning = MakeReport(SERVICE_RUNNING, 0);
    struct FaultCase {
        const char* what;
        DWORD startResult;
        std::vector<Report> reports;
        bool childStarted;
        bool startedAgain;
    };
    const FaultCase kCases[] = {
        {"the manager could not create the wrapper", ERROR_INTERNAL_ERROR, {}, false, true},
        {"the wrapper could not create the child",
         ERROR_SUCCESS,
         {kStartPending, MakeReport(SERVICE_STOPPED, ERROR_INTERNAL_ERROR)},
         false,
         true},
        {"the same, stopped before StartServiceW returned",
         ERROR_SERVICE_REQUEST_TIMEOUT,
         {kStartPending, MakeReport(SERVICE_STOPPED, ERROR_INTERNAL_ERROR)},
         false,
         true},
        {"1359 after running",
         ERROR_SUCCESS,
         {kStartPending, kRunning, MakeReport(SERVICE_STOPPED, ERROR_INTERNAL_ERROR)},
         false,
         false},
        {"1359 with a child that started",
         ERROR_SUCCESS,
         {kStartPending, MakeReport(SERVICE_STOPPED, ERROR_INTERNAL_ERROR)},
         true,
         false},
        {"StartServiceW's 1359 with a child that started", ERROR_INTERNAL_ERROR, {}, true, false},
        {"a program that is missing",
         ERROR_SERVICE_REQUEST_TIMEOUT,
         {kStartPending, MakeReport(SERVICE_STOPPED, ERROR_FILE_NOT_FOUND)},
         false,
         false},
        {"no report in time", ERROR_SERVICE_REQUEST_TIMEOUT, {}, false, false},
        {"StartServiceW failing otherwise", ERROR_ACCESS_DENIED, {}, false, false},
    };
    for (const FaultCase& c : kCases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(IsWineProcessCreationFault(c.startResult, c.reports, c.childStarted),
                  c.startedAgain);
    }
}
