// Which changes go through the checks as warnings: each row changes the
// service one way and says whether that only lessens what it runs.
#include "setup/model/lessening_change.h"

#include <gtest/gtest.h>

#include "setup/model/compose_config.h"
#include "tests/setup_test_paths.h"

namespace {

using setup_test::kWrapper;
using setup_test::kProgram;

DesiredConfig InstalledConfig() {
    ConfigOptions options;
    options.stopTimeoutMs = 30000;
    options.dependencies = std::vector<std::wstring>{L"Tcpip", L"Dnscache"};
    return ComposeInstallConfig(L"U", options, kWrapper, kProgram);
}

struct LesseningCase {
    const char* what;
    void (*change)(ServiceConfig& current, ServiceConfig& desired);
    bool onlyLessens;
};
const LesseningCase kLesseningCases[] = {
    {"nothing to change", [](ServiceConfig&, ServiceConfig&) {}, false},
    {"disabled", [](ServiceConfig&, ServiceConfig& d) { d.startType = SERVICE_DISABLED; }, true},
    {"demand, from automatic",
     [](ServiceConfig&, ServiceConfig& d) { d.startType = SERVICE_DEMAND_START; }, true},
    {"demand, from disabled",
     [](ServiceConfig& c, ServiceConfig& d) {
         c.startType = SERVICE_DISABLED;
         d.startType = SERVICE_DEMAND_START;
     },
     false},
    {"automatic, from demand",
     [](ServiceConfig& c, ServiceConfig&) { c.startType = SERVICE_DEMAND_START; }, false},
    {"a shorter stop timeout",
     [](ServiceConfig&, ServiceConfig& d) {
         d.commandLine = ComposeCommandLine(kWrapper, 5000, kProgram, {}, d.commandLine.launcher);
         d.preshutdownTimeoutMs = 5000;
     },
     true},
    {"a longer stop timeout",
     [](ServiceConfig&, ServiceConfig& d) {
         d.commandLine = ComposeCommandLine(kWrapper, 60000, kProgram, {}, d.commandLine.launcher);
         d.preshutdownTimeoutMs = 60000;
     },
     false},
    {"recovery off", [](ServiceConfig&, ServiceConfig& d) { d.recovery = RestartPolicy({}, 0); },
     true},
    {"recovery changed",
     [](ServiceConfig&, ServiceConfig& d) { d.recovery = RestartPolicy({1000}, 60); }, false},
    {"a dependency fewer",
     [](ServiceConfig&, ServiceConfig& d) { d.dependencies = {L"tcpip"}; }, true},
    {"a dependency more",
     [](ServiceConfig&, ServiceConfig& d) { d.dependencies.push_back(L"LanmanServer"); }, false},
    {"words and disabled",
     [](ServiceConfig&, ServiceConfig& d) {
         d.description = L"off for now";
         d.displayName = L"U (off)";
         d.startType = SERVICE_DISABLED;
     },
     true},
    {"disabled with another program",
     [](ServiceConfig&, ServiceConfig& d) {
         d.startType = SERVICE_DISABLED;
         d.commandLine =
             ComposeCommandLine(kWrapper, 30000, L"C:\\P\\other.exe", {}, d.commandLine.launcher);
     },
     false},
    {"another account", [](ServiceConfig&, ServiceConfig& d) { d.account = L"NT AUTHORITY\\LocalService"; },
     false},
};

TEST(OnlyLessens, LetsThroughWhatNarrowsWhatRunsOrWhenAndNothingThatWidensIt) {
    for (const LesseningCase& c : kLesseningCases) {
        SCOPED_TRACE(c.what);
        DesiredConfig desired = InstalledConfig();
        ServiceConfig current = desired.config;
        c.change(current, desired.config);
        current.commandLine = DecodeServiceCommandLine(current.commandLine.text);
        EXPECT_EQ(OnlyLessens(current, desired.config, CompareConfigs(current, desired)),
                  c.onlyLessens);
    }
}

}  // namespace
