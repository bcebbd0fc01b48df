// Starting and stopping a service and following it to the end, as start,
// stop, restart, remove and apply --restart do: each pending report is
// handed to the caller as it comes, and the wait is bounded by the wait
// hints the service reports plus a margin, never by a fixed time alone.
// Reaches the platform only through platform.h (Sleep, GetTickCount64 and
// the manager's calls), so it runs on the host's virtual clock too.
#pragma once

#include <functional>
#include <string>

#include "platform/platform.h"

// Called for each new pending report (a new state, checkpoint or wait hint).
typedef std::function<void(const SERVICE_STATUS_PROCESS& status)> PendingReportSink;

struct FollowResult {
    // The state as first read, before anything was asked: running before a
    // start, or stopped before a stop, means there was nothing to do.
    DWORD stateBefore;
    // The service came to the end asked for (running after a start, stopped
    // after a stop), or, after a start, stopped instead: status says which.
    bool ended;
    DWORD error;           // the Windows error when a call failed, else NO_ERROR
    std::wstring problem;  // in words, when it did not come to an end; else empty
    SERVICE_STATUS_PROCESS status;  // the last status read
};

// The handle needs SERVICE_START and SERVICE_QUERY_STATUS. A service that
// runs already is not started again (ended, and status says running); a
// start under way is followed, and a stop under way is followed to its end
// before the start is asked for.
FollowResult StartAndFollow(SC_HANDLE service, const PendingReportSink& onPending);

// The handle needs SERVICE_STOP and SERVICE_QUERY_STATUS. A stop already
// under way is followed rather than asked for again; a stopped service is
// left as it is (ended). A service still starting that cannot take the stop
// yet is followed until its start has ended, then asked once more. A stop
// taken that the service has yet to report (it still answers running) is
// given the margin below to show. A stop the service refuses is a problem,
// and the caller must not go on as if it had stopped.
//
// Each wait is bounded by the wait hint of the service's last report plus a
// margin, counted from that report: a service that keeps reporting progress
// (a new checkpoint, wait hint or state) is followed as long as it does, and
// one that stays silent beyond its hint is given up. A stop's margin covers
// the wrapper's wait for a program it has ended, during which it reports
// nothing.
FollowResult StopAndFollow(SC_HANDLE service, const PendingReportSink& onPending);

// The stop asked for and not followed, as stop --no-wait does: ended once
// the service has taken the request, or was stopping or stopped already;
// status is the state it answered with. The handle needs SERVICE_STOP and
// SERVICE_QUERY_STATUS.
FollowResult AskToStop(SC_HANDLE service);
