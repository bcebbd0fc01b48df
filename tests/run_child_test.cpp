#include "child/run_child.h"

#include <algorithm>

#include "service_run.h"

namespace {

using ServiceLife = ServiceRun;

struct ChildEndCase {
    DWORD childExitCode;
    DWORD exitCode;
    DWORD serviceSpecificExitCode;
};

// A code other than 0 is a failure, passed on unchanged: 0xC0000005 is what
// a crash ends with, and 259 is the value of STILL_ACTIVE, which a process
// can end with too.
const ChildEndCase kChildEnds[] = {
    {0, NO_ERROR, 0},
    {1, ERROR_SERVICE_SPECIFIC_ERROR, 1},
    {0xC0000005, ERROR_SERVICE_SPECIFIC_ERROR, 0xC0000005},
    {STILL_ACTIVE, ERROR_SERVICE_SPECIFIC_ERROR, 259},
};

TEST_F(ServiceLife, ChildEndingByItselfStopsTheServiceWithoutStopPending) {
    for (const ChildEndCase& c : kChildEnds) {
        SCOPED_TRACE(c.childExitCode);
        ResetWorld();
        ChildExitsAfter(5000, c.childExitCode);
        RunWrapper(L"service-wrapper.exe 3000 C:\\Tools\\upd.exe --mode svc");

        SERVICE_STATUS stopped = Stopped(c.exitCode);
        stopped.dwServiceSpecificExitCode = c.serviceSpecificExitCode;
        EXPECT_TRUE(SameRecords({kStartPending, kRunning, stopped}, ReportedRecords()));
        EXPECT_EQ((std::vector<std::uint64_t>{0, 0, 5000}), ReportTimes());
        EXPECT_EQ(std::vector<std::wstring>{L"\"C:\\Tools\\upd.exe\" \"--mode\" \"svc\""},
                  sim::CreatedCommandLines());
        EXPECT_TRUE(sim::TerminationTimes().empty());
        ExpectSoundEnd(c.exitCode, c.serviceSpecificExitCode);
    }
}

// The service record outlives a run: a failed child's code must not reach
// a later run in the same process, not even a stopped report made before
// any other report of that run.
TEST_F(ServiceLife, FailedChildsCodeIsNotCarriedIntoALaterRun) {
    ChildExitsAfter(500, 7);
    RunWrapper(L"service-wrapper.exe 3000 C:\\Tools\\upd.exe");
    ASSERT_TRUE(SameRecords({kStartPending, kRunning, StoppedByFailedChild(7)}, ReportedRecords()));

    sim::Reset();  // g_state is kept, as in one process
    sim::FailCall("CreateEventW", 1, ERROR_NOT_ENOUGH_MEMORY);
    RunWrapper(L"service-wrapper.exe 3000 C:\\Tools\\upd.exe");
    EXPECT_TRUE(SameRecords({Stopped(ERROR_NOT_ENOUGH_MEMORY)}, ReportedRecords()));
    ExpectSoundEnd(ERROR_NOT_ENOUGH_MEMORY);
}

// A control delivered around the service thread's first call of that name.
struct StopFirstCase {
    const char* what;
    DWORD control;
    const char* call;
    sim::When when;
    DWORD childEndsAfterMs;
    bool stopCameFirst;  // the handler had set its flag when the wrapper looked
};

// The wrapper looks right after the two-handle wait returns with the child:
// a control that has reached the handler by then, however early, makes the
// end a stop carried out; one that comes after, even at the same virtual
// moment, finds the failure already seen.
const StopFirstCase kStopFirstCases[] = {
    {"stop before the stop event exists", SERVICE_CONTROL_STOP, "CreateEventW", sim::When::Before,
     0, true},
    {"stop before the wait, child ended too", SERVICE_CONTROL_STOP, "WaitForMultipleObjects",
     sim::When::Before, 0, true},
    {"stop before the wait, child ends in the grace period", SERVICE_CONTROL_STOP,
     "WaitForMultipleObjects", sim::When::Before, 500, true},
    {"stop as the wait returns with the child", SERVICE_CONTROL_STOP, "WaitForMultipleObjects",
     sim::When::After, 1500, true},
    {"shutdown as the wait returns with the child", SERVICE_CONTROL_SHUTDOWN,
     "WaitForMultipleObjects", sim::When::After, 1500, true},
    {"stop after the wrapper saw the end", SERVICE_CONTROL_STOP, "GetExitCodeProcess",
     sim::When::Before, 1500, false},
};

TEST_F(ServiceLife, ChildFailingAfterAStopCameFirstIsACleanStop) {
    const DWORD childExitCode = 3;
    for (const StopFirstCase& c : kStopFirstCases) {
        SCOPED_TRACE(c.what);
        ResetWorld();
        ChildExitsAfter(c.childEndsAfterMs, childExitCode);
        RunWrapper(L"service-wrapper.exe 3000 C:\\Tools\\upd.exe");
        const int index = IndexOfServiceCall(c.call);

        ResetWorld();
        ChildExitsAfter(c.childEndsAfterMs, childExitCode);
        sim::DeliverControls(index, c.when, {c.control});
        RunWrapper(L"service-wrapper.exe 3000 C:\\Tools\\upd.exe");

        std::vector<SERVICE_STATUS> expected = {kStartPending, kRunning, StopPending(1, 3000)};
        if (std::string(c.call) == "CreateEventW") {
            expected = {Status(SERVICE_STOP_PENDING, 0, 0, 1, kDefaultStopTimeoutMs), kStartPending,
                        kRunning};
        }
        expected.push_back(c.stopCameFirst ? Stopped(0) : StoppedByFailedChild(childExitCode));
        EXPECT_TRUE(SameRecords(expected, ReportedRecords()));
        // The child's code is read only when it can decide the outcome.
        const std::vector<std::string> calls = sim::ServiceCallNames();
        EXPECT_EQ(c.stopCameFirst ? 0 : 1, std::count(calls.begin(), calls.end(), "GetExitCodeProcess"));
        EXPECT_TRUE(sim::TerminationTimes().empty());
        ExpectSoundEnd(expected.back().dwWin32ExitCode, expected.back().dwServiceSpecificExitCode);
    }
}

TEST_F(ServiceLife, StopWithChildEndingWithinTheFirstSecondMakesOnlyTheHandlersReport) {
    ChildExitsAfter(1500);
    sim::DeliverControlAtTime(1000, SERVICE_CONTROL_STOP);
    RunWrapper(L"service-wrapper.exe 30000 C:\\Tools\\upd.exe");

    EXPECT_TRUE(SameRecords({kStartPending, kRunning, StopPending(1, 30000), Stopped(0)},
                            ReportedRecords()));
    EXPECT_EQ((std::vector<std::uint64_t>{0, 0, 1000, 1500}), ReportTimes());
    EXPECT_EQ(sim::Thread::Dispatcher, sim::Reports()[2].thread);
    EXPECT_EQ(std::vector<std::uint64_t>{1000}, WaitTimes("WaitForSingleObject", 1000));
    EXPECT_TRUE(sim::TerminationTimes().empty());
    ExpectSoundEnd(0);
}

struct GraceCase {
    const wchar_t* timeoutText;
    DWORD timeoutMs;
    int polls;  // each one that finds the child running makes a progress report
};

const GraceCase kGraceCases[] = {
    {L"0", 0, 0},        {L"1", 1, 1},           {L"1000", 1000, 1},
    {L"2500", 2500, 3},  {L"120000", 120000, 120},
};

TEST_F(ServiceLife, ChildIgnoringTheStopIsTerminatedOnceTheGracePeriodIsUsedUp) {
    for (const GraceCase& c : kGraceCases) {
        SCOPED_TRACE(c.timeoutMs);
        ResetWorld();
        ChildIgnoresStop();
        const std::uint64_t stopAt = 700;
        sim::DeliverControlAtTime(stopAt, SERVICE_CONTROL_STOP);
        RunWrapper(std::wstring(L"service-wrapper.exe ") + c.timeoutText + L" C:\\Tools\\upd.exe");

        std::vector<SERVICE_STATUS> expected = {kStartPending, kRunning, StopPending(1, c.timeoutMs)};
        std::vector<std::uint64_t> times = {0, 0, stopAt};
        std::vector<std::uint64_t> polls;
        for (int i = 1; i <= c.polls; ++i) {
            expected.push_back(StopPending(1 + i, c.timeoutMs));
            times.push_back(stopAt + 1000 * i);
            polls.push_back(stopAt + 1000 * (i - 1));
        }
        const std::uint64_t end = stopAt + 1000 * c.polls;
        expected.push_back(Stopped(0));
        times.push_back(end);

        EXPECT_TRUE(SameRecords(expected, ReportedRecords()));
        EXPECT_EQ(times, ReportTimes());
        EXPECT_EQ(polls, WaitTimes("WaitForSingleObject", 1000));
        EXPECT_EQ(std::vector<std::uint64_t>{end}, sim::TerminationTimes());
        EXPECT_EQ(std::vector<std::uint64_t>{end}, WaitTimes("WaitForSingleObject", 10000));
        ExpectSoundEnd(0);
    }
}

TEST_F(ServiceLife, ShutdownAndPreshutdownStopLikeStop) {
    for (DWORD control : {SERVICE_CONTROL_SHUTDOWN, SERVICE_CONTROL_PRESHUTDOWN}) {
        SCOPED_TRACE(control);
        ResetWorld();
        ChildIgnoresStop();
        sim::DeliverControlAtTime(0, control);
        RunWrapper(L"service-wrapper.exe 1500 C:\\Tools\\upd.exe");
        EXPECT_TRUE(SameRecords({kStartPending, kRunning, StopPending(1, 1500), StopPending(2, 1500),
                                 StopPending(3, 1500), Stopped(0)},
                                ReportedRecords()));
        ExpectSoundEnd(0);
    }
}

TEST_F(ServiceLife, SecondStopDuringTheStopSequenceReportsCheckpointOneAgain) {
    ChildIgnoresStop();
    sim::DeliverControlAtTime(0, SERVICE_CONTROL_STOP);
    sim::DeliverControlAtTime(1500, SERVICE_CONTROL_STOP);
    RunWrapper(L"service-wrapper.exe 3000 C:\\Tools\\upd.exe");
    EXPECT_TRUE(SameRecords({kStartPending, kRunning, StopPending(1, 3000), StopPending(2, 3000),
                             StopPending(1, 3000), StopPending(3, 3000), StopPending(4, 3000),
                             Stopped(0)},
                            ReportedRecords()));
    EXPECT_EQ(std::vector<std::uint64_t>{3000}, sim::TerminationTimes());
    ExpectSoundEnd(0);
}

TEST_F(ServiceLife, InterrogateChangesNothing) {
    ChildExitsAfter(2000);
    sim::DeliverControlAtTime(1000, SERVICE_CONTROL_INTERROGATE);
    RunWrapper(L"service-wrapper.exe 3000 C:\\Tools\\upd.exe");
    EXPECT_TRUE(SameRecords({kStartPending, kRunning, Stopped(0)}, ReportedRecords()));
    EXPECT_EQ((std::vector<std::uint64_t>{0, 0, 2000}), ReportTimes());
    ExpectSoundEnd(0);
}

// Stop timeouts close to the 32-bit limit still end in termination: the
// elapsed time is counted wide enough not to wrap around.
TEST_F(ServiceLife, LargestStopTimeoutStillEndsInTermination) {
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "millions of polls; run in the other host build";
#endif
    ChildIgnoresStop();
    sim::LimitJournals(64);
    sim::DeliverControlAtTime(0, SERVICE_CONTROL_STOP);
    RunWrapper(L"service-wrapper.exe 4294967295 C:\\Tools\\upd.exe");
    const std::uint64_t polls = 4294968;  // 4294967295 ms rounded up to whole seconds
    EXPECT_EQ(std::vector<std::uint64_t>{polls * 1000}, sim::TerminationTimes());
    EXPECT_EQ(3 + polls + 1, sim::ReportCount());
    EXPECT_EQ(0, sim::OpenHandleCount());
    EXPECT_FALSE(sim::ChildLeftRunning());
}

}  // namespace
