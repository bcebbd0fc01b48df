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
};

inline const wchar_t* kScenarioCommandLine =
    L"service-wrapper.exe 2500 \"C:\\Program Files\\Vendor\\upd.exe\" --mode \"a b\"";

inline std::vector<Scenario> Scenarios() {
    return {
        {"child ignores a stop",
         [] {
             sim::SetServiceArgs({L"Updater"});
             ChildIgnoresStop();
             sim::DeliverControlAtTime(1500, SERVICE_CONTROL_STOP);
         }},
        {"child ends by itself",
         [] {
             sim::SetServiceArgs({L"Updater"});
             ChildExitsAfter(1200);
         }},
    };
}

// The service thread's calls in an undisturbed run of the scenario.
inline std::vector<std::string> BaselineCalls(const Scenario& scenario) {
    ResetWorld();
    scenario.script();
    RunWrapper(kScenarioCommandLine);
    return sim::ServiceCallNames();
}
