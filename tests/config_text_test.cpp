// The text the verbs print, made from the records: what a person reads
// after install, show, apply, set, and after a failure.
#include "setup/model/config_text.h"

#include <gtest/gtest.h>

#include "setup/model/compose_config.h"
#include "setup/model/write_outcome.h"

namespace {

std::wstring ManagerErrorText(DWORD code) {
    switch (code) {
    case 5: return L"Access is denied.";
    case 1072: return L"The specified service has been marked for deletion.";
    default: return L"";
    }
}

ServiceConfig Config() {
    ConfigOptions options;
    options.stopTimeoutMs = 30000;
    options.program = L"u";
    options.launch.direct = true;
    return ComposeInstallConfig(L"U", options, L"C:\\W\\service-wrapper.exe", L"C:\\P\\u.exe").config;
}

testing::AssertionResult Holds(const std::wstring& text, const std::wstring& phrase) {
    if (text.find(phrase) != std::wstring::npos) return testing::AssertionSuccess();
    return testing::AssertionFailure() << testing::PrintToString(phrase) << " not in\n"
                                       << testing::PrintToString(text);
}

TEST(RecoveryLines, SayWhatWindowsDoesAfterAFailure) {
    const struct {
        std::optional<RecoveryPolicy> recovery;
        std::optional<bool> nonZeroExit;
        std::vector<std::wstring> lines;
    } kCases[] = {
        {DefaultRecovery(), true,
         {L"first failure: restart after 10000 ms", L"second failure: restart after 30000 ms",
          L"every later failure: restart after 60000 ms",
          L"failures counted anew after 86400 s without one",
          L"a stop with a non-zero exit code counts as a failure"}},
        {RestartPolicy({5000}, 60), false,
         {L"every failure: restart after 5000 ms", L"failures counted anew after 60 s without one",
          L"only a crash counts as a failure, not a non-zero exit code"}},
        {RecoveryPolicy{{{RecoveryActionType::Reboot, 1}, {RecoveryActionType::None, 0}}, 0}, std::nullopt,
         {L"first failure: reboot the computer after 1 ms", L"every later failure: take no action",
          L"failures counted anew after 0 s without one",
          L"whether a non-zero exit code counts as a failure cannot be read"}},
        {RestartPolicy({}, 86400), true, {L"none: Windows will not restart the service after a failure"}},
        {std::nullopt, std::nullopt, {L"the service control manager cannot report the recovery settings"}},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::PrintToString(c.lines));
        ServiceConfig config = Config();
        config.recovery = c.recovery;
        config.failureOnNonZeroExit = c.nonZeroExit;
        EXPECT_EQ(RecoveryLines(config), c.lines);
    }
}

TEST(RenderInstallReport, SaysWhatAStopWillDoWithTheTimeoutWritten) {
    ServiceConfig config = Config();
    const std::wstring report = RenderInstallReport(config);
    EXPECT_TRUE(Holds(report, L"Installed the service U.\n"));
    EXPECT_TRUE(Holds(report, L"A stop gives the program 30000 ms to end by itself, then ends it.\n"));
    EXPECT_TRUE(Holds(report, L"  recovery        first failure: restart after 10000 ms\n"
                              L"                  second failure: restart after 30000 ms\n"));
    EXPECT_TRUE(Holds(report, L"  2  program       [C:\\P\\u.exe]\n"));
    EXPECT_EQ(StopBehaviourLine(0), L"A stop ends the program at once.");
}

// Elements, the stored line and texts with control characters are marked
// in the listing, never printed raw.
TEST(RenderShowText, ListsTheRecordWithControlCharactersMarked) {
    ServiceConfig config = Config();
    config.description = L"two\nlines";
    config.commandLine = ComposeCommandLine(L"C:\\W\\service-wrapper.exe", 30000, L"C:\\P\\u.exe", {L"a\tb"});
    config.account = L"NT SERVICE\\U";
    config.dependencies = {L"Tcpip"};
    config.sidType = SidType::Unrestricted;
    ConfigurationReview review{true, 30000, {L"Something unsafe."}, {L"Something to know."}};
    const std::wstring text =
        RenderShowText(config, StatusReport{SERVICE_RUNNING, 42, 0, 0}, L"0: clean", review);
    EXPECT_EQ(text.find(L'\t'), std::wstring::npos);
    EXPECT_TRUE(Holds(text, L"  description     two<LF>lines\n"));
    EXPECT_TRUE(Holds(text, L"  state           running, pid 42\n  last exit code  0: clean\n"));
    EXPECT_TRUE(Holds(text, L"  account         NT SERVICE\\U (the service's virtual account)\n"));
    EXPECT_TRUE(Holds(text, L"  dependencies    [Tcpip]\n"));
    EXPECT_TRUE(Holds(text, L"  SID type        unrestricted\n"));
    EXPECT_TRUE(Holds(text, L" \"a<TAB>b\"\n"));
    EXPECT_TRUE(Holds(text, L"  3  argument      [a<TAB>b]\n"));
    EXPECT_TRUE(Holds(text, L"Note: Something to know.\nWarning: Something unsafe.\n"));
}

// show names the SID type and the privileges, or why it cannot; install
// only those it writes.
TEST(RenderShowText, NamesTheSidTypeAndPrivilegesOrWhyTheyAreUnknown) {
    const std::wstring unknown = L"unknown: the service control manager cannot report it\n";
    const struct {
        std::optional<SidType> sidType;
        std::optional<std::vector<std::wstring>> privileges;
        std::wstring lines;
    } kCases[] = {
        {std::nullopt, std::nullopt,
         L"  SID type        " + unknown + L"  privileges      " + unknown},
        {SidType::Restricted, std::vector<std::wstring>{},
         L"  SID type        restricted\n"
         L"  privileges      every privilege of the account (none are named)\n"},
        {SidType::None, std::vector<std::wstring>{L"SeChangeNotifyPrivilege"},
         L"  SID type        none\n  privileges      [SeChangeNotifyPrivilege]\n"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::PrintToString(c.lines));
        ServiceConfig config = Config();
        config.sidType = c.sidType;
        config.requiredPrivileges = c.privileges;
        ConfigurationReview review{true, 30000, {}, {}};
        EXPECT_TRUE(Holds(RenderShowText(config, std::nullopt, L"", review), c.lines));
        const std::wstring report = RenderInstallReport(config);
        EXPECT_EQ(Holds(report, L"SID type"), c.sidType.has_value());
    }
}

TEST(StatusLine, NamesTheStateAndExplainsAStop) {
    EXPECT_EQ(StatusLine(L"U", StatusReport{SERVICE_RUNNING, 7, 0, 0}, L""), L"U: running, pid 7\n");
    EXPECT_EQ(StatusLine(L"U", StatusReport{SERVICE_STOPPED, 0, 2, 0}, L"2: the program was not found"),
              L"U: stopped; last exit code 2: the program was not found\n");
    EXPECT_EQ(StatusLine(L"U", StatusReport{6, 9, 0, 0}, L""), L"U: pausing, pid 9\n");
}

// The words after a failed install: a service that could not be deleted
// again is left installed, and the text says so and how to remove it.
TEST(InstallFailureText, SaysWhatIsLeftInstalled) {
    const struct {
        InstallFailure failure;
        std::wstring text;
    } kCases[] = {
        {{L"cannot create the service", 5, false, false, 0},
         L"Cannot install U: cannot create the service. Windows error 5: Access is denied.\n"
         L"Nothing was installed.\n"},
        {{L"cannot set the description", 5, true, false, 0},
         L"Cannot install U: cannot set the description. Windows error 5: Access is denied.\n"
         L"The service was deleted again; nothing is left installed.\n"},
        {{L"cannot set the pre-shutdown timeout", 5, true, true, 1072},
         L"Cannot install U: cannot set the pre-shutdown timeout. Windows error 5: Access is "
         L"denied.\nThe service was created but could not be deleted again, so it is left "
         L"installed. Windows error 1072: The specified service has been marked for deletion.\n"
         L"Remove it with: service-wrapper-setup remove \"U\"\n"},
        // A display name taken is named with the service that has it.
        {{L"cannot create the service", 1078, false, false, 0, TakenDisplayName{L"Up", L"Other"}},
         L"Cannot install U: cannot create the service. Windows error 1078: (Windows has no text "
         L"for it.)\nThe display name [Up] is already used by the service Other; give another one "
         L"with --display-name.\nNothing was installed.\n"},
        {{L"cannot create the service", 1078, false, false, 0, TakenDisplayName{L"Up", L""}},
         L"Cannot install U: cannot create the service. Windows error 1078: (Windows has no text "
         L"for it.)\nThe display name [Up] is already used by another service, as its name or "
         L"display name; give another one with --display-name.\nNothing was installed.\n"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.failure.step);
        EXPECT_EQ(InstallFailureText(L"U", c.failure, ManagerErrorText), c.text);
    }
}

// A failed apply or set: what was written back, or exactly what could not
// be, with the value it has now and the one it had.
TEST(ChangeFailureText, SaysWhatWasWrittenBackOrWhatCouldNotBe) {
    ServiceConfig config = Config();
    DesiredConfig desired{config, false};
    desired.config.commandLine = ComposeCommandLine(L"C:\\W\\service-wrapper.exe", 60000, L"C:\\P\\u.exe", {});
    desired.config.description = L"New";
    desired.config.preshutdownTimeoutMs = 60000;
    std::vector<ConfigChange> changes = CompareConfigs(config, desired);
    const std::wstring head =
        L"Cannot change the service U: cannot set the pre-shutdown timeout. Windows error 5: "
        L"Access is denied.\n";
    ChangeFailure nothing{L"cannot set the pre-shutdown timeout", 5, {}, {}};
    EXPECT_EQ(ChangeFailureText(L"U", changes, nothing, ManagerErrorText), head + L"Nothing had been changed yet.\n");
    ChangeFailure restored{L"cannot set the pre-shutdown timeout", 5,
                           {ConfigWrite::ChangeServiceConfig, ConfigWrite::Description}, {}};
    EXPECT_EQ(ChangeFailureText(L"U", changes, restored, ManagerErrorText),
              head + L"What had been changed was written back as it was: stop timeout; description.\n"
                     L"The service is as it was before.\n");
    ChangeFailure partly{L"cannot set the pre-shutdown timeout", 5, {ConfigWrite::Description},
                         {{ConfigWrite::ChangeServiceConfig, 1072}}};
    EXPECT_EQ(ChangeFailureText(L"U", changes, partly, ManagerErrorText),
              head + L"Some of what had been changed could not be written back; the service is "
                     L"now part changed:\n"
                     L"  stop timeout is now 60000 ms; it was 30000 ms\n"
                     L"  (Windows error 1072: The specified service has been marked for deletion.)\n"
                     L"  written back as it was: description\n"
                     L"Run the same command again, or set these back by hand.\n");
    // A write whose earlier value the manager could not report cannot be
    // written back, and the text says why rather than giving error 0.
    ChangeFailure unknown{L"cannot set the pre-shutdown timeout", 5, {},
                          {{ConfigWrite::Description, NO_ERROR}}};
    EXPECT_TRUE(Holds(ChangeFailureText(L"U", changes, unknown, ManagerErrorText),
                      L"  description is now [New]; it was [Runs C:\\P\\u.exe as a service.]\n"
                      L"  (what it was could not be read, so it could not be written back)\n"));
    // A new password went with the main write: it stays, whatever else was
    // written back, and is named apart, never among the fields written back.
    std::vector<ConfigChange> withPassword = changes;
    withPassword.push_back(PasswordChange());
    EXPECT_EQ(ChangeFailureText(L"U", withPassword, restored, ManagerErrorText),
              head + L"What had been changed was written back as it was: stop timeout; description.\n"
                     L"The new password stays: Windows gives no way to read the one before, so it "
                     L"could not be written back.\n"
                     L"The service is as it was before, but for the password.\n");
    EXPECT_TRUE(Holds(ChangeFailureText(L"U", withPassword, partly, ManagerErrorText),
                      L"  written back as it was: description\nThe new password stays"));
    EXPECT_EQ(ChangeFailureText(L"U", withPassword, nothing, ManagerErrorText),
              head + L"Nothing had been changed yet.\n");
    ChangeFailure taken{L"cannot change the configuration", 1078, {}, {}, TakenDisplayName{L"Up", L"Other"}};
    EXPECT_TRUE(Holds(ChangeFailureText(L"U", changes, taken, ManagerErrorText),
                      L"\nThe display name [Up] is already used by the service Other; give another "
                      L"one with --display-name.\nNothing had been changed yet.\n"));
}

}  // namespace
