// Any single platform call of a run failing must still end the run in one
// stopped report that says whether it failed, with nothing left behind.
#include <map>

#include "race_scenarios.h"

namespace {

constexpr DWORD kInjected = ERROR_ACCESS_DENIED;

// The calls whose failure ends a run, with what the run then reports.
// Where the run goes on, or the stop is still carried out, it ends as the
// scenario does undisturbed.
const std::map<std::string, DWORD> kEndingFailures = {
    {"CreateEventW", kInjected},
    {"CommandLineToArgvW", ERROR_BAD_ARGUMENTS},
    {"CreateProcessW", kInjected},
    {"WaitForMultipleObjects", kInjected},
    {"GetExitCodeProcess", kInjected},
    {"TerminateProcess", kInjected},
};

using FaultInjection = ServiceRun;

TEST_F(FaultInjection, EveryPlatformCallFailingLeavesASoundEnd) {
    const std::vector<Scenario> scenarios = Scenarios();
    for (const Scenario& scenario : scenarios) {
        const bool childIgnoresStop = &scenario == &scenarios[0];
        const std::vector<std::string> baseline = BaselineCalls(scenario);
        int tried = 0;
        for (std::size_t index = 1; index <= baseline.size(); ++index) {
            const std::string& call = baseline[index - 1];
            if (!sim::CallCanFail(call)) continue;
            SCOPED_TRACE(std::string(scenario.name) + ", call " + std::to_string(index) + " " + call);
            ++tried;
            ResetWorld();
            scenario.script();
            sim::FailServiceCall(static_cast<int>(index), kInjected);
            RunWrapper(kScenarioCommandLine);

            const bool lastReport = index == baseline.size();
            if (call == "SetServiceStatus" && lastReport) {
                // The stopped report itself was lost; nothing else may be.
                for (const sim::Report& r : sim::Reports()) {
                    EXPECT_NE(SERVICE_STOPPED, r.status.dwCurrentState);
                }
                EXPECT_TRUE(sim::ServiceThreadReturned());
                ExpectNothingLeft();
            } else if (call == "TerminateProcess" && childIgnoresStop) {
                // The platform refused to end a child that ignores the stop:
                // the run says so instead of reporting a clean stop.
                EXPECT_TRUE(sim::ChildLeftRunning());
                EXPECT_EQ(kInjected, sim::Reports().back().status.dwWin32ExitCode);
                EXPECT_EQ(0, sim::OpenHandleCount());
            } else if (kEndingFailures.count(call) != 0) {
                ExpectSoundEnd(kEndingFailures.at(call));
            } else {
                ExpectSoundEnd(scenario.exitCode, scenario.serviceSpecificExitCode);
            }
        }
        EXPECT_GT(tried, 15);
    }
}

}  // namespace
