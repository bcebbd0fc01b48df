// Whole runs used by the interleaving and fault-injection suites: each
// makes every kind of platform call the service thread can make.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "service_run.h"

struct Scenario {
    const char* name;
    std::function<void()> script;
    // The stopped report of a run that no control and no failure disturbs.
    DWORD exitCode;
    DWORD serviceSpecificExitCode;
};

// What the child that ends by itself ends with: a crash.
constexpr DWORD kScenarioChildExitCode = 0xC0000005;

inline const wchar_t* kScenarioCommandLine =
    L"service-wrapper.exe 2500 \"C:\\Program Files\\Vendor\\upd.exe\" --mode \"a b\"";

inline std::vector<Scenario> Scenarios() {
    return {
        {"child ignores a stop",
         [] {
             sim::SetServiceArgs({L"Updater"});
             ChildIgnoresStop();
             sim::DeliverControlAtTime(1500, SERVICE_CONTROL_STOP);
         },
         NO_ERROR, 0},
        {"child ends by itself",
         [] {
             sim::SetServiceArgs({L"Updater"});
             ChildExitsAfter(1200, kScenarioChildExitCode);
         },
         ERROR_SERVICE_SPECIFIC_ERROR, kScenarioChildExitCode},
    };
}

// The service thread's calls in an undisturbed run of the scenario.
inline std::vector<std::string> BaselineCalls(const Scenario& scenario) {
    ResetWorld();
    scenario.script();
    RunWrapper(kScenarioCommandLine);
    return sim::ServiceCallNames();
}
