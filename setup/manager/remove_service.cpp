#include "setup/manager/remove_service.h"

#include <optional>
#include <vector>

namespace {

// The recovery settings as read before they are cleared.
struct SavedRecovery {
    DWORD resetPeriodSeconds;
    std::vector<SC_ACTION> actions;
};

}  // namespace

// The failure actions (QueryServiceConfig2W, asked again with the buffer it
// says it needs); none if the manager cannot report them.
static std::optional<SavedRecovery> ReadRecovery(SC_HANDLE service) {
    std::vector<BYTE> buffer(sizeof(SERVICE_FAILURE_ACTIONSW) + 8 * sizeof(SC_ACTION));
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD needed = 0;
        if (QueryServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, buffer.data(),
                                 static_cast<DWORD>(buffer.size()), &needed)) {
            const auto* info = reinterpret_cast<const SERVICE_FAILURE_ACTIONSW*>(buffer.data());
            SavedRecovery saved{info->dwResetPeriod, {}};
            if (info->lpsaActions) {
                saved.actions.assign(info->lpsaActions, info->lpsaActions + info->cActions);
            }
            return saved;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return std::nullopt;
        buffer.resize(needed);
    }
    return std::nullopt;
}

// An empty action list, not a null one: the manager reads a null list as
// "leave the actions as they are". The texts stay as they are; with no
// action, nothing runs them.
static DWORD WriteActions(SC_HANDLE service, DWORD resetPeriodSeconds,
                          std::vector<SC_ACTION> actions) {
    SC_ACTION none = {SC_ACTION_NONE, 0};
    SERVICE_FAILURE_ACTIONSW info = {};
    info.dwResetPeriod = resetPeriodSeconds;
    info.cActions = static_cast<DWORD>(actions.size());
    info.lpsaActions = actions.empty() ? &none : actions.data();
    if (ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, &info)) return NO_ERROR;
    return GetLastError();
}

static RecoveryRestore Restore(SC_HANDLE service, const std::optional<SavedRecovery>& saved,
                               DWORD& error) {
    if (!saved) return RecoveryRestore::Unknown;
    if (saved->actions.empty()) return RecoveryRestore::NotNeeded;
    error = WriteActions(service, saved->resetPeriodSeconds, saved->actions);
    return error == NO_ERROR ? RecoveryRestore::WrittenBack : RecoveryRestore::Failed;
}

RemoveOutcome StopAndDeleteService(SC_HANDLE service, const PendingReportSink& onPending,
                                   bool follow) {
    RemoveOutcome outcome = {RecoveryClearing::Cleared, NO_ERROR, {}, false, false, false,
                             NO_ERROR, RecoveryRestore::NotNeeded, NO_ERROR};
    const std::optional<SavedRecovery> saved = ReadRecovery(service);
    // A failed clearing is reported, and the removal goes on: the service is
    // still to go, and only a restart already due could come between.
    const DWORD clearError = WriteActions(service, /*resetPeriodSeconds=*/0, {});
    if (clearError == ERROR_INVALID_LEVEL || clearError == ERROR_SERVICE_MARKED_FOR_DELETE) {
        outcome.recovery = RecoveryClearing::NothingToClear;
    } else if (clearError != NO_ERROR) {
        outcome.recovery = RecoveryClearing::NotCleared;
        outcome.recoveryError = clearError;
    }

    outcome.stop = follow ? StopAndFollow(service, onPending) : AskToStop(service);
    outcome.stopFailed = !outcome.stop.ended;
    if (!outcome.stopFailed) {
        const DWORD error = DeleteService(service) ? NO_ERROR : GetLastError();
        outcome.deleted = error == NO_ERROR;
        outcome.alreadyMarkedForDelete = error == ERROR_SERVICE_MARKED_FOR_DELETE;
        if (!outcome.deleted && !outcome.alreadyMarkedForDelete) outcome.deleteError = error;
    }
    if (!outcome.deleted && !outcome.alreadyMarkedForDelete &&
        outcome.recovery == RecoveryClearing::Cleared) {
        outcome.restore = Restore(service, saved, outcome.restoreError);
    }
    return outcome;
}
