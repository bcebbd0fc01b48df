// One transition of one or more services, as the benchmark times it: a
// NotifyServiceStatusChangeW registration for the state waited for, made
// before the call that causes it, and the call made from a thread of its own
// once every registration is in place, while this thread waits alertably.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>
#include <vector>

#include "tools/bench/bench_runs.h"

constexpr DWORD kEndTimeoutMs = 5000;

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

// Registers for `state` on each service, then releases every call at once
// and waits until each registration has fired. False, with the failure, if a
// call failed or timeoutMs passed first.
bool MakeTransition(const std::vector<SC_HANDLE>& services, bool start, DWORD state,
                    DWORD timeoutMs, Transition& t);

// Frees what the transition holds, but for what a call or registration not
// yet done may still write into.
void EndTransition(Transition& t);
