// The simulated service control manager.
#include "platform/platform.h"

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <cwctype>
#include <memory>

#include "platform/sim_internal.h"

using sim::CallScope;
using sim::Kind;
using sim::Object;
using sim::g_changed;
using sim::g_sim;
using sim::g_simLock;

BOOL StartServiceCtrlDispatcherW(const SERVICE_TABLE_ENTRYW* lpServiceStartTable) {
    CallScope call("StartServiceCtrlDispatcherW");
    std::unique_lock<std::mutex> held(g_simLock);
    if (g_sim.outsideManager || !lpServiceStartTable || !lpServiceStartTable[0].lpServiceProc) {
        held.unlock();
        call.Fail(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT);
        return FALSE;
    }
    g_sim.dispatchTableName = lpServiceStartTable[0].lpServiceName;
    g_sim.dispatcherRunning = true;
    g_sim.dispatcherThread = std::this_thread::get_id();
    LPSERVICE_MAIN_FUNCTIONW serviceMain = lpServiceStartTable[0].lpServiceProc;
    auto args = std::make_shared<std::vector<std::wstring>>(g_sim.serviceArgs);
    std::thread service([serviceMain, args] {
        std::vector<LPWSTR> argv;
        for (std::wstring& arg : *args) argv.push_back(&arg[0]);
        argv.push_back(nullptr);
        sim::detail::MarkServiceThread();
        serviceMain(static_cast<DWORD>(args->size()), argv.data());
        std::lock_guard<std::mutex> done(g_simLock);
        g_sim.serviceReturned = true;
        g_changed.notify_all();
    });

    // Runs the handler for each control until the service thread returns.
    const auto giveUp = std::chrono::steady_clock::now() + sim::kRunBound;
    for (;;) {
        bool woke = g_changed.wait_until(held, giveUp, [] {
            return !g_sim.controlQueue.empty() || g_sim.serviceReturned;
        });
        if (!woke) {
            std::fprintf(stderr, "simulated platform: the service thread did not return\n");
            std::abort();
        }
        if (g_sim.controlQueue.empty()) break;
        DWORD control = g_sim.controlQueue.front();
        g_sim.controlQueue.pop_front();
        LPHANDLER_FUNCTION_EX handler = g_sim.handler;
        if (g_sim.calls.size() < g_sim.reportLimit) {
            g_sim.calls.push_back({"Handler", sim::Thread::Dispatcher, g_sim.nowMs, control, false});
        }
        held.unlock();
        if (handler) {
            bool locked = sim::AcquireDispatchLock(sim::kRunBound);
            handler(control, 0, nullptr, nullptr);
            if (locked) sim::ReleaseDispatchLock();
        }
        held.lock();
        ++g_sim.controlsHandled;
        g_changed.notify_all();
    }
    held.unlock();
    service.join();
    held.lock();
    g_sim.dispatcherRunning = false;
    return TRUE;
}

SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerExW(LPCWSTR lpServiceName,
                                                    LPHANDLER_FUNCTION_EX lpHandlerProc,
                                                    LPVOID /*lpContext*/) {
    CallScope call("RegisterServiceCtrlHandlerExW");
    {
        std::lock_guard<std::mutex> held(g_simLock);
        g_sim.registeredNames.push_back(lpServiceName ? lpServiceName : L"");
    }
    if (call.Injected()) {
        call.Fail(call.InjectedError());
        return nullptr;
    }
    std::lock_guard<std::mutex> held(g_simLock);
    g_sim.handler = lpHandlerProc;
    g_sim.statusHandle = reinterpret_cast<SERVICE_STATUS_HANDLE>(std::uintptr_t{0x5000});
    return g_sim.statusHandle;
}

BOOL SetServiceStatus(SERVICE_STATUS_HANDLE hServiceStatus, LPSERVICE_STATUS lpServiceStatus) {
    CallScope call("SetServiceStatus", lpServiceStatus ? lpServiceStatus->dwCurrentState : 0);
    if (call.Injected()) {
        call.Fail(call.InjectedError());
        return FALSE;
    }
    {
        std::lock_guard<std::mutex> held(g_simLock);
        if (!hServiceStatus || hServiceStatus != g_sim.statusHandle || !lpServiceStatus) {
            call.FailLocked(ERROR_INVALID_HANDLE);
            return FALSE;
        }
    }
    SERVICE_STATUS record = *lpServiceStatus;
    bool platformLocked = false;
    if (record.dwCurrentState == SERVICE_STOPPED) {
        platformLocked = sim::AcquireDispatchLock(sim::kStoppedReportBound);
        if (!platformLocked) {
            std::lock_guard<std::mutex> held(g_simLock);
            sim::Problem("deadlock: the stopped report waited for a control handler that was waiting for it");
        }
    }
    {
        std::lock_guard<std::mutex> held(g_simLock);
        if (g_sim.reports.size() < g_sim.reportLimit) {
            g_sim.reports.push_back({record, g_sim.nowMs, call.thread()});
        }
        ++g_sim.reportCount;
    }
    if (platformLocked) sim::ReleaseDispatchLock();
    return TRUE;
}

SC_HANDLE OpenSCManagerW(LPCWSTR /*lpMachineName*/, LPCWSTR /*lpDatabaseName*/,
                         DWORD /*dwDesiredAccess*/) {
    CallScope call("OpenSCManagerW");
    if (call.Injected()) {
        call.Fail(call.InjectedError());
        return nullptr;
    }
    std::lock_guard<std::mutex> held(g_simLock);
    return static_cast<SC_HANDLE>(sim::NewHandle(sim::OfKind(Kind::Manager)));
}

SC_HANDLE OpenServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName, DWORD /*dwDesiredAccess*/) {
    CallScope call("OpenServiceW");
    if (call.Injected()) {
        call.Fail(call.InjectedError());
        return nullptr;
    }
    std::lock_guard<std::mutex> held(g_simLock);
    if (!sim::Find(hSCManager, Kind::Manager) || !lpServiceName) {
        sim::Problem("OpenServiceW was given a manager handle that is not open");
        call.FailLocked(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    Object service = sim::OfKind(Kind::Service);
    service.serviceName = lpServiceName;
    return static_cast<SC_HANDLE>(sim::NewHandle(service));
}

// The database holds only services made with CreateServiceW; OpenServiceW
// still opens any name, as the wrapper's own service is never created here.
// Names are compared as the manager compares them, without regard to case.
static sim::ServiceRecord* FindService(const std::wstring& name) {
    for (sim::ServiceRecord& record : g_sim.services) {
        if (record.name.size() != name.size()) continue;
        bool same = true;
        for (std::size_t i = 0; same && i < name.size(); ++i) {
            same = std::towlower(record.name[i]) == std::towlower(name[i]);
        }
        if (same) return &record;
    }
    return nullptr;
}

static bool ValidServiceName(LPCWSTR name) {
    return name && *name && !std::wcschr(name, L'\\') && !std::wcschr(name, L'/');
}

SC_HANDLE CreateServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName, LPCWSTR lpDisplayName,
                         DWORD /*dwDesiredAccess*/, DWORD dwServiceType, DWORD dwStartType,
                         DWORD dwErrorControl, LPCWSTR lpBinaryPathName,
                         LPCWSTR /*lpLoadOrderGroup*/, LPDWORD /*lpdwTagId*/,
                         LPCWSTR /*lpDependencies*/, LPCWSTR lpServiceStartName,
                         LPCWSTR /*lpPassword*/) {
    CallScope call("CreateServiceW");
    if (call.Injected()) {
        call.Fail(call.InjectedError());
        return nullptr;
    }
    std::lock_guard<std::mutex> held(g_simLock);
    if (!sim::Find(hSCManager, Kind::Manager)) {
        sim::Problem("CreateServiceW was given a manager handle that is not open");
        call.FailLocked(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (!ValidServiceName(lpServiceName)) {
        call.FailLocked(ERROR_INVALID_NAME);
        return nullptr;
    }
    if (!lpBinaryPathName || !*lpBinaryPathName) {
        call.FailLocked(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (const sim::ServiceRecord* existing = FindService(lpServiceName)) {
        call.FailLocked(existing->markedForDelete ? ERROR_SERVICE_MARKED_FOR_DELETE
                                                  : ERROR_SERVICE_EXISTS);
        return nullptr;
    }
    sim::ServiceRecord record;
    record.name = lpServiceName;
    record.displayName = lpDisplayName && *lpDisplayName ? lpDisplayName : lpServiceName;
    record.binaryPathName = lpBinaryPathName;
    record.serviceStartName = lpServiceStartName ? lpServiceStartName : L"";
    record.serviceType = dwServiceType;
    record.startType = dwStartType;
    record.errorControl = dwErrorControl;
    g_sim.services.push_back(record);
    Object service = sim::OfKind(Kind::Service);
    service.serviceName = lpServiceName;
    return static_cast<SC_HANDLE>(sim::NewHandle(service));
}

// Marks the service; the manager removes it once no handle to it is open.
BOOL DeleteService(SC_HANDLE hService) {
    CallScope call("DeleteService");
    if (call.Injected()) {
        call.Fail(call.InjectedError());
        return FALSE;
    }
    std::lock_guard<std::mutex> held(g_simLock);
    const Object* service = sim::Find(hService, Kind::Service);
    if (!service) {
        sim::Problem("DeleteService was given a handle that is not an open service");
        call.FailLocked(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    sim::ServiceRecord* record = FindService(service->serviceName);
    if (!record) {
        call.FailLocked(ERROR_SERVICE_DOES_NOT_EXIST);
        return FALSE;
    }
    if (record->markedForDelete) {
        call.FailLocked(ERROR_SERVICE_MARKED_FOR_DELETE);
        return FALSE;
    }
    record->markedForDelete = true;
    return TRUE;
}

// Writes the level's record into the service's configuration, where the
// database holds the service, and notes every pre-shutdown timeout written.
static bool ApplyConfigLevel(const std::wstring& name, DWORD level, const void* info) {
    sim::ServiceRecord* record = FindService(name);
    switch (level) {
    case SERVICE_CONFIG_DESCRIPTION: {
        // A null text leaves the description as it is; an empty one removes it.
        LPCWSTR text = static_cast<const SERVICE_DESCRIPTIONW*>(info)->lpDescription;
        if (record && text) record->description = text;
        return true;
    }
    case SERVICE_CONFIG_DELAYED_AUTO_START_INFO: {
        BOOL delayed = static_cast<const SERVICE_DELAYED_AUTO_START_INFO*>(info)->fDelayedAutostart;
        if (record) record->delayedAutoStart = delayed != FALSE;
        return true;
    }
    case SERVICE_CONFIG_PRESHUTDOWN_INFO: {
        DWORD timeoutMs = static_cast<const SERVICE_PRESHUTDOWN_INFO*>(info)->dwPreshutdownTimeout;
        g_sim.preshutdownWritten.emplace_back(name, timeoutMs);
        if (record) record->preshutdownTimeoutMs = timeoutMs;
        return true;
    }
    default:
        return false;
    }
}

BOOL ChangeServiceConfig2W(SC_HANDLE hService, DWORD dwInfoLevel, LPVOID lpInfo) {
    CallScope call("ChangeServiceConfig2W");
    if (call.Injected()) {
        call.Fail(call.InjectedError());
        return FALSE;
    }
    std::lock_guard<std::mutex> held(g_simLock);
    Object* service = sim::Find(hService, Kind::Service);
    if (!service || !lpInfo || !ApplyConfigLevel(service->serviceName, dwInfoLevel, lpInfo)) {
        sim::Problem("ChangeServiceConfig2W was called with a bad handle or level");
        call.FailLocked(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}

// Removes a service marked for deletion once no open handle names it.
static void ForgetIfDeleted(const std::wstring& name) {
    std::lock_guard<std::mutex> held(g_simLock);
    sim::ServiceRecord* record = FindService(name);
    if (!record || !record->markedForDelete) return;
    for (const auto& entry : g_sim.objects) {
        if (entry.second.kind == Kind::Service && FindService(entry.second.serviceName) == record) {
            return;
        }
    }
    g_sim.services.erase(g_sim.services.begin() + (record - g_sim.services.data()));
}

BOOL CloseServiceHandle(SC_HANDLE hSCObject) {
    CallScope call("CloseServiceHandle");
    std::wstring name;
    {
        std::lock_guard<std::mutex> held(g_simLock);
        const Object* service = sim::Find(hSCObject, Kind::Service);
        if (service) name = service->serviceName;
    }
    BOOL closed = CloseObject(call, hSCObject, /*serviceHandle=*/true);
    if (!name.empty()) ForgetIfDeleted(name);
    return closed;
}

