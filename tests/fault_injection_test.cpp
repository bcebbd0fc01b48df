// Any single platform call of a run failing must still end the run in one
// stopped report that says whether it failed, with nothing left behind.
#include <map>

#include "race_scenarios.h"

namespace {

constexpr DWORD kInjected = ERROR_ACCESS_DENIED;

// What the run reports when this call fails: the failures that end a run,
// and 0 where the run goes on or the stop is still carried out.
DWORD ExpectedExitCode(const std::string& call) {
    static const std::map<std::string, DWORD> failing = {
        {"CreateEventW", kInjected},
        {"CommandLineToArgvW", ERROR_BAD_ARGUMENTS},
        {"CreateProcessW", kInjected},
        {"WaitForMultipleObjects", kInjected},
        {"TerminateProcess", kInjected},
    };
    auto it = failing.find(call);
    return it == failing.end() ? NO_ERROR : it->second;
}

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
            } else {
                ExpectSoundEnd(ExpectedExitCode(call));
            }
        }
        EXPECT_GT(tried, 15);
    }
}

}  // namespace
