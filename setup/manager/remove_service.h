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
#include "setup/model/remove_outcome.h"

// What the sequence needs of the service's handle.
constexpr DWORD kRemoveServiceAccess = SERVICE_QUERY_CONFIG | SERVICE_CHANGE_CONFIG |
                                       SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS |
                                       DELETE;

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
