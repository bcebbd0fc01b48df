// Controls arriving between any two steps of a run, on the dispatcher
// thread, must never spoil the end of the run.
#include "race_scenarios.h"

namespace {

using Interleaving = ServiceRun;

TEST_F(Interleaving, ControlsAroundEveryPlatformCallLeaveASoundEnd) {
    const std::vector<DWORD> controls = {SERVICE_CONTROL_STOP, SERVICE_CONTROL_SHUTDOWN,
                                         SERVICE_CONTROL_PRESHUTDOWN, SERVICE_CONTROL_INTERROGATE};
    for (const Scenario& scenario : Scenarios()) {
        const std::vector<std::string> baseline = BaselineCalls(scenario);
        ASSERT_GT(baseline.size(), 15u);
        for (std::size_t index = 1; index <= baseline.size(); ++index) {
            for (sim::When when : {sim::When::Before, sim::When::After}) {
                SCOPED_TRACE(std::string(scenario.name) + ", controls " +
                             (when == sim::When::Before ? "before " : "after ") + "call " +
                             std::to_string(index) + " " + baseline[index - 1]);
                ResetWorld();
                scenario.script();
                sim::DeliverControls(static_cast<int>(index), when, controls);
                RunWrapper(kScenarioCommandLine);
                ExpectSoundEnd(0);
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
