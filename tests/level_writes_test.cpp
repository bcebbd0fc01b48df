// The single writes the install sequence is made of, seen through it on the
// simulated manager: recovery settings a manager cannot keep, each account
// with its password and right to log on, and a display name taken already.
#include "setup/manager/level_writes.h"

#include <gtest/gtest.h>

#include "tests/service_writing_helpers.h"

namespace {

using store_test::Desired;
using store_test::EveryOption;
using store_test::InstallSequence;

// A manager that answers ERROR_INVALID_LEVEL: the default recovery is left
// out with a warning and the install goes on; recovery asked for by name,
// and a SID type or privileges given, fail the install, which is undone.
// Any other error fails it whatever was asked.
TEST_F(InstallSequence, LeavesOutOnlyTheDefaultRecoveryWhereTheManagerCannotKeepIt) {
    ConfigOptions explicitRestart;
    explicitRestart.restartDelaysMs = {{5000}};
    ConfigOptions explicitReset;
    explicitReset.resetPeriodSeconds = 3600;
    ConfigOptions none;
    none.restartDelaysMs.emplace();
    ConfigOptions sid;
    sid.sidType = SidType::Unrestricted;
    ConfigOptions privileges;
    privileges.requiredPrivileges = {{L"SeChangeNotifyPrivilege"}};
    const DWORD kFlag = SERVICE_CONFIG_FAILURE_ACTIONS_FLAG;
    const DWORD kActions = SERVICE_CONFIG_FAILURE_ACTIONS;
    const struct {
        const char* what;
        ConfigOptions options;
        DWORD refusedLevel;  // 0: the manager plays Wine's
        const wchar_t* step;  // null: installed
        std::vector<ConfigWrite> notWritten;
        std::size_t actionsKept;
        bool flagKept;
    } kCases[] = {
        {"default, flag refused", {}, kFlag, nullptr,
         {ConfigWrite::FailureActionsFlag, ConfigWrite::FailureActions}, 0, false},
        {"default, actions refused", {}, kActions, nullptr, {ConfigWrite::FailureActions}, 0, true},
        {"default, Wine", {}, 0, nullptr,
         {ConfigWrite::FailureActionsFlag, ConfigWrite::FailureActions}, 0, false},
        {"none, Wine", none, 0, nullptr, {}, 0, false},
        {"explicit delays, flag refused", explicitRestart, kFlag,
         L"the service control manager does not keep the recovery settings' flag that makes a "
         L"non-zero exit code count as a failure", {}, 0, false},
        {"explicit delays, actions refused", explicitRestart, kActions,
         L"the service control manager does not keep recovery settings", {}, 0, false},
        {"explicit reset period, Wine", explicitReset, 0,
         L"the service control manager does not keep the recovery settings' flag that makes a "
         L"non-zero exit code count as a failure", {}, 0, false},
        {"SID type refused", sid, SERVICE_CONFIG_SERVICE_SID_INFO,
         L"the service control manager does not keep a SID type", {}, 0, false},
        {"privileges refused", privileges, SERVICE_CONFIG_REQUIRED_PRIVILEGES_INFO,
         L"the service control manager does not keep required privileges", {}, 0, false},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        sim::Reset();
        if (c.refusedLevel) {
            sim::RefuseConfigLevel(c.refusedLevel, /*onChange=*/true, /*onQuery=*/true);
        } else {
            sim::ManagerAsWine();
        }
        WriteNotes notes;
        std::optional<InstallFailure> failure =
            CreateConfiguredService(Desired(c.options), nullptr, notes);
        if (c.step) {
            ASSERT_TRUE(failure);
            EXPECT_STREQ(failure->step, c.step);
            EXPECT_EQ(failure->error, ERROR_INVALID_LEVEL);
            EXPECT_TRUE(sim::Services().empty());
            EXPECT_TRUE(notes.warnings.empty());
            continue;
        }
        ASSERT_FALSE(failure) << failure->step;
        EXPECT_EQ(notes.notWritten, c.notWritten);
        ASSERT_EQ(notes.warnings.size(), c.notWritten.empty() ? 0u : 1u);
        if (!notes.warnings.empty()) {
            EXPECT_NE(notes.warnings[0].find(L"will not restart the service after a failure"),
                      std::wstring::npos);
        }
        std::optional<sim::ServiceRecord> record = sim::ServiceNamed(L"MyUpdater");
        ASSERT_TRUE(record);
        EXPECT_EQ(record->failureActions.size(), c.actionsKept);
        EXPECT_EQ(record->failureActionsOnNonCrashFailures, c.flagKept);
    }
    // Any other error fails even the default recovery. Calls: pre-shutdown,
    // the flag, the actions (no description).
    ConfigOptions plain;
    plain.description = L"";
    for (int nth : {2, 3}) {
        SCOPED_TRACE("default, level " + std::to_string(nth) + " denied");
        sim::Reset();
        sim::FailCall("ChangeServiceConfig2W", nth, ERROR_ACCESS_DENIED);
        WriteNotes notes;
        std::optional<InstallFailure> failure =
            CreateConfiguredService(Desired(plain), nullptr, notes);
        ASSERT_TRUE(failure);
        EXPECT_EQ(failure->error, ERROR_ACCESS_DENIED);
        EXPECT_TRUE(sim::Services().empty());
    }
}

// Each account as the manager takes it: a password only with a user
// account, which is given the right to log on as a service last, and whose
// install is undone when that fails.
TEST_F(InstallSequence, WritesEachAccountAndGivesAUserTheRightToLogOnAsAService) {
    const struct {
        const wchar_t* account;
        const wchar_t* password;
        DWORD grantError;
        bool held;
        bool installed;
        bool passwordSet;
        bool asked;
        bool granted;
    } kCases[] = {
        {kLocalServiceAccount, nullptr, NO_ERROR, false, true, false, false, false},
        {kNetworkServiceAccount, nullptr, NO_ERROR, false, true, false, false, false},
        {L"NT SERVICE\\MyUpdater", nullptr, NO_ERROR, false, true, false, false, false},
        {L"CORP\\gmsa$", nullptr, NO_ERROR, false, true, false, false, false},
        {L".\\svc", L"pw", NO_ERROR, false, true, true, true, true},
        {L"CORP\\svc", L"pw", NO_ERROR, true, true, true, true, false},
        {L".\\svc", L"pw", ERROR_ACCESS_DENIED, false, false, false, true, false},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.account)));
        sim::Reset();
        store_test::g_grant = {c.grantError, c.held, {}};
        ConfigOptions options;
        options.account = c.account;
        WriteNotes notes;
        std::optional<InstallFailure> failure = CreateConfiguredService(
            Desired(options), c.password, notes, store_test::ScriptedGrant);
        EXPECT_EQ(!failure, c.installed);
        EXPECT_EQ(store_test::g_grant.asked,
                  c.asked ? std::vector<std::wstring>{c.account} : std::vector<std::wstring>{});
        EXPECT_EQ(notes.logonRightGranted, c.granted);
        std::optional<sim::ServiceRecord> record = sim::ServiceNamed(L"MyUpdater");
        ASSERT_EQ(record.has_value(), c.installed);
        if (failure) {
            EXPECT_STREQ(failure->step, L"cannot give its account the right to log on as a "
                                        L"service (SeServiceLogonRight)");
            EXPECT_EQ(failure->error, c.grantError);
            EXPECT_TRUE(failure->created);
            continue;
        }
        EXPECT_EQ(record->serviceStartName, c.account);
        EXPECT_EQ(record->passwordSet, c.passwordSet);
        ExpectNoHandleOrProblemLeft();
    }
}

// 1078 names the service whose display name, or whose own name, is the
// display name asked for.
TEST_F(InstallSequence, SaysWhichServiceHasTheDisplayNameAlready) {
    const struct {
        const char* what;
        std::wstring otherName;
        std::wstring otherDisplayName;
        std::wstring owner;
    } kCases[] = {
        {"as its display name", L"Other", L"MY UPDATER", L"Other"},
        {"as its own name", L"My Updater", L"Something", L"My Updater"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        sim::Reset();
        sim::ServiceRecord other;
        other.name = c.otherName;
        other.displayName = c.otherDisplayName;
        other.binaryPathName = L"C:\\x.exe";
        sim::AddService(other);
        WriteNotes notes;
        std::optional<InstallFailure> failure =
            CreateConfiguredService(Desired(EveryOption()), nullptr, notes);
        ASSERT_TRUE(failure);
        EXPECT_EQ(failure->error, ERROR_DUPLICATE_SERVICE_NAME);
        ASSERT_TRUE(failure->takenDisplayName);
        EXPECT_EQ(failure->takenDisplayName->displayName, L"My Updater");
        EXPECT_EQ(failure->takenDisplayName->owner, c.owner);
        EXPECT_EQ(sim::Services().size(), 1u);
        ExpectNoHandleOrProblemLeft();
    }
}

}  // namespace
