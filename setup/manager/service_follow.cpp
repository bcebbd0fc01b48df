#include "setup/manager/service_follow.h"

#include "child/run_child.h"
#include "setup/model/service_status.h"
#include "setup/manager/service_reading.h"

// How often the state is read while following; the wrapper reports once a
// second, other services as they please.
constexpr DWORD kFollowIntervalMs = 100;
// Beyond the wait hint of the last report before a service counts as hung:
// a loaded machine is slow to report.
constexpr DWORD kFollowMarginMs = 3000;
// The wrapper reports nothing while it waits for a program it has ended.
constexpr DWORD kStopMarginMs = kFollowMarginMs + kTerminateWaitMs;

static bool IsPending(DWORD state) {
    return state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING ||
           state == SERVICE_CONTINUE_PENDING || state == SERVICE_PAUSE_PENDING;
}

static bool SameReport(const SERVICE_STATUS_PROCESS& a, const SERVICE_STATUS_PROCESS& b) {
    return a.dwCurrentState == b.dwCurrentState && a.dwCheckPoint == b.dwCheckPoint &&
           a.dwWaitHint == b.dwWaitHint;
}

static std::wstring Seconds(ULONGLONG ms) {
    const ULONGLONG seconds = (ms + 999) / 1000;
    return std::to_wstring(seconds) + (seconds == 1 ? L" second" : L" seconds");
}

// A stop's reports may be followed by the wrapper's silent wait for a
// program it has ended.
static DWORD MarginMs(DWORD state) {
    return state == SERVICE_STOP_PENDING ? kStopMarginMs : kFollowMarginMs;
}

static FollowResult Failed(FollowResult result, DWORD error, const std::wstring& problem) {
    result.ended = false;
    result.error = error;
    result.problem = problem;
    return result;
}

// Reads the state until it is pending no more, handing on each new pending
// report. Each report gives the service its wait hint plus a margin to make
// the next; silent for longer, it is given up. what is "start" or "stop".
static FollowResult Settle(FollowResult result, SC_HANDLE service,
                           const PendingReportSink& onPending, const wchar_t* what) {
    SERVICE_STATUS_PROCESS last = {};
    bool seen = false;
    ULONGLONG lastNewsMs = GetTickCount64();
    for (;;) {
        const SERVICE_STATUS_PROCESS& status = result.status;
        if (!IsPending(status.dwCurrentState)) return result;
        if (!seen || !SameReport(status, last)) {
            if (onPending) onPending(status);
            last = status;
            seen = true;
            lastNewsMs = GetTickCount64();
        }
        const ULONGLONG silentMs = GetTickCount64() - lastNewsMs;
        if (silentMs > ULONGLONG(last.dwWaitHint) + MarginMs(last.dwCurrentState)) {
            return Failed(result, NO_ERROR,
                          std::wstring(L"it is still ") + StateWord(last.dwCurrentState) +
                              L" after " + Seconds(silentMs) +
                              L" without a new report, though its last one (checkpoint " +
                              std::to_wstring(last.dwCheckPoint) + L") said to expect the next " +
                              L"within " + Seconds(last.dwWaitHint) + L"; it may be hung.");
        }
        Sleep(kFollowIntervalMs);
        if (DWORD error = ReadStatus(service, result.status)) {
            return Failed(result, error,
                          std::wstring(L"its state could not be read while following its ") +
                              what + L".");
        }
    }
}

// The end a follow came to, judged: a start ends running or stopped, a stop
// stopped; any other settled state (paused, or running again after a stop)
// is a problem.
static FollowResult Judge(FollowResult result, bool start) {
    if (!result.problem.empty()) return result;
    const DWORD state = result.status.dwCurrentState;
    result.ended = state == SERVICE_STOPPED || (start && state == SERVICE_RUNNING);
    if (!result.ended) {
        result.problem = std::wstring(L"it came to be ") + StateWord(state) + L" instead of " +
                         (start ? L"running." : L"stopped.");
    }
    return result;
}

FollowResult StartAndFollow(SC_HANDLE service, const PendingReportSink& onPending) {
    FollowResult result = {0, false, NO_ERROR, L"", {}};
    if (DWORD error = ReadStatus(service, result.status)) {
        return Failed(result, error, L"its state could not be read.");
    }
    result.stateBefore = result.status.dwCurrentState;
    if (result.status.dwCurrentState == SERVICE_STOP_PENDING) {
        result = Settle(result, service, onPending, L"stop");
        if (!result.problem.empty()) return result;
    }
    if (result.status.dwCurrentState == SERVICE_STOPPED) {
        if (!StartServiceW(service, /*dwNumServiceArgs=*/0, /*lpServiceArgVectors=*/nullptr)) {
            const DWORD error = GetLastError();
            // Already running: someone else started it meanwhile. A request
            // timeout: under Wine, the service stopped again before its start
            // returned. Either way its state says how the start went.
            if (error != ERROR_SERVICE_ALREADY_RUNNING && error != ERROR_SERVICE_REQUEST_TIMEOUT) {
                return Failed(result, error, L"the service control manager did not start it.");
            }
        }
        if (DWORD error = ReadStatus(service, result.status)) {
            return Failed(result, error, L"its state could not be read after the start.");
        }
    }
    return Judge(Settle(result, service, onPending, L"start"), /*start=*/true);
}

static std::wstring StopRefusal(DWORD error) {
    switch (error) {
    case ERROR_DEPENDENT_SERVICES_RUNNING:
        return L"it refused the stop: services that depend on it are running; stop them first.";
    case ERROR_INVALID_SERVICE_CONTROL: return L"it refused the stop: it does not take one.";
    case ERROR_SERVICE_CANNOT_ACCEPT_CTRL: return L"it refused the stop: it cannot take one now.";
    default: return L"the stop could not be sent.";
    }
}

static void TakeAnswer(const SERVICE_STATUS& answer, SERVICE_STATUS_PROCESS& status) {
    status.dwCurrentState = answer.dwCurrentState;
    status.dwControlsAccepted = answer.dwControlsAccepted;
    status.dwWin32ExitCode = answer.dwWin32ExitCode;
    status.dwServiceSpecificExitCode = answer.dwServiceSpecificExitCode;
    status.dwCheckPoint = answer.dwCheckPoint;
    status.dwWaitHint = answer.dwWaitHint;
}

static bool MetAStop(DWORD error) {
    return error == ERROR_SERVICE_NOT_ACTIVE || error == ERROR_BROKEN_PIPE;
}

// A stop that met the service stopping by itself: ERROR_SERVICE_NOT_ACTIVE,
// or ERROR_BROKEN_PIPE from a manager whose service process can end on its
// stopped report before its answer to the stop is written (Wine's). The
// status, read anew, holds the exit codes; after a broken pipe it must also
// show the stop. Gives NO_ERROR when the stop is to be followed from there.
static DWORD ReadStopMet(SC_HANDLE service, DWORD error, FollowResult& result) {
    if (DWORD readError = ReadStatus(service, result.status)) {
        result = Failed(result, readError, L"its state could not be read.");
        return readError;
    }
    const DWORD state = result.status.dwCurrentState;
    if (error == ERROR_BROKEN_PIPE && state != SERVICE_STOPPED && state != SERVICE_STOP_PENDING) {
        result = Failed(result, error, StopRefusal(error));
        return error;
    }
    return NO_ERROR;
}

// A service may take the stop and report it only a moment later (its
// handler just signals the thread that reports), so the state it answered
// with can still be its last, running one. It is given the margin to report
// anything else before that state counts as where the stop ended.
static FollowResult AwaitStopReport(FollowResult result, SC_HANDLE service) {
    const DWORD answered = result.status.dwCurrentState;
    if (IsPending(answered) || answered == SERVICE_STOPPED) return result;
    const ULONGLONG since = GetTickCount64();
    while (result.status.dwCurrentState == answered &&
           GetTickCount64() - since < kFollowMarginMs) {
        Sleep(kFollowIntervalMs);
        if (DWORD error = ReadStatus(service, result.status)) {
            return Failed(result, error,
                          L"its state could not be read after the stop was asked for.");
        }
    }
    return result;
}

FollowResult StopAndFollow(SC_HANDLE service, const PendingReportSink& onPending) {
    FollowResult result = {0, false, NO_ERROR, L"", {}};
    if (DWORD error = ReadStatus(service, result.status)) {
        return Failed(result, error, L"its state could not be read.");
    }
    result.stateBefore = result.status.dwCurrentState;
    for (bool startFollowed = false;;) {
        const DWORD state = result.status.dwCurrentState;
        if (state == SERVICE_STOPPED || state == SERVICE_STOP_PENDING) break;
        SERVICE_STATUS answer = {};
        if (ControlService(service, SERVICE_CONTROL_STOP, &answer)) {
            TakeAnswer(answer, result.status);
            result = AwaitStopReport(result, service);
            if (!result.problem.empty()) return result;
            break;
        }
        const DWORD error = GetLastError();
        if (MetAStop(error)) {
            if (ReadStopMet(service, error, result) != NO_ERROR) return result;
            break;
        }
        if (error != ERROR_SERVICE_CANNOT_ACCEPT_CTRL || !IsPending(state) || startFollowed) {
            return Failed(result, error, StopRefusal(error));
        }
        // Still starting, and not taking a stop yet: let the start end first.
        result = Settle(result, service, onPending, L"start");
        if (!result.problem.empty()) return result;
        startFollowed = true;
    }
    return Judge(Settle(result, service, onPending, L"stop"), /*start=*/false);
}

FollowResult AskToStop(SC_HANDLE service) {
    FollowResult result = {0, false, NO_ERROR, L"", {}};
    if (DWORD error = ReadStatus(service, result.status)) {
        return Failed(result, error, L"its state could not be read.");
    }
    result.stateBefore = result.status.dwCurrentState;
    result.ended = true;
    if (result.stateBefore == SERVICE_STOPPED || result.stateBefore == SERVICE_STOP_PENDING) {
        return result;
    }
    SERVICE_STATUS answer = {};
    if (!ControlService(service, SERVICE_CONTROL_STOP, &answer)) {
        const DWORD error = GetLastError();
        if (!MetAStop(error)) return Failed(result, error, StopRefusal(error));
        ReadStopMet(service, error, result);
        return result;
    }
    if (DWORD error = ReadStatus(service, result.status)) {
        return Failed(result, error, L"its state could not be read after the stop was asked for.");
    }
    return result;
}
