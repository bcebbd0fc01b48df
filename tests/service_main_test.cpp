#include "service/service_main.h"

#include <algorithm>

#include "service_run.h"

namespace {

// ---- Names and configuration.

using ServiceName = ServiceRun;

TEST_F(ServiceName, NamePassedByTheManagerIsRegisteredAndConfigured) {
    ChildExitsAfter(10);
    sim::SetServiceArgs({L"Updater", L"start-parameter"});
    RunWrapper(L"service-wrapper.exe 45000 C:\\Tools\\upd.exe");
    EXPECT_EQ(std::vector<std::wstring>{L"Updater"}, sim::RegisteredNames());
    EXPECT_EQ(L"Updater", g_state.serviceName);
    EXPECT_EQ((std::vector<std::pair<std::wstring, DWORD>>{{L"Updater", 45000}}),
              sim::PreshutdownTimeoutsWritten());
    EXPECT_EQ(45000u, g_state.stopTimeoutMs);
    // Start parameters never reach the child.
    EXPECT_EQ(std::vector<std::wstring>{L"\"C:\\Tools\\upd.exe\""}, sim::CreatedCommandLines());
    ExpectSoundEnd(0);
}

TEST_F(ServiceName, DefaultNameIsUsedWhenTheManagerPassesNone) {
    const std::vector<std::vector<std::wstring>> given = {{}, {L""}};
    for (const auto& args : given) {
        ResetWorld();
        ChildExitsAfter(10);
        sim::SetServiceArgs(args);
        RunWrapper(L"service-wrapper.exe 45000 C:\\Tools\\upd.exe");
        EXPECT_EQ(std::vector<std::wstring>{kDefaultServiceName}, sim::RegisteredNames());
        EXPECT_EQ(kDefaultServiceName, g_state.serviceName);
        EXPECT_EQ((std::vector<std::pair<std::wstring, DWORD>>{{kDefaultServiceName, 45000}}),
                  sim::PreshutdownTimeoutsWritten());
        ExpectSoundEnd(0);
    }
}

TEST_F(ServiceName, RegistrationFallsBackToTheDefaultNameButKeepsThePassedOne) {
    ChildExitsAfter(10);
    sim::SetServiceArgs({L"Updater"});
    sim::FailCall("RegisterServiceCtrlHandlerExW", 1, ERROR_SERVICE_DOES_NOT_EXIST);
    RunWrapper(L"service-wrapper.exe 45000 C:\\Tools\\upd.exe");
    EXPECT_EQ((std::vector<std::wstring>{L"Updater", kDefaultServiceName}), sim::RegisteredNames());
    EXPECT_EQ(L"Updater", g_state.serviceName);
    EXPECT_EQ(L"Updater", sim::PreshutdownTimeoutsWritten().at(0).first);
    ExpectSoundEnd(0);
}

TEST_F(ServiceName, NoHandlerMeansNoReportAtAll) {
    struct Case {
        std::vector<std::wstring> args;
        int failures;
        std::vector<std::wstring> tried;
    };
    const Case cases[] = {
        {{L"Updater"}, 2, {L"Updater", kDefaultServiceName}},
        // The default failed; trying it again would not help.
        {{kDefaultServiceName}, 1, {kDefaultServiceName}},
    };
    for (const Case& c : cases) {
        ResetWorld();
        sim::SetServiceArgs(c.args);
        for (int n = 1; n <= c.failures; ++n) {
            sim::FailCall("RegisterServiceCtrlHandlerExW", n, ERROR_SERVICE_DOES_NOT_EXIST);
        }
        RunWrapper(L"service-wrapper.exe 45000 C:\\Tools\\upd.exe");
        EXPECT_EQ(c.tried, sim::RegisteredNames());
        EXPECT_TRUE(sim::Reports().empty());
        EXPECT_EQ(std::vector<std::string>(c.failures, "RegisterServiceCtrlHandlerExW"),
                  sim::ServiceCallNames());
        ExpectNothingLeft();
    }
}

TEST_F(ServiceName, ConfigurationFailuresAreSilentAndCloseWhatWasOpened) {
    for (const char* call : {"OpenSCManagerW", "OpenServiceW", "ChangeServiceConfig2W"}) {
        SCOPED_TRACE(call);
        ResetWorld();
        ChildExitsAfter(10);
        sim::FailCall(call, 1, ERROR_ACCESS_DENIED);
        RunWrapper(L"service-wrapper.exe 5000ms C:\\Tools\\upd.exe");
        EXPECT_TRUE(SameRecords({kStartPending, kRunning, Stopped(0)}, ReportedRecords()));
        EXPECT_EQ(5000u, g_state.stopTimeoutMs);
        ExpectSoundEnd(0);
    }
}

// ---- Failure exits: each ends in the stopped report with the reason.

using FailureExit = ServiceRun;

struct BadCommandLine {
    const wchar_t* commandLine;
    const char* why;
};

const BadCommandLine kBadCommandLines[] = {
    {L"service-wrapper.exe", "no arguments"},
    {L"service-wrapper.exe 30000", "a timeout but no program"},
    {L"service-wrapper.exe abc C:\\Tools\\upd.exe", "a timeout that is not a number"},
    {L"service-wrapper.exe \"\" C:\\Tools\\upd.exe", "an empty timeout"},
    {L"service-wrapper.exe 4294967296 C:\\Tools\\upd.exe", "a timeout beyond 32 bits"},
    {L"service-wrapper.exe 30000 \"C:\\Tools\\\"upd.exe\" a", "a program holding a quotation mark"},
};

TEST_F(FailureExit, BadCommandLineIsRefusedBeforeAnythingIsConfigured) {
    for (const BadCommandLine& c : kBadCommandLines) {
        SCOPED_TRACE(c.why);
        ResetWorld();
        g_state.stopTimeoutMs = 777;
        RunWrapper(c.commandLine);
        EXPECT_TRUE(SameRecords({kStartPending, Stopped(ERROR_BAD_ARGUMENTS)}, ReportedRecords()));
        EXPECT_TRUE(sim::PreshutdownTimeoutsWritten().empty());
        EXPECT_TRUE(sim::CreatedCommandLines().empty());
        EXPECT_EQ(777u, g_state.stopTimeoutMs);
        EXPECT_EQ(1, sim::LocalFreeCount());
        ExpectSoundEnd(ERROR_BAD_ARGUMENTS);
    }
}

TEST_F(FailureExit, CommandLineThatCannotBeSplit) {
    sim::FailCall("CommandLineToArgvW", 1, ERROR_NOT_ENOUGH_MEMORY);
    RunWrapper(L"service-wrapper.exe 30000 C:\\Tools\\upd.exe");
    EXPECT_TRUE(SameRecords({kStartPending, Stopped(ERROR_BAD_ARGUMENTS)}, ReportedRecords()));
    EXPECT_EQ(0, sim::LocalFreeCount());
    ExpectSoundEnd(ERROR_BAD_ARGUMENTS);
}

TEST_F(FailureExit, StopEventThatCannotBeCreatedEndsBeforeStartPending) {
    sim::FailCall("CreateEventW", 1, ERROR_NOT_ENOUGH_MEMORY);
    RunWrapper(L"service-wrapper.exe 30000 C:\\Tools\\upd.exe");
    // Nothing has set the accepted controls yet.
    EXPECT_TRUE(SameRecords({Stopped(ERROR_NOT_ENOUGH_MEMORY, 0)}, ReportedRecords()));
    EXPECT_EQ((std::vector<std::string>{"RegisterServiceCtrlHandlerExW", "CreateEventW",
                                        "SetServiceStatus"}),
              sim::ServiceCallNames());
    ExpectSoundEnd(ERROR_NOT_ENOUGH_MEMORY);
}

TEST_F(FailureExit, ChildThatCannotBeStartedGivesTheLaunchError) {
    for (DWORD error : {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED}) {
        SCOPED_TRACE(error);
        ResetWorld();
        sim::ChildScript child;
        child.kind = sim::ChildKind::FailsToLaunch;
        child.launchError = error;
        sim::ScriptChild(child);
        RunWrapper(L"service-wrapper.exe 30000 C:\\Tools\\missing.exe");
        EXPECT_TRUE(SameRecords({kStartPending, Stopped(error)}, ReportedRecords()));
        // The configuration was written before the launch was tried.
        EXPECT_EQ(1u, sim::PreshutdownTimeoutsWritten().size());
        ExpectSoundEnd(error);
    }
}

TEST_F(FailureExit, FailedWaitTerminatesTheChildAndGivesTheWaitsError) {
    ChildIgnoresStop();
    sim::FailCall("WaitForMultipleObjects", 1, ERROR_INVALID_HANDLE);
    RunWrapper(L"service-wrapper.exe 30000 C:\\Tools\\upd.exe");
    EXPECT_TRUE(SameRecords({kStartPending, kRunning, Stopped(ERROR_INVALID_HANDLE)},
                            ReportedRecords()));
    EXPECT_EQ(std::vector<std::uint64_t>{0}, sim::TerminationTimes());
    std::vector<std::string> calls = sim::ServiceCallNames();
    auto terminate = std::find(calls.begin(), calls.end(), "TerminateProcess");
    ASSERT_NE(calls.end(), terminate);
    EXPECT_EQ("WaitForSingleObject", *(terminate + 1));
    EXPECT_EQ("CloseHandle", *(terminate + 2));
    ExpectSoundEnd(ERROR_INVALID_HANDLE);
}

// Once the child has ended by itself, a code that cannot be read is never
// taken for a clean end.
TEST_F(FailureExit, ExitCodeThatCannotBeReadGivesTheReadsError) {
    struct ReadFailure {
        DWORD error;
        DWORD exitCode;
    };
    const ReadFailure kReadFailures[] = {{ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED},
                                         {NO_ERROR, ERROR_GEN_FAILURE}};
    for (const ReadFailure& c : kReadFailures) {
        SCOPED_TRACE(c.error);
        ResetWorld();
        ChildExitsAfter(500);
        sim::FailCall("GetExitCodeProcess", 1, c.error);
        RunWrapper(L"service-wrapper.exe 30000 C:\\Tools\\upd.exe");
        EXPECT_TRUE(SameRecords({kStartPending, kRunning, Stopped(c.exitCode)}, ReportedRecords()));
        EXPECT_TRUE(sim::TerminationTimes().empty());
        ExpectSoundEnd(c.exitCode);
    }
}

TEST_F(FailureExit, FailedPollTerminatesAtOnceAndEndsCleanly) {
    for (int failingPoll : {1, 2}) {
        SCOPED_TRACE(failingPoll);
        ResetWorld();
        ChildIgnoresStop();
        sim::DeliverControlAtTime(0, SERVICE_CONTROL_STOP);
        sim::FailCall("WaitForSingleObject", failingPoll, ERROR_INVALID_HANDLE);
        RunWrapper(L"service-wrapper.exe 30000 C:\\Tools\\upd.exe");
        std::vector<SERVICE_STATUS> expected = {kStartPending, kRunning, StopPending(1, 30000)};
        for (int poll = 1; poll < failingPoll; ++poll) expected.push_back(StopPending(1 + poll, 30000));
        expected.push_back(Stopped(0));
        EXPECT_TRUE(SameRecords(expected, ReportedRecords()));
        const std::uint64_t end = 1000 * (failingPoll - 1);
        EXPECT_EQ(std::vector<std::uint64_t>{end}, sim::TerminationTimes());
        EXPECT_EQ(std::vector<std::uint64_t>{end}, WaitTimes("WaitForSingleObject", 10000));
        ExpectSoundEnd(0);
    }
}

TEST_F(FailureExit, TerminationThatFailsWhileTheChildStaysIsReported) {
    ChildIgnoresStop();
    sim::DeliverControlAtTime(0, SERVICE_CONTROL_STOP);
    sim::FailCall("TerminateProcess", 1, ERROR_ACCESS_DENIED);
    RunWrapper(L"service-wrapper.exe 0 C:\\Tools\\upd.exe");
    EXPECT_EQ(std::vector<std::uint64_t>{0}, WaitTimes("WaitForSingleObject", 10000));
    EXPECT_EQ(SERVICE_STOPPED, sim::Reports().back().status.dwCurrentState);
    EXPECT_EQ(ERROR_ACCESS_DENIED, sim::Reports().back().status.dwWin32ExitCode);
    EXPECT_TRUE(sim::ChildLeftRunning());
    EXPECT_EQ(0, sim::OpenHandleCount());
}

// The termination was refused, but the child ended by itself within the wait
// that follows: the stop was carried out, and the run says so.
TEST_F(FailureExit, TerminationThatFailsWhileTheChildEndsAnywayIsACleanStop) {
    ChildExitsAfter(4000);
    sim::DeliverControlAtTime(0, SERVICE_CONTROL_STOP);
    sim::FailCall("TerminateProcess", 1, ERROR_ACCESS_DENIED);
    RunWrapper(L"service-wrapper.exe 0 C:\\Tools\\upd.exe");
    EXPECT_TRUE(SameRecords({kStartPending, kRunning, StopPending(1, 0), Stopped(0)},
                            ReportedRecords()));
    EXPECT_EQ((std::vector<std::uint64_t>{0, 0, 0, 4000}), ReportTimes());
    EXPECT_TRUE(sim::TerminationTimes().empty());
    ExpectSoundEnd(0);
}

TEST_F(FailureExit, RunningOutOfMemoryAnywhereEndsTheRunNotTheProcess) {
    ChildExitsAfter(10);
    sim::SetServiceArgs({L"Updater"});  // so that the name is copied too
    RunWrapper(L"service-wrapper.exe 30000 C:\\Tools\\upd.exe --mode svc");
    const int allocations = sim::ServiceAllocationCount();
    ASSERT_GT(allocations, 3) << "the name, the timeout copy, the composition and the copy for "
                                 "the launch each allocate";
    for (int n = 1; n <= allocations; ++n) {
        SCOPED_TRACE(n);
        ResetWorld();
        ChildExitsAfter(10);
        sim::SetServiceArgs({L"Updater"});
        sim::FailAllocation(n);
        RunWrapper(L"service-wrapper.exe 30000 C:\\Tools\\upd.exe --mode svc");
        EXPECT_TRUE(sim::CreatedCommandLines().empty());
        ExpectSoundEnd(ERROR_NOT_ENOUGH_MEMORY);
    }
}

// ---- Controls during start-up.

using StartUp = ServiceRun;

TEST_F(StartUp, StopBeforeTheStopEventExistsIsCarriedOutOnceTheWaitBegins) {
    ChildExitsAfter(10);
    RunWrapper(L"service-wrapper.exe 0 C:\\Tools\\upd.exe");  // learn where CreateEventW falls
    int createEvent = IndexOfServiceCall("CreateEventW");

    ResetWorld();
    ChildIgnoresStop();
    sim::DeliverControls(createEvent, sim::When::Before, {SERVICE_CONTROL_STOP});
    RunWrapper(L"service-wrapper.exe 1000 C:\\Tools\\upd.exe");
    // The handler's report goes out at once, before anything set the
    // accepted controls; the child is still started, then stopped.
    // Its wait hint is the default timeout: the configured one is not read yet.
    EXPECT_TRUE(SameRecords({Status(SERVICE_STOP_PENDING, 0, 0, 1, kDefaultStopTimeoutMs), kStartPending, kRunning,
                             StopPending(2, 1000), Stopped(0)},
                            ReportedRecords()));
    EXPECT_EQ(std::vector<std::uint64_t>{1000}, sim::TerminationTimes());
    ExpectSoundEnd(0);
}

TEST_F(StartUp, StopDuringStartUpComesBeforeRunningAndStopsAtOnce) {
    ChildExitsAfter(10);
    RunWrapper(L"service-wrapper.exe 0 C:\\Tools\\upd.exe");
    int createProcess = IndexOfServiceCall("CreateProcessW");

    for (DWORD control : {SERVICE_CONTROL_STOP, SERVICE_CONTROL_SHUTDOWN, SERVICE_CONTROL_PRESHUTDOWN}) {
        SCOPED_TRACE(control);
        ResetWorld();
        ChildIgnoresStop();
        sim::DeliverControls(createProcess, sim::When::Before, {control});
        RunWrapper(L"service-wrapper.exe 1000 C:\\Tools\\upd.exe");
        EXPECT_TRUE(SameRecords({kStartPending, StopPending(1, 1000), kRunning, StopPending(2, 1000),
                                 Stopped(0)},
                                ReportedRecords()));
        EXPECT_EQ(1u, sim::CreatedCommandLines().size());
        EXPECT_EQ(std::vector<std::uint64_t>{1000}, sim::TerminationTimes());
        ExpectSoundEnd(0);
    }
}

TEST_F(StartUp, ChildThatHasEndedWhenTheStopIsSeenIsNotTerminated) {
    ChildExitsAfter(0);
    RunWrapper(L"service-wrapper.exe 0 C:\\Tools\\upd.exe");
    int wait = IndexOfServiceCall("WaitForMultipleObjects");

    // The stop is signalled before the wait begins and the child has ended
    // by then too: the child comes first.
    ResetWorld();
    ChildExitsAfter(0);
    sim::DeliverControls(wait, sim::When::Before, {SERVICE_CONTROL_STOP});
    RunWrapper(L"service-wrapper.exe 3000 C:\\Tools\\upd.exe");
    EXPECT_TRUE(SameRecords({kStartPending, kRunning, StopPending(1, 3000), Stopped(0)},
                            ReportedRecords()));
    EXPECT_TRUE(sim::TerminationTimes().empty());
    EXPECT_TRUE(WaitTimes("WaitForSingleObject", 1000).empty());
    ExpectSoundEnd(0);
}

TEST_F(StartUp, ControlAfterTheStoppedReportIsAnsweredWithoutAReport) {
    ChildExitsAfter(10);
    RunWrapper(L"service-wrapper.exe 0 C:\\Tools\\upd.exe");
    int last = static_cast<int>(sim::ServiceCallNames().size());
    ASSERT_EQ("SetServiceStatus", sim::ServiceCallNames().back());

    ResetWorld();
    ChildExitsAfter(10);
    sim::DeliverControls(last, sim::When::After, {SERVICE_CONTROL_STOP, SERVICE_CONTROL_SHUTDOWN});
    RunWrapper(L"service-wrapper.exe 0 C:\\Tools\\upd.exe");
    EXPECT_TRUE(SameRecords({kStartPending, kRunning, Stopped(0)}, ReportedRecords()));
    ExpectSoundEnd(0);
}

}  // namespace
