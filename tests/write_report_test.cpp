// What install, apply and set print, made from their outcome on the
// simulated manager: whatever step fails, a user account's password reaches
// neither the text nor the JSON document.
#include "setup/verbs/write_report.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "setup/model/config_json.h"
#include "setup/model/text.h"
#include "tests/service_writing_helpers.h"

namespace {

using store_test::Desired;
using store_test::ReadBack;

const wchar_t kPassword[] = L"Pa55-w0rd-Secret";

std::wstring NumberedSystemText(DWORD code) {
    return L"Text of " + std::to_wstring(code) + L" with %1.";
}

// Something of every kind the checks find, so that every part is rendered.
CheckFindings SomeChecks() {
    CheckFindings checks{{}, {L"A warning."}, {L"A note."}, {}, {}};
    AccessList list{true, {{AccessEntryType::Allow, 0, kFileAllAccess, L"S-1-1-0"}}};
    checks.access = ReviewAccess(AuditedKind::File, L"C:\\P\\u.exe", list, nullptr);
    return checks;
}

void ExpectNoPassword(const VerbReport& report) {
    EXPECT_EQ(report.text.find(kPassword), std::wstring::npos) << ToUtf8(report.text);
    const std::string document = report.document.dump();
    EXPECT_EQ(document.find(ToUtf8(kPassword)), std::string::npos) << document;
}

// The calls the install and change sequences make, each failing in turn,
// then the granting of the right, then nothing.
struct Step {
    const char* call;  // null: the grant fails; "": nothing fails
    int nth;
};
const Step kSteps[] = {
    {"OpenSCManagerW", 1},        {"CreateServiceW", 1},        {"ChangeServiceConfigW", 1},
    {"ChangeServiceConfig2W", 1}, {"ChangeServiceConfig2W", 2}, {"ChangeServiceConfig2W", 3},
    {"ChangeServiceConfig2W", 4}, {"ChangeServiceConfig2W", 5}, {"ChangeServiceConfig2W", 6},
    {"ChangeServiceConfig2W", 7}, {nullptr, 0},                 {"", 0},
};

using store_test::CallCount;

void FailAt(const Step& step) {
    store_test::g_grant = {step.call ? NO_ERROR : DWORD(ERROR_ACCESS_DENIED), false, {}};
    if (step.call && *step.call) {
        sim::FailCall(step.call, CallCount(step.call) + step.nth, ERROR_ACCESS_DENIED);
    }
}

ConfigOptions UserAccount() {
    ConfigOptions options = store_test::EveryOption();
    options.account = L".\\svc";
    return options;
}

TEST(WriteReport, NoPasswordInWhatInstallPrintsWhateverStepFails) {
    const CheckFindings checks = SomeChecks();
    for (const Step& step : kSteps) {
        SCOPED_TRACE(std::string(step.call ? step.call : "grant") + " " + std::to_string(step.nth));
        sim::Reset();
        FailAt(step);
        const DesiredConfig desired = Desired(UserAccount());
        WriteNotes notes;
        std::optional<InstallFailure> failure =
            CreateConfiguredService(desired, kPassword, notes, store_test::ScriptedGrant);
        ExpectNoPassword(failure ? InstallFailureReport(L"MyUpdater", *failure, checks, NumberedSystemText)
                                 : InstallReport(L"MyUpdater", desired.config, notes, checks));
        ExpectNoPassword(RefusalReport(Verb::Install, L"MyUpdater", L"why", ERROR_ACCESS_DENIED,
                                       checks, NumberedSystemText));
    }
}

// install's report is made before the write; the one printed must be the
// one for what the write then did.
TEST(WriteReport, InstallPrintsTheReportMadeForWhatTheWriteDid) {
    for (bool leftOut : {false, true}) {
        for (bool granted : {false, true}) {
            SCOPED_TRACE(std::string(leftOut ? "recovery left out" : "recovery kept") +
                         (granted ? ", right granted" : ", right held already"));
            sim::Reset();
            // The flag is written first; a manager without it has neither level written.
            if (leftOut) sim::RefuseConfigLevel(SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, true, false);
            store_test::g_grant = {NO_ERROR, /*held=*/!granted, {}};
            ConfigOptions options;
            options.account = L".\\svc";
            const DesiredConfig desired = Desired(options);
            const InstallReports reports =
                PrepareInstallReports(L"MyUpdater", desired.config, SomeChecks());
            WriteNotes notes;
            ASSERT_FALSE(
                CreateConfiguredService(desired, kPassword, notes, store_test::ScriptedGrant));
            const VerbReport& report = ChooseInstallReport(reports, notes);
            EXPECT_EQ(report.document["logonRightGranted"], granted);
            EXPECT_EQ(report.text.find(LogonRightGrantedText(L".\\svc")) != std::wstring::npos,
                      granted);
            EXPECT_EQ(report.text.find(kRecoveryNotKeptWarning) != std::wstring::npos, leftOut);
            EXPECT_EQ(report.document["service"]["recovery"]["actions"].empty(), leftOut);
        }
    }
}

TEST(WriteReport, NoPasswordInWhatApplyAndSetPrintWhateverStepFails) {
    const CheckFindings checks = SomeChecks();
    for (const Step& step : kSteps) {
        SCOPED_TRACE(std::string(step.call ? step.call : "grant") + " " + std::to_string(step.nth));
        sim::Reset();
        WriteNotes notes;
        ASSERT_FALSE(CreateConfiguredService(Desired({}), nullptr, notes));
        const ServiceConfig current = ReadBack(L"MyUpdater");
        ConfigOptions options = UserAccount();
        options.program = L"u.exe";
        const DesiredConfig desired =
            ComposeSetConfig(current, options, L"", store_test::kProgram);
        std::vector<ConfigChange> changes = CompareConfigs(current, desired);
        changes.push_back(PasswordChange());
        ServiceHandles handles;
        ASSERT_FALSE(OpenServiceByName(L"MyUpdater", kChangeAccess, handles));
        FailAt(step);
        std::optional<ChangeFailure> failure =
            WriteChanges(handles.service.handle, current, desired, changes, kPassword, notes,
                         store_test::ScriptedGrant);
        CloseServiceHandles(handles);
        ExpectNoPassword(
            failure ? ChangeFailureReport(L"MyUpdater", changes, *failure, checks, NumberedSystemText)
                    : ChangesReport(L"MyUpdater", desired.config.account, changes, notes, checks,
                                    /*running=*/true, /*restartFollows=*/false));
        for (Verb verb : {Verb::Apply, Verb::Set}) {
            ExpectNoPassword(RefusalReport(verb, L"MyUpdater", L"why", NO_ERROR, checks, NumberedSystemText));
        }
    }
}

TEST(RenderChangesText, GivesOldAndNewPerFieldOrSaysNothingChanged) {
    ConfigOptions options;
    options.stopTimeoutMs = 30000;
    options.program = L"u";
    options.launch.direct = true;
    ServiceConfig config =
        ComposeInstallConfig(L"U", options, L"C:\\W\\service-wrapper.exe", L"C:\\P\\u.exe").config;
    DesiredConfig desired{config, false};
    desired.config.commandLine = ComposeCommandLine(L"C:\\W\\service-wrapper.exe", 60000, L"C:\\P\\u.exe", {});
    desired.config.displayName = L"New";
    std::vector<ConfigChange> changes = CompareConfigs(config, desired);
    EXPECT_EQ(RenderChangesText(L"U", changes, /*running=*/true),
              L"Changed the service U:\n"
              L"  stop timeout: 30000 ms -> 60000 ms\n"
              L"  display name: [U] -> [New]\n"
              L"The service is running: restart it to apply: stop timeout.\n");
    EXPECT_EQ(RenderChangesText(L"U", changes, /*running=*/false).find(L"restart"), std::wstring::npos);
    // A password only as changed, never old or new.
    EXPECT_EQ(RenderChangesText(L"U", {PasswordChange()}, /*running=*/false),
              L"Changed the service U:\n  password: (changed)\n");
    EXPECT_EQ(RenderChangesText(L"U", {}, true), L"The service U is already as asked; nothing was changed.\n");
}

TEST(ChangesJson, SaysWhetherAnythingChangedAndEachOldAndNewValue) {
    ConfigOptions options;
    options.stopTimeoutMs = 30000;
    options.launch.direct = true;
    DesiredConfig desired = ComposeInstallConfig(L"U", options, L"C:\\W\\service-wrapper.exe", L"C:\\P\\u.exe");
    ServiceConfig current = desired.config;
    EXPECT_EQ(nlohmann::json::parse(JsonDocument(ChangesJson(CompareConfigs(current, desired)))),
              nlohmann::json::parse(R"({"changed": false, "changes": [], "needsRestart": false})"));
    current.commandLine = ComposeCommandLine(L"C:\\W\\service-wrapper.exe", 5, L"C:\\P\\u.exe", {});
    current.displayName = L"Old \u00fc";
    const nlohmann::json j = nlohmann::json::parse(JsonDocument(ChangesJson(CompareConfigs(current, desired))));
    EXPECT_EQ(j["changed"], true);
    EXPECT_EQ(j["needsRestart"], true);
    ASSERT_EQ(j["changes"].size(), 2u);
    EXPECT_EQ(j["changes"][0], nlohmann::json::parse(R"({"field": "stopTimeoutMs", "old": 5, "new": 30000, "needsRestart": true})"));
    EXPECT_EQ(j["changes"][1]["field"], "displayName");
    EXPECT_EQ(j["changes"][1]["old"], "Old \xc3\xbc");
    EXPECT_EQ(j["changes"][1]["new"], "U");
}

}  // namespace
