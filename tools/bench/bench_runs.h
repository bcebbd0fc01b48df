// One timed start and stop of a service, and of a group started and stopped
// together, as the benchmark makes them: each wait for a state is a
// NotifyServiceStatusChangeW registration for exactly that state, made before
// the call that causes it, and the call is made from a second thread while
// this one waits alertably, so the notification is taken the moment it comes.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>
#include <vector>

#include "tools/bench/process_probe.h"

// Milliseconds between two QueryPerformanceCounter readings.
double ElapsedMs(LARGE_INTEGER from, LARGE_INTEGER to);
LARGE_INTEGER Now();

struct ServiceRun {
    bool ok;
    std::string failure;  // what went wrong, when not ok
    double startMs;       // StartServiceW until the running report
    double stopMs;        // ControlService(SERVICE_CONTROL_STOP) until the stopped report
    Footprint footprint;  // settleMs after the running report
    Footprint childFootprint;  // the child's, read at the same moment, when there is one
    double programMs;     // StartServiceW until the child's own child was seen, when one is named
};

// Starts the service, reads its footprint once it has settled, stops it and
// checks the end: stopped with exit code 0, the process gone with exit code
// 0 and, with a childExeName, exactly one such child while it ran and none
// after. With a programExeName, the settling begins once the child has
// started a program of that name. The service is stopped again whatever
// went wrong.
ServiceRun RunService(SC_HANDLE manager, const std::wstring& name,
                      const std::wstring& childExeName, DWORD settleMs,
                      const std::wstring& programExeName = L"");

// Waits, looking every few milliseconds, until the process has a child of
// that name; false if none came within timeoutMs.
bool WaitForChild(DWORD parentPid, const std::wstring& exeName, DWORD timeoutMs);

struct GroupRun {
    bool ok;
    std::string failure;
    double allRunningMs;  // from the release of every StartServiceW until the last running report
    double allStoppedMs;  // the same for ControlService and the stopped reports
    int stoppedClean;     // services that stopped with exit code 0, process and child gone
    int startRetries;     // StartServiceW calls made again after ERROR_SERVICE_DATABASE_LOCKED
};

// Starts every service at once, each from its own thread, then stops them
// all at once, and checks each end as RunService does.
GroupRun RunGroup(SC_HANDLE manager, const std::vector<std::wstring>& names,
                  const std::wstring& childExeName);

// Starts a service and waits for its running report; its pid, or 0.
DWORD StartAndWait(SC_HANDLE manager, const std::wstring& name, std::string& failure);

// Stops a service and waits for its stopped report with exit code 0.
bool StopAndWait(SC_HANDLE manager, const std::wstring& name, std::string& failure);

// printf-style text, cut at 255 bytes: for the short failure lines of a run.
std::string Format(const char* format, ...);
