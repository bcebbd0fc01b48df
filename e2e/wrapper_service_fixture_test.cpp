// The two faults of Wine the suite allows for: its process creation failing
// before the child ran, for which a start is made again, and the answer to a
// stop lost. Anything else must fail the test as it is.
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

// A stop answered ERROR_BROKEN_PIPE counts as answered only when the service
// took it. The service here holds its dispatcher's answer back so that Wine
// loses it every time: one that says it takes the stop, one that says
// nothing, as one that ended by itself would.
using WineLostAnswer = WrapperService;
TEST_F(WineLostAnswer, CountsOnlyForAStopTheServiceTook) {
    const struct {
        const wchar_t* handler;
        DWORD answer;
    } kCases[] = {{L"takes-stop", ERROR_SUCCESS}, {L"says-nothing", ERROR_BROKEN_PIPE}};
    Install({L"0", PrepareChild("exit-now")});
    for (const auto& c : kCases) {
        SCOPED_TRACE(Narrow(c.handler));
        ASSERT_TRUE(ChangeBinaryPath(manager_, name_,
                                     BuildBinaryPath(g_lateAnswerServicePath, {name_, c.handler})));
        Start();
        ASSERT_TRUE(WaitForState(SERVICE_RUNNING, 15000)) << Seen();
        EXPECT_EQ(Control(SERVICE_CONTROL_STOP), c.answer) << Seen();
        EXPECT_TRUE(WaitForState(SERVICE_STOPPED, 15000)) << Seen();
    }
}
