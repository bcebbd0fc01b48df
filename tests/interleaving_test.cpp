// Controls arriving between any two steps of a run, on the dispatcher
// thread, must never spoil the end of the run.
#include "race_scenarios.h"

namespace {

using Interleaving = ServiceRun;

constexpr DWORD kScenarioTimeoutMs = 2500;

// Each report must be one of the records its thread makes, never a record
// that mixes a report of one thread with a report of the other: the handler
// sends only its stop-pending record with checkpoint 1 (with nothing accepted
// yet and the default hint if it comes before start-up has set them), and the
// service thread never sends checkpoint 1 while stopping. Only the service
// thread's report of a failed child carries the child's code.
void ExpectWholeReports() {
    for (const sim::Report& r : sim::Reports()) {
        const SERVICE_STATUS& s = r.status;
        SCOPED_TRACE(Describe(s));
        EXPECT_EQ(SERVICE_WIN32_OWN_PROCESS, s.dwServiceType);
        const bool failedChild = r.thread == sim::Thread::Service &&
                                 s.dwCurrentState == SERVICE_STOPPED &&
                                 s.dwWin32ExitCode == ERROR_SERVICE_SPECIFIC_ERROR;
        EXPECT_EQ(failedChild ? kScenarioChildExitCode : 0u, s.dwServiceSpecificExitCode);
        if (r.thread == sim::Thread::Dispatcher) {
            EXPECT_EQ(SERVICE_STOP_PENDING, s.dwCurrentState);
            EXPECT_EQ(1u, s.dwCheckPoint);
            EXPECT_TRUE(s.dwWaitHint == kScenarioTimeoutMs || s.dwWaitHint == kDefaultStopTimeoutMs);
            EXPECT_TRUE(s.dwControlsAccepted == kAccepted || s.dwControlsAccepted == 0);
            EXPECT_EQ(0u, s.dwWin32ExitCode);
        } else if (s.dwCurrentState == SERVICE_STOP_PENDING) {
            EXPECT_GE(s.dwCheckPoint, 2u) << "a progress report carries a checkpoint of its own";
            EXPECT_EQ(kScenarioTimeoutMs, s.dwWaitHint);
            EXPECT_EQ(kAccepted, s.dwControlsAccepted);
            EXPECT_EQ(0u, s.dwWin32ExitCode);
        }
    }
}

// The service thread's n-th call (from 1) that sends a stop-pending report:
// the progress reports, in the order made.
int IndexOfProgressReport(const std::vector<sim::Call>& calls, int nth) {
    int index = 0;
    for (const sim::Call& c : calls) {
        if (c.thread != sim::Thread::Service) continue;
        ++index;
        if (std::string(c.name) == "SetServiceStatus" && c.argument == SERVICE_STOP_PENDING &&
            --nth == 0) {
            return index;
        }
    }
    return 0;
}

TEST_F(Interleaving, ControlsAroundEveryPlatformCallLeaveASoundEnd) {
    const std::vector<DWORD> controls = {SERVICE_CONTROL_STOP, SERVICE_CONTROL_SHUTDOWN,
                                         SERVICE_CONTROL_PRESHUTDOWN, SERVICE_CONTROL_INTERROGATE};
    for (const Scenario& scenario : Scenarios()) {
        const std::vector<std::string> baseline = BaselineCalls(scenario);
        ASSERT_GT(baseline.size(), 15u);
        const int firstProgress = IndexOfProgressReport(sim::Calls(), 1);
        const int registration = IndexOfServiceCall("RegisterServiceCtrlHandlerExW");
        const int wait = IndexOfServiceCall("WaitForMultipleObjects");
        for (std::size_t index = 1; index <= baseline.size(); ++index) {
            for (sim::When when : {sim::When::Before, sim::When::After}) {
                // Controls that have reached the handler when the two-handle
                // wait returns make the run a stop; later ones find its end
                // decided, and earlier ones find no handler.
                const bool handled = int(index) > registration ||
                                     (int(index) == registration && when == sim::When::After);
                const bool stopCameFirst = handled && int(index) <= wait;
                SCOPED_TRACE(std::string(scenario.name) + ", controls " +
                             (when == sim::When::Before ? "before " : "after ") + "call " +
                             std::to_string(index) + " " + baseline[index - 1]);
                ResetWorld();
                scenario.script();
                sim::DeliverControls(static_cast<int>(index), when, controls);
                RunWrapper(kScenarioCommandLine);
                if (stopCameFirst) {
                    ExpectSoundEnd(0);
                } else {
                    ExpectSoundEnd(scenario.exitCode, scenario.serviceSpecificExitCode);
                }
                ExpectWholeReports();
                if (firstProgress != 0 && int(index) == firstProgress && when == sim::When::Before) {
                    // The handler's reports wait until the progress report is out.
                    std::vector<SERVICE_STATUS> reports = ReportedRecords();
                    ASSERT_GE(reports.size(), 8u);
                    EXPECT_TRUE(SameRecords(
                        {kStartPending, kRunning, StopPending(1, kScenarioTimeoutMs),
                         StopPending(2, kScenarioTimeoutMs), StopPending(1, kScenarioTimeoutMs),
                         StopPending(1, kScenarioTimeoutMs), StopPending(1, kScenarioTimeoutMs)},
                        std::vector<SERVICE_STATUS>(reports.begin(), reports.begin() + 7)));
                }
            }
        }
    }
}

// A stop that lands at any point of start-up is carried out: the child,
// once created, never outlives the run, even one that would run forever.
TEST_F(Interleaving, StopDuringStartUpIsNeverLost) {
    const std::vector<Scenario> scenarios = Scenarios();
    const Scenario& forever = scenarios[0];
    const std::vector<std::string> baseline = BaselineCalls(forever);
    const int wait = IndexOfServiceCall("WaitForMultipleObjects");
    for (int index = 2; index <= wait; ++index) {
        SCOPED_TRACE(baseline[index - 1]);
        ResetWorld();
        ChildIgnoresStop();  // and no stop of its own
        sim::DeliverControls(index, sim::When::Before, {SERVICE_CONTROL_STOP});
        RunWrapper(kScenarioCommandLine);
        ExpectSoundEnd(0);
        EXPECT_EQ(1u, sim::TerminationTimes().size());
    }
}

}  // namespace
