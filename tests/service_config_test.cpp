// The record: decoded from what the manager gives back, and composed from
// the options for install, apply and set.
#include "setup/model/compose_config.h"

#include <gtest/gtest.h>

#include "setup/model/service_config.h"
#include "tests/setup_test_paths.h"

namespace {

using setup_test::kWrapper;
using setup_test::kProgram;

ConfigOptions Options(const std::vector<std::wstring>& arguments) {
    ParsedCommand parsed = ParseSetupCommand(arguments);
    EXPECT_TRUE(parsed.command) << testing::PrintToString(parsed.error);
    return parsed.command ? parsed.command->options : ConfigOptions{};
}

TEST(ComposeInstallConfig, GivesEveryOptionNotGivenItsDefault) {
    const std::wstring logs = L"C:\\ProgramData\\Service Wrapper\\logs\\U";
    DesiredConfig desired = ComposeInstallConfig(
        L"U", Options({L"install", L"U", L"--", L"u", L"a"}), kWrapper, kProgram, logs);
    const ServiceConfig& c = desired.config;
    EXPECT_EQ(c.name, L"U");
    // The program through the launcher beside the wrapper, which watches
    // the service and keeps the output in the service's own log folder.
    EXPECT_EQ(c.commandLine.text, L"\"" + kWrapper + L"\" 120000 \"C:\\W\\service-wrapper-launcher.exe\" "
                                  L"\"--service\" \"U\" \"--log-dir\" \"" + logs + L"\" \"--\" \"" +
                                  kProgram + L"\" \"a\"");
    // --direct: the line written before the launcher, exactly.
    EXPECT_EQ(ComposeInstallConfig(L"U", Options({L"install", L"U", L"--direct", L"--", L"u", L"a"}),
                                   kWrapper, kProgram, logs)
                  .config.commandLine.text,
              L"\"" + kWrapper + L"\" 120000 \"" + kProgram + L"\" \"a\"");
    EXPECT_TRUE(c.commandLine.decoded);
    EXPECT_EQ(c.displayName, L"U");
    EXPECT_EQ(c.description, L"Runs " + kProgram + L" as a service.");
    EXPECT_EQ(c.startType, DWORD(SERVICE_AUTO_START));
    EXPECT_EQ(c.delayedAutoStart, false);
    EXPECT_EQ(c.account, L"LocalSystem");
    EXPECT_EQ(c.preshutdownTimeoutMs, 120000u);
    ASSERT_TRUE(c.recovery);
    EXPECT_TRUE(SameRecovery(*c.recovery, RestartPolicy({10000, 30000, 60000}, 86400)));
    EXPECT_EQ(c.recovery->actions.size(), 3u);
    EXPECT_EQ(c.failureOnNonZeroExit, true);
    EXPECT_TRUE(c.dependencies.empty());
    EXPECT_FALSE(c.sidType);
    EXPECT_FALSE(c.requiredPrivileges);
    EXPECT_FALSE(desired.recoveryGiven);
}

TEST(ComposeInstallConfig, TakesEachOptionGiven) {
    DesiredConfig desired = ComposeInstallConfig(
        L"U",
        Options({L"install", L"U", L"--stop-timeout", L"5000", L"--display-name", L"D",
                 L"--description", L"", L"--start", L"delayed-auto", L"--account", L"NT SERVICE\\u",
                 L"--depends-on", L"Tcpip", L"--restart-on-failure", L"1,2", L"--reset-failures-after",
                 L"60", L"--sid-type", L"unrestricted", L"--required-privileges",
                 L"SeChangeNotifyPrivilege", L"--", L"u"}),
        kWrapper, kProgram);
    const ServiceConfig& c = desired.config;
    EXPECT_EQ(c.commandLine.stopTimeoutMs, 5000u);
    EXPECT_EQ(c.preshutdownTimeoutMs, 5000u);
    EXPECT_EQ(c.displayName, L"D");
    EXPECT_EQ(c.description, L"");
    EXPECT_EQ(c.delayedAutoStart, true);
    EXPECT_EQ(c.account, L"NT SERVICE\\U");
    EXPECT_EQ(c.dependencies, std::vector<std::wstring>{L"Tcpip"});
    EXPECT_TRUE(SameRecovery(*c.recovery, RestartPolicy({1, 2}, 60)));
    EXPECT_EQ(c.sidType, SidType::Unrestricted);
    EXPECT_EQ(c.requiredPrivileges, std::vector<std::wstring>{L"SeChangeNotifyPrivilege"});
    EXPECT_TRUE(desired.recoveryGiven);

    // No recovery at all leaves the flag, which then means nothing, alone.
    DesiredConfig none = ComposeInstallConfig(
        L"U", Options({L"install", L"U", L"--restart-on-failure", L"none", L"--", L"u"}), kWrapper,
        kProgram);
    EXPECT_TRUE(none.config.recovery->actions.empty());
    EXPECT_FALSE(none.config.failureOnNonZeroExit);
    EXPECT_TRUE(none.recoveryGiven);
}

ServiceConfig Current() {
    StoredService stored{};
    stored.name = L"U";
    stored.binaryPathName = L"\"" + kWrapper + L"\" 30000 \"C:\\Old\\o.exe\"   \"x\"";
    stored.displayName = L"Old";
    stored.startType = SERVICE_DEMAND_START;
    stored.serviceStartName = L"NT AUTHORITY\\LocalService";
    stored.dependencies = {L"Tcpip"};
    stored.description = L"old";
    stored.delayedAutoStart = true;
    stored.preshutdownTimeoutMs = 30000;
    stored.failureActions = RestartPolicy({5}, 7);
    stored.failureActionsOnNonCrashFailures = false;
    stored.serviceSidType = 3;
    stored.requiredPrivileges = std::vector<std::wstring>{L"SeAPrivilege"};
    return DecodeStoredService(stored);
}

// set writes only what it was given: the rest, the stored command line's
// text included, stays as it is.
TEST(ComposeSetConfig, ChangesOnlyWhatIsGiven) {
    const ServiceConfig current = Current();
    DesiredConfig same = ComposeSetConfig(current, Options({L"set", L"U"}), L"", L"");
    EXPECT_EQ(same.config.commandLine.text, current.commandLine.text);
    EXPECT_EQ(same.config.displayName, L"Old");
    EXPECT_EQ(same.config.recovery->actions.size(), 1u);
    EXPECT_EQ(same.config.sidType, SidType::Restricted);

    DesiredConfig timeout = ComposeSetConfig(current, Options({L"set", L"U", L"--stop-timeout", L"60000"}), L"", L"");
    EXPECT_EQ(timeout.config.commandLine.text, L"\"" + kWrapper + L"\" 60000 \"C:\\Old\\o.exe\" \"x\"");
    EXPECT_EQ(timeout.config.preshutdownTimeoutMs, 60000u);
    EXPECT_EQ(timeout.config.account, L"NT AUTHORITY\\LocalService");

    DesiredConfig program = ComposeSetConfig(current, Options({L"set", L"U", L"--", L"n"}), L"", kProgram);
    EXPECT_EQ(program.config.commandLine.program, kProgram);
    EXPECT_TRUE(program.config.commandLine.arguments.empty());
    EXPECT_EQ(program.config.description, L"old");
    EXPECT_EQ(program.config.preshutdownTimeoutMs, 30000u);

    DesiredConfig wrapper = ComposeSetConfig(
        current, Options({L"set", L"U", L"--wrapper", L"D:\\service-wrapper.exe"}), L"D:\\service-wrapper.exe", L"");
    EXPECT_EQ(wrapper.config.commandLine.wrapperPath, L"D:\\service-wrapper.exe");
    EXPECT_EQ(wrapper.config.commandLine.program, L"C:\\Old\\o.exe");

    DesiredConfig reset = ComposeSetConfig(current, Options({L"set", L"U", L"--reset-failures-after", L"9"}), L"", L"");
    EXPECT_TRUE(SameRecovery(*reset.config.recovery, RestartPolicy({5}, 9)));
    EXPECT_EQ(reset.config.failureOnNonZeroExit, false);
    EXPECT_TRUE(reset.recoveryGiven);

    // Where the manager cannot report recovery, the default is the base.
    ServiceConfig unread = current;
    unread.recovery.reset();
    DesiredConfig fromDefault = ComposeSetConfig(unread, Options({L"set", L"U", L"--reset-failures-after", L"9"}), L"", L"");
    EXPECT_TRUE(SameRecovery(*fromDefault.config.recovery, RestartPolicy({10000, 30000, 60000}, 9)));
}

TEST(DecodeStoredService, NamesWhatTheManagerGivesAsTheModelDoes) {
    StoredService stored{};
    stored.binaryPathName = L"\"" + kWrapper + L"\" 1 p";
    ServiceConfig decoded = DecodeStoredService(stored);
    EXPECT_EQ(decoded.account, L"LocalSystem");  // a null lpServiceStartName
    EXPECT_TRUE(decoded.commandLine.decoded);
    EXPECT_FALSE(decoded.recovery || decoded.sidType || decoded.delayedAutoStart || decoded.description);
    for (const auto& c : std::vector<std::pair<DWORD, std::optional<SidType>>>{
             {0, SidType::None}, {1, SidType::Unrestricted}, {3, SidType::Restricted}, {2, std::nullopt}}) {
        stored.serviceSidType = c.first;
        EXPECT_EQ(DecodeStoredService(stored).sidType, c.second) << c.first;
        if (c.second) {
            EXPECT_EQ(ServiceSidTypeValue(*c.second), c.first);
        }
    }
}

TEST(MultiString, SplitsWhatItJoins) {
    const std::vector<std::vector<std::wstring>> kLists = {{}, {L"Tcpip"}, {L"a", L"+Group", L"c d"}};
    for (const auto& list : kLists) {
        std::wstring joined = JoinMultiString(list);
        EXPECT_EQ(SplitMultiString(joined.c_str()), list);
    }
    EXPECT_EQ(JoinMultiString({L"a", L"b"}), std::wstring(L"a\0b\0\0", 5));
    EXPECT_TRUE(SplitMultiString(nullptr).empty());
}

TEST(AccountKindOf, KnowsEachKindAsTheManagerSpellsIt) {
    const std::pair<const wchar_t*, AccountKind> kCases[] = {
        {L"", AccountKind::LocalSystem},
        {L"localsystem", AccountKind::LocalSystem},
        {L".\\LocalSystem", AccountKind::LocalSystem},
        {L"NT AUTHORITY\\LocalService", AccountKind::LocalService},
        {L"nt authority\\local service", AccountKind::LocalService},
        {L"NT AUTHORITY\\NetworkService", AccountKind::NetworkService},
        {L"NT Service\\U", AccountKind::Virtual},
        {L"CORP\\gmsa$", AccountKind::GroupManaged},
        {L"CORP\\user", AccountKind::User},
        {L".\\user", AccountKind::User},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.first)));
        EXPECT_EQ(AccountKindOf(c.first), c.second);
    }
    EXPECT_TRUE(SameAccount(L"", L"LocalSystem"));
    EXPECT_TRUE(SameAccount(L"NT AUTHORITY\\Local Service", L"nt authority\\localservice"));
    EXPECT_TRUE(SameAccount(L"CORP\\User", L"corp\\user"));
    EXPECT_FALSE(SameAccount(L"CORP\\user", L".\\user"));
    EXPECT_FALSE(SameAccount(L"NT AUTHORITY\\LocalService", L"NT AUTHORITY\\NetworkService"));
}

}  // namespace
