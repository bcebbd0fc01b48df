// The one record that the service thread and the dispatcher thread share,
// the lock that guards it, and the reports made from it.
#pragma once

#include <mutex>
#include <string>

#include "platform/platform.h"

constexpr DWORD kDefaultStopTimeoutMs = 120000;
constexpr const wchar_t* kDefaultServiceName = L"morvi-firmware-updater-service-wrapper";
constexpr const wchar_t* kDispatchServiceName = L"MyServiceWrapper";

constexpr DWORD kAcceptedControls =
    SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN | SERVICE_ACCEPT_PRESHUTDOWN;
constexpr DWORD kStartWaitHintMs = 10000;

struct ServiceState {
    DWORD stopTimeoutMs = kDefaultStopTimeoutMs;
    std::wstring serviceName = kDefaultServiceName;
    SERVICE_STATUS_HANDLE statusHandle = nullptr;
    SERVICE_STATUS status = {SERVICE_WIN32_OWN_PROCESS, 0, 0, 0, 0, 0, 0};
    PROCESS_INFORMATION childProcess = {};
    HANDLE stopEvent = nullptr;
    // A stop, shutdown or pre-shutdown control has arrived in this run, even
    // if the stop event did not exist yet to carry it.
    bool stopRequested = false;
    // The stopped report of this run has been made or is being made; the
    // handler stays silent from then on.
    bool runEnded = false;
};

extern ServiceState g_state;
// Guards every field the handler reads or writes: status with its report,
// stopTimeoutMs, stopEvent (test-and-signal against close-and-null) and the
// two flags. Never held across a wait or while sending the stopped report.
extern std::mutex g_lock;

// Sends the status record as it stands. Callers other than the stopped
// report hold g_lock.
void ReportStatus();

// Writes one report's fields into the record and sends it. Hold g_lock.
void ReportState(DWORD currentState, DWORD checkPoint, DWORD waitHintMs);

// The last report of a run: marks the run ended under the lock, then sends
// the stopped record without it, since the platform runs the control handler
// under a lock of its own that this report also takes. Takes g_lock itself.
// serviceSpecificExitCode is the failed child's own exit code and goes only
// with ERROR_SERVICE_SPECIFIC_ERROR; every other report carries 0 there.
void ReportStopped(DWORD exitCode, DWORD serviceSpecificExitCode = 0);

// Closes the stop event and nulls its field, under the lock, so that the
// handler never signals a closed handle.
void CloseStopEvent();

// GetLastError after a failed call, never NO_ERROR: a failure must not be
// reported as a clean end. Inline, so that the setup program can use it
// without taking in this record and its start-up.
inline DWORD LastErrorOf() {
    DWORD error = GetLastError();
    return error != NO_ERROR ? error : ERROR_GEN_FAILURE;
}

DWORD WINAPI ServiceControlHandler(DWORD dwControl, DWORD dwEventType, LPVOID lpEventData,
                                   LPVOID lpContext);
