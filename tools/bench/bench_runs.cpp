// A service's timed start and stop, and a group's, with the ends checked.
#include "tools/bench/bench_runs.h"

#include <cstdarg>
#include <cstdio>

#include "tools/bench/bench_transitions.h"
#include "tools/service_control.h"

namespace {

constexpr DWORD kStartTimeoutMs = 20000;
// Beyond the longest stop timeout used, and the wrapper's 10 s wait for a
// terminated child.
constexpr DWORD kStopTimeoutMs = 20000;

// The service's process and, with a child name, its one child, opened to
// wait for their end.
struct Processes {
    HANDLE service;
    HANDLE child;
    DWORD childPid;
};

bool OpenProcesses(DWORD pid, const std::wstring& childExeName, Processes& p,
                   std::string& failure) {
    p.service = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!p.service) {
        failure = Format("the service's process %lu could not be opened: %lu", pid, GetLastError());
        return false;
    }
    if (childExeName.empty()) return true;
    std::vector<DWORD> children = ChildrenOf(pid, childExeName);
    if (children.size() != 1) {
        failure = Format("%u children while running, not 1", unsigned(children.size()));
        return false;
    }
    p.childPid = children[0];
    p.child = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, children[0]);
    if (!p.child) {
        failure = Format("the child could not be opened: %lu", GetLastError());
        return false;
    }
    return true;
}

// After the stopped report: the child already gone, the service's process
// ending with exit code 0. Closes both.
bool EndedCleanly(Processes& p, std::string& failure) {
    bool clean = true;
    if (p.child) {
        if (WaitForSingleObject(p.child, 0) != WAIT_OBJECT_0) {
            failure = "the child was still running after the stopped report";
            TerminateProcess(p.child, 1);
            clean = false;
        }
        CloseHandle(p.child);
        p.child = nullptr;
    }
    if (p.service) {
        DWORD exitCode = STILL_ACTIVE;
        if (WaitForSingleObject(p.service, kEndTimeoutMs) != WAIT_OBJECT_0) {
            if (clean) failure = "the service's process did not end after its stopped report";
            clean = false;
        } else if (GetExitCodeProcess(p.service, &exitCode) && exitCode != 0) {
            if (clean) failure = Format("the service's process exited with %lu", exitCode);
            clean = false;
        }
        CloseHandle(p.service);
        p.service = nullptr;
    }
    return clean;
}

void CloseProcesses(Processes& p) {
    if (p.child) CloseHandle(p.child);
    if (p.service) CloseHandle(p.service);
    p = Processes{};
}

}  // namespace

std::string Format(const char* format, ...) {
    char text[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    return text;
}

LARGE_INTEGER Now() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now;
}

double ElapsedMs(LARGE_INTEGER from, LARGE_INTEGER to) {
    static LARGE_INTEGER frequency = {};
    if (!frequency.QuadPart) QueryPerformanceFrequency(&frequency);
    return double(to.QuadPart - from.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

bool WaitForChild(DWORD parentPid, const std::wstring& exeName, DWORD timeoutMs) {
    for (ULONGLONG until = GetTickCount64() + timeoutMs; GetTickCount64() < until; Sleep(5)) {
        if (!ChildrenOf(parentPid, exeName).empty()) return true;
    }
    return false;
}

namespace {

// Once running, and once the child has started its program where one is
// named, waits settleMs and reads the footprints.
void Settle(DWORD pid, const Processes& processes, const std::wstring& programExeName,
            LARGE_INTEGER startedAt, DWORD settleMs, ServiceRun& run) {
    if (!programExeName.empty()) {
        if (!WaitForChild(processes.childPid, programExeName, kStartTimeoutMs)) {
            run.failure = "the child started no program within the start timeout";
            return;
        }
        run.programMs = ElapsedMs(startedAt, Now());
    }
    Sleep(settleMs);
    if (!ProbeProcess(pid, run.footprint) ||
        (processes.child && !ProbeProcess(processes.childPid, run.childFootprint))) {
        run.failure = "the footprint could not be read";
    }
}

}  // namespace

ServiceRun RunService(SC_HANDLE manager, const std::wstring& name,
                      const std::wstring& childExeName, DWORD settleMs,
                      const std::wstring& programExeName) {
    ServiceRun run = {};
    SC_HANDLE service =
        OpenServiceW(manager, name.c_str(), SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS);
    if (!service) {
        run.failure = Format("OpenServiceW gave %lu", GetLastError());
        return run;
    }
    Processes processes = {};
    Transition started, stopped;
    if (MakeTransition({service}, /*start=*/true, SERVICE_RUNNING, kStartTimeoutMs, started)) {
        run.startMs = started.MsOf(0);
        DWORD pid = started.Status(0).dwProcessId;
        if (OpenProcesses(pid, childExeName, processes, run.failure)) {
            Settle(pid, processes, programExeName, started.calls[0]->at, settleMs, run);
        }
        if (MakeTransition({service}, /*start=*/false, SERVICE_STOPPED, kStopTimeoutMs, stopped)) {
            run.stopMs = stopped.MsOf(0);
            DWORD exitCode = stopped.Status(0).dwWin32ExitCode;
            if (exitCode != NO_ERROR && run.failure.empty()) {
                run.failure = Format("stopped with exit code %lu", exitCode);
            }
            std::string ending;
            if (!EndedCleanly(processes, ending) && run.failure.empty()) run.failure = ending;
        } else if (run.failure.empty()) {
            run.failure = stopped.failure;
        }
    } else {
        run.failure = started.failure;
    }
    CloseProcesses(processes);
    EndTransition(started);
    EndTransition(stopped);
    CloseServiceHandle(service);
    run.ok = run.failure.empty();
    return run;
}

namespace {

// Each service opened to start and stop it; those before the first that
// cannot be opened, with the failure.
std::vector<SC_HANDLE> OpenGroup(SC_HANDLE manager, const std::vector<std::wstring>& names,
                                 GroupRun& run) {
    std::vector<SC_HANDLE> services;
    for (const std::wstring& name : names) {
        SC_HANDLE service = OpenServiceW(manager, name.c_str(),
                                         SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS);
        if (!service) {
            run.failure = Format("OpenServiceW gave %lu", GetLastError());
            break;
        }
        services.push_back(service);
    }
    return services;
}

// After the stopped reports: each service's end checked as RunService
// checks it, the clean ones counted, the first failure kept.
void CheckGroupEnds(const Transition& stopped, std::vector<Processes>& processes, GroupRun& run) {
    for (size_t i = 0; i < processes.size(); ++i) {
        std::string failure;
        bool clean = EndedCleanly(processes[i], failure);
        if (stopped.Status(i).dwWin32ExitCode != NO_ERROR) {
            failure = Format("stopped with exit code %lu", stopped.Status(i).dwWin32ExitCode);
            clean = false;
        }
        if (clean) ++run.stoppedClean;
        if (!clean && run.failure.empty()) run.failure = failure;
    }
}

}  // namespace

GroupRun RunGroup(SC_HANDLE manager, const std::vector<std::wstring>& names,
                  const std::wstring& childExeName) {
    GroupRun run = {};
    std::vector<SC_HANDLE> services = OpenGroup(manager, names, run);
    std::vector<Processes> processes(services.size());
    Transition started, stopped;
    if (run.failure.empty() &&
        MakeTransition(services, /*start=*/true, SERVICE_RUNNING, kStartTimeoutMs, started)) {
        run.allRunningMs = started.MsOfAll();
        run.startRetries = started.Retries();
        for (size_t i = 0; i < services.size(); ++i) {
            std::string failure;
            if (!OpenProcesses(started.Status(i).dwProcessId, childExeName, processes[i], failure) &&
                run.failure.empty()) {
                run.failure = failure;
            }
        }
        if (MakeTransition(services, /*start=*/false, SERVICE_STOPPED, kStopTimeoutMs, stopped)) {
            run.allStoppedMs = stopped.MsOfAll();
            CheckGroupEnds(stopped, processes, run);
        } else if (run.failure.empty()) {
            run.failure = stopped.failure;
        }
    } else if (run.failure.empty()) {
        run.failure = started.failure;
    }
    for (Processes& p : processes) CloseProcesses(p);
    EndTransition(started);
    EndTransition(stopped);
    for (SC_HANDLE service : services) CloseServiceHandle(service);
    run.ok = run.failure.empty() && run.stoppedClean == int(names.size());
    if (run.failure.empty() && !run.ok) run.failure = "not every service stopped cleanly";
    return run;
}

DWORD StartAndWait(SC_HANDLE manager, const std::wstring& name, std::string& failure) {
    SC_HANDLE service = OpenServiceW(manager, name.c_str(), SERVICE_START | SERVICE_QUERY_STATUS);
    if (!service) {
        failure = Format("OpenServiceW gave %lu", GetLastError());
        return 0;
    }
    Transition started;
    DWORD pid = 0;
    if (MakeTransition({service}, /*start=*/true, SERVICE_RUNNING, kStartTimeoutMs, started)) {
        pid = started.Status(0).dwProcessId;
    } else {
        failure = started.failure;
    }
    EndTransition(started);
    CloseServiceHandle(service);
    return pid;
}

bool StopAndWait(SC_HANDLE manager, const std::wstring& name, std::string& failure) {
    SC_HANDLE service = OpenServiceW(manager, name.c_str(), SERVICE_STOP | SERVICE_QUERY_STATUS);
    if (!service) {
        failure = Format("OpenServiceW gave %lu", GetLastError());
        return false;
    }
    Transition stopped;
    bool ok = MakeTransition({service}, /*start=*/false, SERVICE_STOPPED, kStopTimeoutMs, stopped);
    if (!ok) {
        failure = stopped.failure;
    } else if (stopped.Status(0).dwWin32ExitCode != NO_ERROR) {
        failure = Format("stopped with exit code %lu", stopped.Status(0).dwWin32ExitCode);
        ok = false;
    }
    EndTransition(stopped);
    CloseServiceHandle(service);
    return ok;
}
