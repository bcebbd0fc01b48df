#include "tools/bench/bench_runs.h"

#include <cstdarg>
#include <cstdio>

#include "tools/service_control.h"

namespace {

constexpr DWORD kStartTimeoutMs = 20000;
// Beyond the longest stop timeout used, and the wrapper's 10 s wait for a
// terminated child.
constexpr DWORD kStopTimeoutMs = 20000;
constexpr DWORD kEndTimeoutMs = 5000;
// A start reports running within milliseconds of StartServiceW's return; one
// that has not after this long is looked at, in case it stopped instead.
constexpr ULONGLONG kStalledMs = 2000;
constexpr ULONGLONG kStalledCheckMs = 250;

// One registration. Freed only once it has fired: one that has not may still
// be filled in and delivered later.
struct Watch {
    SERVICE_NOTIFYW notify;
    bool fired;
    LARGE_INTEGER at;
};

// One call, made from its own thread once released. Freed only once that
// thread has ended.
struct Call {
    SC_HANDLE service;
    bool start;
    HANDLE release;
    LARGE_INTEGER at;      // just before the call
    ULONGLONG returnedMs;  // GetTickCount64 after it
    DWORD error;
    int retries;
    ULONGLONG checkedMs;   // when the waiting thread last looked at a stalled start
};

// An APC, run on the thread that registered while it waits alertably.
VOID CALLBACK OnStatusChange(PVOID parameter) {
    auto* notify = static_cast<SERVICE_NOTIFYW*>(parameter);
    auto* watch = static_cast<Watch*>(notify->pContext);
    QueryPerformanceCounter(&watch->at);
    watch->fired = true;
}

// The manager starts one service at a time, and a start that waits too long
// for the others (3 s under Wine) fails with ERROR_SERVICE_DATABASE_LOCKED;
// it is made again, and counted.
DWORD WINAPI MakeCall(LPVOID parameter) {
    auto* call = static_cast<Call*>(parameter);
    WaitForSingleObject(call->release, INFINITE);
    QueryPerformanceCounter(&call->at);
    SERVICE_STATUS status;
    for (;;) {
        BOOL made = call->start ? StartServiceW(call->service, 0, nullptr)
                                : ControlService(call->service, SERVICE_CONTROL_STOP, &status);
        call->error = made ? ERROR_SUCCESS : GetLastError();
        if (!call->start || call->error != ERROR_SERVICE_DATABASE_LOCKED || call->retries == 20) {
            call->returnedMs = GetTickCount64();
            return 0;
        }
        ++call->retries;
    }
}

struct Transition {
    std::vector<Watch*> watches;
    std::vector<Call*> calls;
    LARGE_INTEGER releasedAt;
    std::string failure;

    double MsOf(size_t i) const { return ElapsedMs(calls[i]->at, watches[i]->at); }
    double MsOfAll() const {
        LARGE_INTEGER last = releasedAt;
        for (const Watch* watch : watches) {
            if (watch->at.QuadPart > last.QuadPart) last = watch->at;
        }
        return ElapsedMs(releasedAt, last);
    }
    const SERVICE_STATUS_PROCESS& Status(size_t i) const { return watches[i]->notify.ServiceStatus; }
    int Retries() const {
        int retries = 0;
        for (const Call* call : calls) retries += call ? call->retries : 0;
        return retries;
    }
};

bool AllFired(const Transition& t) {
    for (const Watch* watch : t.watches) {
        if (!watch->fired) return false;
    }
    return true;
}

// A call that failed while its registration has not fired, or a start that
// went through but stopped instead of running: the report waited for will
// not come. The status is looked at only for a start that stalled, never in
// a run that goes as it should.
bool FailedCall(Transition& t, const std::vector<HANDLE>& threads, bool start) {
    const ULONGLONG now = GetTickCount64();
    for (size_t i = 0; i < threads.size(); ++i) {
        if (t.watches[i]->fired || WaitForSingleObject(threads[i], 0) != WAIT_OBJECT_0) continue;
        Call& call = *t.calls[i];
        SERVICE_STATUS_PROCESS status = {};
        DWORD needed = 0;
        if (call.error != ERROR_SUCCESS) {
            t.failure = Format("%s gave %lu", start ? "StartServiceW" : "ControlService(STOP)",
                               call.error);
            // StartServiceW gives 1053 when the service has stopped already.
            if (QueryServiceStatusEx(call.service, SC_STATUS_PROCESS_INFO,
                                     reinterpret_cast<LPBYTE>(&status), sizeof(status), &needed) &&
                status.dwCurrentState == SERVICE_STOPPED) {
                t.failure += Format("; stopped with exit code %lu", status.dwWin32ExitCode);
            }
            return true;
        }
        if (!start || now - call.returnedMs < kStalledMs || now - call.checkedMs < kStalledCheckMs) {
            continue;
        }
        call.checkedMs = now;
        if (QueryServiceStatusEx(call.service, SC_STATUS_PROCESS_INFO,
                                 reinterpret_cast<LPBYTE>(&status), sizeof(status), &needed) &&
            status.dwCurrentState == SERVICE_STOPPED) {
            t.failure = Format("stopped with exit code %lu instead of running", status.dwWin32ExitCode);
            return true;
        }
    }
    return false;
}

// Waits alertably until every thread has ended or the deadline has passed;
// the calls of threads still running are left to them.
void JoinCalls(Transition& t, std::vector<HANDLE>& threads, ULONGLONG deadline) {
    for (size_t i = 0; i < threads.size(); ++i) {
        for (;;) {
            ULONGLONG now = GetTickCount64();
            DWORD waitMs = now < deadline ? DWORD(deadline - now) : 0;
            DWORD woke = WaitForSingleObjectEx(threads[i], waitMs, /*bAlertable=*/TRUE);
            if (woke == WAIT_IO_COMPLETION) continue;
            if (woke != WAIT_OBJECT_0) t.calls[i] = nullptr;
            break;
        }
        CloseHandle(threads[i]);
    }
}

// Registers for `state` on each service, then releases every call at once
// and waits until each registration has fired. False, with the failure, if a
// call failed or timeoutMs passed first.
bool MakeTransition(const std::vector<SC_HANDLE>& services, bool start, DWORD state,
                    DWORD timeoutMs, Transition& t) {
    HANDLE release = CreateEventW(nullptr, /*bManualReset=*/TRUE, /*bInitialState=*/FALSE, nullptr);
    if (!release) {
        t.failure = Format("CreateEventW gave %lu", GetLastError());
        return false;
    }
    std::vector<HANDLE> threads;
    for (SC_HANDLE service : services) {
        auto* watch = new Watch{};
        watch->notify.dwVersion = SERVICE_NOTIFY_STATUS_CHANGE;
        watch->notify.pfnNotifyCallback = OnStatusChange;
        watch->notify.pContext = watch;
        t.watches.push_back(watch);
        DWORD registered = NotifyServiceStatusChangeW(service, 1u << (state - 1), &watch->notify);
        auto* call = new Call{service, start, release, {}, 0, ERROR_SUCCESS, 0, 0};
        t.calls.push_back(call);
        HANDLE thread = registered == ERROR_SUCCESS
                            ? CreateThread(nullptr, 0, MakeCall, call, 0, nullptr)
                            : nullptr;
        if (!thread) {
            t.failure = Format("registration or thread failed: %lu", registered != ERROR_SUCCESS
                                                                         ? registered
                                                                         : GetLastError());
            t.calls.back() = nullptr;
            delete call;
            break;
        }
        threads.push_back(thread);
    }
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    QueryPerformanceCounter(&t.releasedAt);
    SetEvent(release);
    while (t.failure.empty() && !AllFired(t) && !FailedCall(t, threads, start)) {
        if (GetTickCount64() >= deadline) {
            t.failure = Format("no %s report within %lu ms", start ? "running" : "stopped",
                               timeoutMs);
        } else {
            SleepEx(10, /*bAlertable=*/TRUE);
        }
    }
    JoinCalls(t, threads, deadline + kEndTimeoutMs);
    // A thread still blocked in its call holds the event; it stays open.
    bool joined = true;
    for (Call* call : t.calls) joined = joined && call;
    if (joined) CloseHandle(release);
    return t.failure.empty();
}

void EndTransition(Transition& t) {
    for (Watch* watch : t.watches) {
        if (watch->fired) delete watch;
    }
    for (Call* call : t.calls) delete call;
    t.watches.clear();
    t.calls.clear();
}

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

GroupRun RunGroup(SC_HANDLE manager, const std::vector<std::wstring>& names,
                  const std::wstring& childExeName) {
    GroupRun run = {};
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
            for (size_t i = 0; i < services.size(); ++i) {
                std::string failure;
                bool clean = EndedCleanly(processes[i], failure);
                if (stopped.Status(i).dwWin32ExitCode != NO_ERROR) {
                    failure = Format("stopped with exit code %lu", stopped.Status(i).dwWin32ExitCode);
                    clean = false;
                }
                if (clean) ++run.stoppedClean;
                if (!clean && run.failure.empty()) run.failure = failure;
            }
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
