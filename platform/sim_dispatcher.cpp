// The wrapper's own side of the simulated manager: the dispatcher that runs
// ServiceMain on a thread of its own and the control handler on its thread,
// and the reports the service makes.
#include "platform/platform.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "platform/sim_manager_internal.h"

using sim::CallScope;
using sim::g_changed;
using sim::g_sim;
using sim::g_simLock;

// The manager started this process for a service of its database: the one
// the first argument names, or the default one when the arguments name
// none. Put it there if the test has not, with the command line as its
// binary path; its reports become its status. Hold g_simLock.
static void PutDispatchedService() {
    const std::vector<std::wstring>& args = g_sim.serviceArgs;
    g_sim.dispatchedService = args.empty() || args[0].empty() ? sim::kDispatchedServiceName : args[0];
    sim::ServiceRecord* service = sim::FindService(g_sim.dispatchedService);
    if (!service) {
        sim::ServiceRecord record;
        record.name = g_sim.dispatchedService;
        record.displayName = record.name;
        record.binaryPathName = g_sim.commandLine;
        record.startType = SERVICE_AUTO_START;
        g_sim.services.push_back(record);
        service = &g_sim.services.back();
    }
    sim::MarkStartPending(*service, /*processId=*/0);
}

// ServiceMain on a thread of its own, with the service's arguments; marks
// the service returned when it does. Hold g_simLock.
static std::thread StartServiceThread(LPSERVICE_MAIN_FUNCTIONW serviceMain) {
    auto args = std::make_shared<std::vector<std::wstring>>(g_sim.serviceArgs);
    return std::thread([serviceMain, args] {
        std::vector<LPWSTR> argv;
        for (std::wstring& arg : *args) argv.push_back(&arg[0]);
        argv.push_back(nullptr);
        sim::detail::MarkServiceThread();
        serviceMain(static_cast<DWORD>(args->size()), argv.data());
        std::lock_guard<std::mutex> done(g_simLock);
        g_sim.serviceReturned = true;
        g_changed.notify_all();
    });
}

// Runs the handler for each control until the service thread returns. Called
// and returns with held locked; the handler runs without it.
static void HandleControls(std::unique_lock<std::mutex>& held) {
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
}

BOOL StartServiceCtrlDispatcherW(const SERVICE_TABLE_ENTRYW* lpServiceStartTable) {
    CallScope call("StartServiceCtrlDispatcherW");
    std::unique_lock<std::mutex> held(g_simLock);
    if (g_sim.outsideManager || !lpServiceStartTable || !lpServiceStartTable[0].lpServiceProc) {
        held.unlock();
        call.Fail(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT);
        return FALSE;
    }
    PutDispatchedService();
    g_sim.dispatchTableName = lpServiceStartTable[0].lpServiceName;
    g_sim.dispatcherRunning = true;
    g_sim.dispatcherThread = std::this_thread::get_id();
    std::thread service = StartServiceThread(lpServiceStartTable[0].lpServiceProc);
    HandleControls(held);
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
        if (sim::ServiceRecord* service = sim::FindService(g_sim.dispatchedService)) {
            DWORD processId =
                record.dwCurrentState == SERVICE_STOPPED ? 0 : service->status.dwProcessId;
            service->status = {record.dwServiceType, record.dwCurrentState,
                               record.dwControlsAccepted, record.dwWin32ExitCode,
                               record.dwServiceSpecificExitCode, record.dwCheckPoint,
                               record.dwWaitHint, processId, 0};
        }
    }
    if (platformLocked) sim::ReleaseDispatchLock();
    return TRUE;
}
