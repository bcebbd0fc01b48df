// Reading a service back and the install sequence, against the simulated
// manager, which can refuse any step and keeps every setting Wine's does not.
#include "setup/manager/service_writing.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "setup/model/compose_config.h"
#include "tests/service_writing_helpers.h"

namespace {

using store_test::Desired;
using store_test::EveryOption;
using store_test::InstallSequence;
using store_test::ReadBack;

using store_test::CallCount;

TEST_F(InstallSequence, WritesEveryPartOfTheRecord) {
    const DesiredConfig desired = Desired(EveryOption());
    WriteNotes notes;
    EXPECT_FALSE(CreateConfiguredService(desired, nullptr, notes));
    EXPECT_TRUE(notes.warnings.empty());
    const std::vector<sim::ServiceRecord> services = sim::Services();
    ASSERT_EQ(services.size(), 1u);
    const sim::ServiceRecord& s = services[0];
    EXPECT_EQ(s.name, L"MyUpdater");
    EXPECT_EQ(s.displayName, L"My Updater");
    EXPECT_EQ(s.binaryPathName, desired.config.commandLine.text);
    EXPECT_EQ(s.serviceType, SERVICE_WIN32_OWN_PROCESS);
    EXPECT_EQ(s.startType, DWORD(SERVICE_AUTO_START));
    EXPECT_EQ(s.errorControl, DWORD(SERVICE_ERROR_NORMAL));
    EXPECT_EQ(s.serviceStartName, L"NT AUTHORITY\\LocalService");
    EXPECT_FALSE(s.passwordSet);
    EXPECT_EQ(s.dependencies, (std::vector<std::wstring>{L"Tcpip", L"Dnscache"}));
    EXPECT_EQ(s.description, L"Keeps the firmware current");
    EXPECT_TRUE(s.delayedAutoStart);
    EXPECT_EQ(s.preshutdownTimeoutMs, 30000u);
    ASSERT_EQ(s.failureActions.size(), 2u);
    EXPECT_EQ(s.failureActions[0].Type, SC_ACTION_RESTART);
    EXPECT_EQ(s.failureActions[0].Delay, 1000u);
    EXPECT_EQ(s.failureActions[1].Delay, 2000u);
    EXPECT_EQ(s.resetPeriodS, 600u);
    EXPECT_TRUE(s.failureActionsOnNonCrashFailures);
    EXPECT_EQ(s.serviceSidType, SERVICE_SID_TYPE_RESTRICTED);
    EXPECT_EQ(s.requiredPrivileges,
              (std::vector<std::wstring>{L"SeChangeNotifyPrivilege", L"SeImpersonatePrivilege"}));

    // The name is taken in any case, as the manager compares names; the
    // service that has it stays.
    DesiredConfig again = desired;
    again.config.name = L"MYUPDATER";
    again.config.displayName = L"Another";
    EXPECT_EQ(CreateConfiguredService(again, nullptr, notes).value().error, ERROR_SERVICE_EXISTS);
    EXPECT_EQ(sim::Services().size(), 1u);
    ExpectNoHandleOrProblemLeft();
}

// A new service has no description, delayed start, recovery, SID type or
// privileges: only what the record asks for beyond that is written.
TEST_F(InstallSequence, WritesOnlyWhatANewServiceLacks) {
    const struct {
        const char* what;
        ConfigOptions options;
        int levelsWritten;
    } kCases[] = {
        {"defaults", ConfigOptions{}, 4},  // description, pre-shutdown, flag, actions
        {"no description, no recovery",
         [] {
             ConfigOptions o;
             o.description = L"";
             o.restartDelaysMs.emplace();
             return o;
         }(),
         1},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        sim::Reset();
        WriteNotes notes;
        EXPECT_FALSE(CreateConfiguredService(Desired(c.options), nullptr, notes));
        EXPECT_EQ(CallCount("ChangeServiceConfig2W"), c.levelsWritten);
        ASSERT_TRUE(sim::ServiceNamed(L"MyUpdater"));
        EXPECT_FALSE(sim::ServiceNamed(L"MyUpdater")->delayedAutoStart);
        EXPECT_EQ(sim::ServiceNamed(L"MyUpdater")->dependencies, std::vector<std::wstring>());
    }
}

// What install wrote reads back as the same record, so that apply with the
// same options finds nothing to change: on a manager that keeps every
// setting, on one that keeps as little as Wine's, and with records long
// enough that each query must ask again with a larger buffer.
TEST_F(InstallSequence, ReadsBackWhatItWroteSoApplyFindsNothingToChange) {
    ConfigOptions longOptions = EveryOption();
    longOptions.description = std::wstring(3000, L'd');
    longOptions.arguments = {std::wstring(5000, L'a'), L"with space", L""};
    longOptions.dependencies.emplace();
    for (int i = 0; i < 40; ++i) longOptions.dependencies->push_back(L"Dep" + std::to_wstring(i));
    longOptions.requiredPrivileges = {{L"SeChangeNotifyPrivilege", L"SeImpersonatePrivilege",
                                       L"SeCreateGlobalPrivilege", L"SeBackupPrivilege",
                                       L"SeRestorePrivilege", L"SeShutdownPrivilege",
                                       L"SeTimeZonePrivilege", L"SeIncreaseQuotaPrivilege",
                                       L"SeAuditPrivilege", L"SeSecurityPrivilege",
                                       L"SeUndockPrivilege", L"SeTakeOwnershipPrivilege",
                                       L"SeSystemtimePrivilege", L"SeDebugPrivilege"}};
    longOptions.restartDelaysMs = {{1, 2, 3}};
    ConfigOptions none;
    none.restartDelaysMs.emplace();
    ConfigOptions virtualAccount;
    virtualAccount.account = L"NT SERVICE\\MyUpdater";
    virtualAccount.start = StartSetting{SERVICE_DEMAND_START, false};
    const struct {
        const char* what;
        ConfigOptions options;
        bool likeWine;
        std::size_t warnings;
        // What apply would still write: recovery asked for by name cannot
        // be known to be in place where the manager cannot report it.
        std::vector<std::string> unknown;
    } kCases[] = {
        {"defaults", ConfigOptions{}, false, 0, {}},
        {"every option", EveryOption(), false, 0, {}},
        {"long texts and lists", longOptions, false, 0, {}},
        {"virtual account, demand start", virtualAccount, false, 0, {}},
        {"defaults under Wine", ConfigOptions{}, true, 1, {}},
        {"no recovery under Wine", none, true, 0, {"recovery"}},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        sim::Reset();
        if (c.likeWine) sim::ManagerAsWine();
        const DesiredConfig desired = Desired(c.options);
        WriteNotes notes;
        ASSERT_FALSE(CreateConfiguredService(desired, nullptr, notes));
        EXPECT_EQ(notes.warnings.size(), c.warnings);
        const ServiceConfig read = ReadBack(L"MyUpdater");
        EXPECT_EQ(read.commandLine.elements, desired.config.commandLine.elements);
        EXPECT_EQ(read.recovery.has_value(), !c.likeWine);
        std::vector<std::string> changed;
        for (const ConfigChange& change : CompareConfigs(read, desired)) {
            changed.push_back(change.field);
        }
        EXPECT_EQ(changed, c.unknown);
        ExpectNoHandleOrProblemLeft();
    }
}

// Each step failing in turn: the failure names the step and its error, and
// a service that was created is deleted again. Only when the deletion fails
// too is one left behind, and then the failure and its text say so.
TEST_F(InstallSequence, AFailingStepLeavesNoServiceBehind) {
    const struct {
        const char* call;
        int nth;
        const wchar_t* step;
        bool created;
        bool deleteFails;
    } kSteps[] = {
        {"OpenSCManagerW", 1, L"cannot open the service control manager to create a service", false,
         false},
        {"CreateServiceW", 1, L"cannot create the service", false, false},
        {"ChangeServiceConfig2W", 1, L"cannot set the description", true, false},
        {"ChangeServiceConfig2W", 2, L"cannot set the delayed automatic start", true, false},
        {"ChangeServiceConfig2W", 3, L"cannot set the pre-shutdown timeout", true, false},
        {"ChangeServiceConfig2W", 4, L"cannot make a non-zero exit code count as a failure", true,
         false},
        {"ChangeServiceConfig2W", 5, L"cannot set the recovery settings", true, false},
        {"ChangeServiceConfig2W", 6, L"cannot set the SID type", true, false},
        {"ChangeServiceConfig2W", 7, L"cannot set the required privileges", true, false},
        {"ChangeServiceConfig2W", 7, L"cannot set the required privileges", true, true},
        {"ChangeServiceConfig2W", 3, L"cannot set the pre-shutdown timeout", true, true},
    };
    for (const auto& c : kSteps) {
        SCOPED_TRACE(std::string(c.call) + " " + std::to_string(c.nth) +
                     (c.deleteFails ? " and DeleteService" : ""));
        sim::Reset();
        sim::FailCall(c.call, c.nth, ERROR_ACCESS_DENIED);
        if (c.deleteFails) sim::FailCall("DeleteService", 1, ERROR_NOT_ENOUGH_MEMORY);
        WriteNotes notes;
        std::optional<InstallFailure> failure =
            CreateConfiguredService(Desired(EveryOption()), nullptr, notes);
        ASSERT_TRUE(failure);
        EXPECT_STREQ(failure->step, c.step);
        EXPECT_EQ(failure->error, ERROR_ACCESS_DENIED);
        EXPECT_EQ(failure->created, c.created);
        EXPECT_EQ(failure->leftBehind, c.deleteFails);
        EXPECT_EQ(failure->removeError, c.deleteFails ? ERROR_NOT_ENOUGH_MEMORY : NO_ERROR);
        EXPECT_EQ(sim::Services().size(), c.deleteFails ? 1u : 0u);
        const std::wstring text =
            InstallFailureText(L"MyUpdater", *failure, [](DWORD) { return std::wstring(); });
        EXPECT_EQ(text.find(L"it is left installed") != std::wstring::npos, c.deleteFails);
        EXPECT_EQ(text.find(L"nothing is left installed") != std::wstring::npos,
                  c.created && !c.deleteFails);
        ExpectNoHandleOrProblemLeft();
    }
}

// A setting the manager does not report stays unknown, not empty; the main
// configuration failing is the reading's failure.
TEST_F(InstallSequence, ReadingLeavesUnreportedSettingsUnknown) {
    WriteNotes notes;
    ASSERT_FALSE(CreateConfiguredService(Desired(EveryOption()), nullptr, notes));
    // The first level read is the description.
    sim::FailCall("QueryServiceConfig2W", CallCount("QueryServiceConfig2W") + 1, ERROR_ACCESS_DENIED);
    sim::RefuseConfigLevel(SERVICE_CONFIG_SERVICE_SID_INFO, false, true);
    ServiceConfig read = ReadBack(L"MyUpdater");
    EXPECT_FALSE(read.description);
    EXPECT_FALSE(read.sidType);
    EXPECT_EQ(read.requiredPrivileges.value_or(std::vector<std::wstring>()).size(), 2u);
    EXPECT_EQ(read.preshutdownTimeoutMs, std::optional<DWORD>(30000));

    {
        ScHandle manager, service;
        ASSERT_EQ(OpenManager(SC_MANAGER_CONNECT, manager), NO_ERROR);
        ASSERT_EQ(OpenNamedService(manager, L"MyUpdater", SERVICE_QUERY_CONFIG, service), NO_ERROR);
        sim::FailCall("QueryServiceConfigW", CallCount("QueryServiceConfigW") + 1,
                      ERROR_ACCESS_DENIED);
        StoredService stored;
        EXPECT_EQ(ReadStoredService(service.handle, L"MyUpdater", stored), ERROR_ACCESS_DENIED);
        ScHandle missing;
        EXPECT_EQ(OpenNamedService(manager, L"NoSuch", SERVICE_QUERY_CONFIG, missing),
                  ERROR_SERVICE_DOES_NOT_EXIST);
    }
    ExpectNoHandleOrProblemLeft();
}

}  // namespace
