// apply's and set's writes against the simulated manager: only what differs
// is written, and a write that fails has the writes before it undone.
#include "setup/manager/service_writing.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "tests/service_writing_helpers.h"

namespace {

using store_test::Desired;
using store_test::EveryOption;
using store_test::ReadBack;

using store_test::CallCount;

std::vector<std::string> FieldNames(const std::vector<ConfigChange>& changes) {
    std::vector<std::string> fields;
    for (const ConfigChange& change : changes) fields.push_back(change.field);
    return fields;
}

// Every field of a record compared, the unreadable ones too.
DesiredConfig AllOf(const ServiceConfig& config) {
    return DesiredConfig{config, true};
}

class ChangeWrites : public testing::Test {
protected:
    // Installs the service with every option, its flag off, and reads it
    // back as apply would; then composes a record that differs from it in
    // every write.
    void SetUp() override {
        sim::Reset();
        DesiredConfig installed = Desired(EveryOption());
        installed.config.failureOnNonZeroExit = false;
        WriteNotes notes;
        ASSERT_FALSE(CreateConfiguredService(installed, nullptr, notes));
        current_ = ReadBack(L"MyUpdater");
        ConfigOptions o;
        o.stopTimeoutMs = 60000;
        o.displayName = L"Other Name";
        o.description = L"New words";
        o.start = StartSetting{SERVICE_AUTO_START, false};
        o.account = L"NT AUTHORITY\\NetworkService";
        o.dependencies = {{L"RpcSs"}};
        o.restartDelaysMs = {{7000}};
        o.resetPeriodSeconds = 100;
        o.sidType = SidType::Unrestricted;
        o.requiredPrivileges = {{L"SeCreateGlobalPrivilege"}};
        desired_ = ComposeSetConfig(current_, o, L"", L"");
        changes_ = CompareConfigs(current_, desired_);
    }

    std::optional<ChangeFailure> Write(WriteNotes& notes, LPCWSTR password = nullptr,
                                       LogonRightGrant grant = nullptr) {
        ServiceHandles handles;
        EXPECT_FALSE(OpenServiceByName(L"MyUpdater", kChangeAccess, handles));
        return WriteChanges(handles.service.handle, current_, desired_, changes_, password, notes,
                            grant);
    }

    void ExpectNoHandleOrProblemLeft() {
        EXPECT_EQ(sim::OpenHandleCount(), 0);
        EXPECT_EQ(sim::Problems(), std::vector<std::string>());
    }

    ServiceConfig current_;
    DesiredConfig desired_;
    std::vector<ConfigChange> changes_;
};

TEST_F(ChangeWrites, WritesEachDifferingLevelOnceAndReadsBackAsAsked) {
    for (ConfigWrite write :
         {ConfigWrite::ChangeServiceConfig, ConfigWrite::Description,
          ConfigWrite::DelayedAutoStartInfo, ConfigWrite::PreshutdownInfo,
          ConfigWrite::FailureActions, ConfigWrite::FailureActionsFlag,
          ConfigWrite::ServiceSidInfo, ConfigWrite::RequiredPrivilegesInfo}) {
        EXPECT_TRUE(ChangesWrite(changes_, write)) << static_cast<int>(write);
    }
    const int levelsBefore = CallCount("ChangeServiceConfig2W");
    WriteNotes notes;
    EXPECT_FALSE(Write(notes));
    EXPECT_TRUE(notes.warnings.empty());
    EXPECT_EQ(CallCount("ChangeServiceConfigW"), 1);
    EXPECT_EQ(CallCount("ChangeServiceConfig2W") - levelsBefore, 7);
    EXPECT_EQ(FieldNames(CompareConfigs(ReadBack(L"MyUpdater"), AllOf(desired_.config))),
              std::vector<std::string>());
    EXPECT_EQ(sim::ServiceNamed(L"MyUpdater")->serviceStartName, L"NT AUTHORITY\\NetworkService");
    ExpectNoHandleOrProblemLeft();
}

// Each write failing in turn: the writes made before it are written back
// in reverse order, and the service reads back as it was. Where writing
// one back fails too, the failure names it and the service keeps its new
// value for exactly that write's fields.
TEST_F(ChangeWrites, AFailedWriteHasTheWritesBeforeItWrittenBack) {
    const ConfigWrite kMain = ConfigWrite::ChangeServiceConfig;
    const ConfigWrite kDescription = ConfigWrite::Description;
    const ConfigWrite kDelayed = ConfigWrite::DelayedAutoStartInfo;
    const ConfigWrite kPreshutdown = ConfigWrite::PreshutdownInfo;
    const ConfigWrite kFlag = ConfigWrite::FailureActionsFlag;
    const ConfigWrite kActions = ConfigWrite::FailureActions;
    const ConfigWrite kSid = ConfigWrite::ServiceSidInfo;
    const struct {
        const char* what;
        std::vector<std::pair<const char*, int>> fail;  // call, n-th use since the install
        const wchar_t* step;
        std::vector<ConfigWrite> restored;
        std::vector<ConfigWrite> unrestored;
        std::vector<std::string> stillChanged;
    } kCases[] = {
        {"main settings", {{"ChangeServiceConfigW", 1}}, L"cannot change its configuration", {},
         {}, {}},
        {"description", {{"ChangeServiceConfig2W", 1}}, L"cannot set the description", {kMain}, {},
         {}},
        {"delayed start", {{"ChangeServiceConfig2W", 2}}, L"cannot set the delayed automatic start",
         {kDescription, kMain}, {}, {}},
        {"pre-shutdown", {{"ChangeServiceConfig2W", 3}}, L"cannot set the pre-shutdown timeout",
         {kDelayed, kDescription, kMain}, {}, {}},
        {"flag", {{"ChangeServiceConfig2W", 4}},
         L"cannot make a non-zero exit code count as a failure",
         {kPreshutdown, kDelayed, kDescription, kMain}, {}, {}},
        {"actions", {{"ChangeServiceConfig2W", 5}}, L"cannot set the recovery settings",
         {kFlag, kPreshutdown, kDelayed, kDescription, kMain}, {}, {}},
        {"SID type", {{"ChangeServiceConfig2W", 6}}, L"cannot set the SID type",
         {kActions, kFlag, kPreshutdown, kDelayed, kDescription, kMain}, {}, {}},
        {"privileges", {{"ChangeServiceConfig2W", 7}}, L"cannot set the required privileges",
         {kSid, kActions, kFlag, kPreshutdown, kDelayed, kDescription, kMain}, {}, {}},
        // Writing back: the flag fails (4th), then the pre-shutdown (5th)
        // and the delayed start (6th) are written back, the latter failing.
        {"flag, and the delayed start's writing back", {{"ChangeServiceConfig2W", 4},
                                                        {"ChangeServiceConfig2W", 6}},
         L"cannot make a non-zero exit code count as a failure",
         {kPreshutdown, kDescription, kMain}, {kDelayed}, {"delayedAutoStart"}},
        {"description, and the main settings' writing back",
         {{"ChangeServiceConfig2W", 1}, {"ChangeServiceConfigW", 2}}, L"cannot set the description",
         {}, {kMain},
         {"stopTimeoutMs", "displayName", "account", "dependencies"}},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        SetUp();
        for (const auto& call : c.fail) {
            sim::FailCall(call.first, CallCount(call.first) + call.second, ERROR_ACCESS_DENIED);
        }
        WriteNotes notes;
        std::optional<ChangeFailure> failure = Write(notes);
        ASSERT_TRUE(failure);
        EXPECT_STREQ(failure->step, c.step);
        EXPECT_EQ(failure->error, ERROR_ACCESS_DENIED);
        EXPECT_EQ(failure->restored, c.restored);
        std::vector<ConfigWrite> unrestored;
        for (const auto& u : failure->unrestored) {
            unrestored.push_back(u.write);
            EXPECT_EQ(u.error, ERROR_ACCESS_DENIED);
        }
        EXPECT_EQ(unrestored, c.unrestored);
        EXPECT_EQ(FieldNames(CompareConfigs(ReadBack(L"MyUpdater"), AllOf(current_))), c.stillChanged);
        ExpectNoHandleOrProblemLeft();
    }
}

// A setting the manager could not report has nothing to write back: the
// failure says so instead of writing a guess.
TEST_F(ChangeWrites, AnUnreadSettingIsReportedAsNotWrittenBack) {
    current_.description.reset();
    changes_ = CompareConfigs(current_, desired_);
    sim::FailCall("ChangeServiceConfig2W", CallCount("ChangeServiceConfig2W") + 3,
                  ERROR_ACCESS_DENIED);
    WriteNotes notes;
    std::optional<ChangeFailure> failure = Write(notes);
    ASSERT_TRUE(failure);
    ASSERT_EQ(failure->unrestored.size(), 1u);
    EXPECT_EQ(failure->unrestored[0].write, ConfigWrite::Description);
    EXPECT_EQ(failure->unrestored[0].error, DWORD(NO_ERROR));
    EXPECT_EQ(sim::ServiceNamed(L"MyUpdater")->description, L"New words");
}

// Only what differs is written: a new stop timeout leaves the account and
// its password, the display name and the dependencies as they were.
TEST_F(ChangeWrites, LeavesWhatDoesNotChangeAsItIs) {
    sim::Reset();
    sim::ServiceRecord record;
    record.name = L"MyUpdater";
    record.displayName = L"Updater";
    record.binaryPathName = Desired({}).config.commandLine.text;
    record.serviceStartName = L".\\svcuser";
    record.passwordSet = true;
    record.dependencies = {L"Tcpip"};
    record.startType = SERVICE_AUTO_START;
    sim::AddService(record);
    current_ = ReadBack(L"MyUpdater");
    ConfigOptions o;
    o.stopTimeoutMs = 5000;
    desired_ = ComposeSetConfig(current_, o, L"", L"");
    changes_ = CompareConfigs(current_, desired_);
    EXPECT_EQ(FieldNames(changes_), (std::vector<std::string>{"stopTimeoutMs", "preshutdownTimeoutMs"}));
    WriteNotes notes;
    EXPECT_FALSE(Write(notes));
    const sim::ServiceRecord now = *sim::ServiceNamed(L"MyUpdater");
    EXPECT_EQ(now.binaryPathName, desired_.config.commandLine.text);
    EXPECT_EQ(now.serviceStartName, L".\\svcuser");
    EXPECT_TRUE(now.passwordSet);
    EXPECT_EQ(now.displayName, L"Updater");
    EXPECT_EQ(now.dependencies, std::vector<std::wstring>{L"Tcpip"});
    EXPECT_EQ(now.startType, DWORD(SERVICE_AUTO_START));
    EXPECT_EQ(now.preshutdownTimeoutMs, 5000u);
    EXPECT_EQ(CallCount("ChangeServiceConfig2W"), 1);

    // --depends-on none: an empty list, written as such rather than left out.
    current_ = ReadBack(L"MyUpdater");
    o = ConfigOptions{};
    o.dependencies.emplace();
    desired_ = ComposeSetConfig(current_, o, L"", L"");
    changes_ = CompareConfigs(current_, desired_);
    EXPECT_EQ(FieldNames(changes_), std::vector<std::string>{"dependencies"});
    EXPECT_FALSE(Write(notes));
    EXPECT_EQ(sim::ServiceNamed(L"MyUpdater")->dependencies, std::vector<std::wstring>());
    ExpectNoHandleOrProblemLeft();
}

// A line copied from another service has its launcher watch that one: set
// writes this service's name there, a change that waits for the next start.
TEST_F(ChangeWrites, WritesTheWatchedServiceOfACopiedLine) {
    sim::Reset();
    sim::ServiceRecord record;
    record.name = L"MyUpdater";
    record.binaryPathName = Desired({}, L"Other").config.commandLine.text;
    sim::AddService(record);
    current_ = ReadBack(L"MyUpdater");
    desired_ = ComposeSetConfig(current_, ConfigOptions{}, L"", L"");
    changes_ = CompareConfigs(current_, desired_);
    ASSERT_EQ(FieldNames(changes_), std::vector<std::string>{"service"});
    EXPECT_TRUE(NeedsRestart(changes_));
    WriteNotes notes;
    EXPECT_FALSE(Write(notes));
    EXPECT_EQ(sim::ServiceNamed(L"MyUpdater")->binaryPathName, desired_.config.commandLine.text);
    ExpectNoHandleOrProblemLeft();
}

// The manager answers ERROR_INVALID_LEVEL: recovery that was not asked for
// is left out with a warning; asked for by name, the change fails and what
// was written before it is written back.
TEST_F(ChangeWrites, LeavesOutOnlyTheDefaultRecoveryWhereTheManagerCannotKeepIt) {
    for (bool given : {false, true}) {
        SCOPED_TRACE(given ? "asked for" : "default");
        SetUp();
        desired_.recoveryGiven = given;
        sim::RefuseConfigLevel(SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, /*onChange=*/true,
                               /*onQuery=*/false);
        WriteNotes notes;
        std::optional<ChangeFailure> failure = Write(notes);
        const sim::ServiceRecord now = *sim::ServiceNamed(L"MyUpdater");
        if (given) {
            ASSERT_TRUE(failure);
            EXPECT_EQ(failure->error, ERROR_INVALID_LEVEL);
            EXPECT_TRUE(failure->unrestored.empty());
            EXPECT_EQ(now.preshutdownTimeoutMs, 30000u);
            EXPECT_TRUE(notes.warnings.empty());
            continue;
        }
        ASSERT_FALSE(failure) << failure->step;
        EXPECT_EQ(notes.warnings.size(), 1u);
        EXPECT_EQ(notes.notWritten, (std::vector<ConfigWrite>{ConfigWrite::FailureActionsFlag,
                                                              ConfigWrite::FailureActions}));
        EXPECT_EQ(now.failureActions.size(), 2u);  // as installed
        EXPECT_EQ(now.serviceSidType, SERVICE_SID_TYPE_UNRESTRICTED);
    }
}

// A user account that is new, or has a new password, is given the right to
// log on as a service once every write is made; if that fails, the writes
// are written back, and the new password stays, there being no old one to
// write back.
TEST_F(ChangeWrites, GivesAUserAccountTheRightOnceWrittenOrWritesEverythingBack) {
    const struct {
        const char* what;
        const wchar_t* account;  // given with set; null: the password alone
        DWORD grantError;
        const wchar_t* storedAfter;
    } kCases[] = {
        {"a new user account", L"CORP\\svc", NO_ERROR, L"CORP\\svc"},
        {"a new user account, the right refused", L"CORP\\svc", ERROR_ACCESS_DENIED,
         L"NT AUTHORITY\\LocalService"},
        {"a new password alone", nullptr, NO_ERROR, L".\\svc"},
        {"a new password alone, the right refused", nullptr, ERROR_ACCESS_DENIED, L".\\svc"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        SetUp();
        if (!c.account) {
            sim::ServiceRecord record = *sim::ServiceNamed(L"MyUpdater");
            sim::Reset();
            record.serviceStartName = L".\\svc";
            sim::AddService(record);
            current_ = ReadBack(L"MyUpdater");
        }
        store_test::g_grant = {c.grantError, false, {}};
        ConfigOptions o;
        if (c.account) o.account = c.account;
        desired_ = ComposeSetConfig(current_, o, L"", L"");
        changes_ = CompareConfigs(current_, desired_);
        changes_.push_back(PasswordChange());
        EXPECT_EQ(FieldNames(changes_), c.account ? (std::vector<std::string>{"account", "password"})
                                              : std::vector<std::string>{"password"});
        WriteNotes notes;
        std::optional<ChangeFailure> failure = Write(notes, L"pw", store_test::ScriptedGrant);
        EXPECT_EQ(store_test::g_grant.asked,
                  std::vector<std::wstring>{c.account ? c.account : L".\\svc"});
        const sim::ServiceRecord now = *sim::ServiceNamed(L"MyUpdater");
        EXPECT_EQ(now.serviceStartName, c.storedAfter);
        // Written back to a built-in account, the password goes with it.
        EXPECT_EQ(now.passwordSet, AccountKindOf(now.serviceStartName) == AccountKind::User);
        EXPECT_EQ(notes.logonRightGranted, !failure);
        ASSERT_EQ(failure.has_value(), c.grantError != NO_ERROR);
        if (failure) {
            EXPECT_EQ(failure->error, c.grantError);
            EXPECT_EQ(failure->restored, std::vector<ConfigWrite>{ConfigWrite::ChangeServiceConfig});
            EXPECT_TRUE(PasswordStays(changes_, *failure));
        }
        ExpectNoHandleOrProblemLeft();
    }
}

// The manager keeps one password per service: a user account written back
// once another account was written has lost its own, and the failure says so.
TEST_F(ChangeWrites, AUserAccountWrittenBackIsToldToHaveLostItsPassword) {
    sim::ServiceRecord record = *sim::ServiceNamed(L"MyUpdater");
    sim::Reset();
    record.serviceStartName = L".\\svc";
    record.passwordSet = true;
    sim::AddService(record);
    current_ = ReadBack(L"MyUpdater");
    changes_ = CompareConfigs(current_, desired_);
    sim::FailCall("ChangeServiceConfig2W", CallCount("ChangeServiceConfig2W") + 1,
                  ERROR_ACCESS_DENIED);
    WriteNotes notes;
    std::optional<ChangeFailure> failure = Write(notes);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->restored, std::vector<ConfigWrite>{ConfigWrite::ChangeServiceConfig});
    const sim::ServiceRecord now = *sim::ServiceNamed(L"MyUpdater");
    EXPECT_EQ(now.serviceStartName, L".\\svc");
    EXPECT_FALSE(now.passwordSet);
    EXPECT_TRUE(PasswordStays(changes_, *failure));
    ExpectNoHandleOrProblemLeft();
}

TEST_F(ChangeWrites, SaysWhichServiceHasTheDisplayNameAlready) {
    sim::ServiceRecord other;
    other.name = L"Other";
    other.displayName = L"Other Name";
    other.binaryPathName = L"C:\\x.exe";
    sim::AddService(other);
    WriteNotes notes;
    std::optional<ChangeFailure> failure = Write(notes);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->error, ERROR_DUPLICATE_SERVICE_NAME);
    ASSERT_TRUE(failure->takenDisplayName);
    EXPECT_EQ(failure->takenDisplayName->owner, L"Other");
    EXPECT_TRUE(failure->restored.empty());
    ExpectNoHandleOrProblemLeft();
}

}  // namespace
