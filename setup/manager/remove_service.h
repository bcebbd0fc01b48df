// remove's sequence: the recovery settings cleared first, so that a restart
// the manager has already scheduled cannot bring the service back while it
// is removed; then the stop, followed to its end; then the deletion.
// Nothing is deleted unless the service has stopped, and a service that is
// not deleted gets its recovery settings back as they were. Reaches the
// platform only through platform.h, so that the simulated manager can
// refuse any step on the host.
#pragma once

#include "platform/platform.h"
#include "setup/manager/service_follow.h"

// What the sequence needs of the service's handle.
constexpr DWORD kRemoveServiceAccess = SERVICE_QUERY_CONFIG | SERVICE_CHANGE_CONFIG |
                                       SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS |
                                       DELETE;

enum class RecoveryClearing {
    Cleared,
    // The manager keeps no recovery settings (ERROR_INVALID_LEVEL), or the
    // service is marked for deletion already, and the manager starts such a
    // service no more.
    NothingToClear,
    NotCleared,  // the clearing failed; the removal went on regardless
};

// What became of the recovery settings of a service that was not deleted.
enum class RecoveryRestore {
    NotNeeded,    // none were cleared, or there were none to lose
    WrittenBack,  // as they were before
    Unknown,      // cleared, but the manager could not report them beforehand
    Failed,       // cleared, and writing them back failed
};

struct RemoveOutcome {
    RecoveryClearing recovery;
    DWORD recoveryError;  // why they were not cleared; else NO_ERROR
    FollowResult stop;
    bool deleted;
    // Deleted already by someone else: the manager removes it once every
    // handle to it is closed.
    bool alreadyMarkedForDelete;
    // The step that kept the service from being deleted: the stop (see
    // stop.problem and stop.error) or the deletion.
    bool stopFailed;
    DWORD deleteError;  // NO_ERROR unless the deletion itself failed
    RecoveryRestore restore;
    DWORD restoreError;
};

// The handle needs kRemoveServiceAccess. onPending hears each stop-pending
// report. Without follow, the stop is asked for and the service deleted
// once it has taken the request: the manager removes it when it has stopped.
RemoveOutcome StopAndDeleteService(SC_HANDLE service, const PendingReportSink& onPending,
                                   bool follow = true);
