// Watching a service's status reports from the outside, as the end-to-end
// tests and the demo do: every report a life makes, each once, in order.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>
#include <vector>

struct Report {
    ULONGLONG atMs;  // GetTickCount64 when the notification was delivered
    SERVICE_STATUS_PROCESS status;
};

// Adds a report to those of one life as a watch does: a report delivered
// within a few milliseconds of later ones of the life, or after its stop, is
// put before them.
void InsertInLifeOrder(std::vector<Report>& reports, const Report& report);

struct StatusWatch;

// Arms several notification registrations on the service at once, so that
// reports made in quick succession are all caught. The reports gathered are
// the service's own, each once, in the order made; the manager's placeholder
// status (exit code 1077, before the service's first report) is left out, and
// so is the stopped status an earlier life left, until this life's start.
// Notifications are delivered as APCs, only while this thread waits
// alertably: in PumpReports, WaitForState or StartWatched.
StatusWatch* WatchService(SC_HANDLE manager, const std::wstring& name);

// StartServiceW with these parameters, made from another thread while this
// one keeps the registrations armed: the manager's own placeholder status
// fires them just before the service's first report. Returns StartServiceW's
// error, or ERROR_SUCCESS.
DWORD StartWatched(StatusWatch* watch, SC_HANDLE service,
                   const std::vector<std::wstring>& parameters);

// The same for several services, each watched by the watch of the same
// index: the calls are made one after another, none waiting for a service to
// run. One result per service.
std::vector<DWORD> StartWatchedTogether(const std::vector<StatusWatch*>& watches,
                                        const std::vector<SC_HANDLE>& services,
                                        const std::vector<std::wstring>& parameters);

// Waits alertably for up to waitMs, collecting reports and re-arming each
// registration as soon as it has fired. Every watch armed on this thread has
// to be pumped: a notification for one is delivered during the wait of any.
void PumpReports(StatusWatch* watch, DWORD waitMs);
void PumpReports(const std::vector<StatusWatch*>& watches, DWORD waitMs);

// Whether a report with this state has been collected. A stopped report
// counts once the reports made before it are in as well (or, should a
// registration never hand the stop over, a little while after it).
bool HasReached(const StatusWatch* watch, DWORD state);

// Pumps until HasReached holds for the given state (on each watch), or
// timeoutMs has passed. True if the state has been collected by then.
bool WaitForState(StatusWatch* watch, DWORD state, DWORD timeoutMs);
bool WaitForState(const std::vector<StatusWatch*>& watches, DWORD state, DWORD timeoutMs);

const std::vector<Report>& Reports(const StatusWatch* watch);

void EndWatch(StatusWatch* watch);
