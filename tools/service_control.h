// What the end-to-end tests and the demo do to a service from the outside:
// compose its configured command line, install and remove it, and watch every
// status report it makes.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>
#include <vector>

std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& text);

// The last component of a path, after the last backslash or slash.
std::wstring FileName(const std::wstring& path);

// A Unix path as Wine's drive Z: shows it; any other text is left alone.
std::wstring WindowsPath(const std::wstring& path);

// One element quoted so that CommandLineToArgvW gives it back unchanged,
// whatever quotation marks, backslashes or spaces it holds.
std::wstring QuoteArgument(const std::wstring& argument);

// The service's configured command line: the wrapper in quotation marks (the
// first element is read up to the next quotation mark, with no escapes), then
// each element quoted for the wrapper's own splitting.
std::wstring BuildBinaryPath(const std::wstring& wrapperPath,
                             const std::vector<std::wstring>& elements);

// Creates an own-process, demand-start service, replacing one of the same
// name that an earlier, interrupted run left behind. Null on failure.
SC_HANDLE InstallService(SC_HANDLE manager, const std::wstring& name,
                         const std::wstring& binaryPath);

// Gives the service this command line from its next start on.
bool ChangeBinaryPath(SC_HANDLE manager, const std::wstring& name, const std::wstring& binaryPath);

// Stops the service if it still runs (killing its process if it does not
// stop within timeoutMs) and deletes it. False if it could not be deleted.
bool RemoveService(SC_HANDLE manager, const std::wstring& name, DWORD timeoutMs);

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

const char* StateName(DWORD state);

// The status now, as QueryServiceStatusEx gives it; dwCurrentState is 0 if
// the query failed.
SERVICE_STATUS_PROCESS QueryStatus(SC_HANDLE manager, const std::wstring& name);

// The pre-shutdown timeout in the service's configuration; false if it could
// not be read.
bool ReadPreshutdownTimeout(SC_HANDLE manager, const std::wstring& name, DWORD& timeoutMs);
bool WritePreshutdownTimeout(SC_HANDLE manager, const std::wstring& name, DWORD timeoutMs);

// The pids of running processes whose exe has this file name.
std::vector<DWORD> ProcessesNamed(const std::wstring& exeName);

// The pids of processes that this one started and whose exe has this file
// name, as a process snapshot shows them.
std::vector<DWORD> ChildrenOf(DWORD parentPid, const std::wstring& exeName);

// Terminates every running process whose exe has this file name, and gives
// each a bounded time to go.
void EndProcessesNamed(const std::wstring& exeName);
