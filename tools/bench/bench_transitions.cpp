// The timed transitions: registrations, the calls made from threads of their
// own, and the alertable wait for both.
#include "tools/bench/bench_transitions.h"

namespace {

// A start reports running within milliseconds of StartServiceW's return; one
// that has not after this long is looked at, in case it stopped instead.
constexpr ULONGLONG kStalledMs = 2000;
constexpr ULONGLONG kStalledCheckMs = 250;

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

// Registers for `state` on each service and gives each call a thread that
// waits for the release; stops at the first registration or thread that
// cannot be made, with the failure.
std::vector<HANDLE> PrepareCalls(const std::vector<SC_HANDLE>& services, bool start, DWORD state,
                                 HANDLE release, Transition& t) {
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
    return threads;
}

}  // namespace

bool MakeTransition(const std::vector<SC_HANDLE>& services, bool start, DWORD state,
                    DWORD timeoutMs, Transition& t) {
    HANDLE release = CreateEventW(nullptr, /*bManualReset=*/TRUE, /*bInitialState=*/FALSE, nullptr);
    if (!release) {
        t.failure = Format("CreateEventW gave %lu", GetLastError());
        return false;
    }
    std::vector<HANDLE> threads = PrepareCalls(services, start, state, release, t);
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
