// remove's sequence on the simulated manager, which can refuse any step and
// script a service's stop on the virtual clock.
#include "setup/manager/remove_service.h"

#include <algorithm>
#include <functional>

#include <gtest/gtest.h>

namespace {

const std::vector<SC_ACTION> kRestarts = {
    {SC_ACTION_RESTART, 10000}, {SC_ACTION_RESTART, 30000}, {SC_ACTION_RESTART, 60000}};

struct Removal {
    const char* what;
    std::vector<sim::StatusReport> stop;  // the service runs and stops so; empty: it is stopped
    std::function<void(SC_HANDLE service)> arrange;  // may be empty
    RecoveryClearing recovery;
    DWORD recoveryError;
    bool deleted;
    bool stopFailed;
    DWORD stopError;
    DWORD deleteError;
    RecoveryRestore restore;
    DWORD restoreError;
    ULONGLONG tookMs;  // to within a poll
};

class RemoveSequence : public testing::Test {
protected:
    void SetUp() override { sim::Reset(); }

    // The position of the first call of that name in the journal from the
    // given one on; -1 if none.
    static int FirstCall(const char* name, std::size_t from) {
        const std::vector<sim::Call> calls = sim::Calls();
        for (std::size_t i = from; i < calls.size(); ++i) {
            if (std::string(calls[i].name) == name) return static_cast<int>(i);
        }
        return -1;
    }
};

TEST_F(RemoveSequence, ClearsTheRecoveryStopsAndDeletesOnlyAServiceThatHasStopped) {
    const auto refuseStop = [](SC_HANDLE) {
        sim::ServiceScript script;
        script.stopError = ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
        sim::ScriptService(L"Svc", script);
    };
    const Removal kRemovals[] = {
        {"running, stops in steps",
         {{0, SERVICE_STOP_PENDING, 1, 5000},
          {1000, SERVICE_STOP_PENDING, 2, 5000},
          {1800, SERVICE_STOPPED}},
         nullptr,
         RecoveryClearing::Cleared, NO_ERROR, true, false, NO_ERROR, NO_ERROR,
         RecoveryRestore::NotNeeded, NO_ERROR, 1800},
        {"stopped already", {}, nullptr, RecoveryClearing::Cleared, NO_ERROR, true, false,
         NO_ERROR, NO_ERROR, RecoveryRestore::NotNeeded, NO_ERROR, 0},
        {"wait hints past 13 s are waited out",
         {{0, SERVICE_STOP_PENDING, 1, 25000}, {24000, SERVICE_STOPPED}}, nullptr,
         RecoveryClearing::Cleared, NO_ERROR, true, false, NO_ERROR, NO_ERROR,
         RecoveryRestore::NotNeeded, NO_ERROR, 24000},
        {"the stop refused", {{0, SERVICE_STOPPED}}, refuseStop, RecoveryClearing::Cleared,
         NO_ERROR, false, true, ERROR_SERVICE_CANNOT_ACCEPT_CTRL, NO_ERROR,
         RecoveryRestore::WrittenBack, NO_ERROR, 0},
        {"hung beyond its wait hint", {{0, SERVICE_STOP_PENDING, 1, 3000}}, nullptr,
         RecoveryClearing::Cleared, NO_ERROR, false, true, NO_ERROR, NO_ERROR,
         RecoveryRestore::WrittenBack, NO_ERROR, 16100},
        {"a manager that keeps no recovery", {{0, SERVICE_STOPPED}},
         [](SC_HANDLE) {
             sim::RefuseConfigLevel(SERVICE_CONFIG_FAILURE_ACTIONS, /*onChange=*/true,
                                    /*onQuery=*/true);
         },
         RecoveryClearing::NothingToClear, NO_ERROR, true, false, NO_ERROR, NO_ERROR,
         RecoveryRestore::NotNeeded, NO_ERROR, 0},
        {"the clearing fails", {{0, SERVICE_STOPPED}},
         [](SC_HANDLE) { sim::FailCall("ChangeServiceConfig2W", 1, ERROR_ACCESS_DENIED); },
         RecoveryClearing::NotCleared, ERROR_ACCESS_DENIED, true, false, NO_ERROR, NO_ERROR,
         RecoveryRestore::NotNeeded, NO_ERROR, 0},
        {"Wine's manager, which cannot report them, and the stop refused",
         {{0, SERVICE_STOPPED}},
         [&](SC_HANDLE service) {
             sim::ManagerAsWine();
             refuseStop(service);
         },
         RecoveryClearing::Cleared, NO_ERROR, false, true, ERROR_SERVICE_CANNOT_ACCEPT_CTRL,
         NO_ERROR, RecoveryRestore::Unknown, NO_ERROR, 0},
        {"the deletion fails", {{0, SERVICE_STOPPED}},
         [](SC_HANDLE) { sim::FailCall("DeleteService", 1, ERROR_ACCESS_DENIED); },
         RecoveryClearing::Cleared, NO_ERROR, false, false, NO_ERROR, ERROR_ACCESS_DENIED,
         RecoveryRestore::WrittenBack, NO_ERROR, 0},
        {"writing them back fails", {{0, SERVICE_STOPPED}},
         [&](SC_HANDLE service) {
             refuseStop(service);
             sim::FailCall("ChangeServiceConfig2W", 2, ERROR_NOT_ENOUGH_MEMORY);
         },
         RecoveryClearing::Cleared, NO_ERROR, false, true, ERROR_SERVICE_CANNOT_ACCEPT_CTRL,
         NO_ERROR, RecoveryRestore::Failed, ERROR_NOT_ENOUGH_MEMORY, 0},
        {"deleted meanwhile by another", {},
         [](SC_HANDLE) {
             SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
             SC_HANDLE other = OpenServiceW(manager, L"Svc", DELETE);
             DeleteService(other);
             CloseServiceHandle(other);
             CloseServiceHandle(manager);
         },
         RecoveryClearing::NothingToClear, NO_ERROR, false, false, NO_ERROR, NO_ERROR,
         RecoveryRestore::NotNeeded, NO_ERROR, 0},
    };
    for (const Removal& r : kRemovals) {
        SCOPED_TRACE(r.what);
        sim::Reset();
        sim::ServiceRecord record;
        record.name = L"Svc";
        record.failureActions = kRestarts;
        record.resetPeriodS = 86400;
        if (!r.stop.empty()) {
            record.status.dwCurrentState = SERVICE_RUNNING;
            record.status.dwControlsAccepted = SERVICE_ACCEPT_STOP;
            record.status.dwProcessId = 88;
            sim::ServiceScript script;
            script.stop = r.stop;
            sim::ScriptService(L"Svc", script);
        }
        sim::AddService(record);
        SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
        SC_HANDLE service = OpenServiceW(manager, L"Svc", kRemoveServiceAccess);
        if (r.arrange) r.arrange(service);

        // What recovery the manager holds while the service stops.
        std::vector<std::vector<SC_ACTION>> actionsWhileStopping;
        const ULONGLONG began = GetTickCount64();
        const std::size_t firstCall = sim::Calls().size();
        const RemoveOutcome outcome =
            StopAndDeleteService(service, [&](const SERVICE_STATUS_PROCESS&) {
                actionsWhileStopping.push_back(sim::ServiceNamed(L"Svc")->failureActions);
            });
        const ULONGLONG tookMs = GetTickCount64() - began;
        CloseServiceHandle(service);
        CloseServiceHandle(manager);

        EXPECT_EQ(outcome.recovery, r.recovery);
        EXPECT_EQ(outcome.recoveryError, r.recoveryError);
        EXPECT_EQ(outcome.deleted, r.deleted);
        EXPECT_EQ(outcome.stopFailed, r.stopFailed);
        EXPECT_EQ(outcome.stop.error, r.stopError);
        EXPECT_EQ(outcome.deleteError, r.deleteError);
        EXPECT_EQ(outcome.restore, r.restore);
        EXPECT_EQ(outcome.restoreError, r.restoreError);
        EXPECT_GE(tookMs, r.tookMs);
        EXPECT_LE(tookMs, r.tookMs + 100);
        const bool gone = r.deleted || std::string(r.what) == "deleted meanwhile by another";
        EXPECT_EQ(outcome.alreadyMarkedForDelete, !r.deleted && gone);
        const std::optional<sim::ServiceRecord> after = sim::ServiceNamed(L"Svc");
        EXPECT_EQ(after.has_value(), !gone);
        if (after) {
            // Not deleted: the recovery is as it was, unless it could not be
            // written back.
            const bool lost =
                r.restore == RecoveryRestore::Unknown || r.restore == RecoveryRestore::Failed;
            EXPECT_EQ(after->failureActions.size(), lost ? 0u : kRestarts.size());
            EXPECT_EQ(after->resetPeriodS, lost ? 0u : 86400u);
        }
        // The recovery was gone before the stop was asked for.
        const int cleared = FirstCall("ChangeServiceConfig2W", firstCall);
        const int stopped = FirstCall("ControlService", firstCall);
        EXPECT_EQ(stopped >= 0, !r.stop.empty());
        if (stopped >= 0) {
            EXPECT_LT(cleared, stopped);
        }
        for (const std::vector<SC_ACTION>& actions : actionsWhileStopping) {
            const bool recoveryCleared = r.recovery == RecoveryClearing::Cleared;
            EXPECT_EQ(actions.size(), recoveryCleared ? 0u : kRestarts.size());
        }
        EXPECT_EQ(FirstCall("DeleteService", firstCall) >= 0, !r.stopFailed);
        EXPECT_EQ(sim::OpenHandleCount(), 0);
        EXPECT_EQ(sim::Problems(), std::vector<std::string>());
    }
}

}  // namespace
