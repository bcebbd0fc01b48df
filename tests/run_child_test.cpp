#include "child/run_child.h"

#include "service_run.h"

namespace {

using ServiceLife = ServiceRun;

TEST_F(ServiceLife, ChildEndingByItselfStopsTheServiceWithoutStopPending) {
    ChildExitsAfter(5000);
    RunWrapper(L"service-wrapper.exe 3000 C:\\Tools\\upd.exe --mode svc");

    EXPECT_TRUE(SameRecords({kStartPending, kRunning, Stopped(0)}, ReportedRecords()));
    EXPECT_EQ((std::vector<std::uint64_t>{0, 0, 5000}), ReportTimes());
    EXPECT_EQ(std::vector<std::wstring>{L"\"C:\\Tools\\upd.exe\" \"--mode\" \"svc\""},
              sim::CreatedCommandLines());
    EXPECT_TRUE(sim::TerminationTimes().empty());
    ExpectSoundEnd(0);
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
