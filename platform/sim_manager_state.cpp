// The simulated manager's side of a service's life: starting it, sending it
// controls and reading its status. A scripted service makes its reports as
// the virtual clock reaches them; every call that reads a state first
// brings the services up to the clock.
#include "platform/platform.h"

#include <algorithm>
#include <cstring>

#include "platform/sim_manager_internal.h"

using sim::CallScope;
using sim::ServiceRecord;
using sim::g_sim;
using sim::g_simLock;

namespace sim {

// What the manager shows between starting a service's process and the
// service's first report.
constexpr DWORD kStartWaitHintMs = 2000;

ServiceScript ScriptOf(const std::wstring& name) {
    auto it = g_sim.serviceScripts.find(Folded(name));
    return it == g_sim.serviceScripts.end() ? ServiceScript{} : it->second;
}

bool Active(const ServiceRecord& record) {
    return record.status.dwCurrentState != SERVICE_STOPPED;
}

void MarkStartPending(ServiceRecord& record, DWORD processId) {
    if (!processId) {
        processId = g_sim.nextServiceProcessId;
        g_sim.nextServiceProcessId += 4;
    }
    record.status = {record.serviceType, SERVICE_START_PENDING, 0, NO_ERROR, 0, 0,
                     kStartWaitHintMs, processId, 0};
}

static void Apply(ServiceRecord& record, const StatusReport& report, DWORD controlsAccepted) {
    const bool stopped = report.state == SERVICE_STOPPED;
    record.status.dwCurrentState = report.state;
    record.status.dwControlsAccepted = stopped ? 0 : controlsAccepted;
    record.status.dwWin32ExitCode = report.win32ExitCode;
    record.status.dwServiceSpecificExitCode = report.serviceSpecificExitCode;
    record.status.dwCheckPoint = report.checkPoint;
    record.status.dwWaitHint = report.waitHintMs;
    if (stopped) record.status.dwProcessId = 0;
}

void CatchUpServices() {
    for (ServiceRecord& record : g_sim.services) {
        auto it = g_sim.dueReports.find(Folded(record.name));
        if (it == g_sim.dueReports.end()) continue;
        std::vector<DueReport>& due = it->second;
        const DWORD accepted = ScriptOf(record.name).controlsAccepted;
        std::size_t applied = 0;
        for (; applied < due.size() && due[applied].atMs <= g_sim.nowMs; ++applied) {
            Apply(record, due[applied].report, accepted);
        }
        due.erase(due.begin(), due.begin() + static_cast<std::ptrdiff_t>(applied));
    }
}

// What the service was about to report is replaced by these reports,
// counted from now; those due now take effect at once.
static void Schedule(const ServiceRecord& record, const std::vector<StatusReport>& reports) {
    std::vector<DueReport>& due = g_sim.dueReports[Folded(record.name)];
    due.clear();
    for (const StatusReport& report : reports) due.push_back({g_sim.nowMs + report.afterMs, report});
    std::stable_sort(due.begin(), due.end(),
                     [](const DueReport& a, const DueReport& b) { return a.atMs < b.atMs; });
    CatchUpServices();
}

}  // namespace sim

BOOL QueryServiceStatusEx(SC_HANDLE hService, SC_STATUS_TYPE InfoLevel, LPBYTE lpBuffer,
                          DWORD cbBufSize, LPDWORD pcbBytesNeeded) {
    CallScope call("QueryServiceStatusEx");
    if (call.Injected()) {
        call.Fail(call.InjectedError());
        return FALSE;
    }
    std::lock_guard<std::mutex> held(g_simLock);
    const ServiceRecord* record = sim::ServiceFor(call, hService, SERVICE_QUERY_STATUS);
    if (!record) return FALSE;
    if (InfoLevel != SC_STATUS_PROCESS_INFO) {
        call.FailLocked(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    if (!sim::RoomFor(call, lpBuffer, cbBufSize, sizeof(SERVICE_STATUS_PROCESS), pcbBytesNeeded)) {
        return FALSE;
    }
    sim::CatchUpServices();
    SERVICE_STATUS_PROCESS status = record->status;
    status.dwServiceType = record->serviceType;
    std::memcpy(lpBuffer, &status, sizeof(status));
    return TRUE;
}

// Returns once the service's process runs; the service's own reports come
// later, as its script says. Start arguments are not kept.
BOOL StartServiceW(SC_HANDLE hService, DWORD /*dwNumServiceArgs*/,
                   LPCWSTR* /*lpServiceArgVectors*/) {
    CallScope call("StartServiceW");
    if (call.Injected()) {
        call.Fail(call.InjectedError());
        return FALSE;
    }
    std::lock_guard<std::mutex> held(g_simLock);
    ServiceRecord* record = sim::ServiceFor(call, hService, SERVICE_START);
    if (!record) return FALSE;
    sim::CatchUpServices();
    const sim::ServiceScript script = sim::ScriptOf(record->name);
    DWORD error = script.startError;
    if (record->markedForDelete) {
        error = ERROR_SERVICE_MARKED_FOR_DELETE;
    } else if (record->startType == SERVICE_DISABLED) {
        error = ERROR_SERVICE_DISABLED;
    } else if (sim::Active(*record)) {
        error = ERROR_SERVICE_ALREADY_RUNNING;
    }
    if (error) {
        call.FailLocked(error);
        return FALSE;
    }
    sim::MarkStartPending(*record, script.processId);
    sim::Schedule(*record, script.start);
    return TRUE;
}

// The right a control needs, or 0 for one that ControlService does not send
// (shutdown and pre-shutdown come from the system alone).
static DWORD RightFor(DWORD control) {
    if (control == SERVICE_CONTROL_STOP) return SERVICE_STOP;
    if (control == SERVICE_CONTROL_INTERROGATE) return SERVICE_INTERROGATE;
    if (control == SERVICE_CONTROL_PAUSE || control == SERVICE_CONTROL_CONTINUE ||
        (control >= SERVICE_CONTROL_PARAMCHANGE && control <= 0x0A)) {
        return SERVICE_PAUSE_CONTINUE;
    }
    if (control >= 128 && control <= 255) return SERVICE_USER_DEFINED_CONTROL;
    return 0;
}

// The accepted flag a control needs; interrogation and the service's own
// controls need none.
static DWORD AcceptFlagFor(DWORD control) {
    if (control == SERVICE_CONTROL_STOP) return SERVICE_ACCEPT_STOP;
    if (control == SERVICE_CONTROL_PAUSE || control == SERVICE_CONTROL_CONTINUE) {
        return SERVICE_ACCEPT_PAUSE_CONTINUE;
    }
    if (control == SERVICE_CONTROL_PARAMCHANGE) return SERVICE_ACCEPT_PARAMCHANGE;
    if (control > SERVICE_CONTROL_PARAMCHANGE && control <= 0x0A) return SERVICE_ACCEPT_NETBINDCHANGE;
    return 0;
}

static bool DependentActive(const ServiceRecord& record) {
    for (const ServiceRecord& other : g_sim.services) {
        if (!sim::Active(other)) continue;
        for (const std::wstring& dependency : other.dependencies) {
            if (sim::SameName(dependency, record.name)) return true;
        }
    }
    return false;
}

// Hands the control to the service, or gives the error that refuses it.
// Only the stop changes anything: pausing is not simulated.
static DWORD Deliver(ServiceRecord& record, DWORD control) {
    const DWORD state = record.status.dwCurrentState;
    if (state == SERVICE_STOPPED) return ERROR_SERVICE_NOT_ACTIVE;
    if (control == SERVICE_CONTROL_STOP && DependentActive(record)) {
        return ERROR_DEPENDENT_SERVICES_RUNNING;
    }
    const DWORD flag = AcceptFlagFor(control);
    const bool accepted = !flag || (record.status.dwControlsAccepted & flag);
    // A start under way can be stopped once the service accepts the stop.
    const bool stopsStart =
        control == SERVICE_CONTROL_STOP && state == SERVICE_START_PENDING && accepted;
    if ((state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING) && !stopsStart) {
        return ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
    }
    if (!accepted) return ERROR_INVALID_SERVICE_CONTROL;
    if (control != SERVICE_CONTROL_STOP) return NO_ERROR;
    const sim::ServiceScript script = sim::ScriptOf(record.name);
    if (script.stopError) return script.stopError;
    sim::Schedule(record, script.stop);
    return script.stopAnswerError;
}

BOOL ControlService(SC_HANDLE hService, DWORD dwControl, LPSERVICE_STATUS lpServiceStatus) {
    CallScope call("ControlService", dwControl);
    if (call.Injected()) {
        call.Fail(call.InjectedError());
        return FALSE;
    }
    std::lock_guard<std::mutex> held(g_simLock);
    const DWORD right = RightFor(dwControl);
    ServiceRecord* record = sim::ServiceFor(call, hService, right);
    if (!record) return FALSE;
    if (!right) {
        call.FailLocked(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!lpServiceStatus) {
        sim::Problem("ControlService was given no status record to fill");
        call.FailLocked(RPC_X_NULL_REF_POINTER);
        return FALSE;
    }
    sim::CatchUpServices();
    const DWORD error = Deliver(*record, dwControl);
    // The refusals that concern the service's state report that state too.
    if (!error || error == ERROR_INVALID_SERVICE_CONTROL ||
        error == ERROR_SERVICE_CANNOT_ACCEPT_CTRL || error == ERROR_SERVICE_NOT_ACTIVE) {
        std::memcpy(lpServiceStatus, &record->status, sizeof(SERVICE_STATUS));
        lpServiceStatus->dwServiceType = record->serviceType;
    }
    if (error) call.FailLocked(error);
    return error ? FALSE : TRUE;
}
