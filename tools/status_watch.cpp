// Watching a service's status reports: several notification registrations
// armed at once, the reports they hand over gathered once each in the order
// the service made them, and starts made from another thread while the
// registrations stay armed.
#include "tools/status_watch.h"

#include "tools/service_control.h"

namespace {

constexpr DWORD kAllStates = 0x7F;

// A registration fires once, on the first report in its mask, and is then
// re-armed. One registration per state keeps a quick succession of reports
// in different states from being lost while others are re-armed; two more
// watch every state.
const DWORD kSlotMasks[] = {
    SERVICE_NOTIFY_START_PENDING,
    SERVICE_NOTIFY_RUNNING,
    SERVICE_NOTIFY_STOP_PENDING,
    SERVICE_NOTIFY_STOPPED,
    SERVICE_NOTIFY_PAUSE_PENDING | SERVICE_NOTIFY_PAUSED | SERVICE_NOTIFY_CONTINUE_PENDING,
    kAllStates,
    kAllStates,
};
constexpr int kWatchSlots = sizeof(kSlotMasks) / sizeof(kSlotMasks[0]);

// Reports delivered closer together than this may have come through
// different registrations in either order.
constexpr ULONGLONG kReorderWindowMs = 20;

// How long after the stopped report the earlier reports of the life are
// waited for, should a registration never hand over the stop.
constexpr ULONGLONG kStopSettleMs = 2000;

}  // namespace

struct WatchSlot {
    StatusWatch* watch;
    SC_HANDLE service;
    DWORD mask;
    SERVICE_NOTIFYW notify;
    bool armed;
    // This registration has handed over this life's stopped report.
    bool stopDelivered;
};

struct StatusWatch {
    WatchSlot slots[kWatchSlots];
    std::vector<Report> reports;
    bool open;
    // The stopped status of an earlier life, which every registration armed
    // before the next start is handed; it is not a report of this one.
    SERVICE_STATUS_PROCESS earlierStop;
    bool startSeen;
};

static bool SameReport(const SERVICE_STATUS_PROCESS& a, const SERVICE_STATUS_PROCESS& b) {
    return a.dwCurrentState == b.dwCurrentState && a.dwControlsAccepted == b.dwControlsAccepted &&
           a.dwWin32ExitCode == b.dwWin32ExitCode &&
           a.dwServiceSpecificExitCode == b.dwServiceSpecificExitCode &&
           a.dwCheckPoint == b.dwCheckPoint && a.dwWaitHint == b.dwWaitHint;
}

static int LifeOrder(DWORD state) {
    switch (state) {
    case SERVICE_START_PENDING: return 0;
    case SERVICE_STOP_PENDING: return 2;
    case SERVICE_STOPPED: return 3;
    default: return 1;
    }
}

// Each registration has a thread of its own in the caller, so reports made
// within microseconds of each other can arrive in either order; those are put
// in the order of the service's life. A watch sees one life, which its
// start-pending report begins and its stop ends: a start-pending that arrives
// after other reports was made before them, and a report that arrives after
// the stop was made before it, however late a busy machine delivered it.
void InsertInLifeOrder(std::vector<Report>& reports, const Report& report) {
    const DWORD state = report.status.dwCurrentState;
    auto at = reports.end();
    while (at != reports.begin() && LifeOrder((at - 1)->status.dwCurrentState) > LifeOrder(state) &&
           (report.atMs - (at - 1)->atMs < kReorderWindowMs || state == SERVICE_START_PENDING ||
            (at - 1)->status.dwCurrentState == SERVICE_STOPPED)) {
        --at;
    }
    reports.insert(at, report);
}

// Each report reaches every registration armed for its state, and a freshly
// armed one may be handed the current status again: keep the first of each.
// Until the start, that current status is the earlier life's stop.
static void Collect(StatusWatch* watch, const SERVICE_STATUS_PROCESS& status) {
    if (status.dwCurrentState == SERVICE_START_PENDING) watch->startSeen = true;
    if (!watch->startSeen && SameReport(status, watch->earlierStop)) return;
    if (status.dwWin32ExitCode == ERROR_SERVICE_NEVER_STARTED) return;
    for (const Report& seen : watch->reports) {
        if (SameReport(seen.status, status)) return;
    }
    InsertInLifeOrder(watch->reports, Report{GetTickCount64(), status});
}

// An APC, run while PumpReports waits alertably.
static VOID CALLBACK OnStatusChange(PVOID parameter) {
    auto* notify = static_cast<SERVICE_NOTIFYW*>(parameter);
    auto* slot = static_cast<WatchSlot*>(notify->pContext);
    slot->armed = false;
    if (!slot->watch->open || notify->dwNotificationStatus != ERROR_SUCCESS) return;
    Collect(slot->watch, notify->ServiceStatus);
    if (slot->watch->startSeen && notify->ServiceStatus.dwCurrentState == SERVICE_STOPPED) {
        slot->stopDelivered = true;
    }
}

static void Arm(WatchSlot& slot) {
    slot.notify = SERVICE_NOTIFYW{};
    slot.notify.dwVersion = SERVICE_NOTIFY_STATUS_CHANGE;
    slot.notify.pfnNotifyCallback = OnStatusChange;
    slot.notify.pContext = &slot;
    slot.armed = NotifyServiceStatusChangeW(slot.service, slot.mask, &slot.notify) == ERROR_SUCCESS;
}

static void RearmFired(StatusWatch* watch) {
    for (WatchSlot& slot : watch->slots) {
        if (slot.service && !slot.armed) Arm(slot);
    }
}

StatusWatch* WatchService(SC_HANDLE manager, const std::wstring& name) {
    // Never freed: a notification queued before its handle was closed may
    // still be delivered into these buffers.
    auto* watch = new StatusWatch{};
    watch->open = true;
    watch->earlierStop = QueryStatus(manager, name);
    if (watch->earlierStop.dwCurrentState != SERVICE_STOPPED) watch->startSeen = true;
    for (int i = 0; i < kWatchSlots; ++i) {
        WatchSlot& slot = watch->slots[i];
        slot.watch = watch;
        slot.mask = kSlotMasks[i];
        slot.service = OpenServiceW(manager, name.c_str(), SERVICE_QUERY_STATUS);
        if (slot.service) Arm(slot);
    }
    return watch;
}

void PumpReports(const std::vector<StatusWatch*>& watches, DWORD waitMs) {
    ULONGLONG deadline = GetTickCount64() + waitMs;
    for (;;) {
        for (StatusWatch* watch : watches) RearmFired(watch);
        ULONGLONG now = GetTickCount64();
        if (now >= deadline) return;
        SleepEx(DWORD(deadline - now), /*bAlertable=*/TRUE);
    }
}

void PumpReports(StatusWatch* watch, DWORD waitMs) { PumpReports(std::vector<StatusWatch*>{watch}, waitMs); }

struct StartRequest {
    std::vector<SC_HANDLE> services;
    std::vector<LPCWSTR> parameters;
    std::vector<DWORD> results;
};

// One call after another: Wine's manager starts one service at a time, and a
// call that has waited a few seconds for its turn fails with
// ERROR_SERVICE_DATABASE_LOCKED. Each call returns once its service has made
// its first report, so the services still come up side by side.
static DWORD WINAPI CallStartService(LPVOID parameter) {
    auto* request = static_cast<StartRequest*>(parameter);
    LPCWSTR* vectors = request->parameters.empty() ? nullptr : request->parameters.data();
    for (size_t i = 0; i < request->services.size(); ++i) {
        request->results[i] = StartServiceW(request->services[i],
                                            DWORD(request->parameters.size()), vectors)
                                  ? ERROR_SUCCESS
                                  : GetLastError();
    }
    return 0;
}

std::vector<DWORD> StartWatchedTogether(const std::vector<StatusWatch*>& watches,
                                        const std::vector<SC_HANDLE>& services,
                                        const std::vector<std::wstring>& parameters) {
    StartRequest request = {services, {}, std::vector<DWORD>(services.size(), ERROR_SUCCESS)};
    for (const std::wstring& parameter : parameters) {
        request.parameters.push_back(parameter.c_str());
    }
    HANDLE thread = CreateThread(nullptr, 0, CallStartService, &request, 0, nullptr);
    if (!thread) return std::vector<DWORD>(services.size(), GetLastError());
    for (;;) {
        for (StatusWatch* watch : watches) RearmFired(watch);
        if (WaitForSingleObjectEx(thread, INFINITE, /*bAlertable=*/TRUE) == WAIT_OBJECT_0) break;
    }
    CloseHandle(thread);
    return request.results;
}

DWORD StartWatched(StatusWatch* watch, SC_HANDLE service,
                   const std::vector<std::wstring>& parameters) {
    return StartWatchedTogether({watch}, {service}, parameters)[0];
}

static const Report* FirstWithState(const StatusWatch* watch, DWORD state) {
    for (const Report& report : watch->reports) {
        if (report.status.dwCurrentState == state) return &report;
    }
    return nullptr;
}

// Wine hands each registration's notification over on a thread of its own,
// so on a busy machine the stopped report can arrive through one
// registration while an earlier report is still on its way through another.
// Each registration hands over its reports in the order they were made: once
// every one that watches for the stop has handed it over, the reports before
// it are in.
bool HasReached(const StatusWatch* watch, DWORD state) {
    const Report* report = FirstWithState(watch, state);
    if (!report) return false;
    if (state != SERVICE_STOPPED) return true;
    if (GetTickCount64() - report->atMs >= kStopSettleMs) return true;
    for (const WatchSlot& slot : watch->slots) {
        if (slot.service && (slot.mask & SERVICE_NOTIFY_STOPPED) && !slot.stopDelivered) {
            return false;
        }
    }
    return true;
}

static bool AllReached(const std::vector<StatusWatch*>& watches, DWORD state, bool settled) {
    for (const StatusWatch* watch : watches) {
        if (settled ? !HasReached(watch, state) : !FirstWithState(watch, state)) return false;
    }
    return true;
}

bool WaitForState(const std::vector<StatusWatch*>& watches, DWORD state, DWORD timeoutMs) {
    ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (AllReached(watches, state, /*settled=*/true)) return true;
        ULONGLONG now = GetTickCount64();
        if (now >= deadline) return AllReached(watches, state, /*settled=*/false);
        PumpReports(watches, DWORD(deadline - now < 50 ? deadline - now : 50));
    }
}

bool WaitForState(StatusWatch* watch, DWORD state, DWORD timeoutMs) {
    return WaitForState(std::vector<StatusWatch*>{watch}, state, timeoutMs);
}

const std::vector<Report>& Reports(const StatusWatch* watch) { return watch->reports; }

void EndWatch(StatusWatch* watch) {
    if (!watch) return;
    watch->open = false;
    for (WatchSlot& slot : watch->slots) {
        if (slot.service) CloseServiceHandle(slot.service);
        slot.service = nullptr;
    }
}
