// Two records compared: every field in one table, each row one difference
// (or one that must not count as a difference).
#include "setup/model/compare_configs.h"

#include <gtest/gtest.h>

#include "setup/model/compose_config.h"
#include "tests/setup_test_paths.h"

namespace {

using setup_test::kWrapper;
using setup_test::kProgram;

DesiredConfig Desired() {
    ConfigOptions options;
    options.stopTimeoutMs = 30000;
    options.program = L"u";
    options.arguments = {L"a"};
    options.launch.direct = true;
    return ComposeInstallConfig(L"U", options, kWrapper, kProgram);
}

// The same record as the manager gives it back, with everything readable.
ServiceConfig CurrentOf(const DesiredConfig& desired) {
    ServiceConfig current = desired.config;
    current.commandLine = DecodeServiceCommandLine(desired.config.commandLine.text);
    return current;
}

typedef void (*Difference)(ServiceConfig& current, DesiredConfig& desired);

struct CompareCase {
    const char* what;
    Difference difference;
    std::vector<std::string> fields;  // every change, in order
    // The first change:
    std::wstring oldText = L"";
    std::wstring newText = L"";
    const char* oldJson = nullptr;
    const char* newJson = nullptr;
    ConfigWrite write = ConfigWrite::ChangeServiceConfig;
    bool needsRestart = false;
};

const ConfigWrite kConfig = ConfigWrite::ChangeServiceConfig;

const CompareCase kCompareCases[] = {
    {"same", [](ServiceConfig&, DesiredConfig&) {}, {}},
    {"stop timeout",
     [](ServiceConfig&, DesiredConfig& d) {
         d.config.commandLine = ComposeCommandLine(kWrapper, 60000, kProgram, {L"a"});
     },
     {"stopTimeoutMs"}, L"30000 ms", L"60000 ms", "30000", "60000", kConfig, true},
    {"wrapper",
     [](ServiceConfig&, DesiredConfig& d) {
         d.config.commandLine = ComposeCommandLine(L"D:\\service-wrapper.exe", 30000, kProgram, {L"a"});
     },
     {"wrapperPath"}, L"[C:\\W\\service-wrapper.exe]", L"[D:\\service-wrapper.exe]",
     R"("C:\\W\\service-wrapper.exe")", R"("D:\\service-wrapper.exe")", kConfig, true},
    {"program",
     [](ServiceConfig&, DesiredConfig& d) {
         d.config.commandLine = ComposeCommandLine(kWrapper, 30000, L"C:\\P\\v.exe", {L"a"});
     },
     {"program"}, L"[C:\\P\\u.exe]", L"[C:\\P\\v.exe]", R"("C:\\P\\u.exe")", R"("C:\\P\\v.exe")", kConfig, true},
    {"arguments",
     [](ServiceConfig&, DesiredConfig& d) {
         d.config.commandLine = ComposeCommandLine(kWrapper, 30000, kProgram, {L"a", L"b\tc"});
     },
     {"arguments"}, L"[a]", L"[a] [b<TAB>c]", R"(["a"])", "[\"a\",\"b\\tc\"]", kConfig, true},
    {"timeout and program at once",
     [](ServiceConfig&, DesiredConfig& d) {
         d.config.commandLine = ComposeCommandLine(kWrapper, 1, L"C:\\P\\v.exe", {});
     },
     {"stopTimeoutMs", "program", "arguments"}, L"30000 ms", L"1 ms", "30000", "1", kConfig, true},
    // The same elements in other quoting: rewritten, but nothing to restart for.
    {"quoting",
     [](ServiceConfig& c, DesiredConfig&) {
         c.commandLine = DecodeServiceCommandLine(L"\"C:\\W\\service-wrapper.exe\" 30000 C:\\P\\u.exe a");
     },
     {"commandLine"}, L"[\"C:\\W\\service-wrapper.exe\" 30000 C:\\P\\u.exe a]",
     L"[\"C:\\W\\service-wrapper.exe\" 30000 \"C:\\P\\u.exe\" \"a\"]", nullptr, nullptr, kConfig, false},
    // Windows names files without regard to case: rewritten, nothing to restart for.
    {"paths in other letter case",
     [](ServiceConfig& c, DesiredConfig& d) {
         const LauncherOptions options = DefaultLauncherOptions();
         c.commandLine = ComposeCommandLine(kWrapper, 30000, kProgram, {L"a"},
                                            LauncherPart{L"C:\\W\\service-wrapper-launcher.exe", options});
         d.config.commandLine = ComposeCommandLine(L"c:\\w\\SERVICE-WRAPPER.EXE", 30000, L"c:\\p\\U.EXE", {L"a"},
                                                   LauncherPart{L"c:\\w\\Service-Wrapper-Launcher.exe", options});
     },
     {"commandLine"}, L"", L"", nullptr, nullptr, kConfig, false},
    {"undecodable command line",
     [](ServiceConfig& c, DesiredConfig&) {
         c.commandLine = DecodeServiceCommandLine(L"C:\\Program Files\\W\\service-wrapper.exe 30000 C:\\P\\u.exe a");
     },
     {"commandLine"}, L"[C:\\Program Files\\W\\service-wrapper.exe 30000 C:\\P\\u.exe a]",
     L"[\"C:\\W\\service-wrapper.exe\" 30000 \"C:\\P\\u.exe\" \"a\"]", nullptr, nullptr, kConfig, true},
    {"display name", [](ServiceConfig&, DesiredConfig& d) { d.config.displayName = L"New"; },
     {"displayName"}, L"[U]", L"[New]", R"("U")", R"("New")", kConfig, false},
    {"description", [](ServiceConfig& c, DesiredConfig&) { c.description = L""; },
     {"description"}, L"[]", L"[Runs C:\\P\\u.exe as a service.]", R"("")",
     R"("Runs C:\\P\\u.exe as a service.")", ConfigWrite::Description, false},
    {"description unread", [](ServiceConfig& c, DesiredConfig&) { c.description.reset(); },
     {"description"}, L"unknown", L"[Runs C:\\P\\u.exe as a service.]", "null", nullptr,
     ConfigWrite::Description, false},
    {"start type", [](ServiceConfig&, DesiredConfig& d) { d.config.startType = SERVICE_DISABLED; },
     {"startType"}, L"auto", L"disabled", R"("auto")", R"("disabled")", kConfig, false},
    {"delayed start", [](ServiceConfig&, DesiredConfig& d) { d.config.delayedAutoStart = true; },
     {"delayedAutoStart"}, L"no", L"yes", "false", "true", ConfigWrite::DelayedAutoStartInfo, false},
    {"delayed start left set from before", [](ServiceConfig& c, DesiredConfig&) { c.delayedAutoStart = true; },
     {"delayedAutoStart"}, L"yes", L"no", "true", "false", ConfigWrite::DelayedAutoStartInfo, false},
    // Unread, as on Wine: written only when asked for.
    {"delayed start unread", [](ServiceConfig& c, DesiredConfig&) { c.delayedAutoStart.reset(); }, {}},
    {"delayed start unread and asked for",
     [](ServiceConfig& c, DesiredConfig& d) {
         c.delayedAutoStart.reset();
         d.config.delayedAutoStart = true;
     },
     {"delayedAutoStart"}, L"unknown", L"yes", "null", "true", ConfigWrite::DelayedAutoStartInfo, false},
    // Heeded for an automatic start only.
    {"delayed flag of a demand start",
     [](ServiceConfig& c, DesiredConfig& d) {
         c.startType = d.config.startType = SERVICE_DEMAND_START;
         c.delayedAutoStart = true;
     },
     {}},
    {"account", [](ServiceConfig&, DesiredConfig& d) { d.config.account = L"NT SERVICE\\U"; },
     {"account"}, L"LocalSystem", L"NT SERVICE\\U", R"("LocalSystem")", R"("NT SERVICE\\U")", kConfig, true},
    {"account spelled otherwise", [](ServiceConfig& c, DesiredConfig&) { c.account = L".\\localsystem"; }, {}},
    {"pre-shutdown timeout", [](ServiceConfig& c, DesiredConfig&) { c.preshutdownTimeoutMs = 180000; },
     {"preshutdownTimeoutMs"}, L"180000 ms", L"30000 ms", "180000", "30000", ConfigWrite::PreshutdownInfo, false},
    {"recovery", [](ServiceConfig& c, DesiredConfig&) { c.recovery = RestartPolicy({5}, 7); },
     {"recovery"}, L"restart after 5 ms at every failure; failures counted anew after 7 s without one",
     L"restart after 10000 ms, restart after 30000 ms, restart after 60000 ms at every later "
     L"failure; failures counted anew after 86400 s without one",
     R"({"actions":[{"delayMs":5,"type":"restart"}],"resetPeriodSeconds":7})", nullptr,
     ConfigWrite::FailureActions, false},
    {"reset period", [](ServiceConfig& c, DesiredConfig&) { c.recovery->resetPeriodSeconds = 3600; },
     {"recovery"}, L"", L"", nullptr, nullptr, ConfigWrite::FailureActions, false},
    {"recovery of another kind",
     [](ServiceConfig& c, DesiredConfig&) {
         c.recovery->actions[2].type = RecoveryActionType::Reboot;
     },
     {"recovery"}, L"", L"", nullptr, nullptr, ConfigWrite::FailureActions, false},
    {"recovery unread, default", [](ServiceConfig& c, DesiredConfig&) { c.recovery.reset(); c.failureOnNonZeroExit.reset(); }, {}},
    {"recovery unread, asked for",
     [](ServiceConfig& c, DesiredConfig& d) {
         c.recovery.reset();
         c.failureOnNonZeroExit.reset();
         d.recoveryGiven = true;
     },
     {"recovery", "failureOnNonZeroExit"}, L"unknown", L"", "null", nullptr, ConfigWrite::FailureActions, false},
    // Without actions a reset period means nothing.
    {"no recovery either way",
     [](ServiceConfig& c, DesiredConfig& d) {
         c.recovery = RestartPolicy({}, 0);
         d.config.recovery = RestartPolicy({}, 86400);
     },
     {}},
    {"non-zero exit as failure", [](ServiceConfig& c, DesiredConfig&) { c.failureOnNonZeroExit = false; },
     {"failureOnNonZeroExit"}, L"no", L"yes", "false", "true", ConfigWrite::FailureActionsFlag, false},
    {"dependencies", [](ServiceConfig&, DesiredConfig& d) { d.config.dependencies = {L"Tcpip", L"Dnscache"}; },
     {"dependencies"}, L"(none)", L"[Tcpip] [Dnscache]", "[]", R"(["Tcpip","Dnscache"])", kConfig, false},
    {"dependencies in another order and case",
     [](ServiceConfig& c, DesiredConfig& d) {
         c.dependencies = {L"tcpip", L"Dnscache"};
         d.config.dependencies = {L"DNSCACHE", L"Tcpip"};
     },
     {}},
    {"SID type", [](ServiceConfig& c, DesiredConfig& d) { c.sidType = SidType::None; d.config.sidType = SidType::Restricted; },
     {"sidType"}, L"none", L"restricted", R"("none")", R"("restricted")", ConfigWrite::ServiceSidInfo, true},
    {"SID type unread, asked for", [](ServiceConfig&, DesiredConfig& d) { d.config.sidType = SidType::None; },
     {"sidType"}, L"unknown", L"none", "null", R"("none")", ConfigWrite::ServiceSidInfo, true},
    {"SID type not managed", [](ServiceConfig& c, DesiredConfig&) { c.sidType = SidType::Unrestricted; }, {}},
    {"privileges",
     [](ServiceConfig& c, DesiredConfig& d) {
         c.requiredPrivileges = std::vector<std::wstring>{L"SeAPrivilege"};
         d.config.requiredPrivileges = std::vector<std::wstring>{L"SeAPrivilege", L"SeBPrivilege"};
     },
     {"requiredPrivileges"}, L"[SeAPrivilege]", L"[SeAPrivilege] [SeBPrivilege]", R"(["SeAPrivilege"])",
     R"(["SeAPrivilege","SeBPrivilege"])", ConfigWrite::RequiredPrivilegesInfo, true},
    {"privileges the same",
     [](ServiceConfig& c, DesiredConfig& d) {
         c.requiredPrivileges = std::vector<std::wstring>{L"seaprivilege"};
         d.config.requiredPrivileges = std::vector<std::wstring>{L"SeAPrivilege"};
     },
     {}},
};

TEST(CompareConfigs, GivesOneChangePerFieldThatDiffers) {
    for (const CompareCase& c : kCompareCases) {
        SCOPED_TRACE(c.what);
        DesiredConfig desired = Desired();
        ServiceConfig current = CurrentOf(desired);
        c.difference(current, desired);
        std::vector<ConfigChange> changes = CompareConfigs(current, desired);
        std::vector<std::string> fields;
        for (const ConfigChange& change : changes) fields.push_back(change.field);
        EXPECT_EQ(fields, c.fields);
        if (changes.empty() || c.fields.empty()) continue;
        const ConfigChange& first = changes[0];
        if (!c.oldText.empty()) {
            EXPECT_EQ(first.oldText, c.oldText);
        }
        if (!c.newText.empty()) {
            EXPECT_EQ(first.newText, c.newText);
        }
        if (c.oldJson) {
            EXPECT_EQ(first.oldValue.dump(), c.oldJson);
        }
        if (c.newJson) {
            EXPECT_EQ(first.newValue.dump(), c.newJson);
        }
        EXPECT_EQ(first.write, c.write);
        EXPECT_EQ(first.needsRestart, c.needsRestart);
        if (fields.size() == 1) {
            EXPECT_EQ(NeedsRestart(changes), c.needsRestart);
        }
    }
}

// Applying what was compared leaves nothing to compare: a second apply
// changes nothing.
TEST(CompareConfigs, NothingDiffersOnceTheDesiredRecordIsWritten) {
    for (const CompareCase& c : kCompareCases) {
        SCOPED_TRACE(c.what);
        DesiredConfig desired = Desired();
        ServiceConfig current = CurrentOf(desired);
        c.difference(current, desired);
        ServiceConfig written = desired.config;
        written.commandLine = DecodeServiceCommandLine(written.commandLine.text);
        EXPECT_TRUE(CompareConfigs(written, desired).empty());
    }
}

}  // namespace
