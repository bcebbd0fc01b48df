// The simulated platform's side for tests: scripting a run and observing it.
#include "platform/platform.h"

#include <algorithm>
#include <cstdlib>

#include "platform/sim_manager_internal.h"

namespace sim {

void Reset() {
    std::lock_guard<std::mutex> held(g_simLock);
    for (auto& block : g_sim.localAllocs) std::free(block.first);
    g_sim = State{};
    detail::ResetAllocations();
}

void SetCommandLine(const std::wstring& commandLine) {
    std::lock_guard<std::mutex> held(g_simLock);
    g_sim.commandLine = commandLine;
}

void SetModulePath(const std::wstring& path) {
    std::lock_guard<std::mutex> held(g_simLock);
    g_sim.modulePath = path;
}

void SetServiceArgs(const std::vector<std::wstring>& args) {
    std::lock_guard<std::mutex> held(g_simLock);
    g_sim.serviceArgs = args;
}

void SetOutsideManager(bool outside) {
    std::lock_guard<std::mutex> held(g_simLock);
    g_sim.outsideManager = outside;
}

void ScriptChild(const ChildScript& script) {
    std::lock_guard<std::mutex> held(g_simLock);
    g_sim.childScript = script;
}

void FailCall(const std::string& name, int nth, DWORD error) {
    std::lock_guard<std::mutex> held(g_simLock);
    g_sim.failures.push_back({name, nth, error});
}

void FailServiceCall(int index, DWORD error) {
    std::lock_guard<std::mutex> held(g_simLock);
    g_sim.serviceCallFailures[index] = error;
}

void DeliverControls(int serviceCallIndex, When when, const std::vector<DWORD>& controls) {
    std::lock_guard<std::mutex> held(g_simLock);
    g_sim.deliveries.push_back({serviceCallIndex, when, controls});
}

void DeliverControlAtTime(std::uint64_t timeMs, DWORD control) {
    std::lock_guard<std::mutex> held(g_simLock);
    auto& timed = g_sim.timedControls;
    auto at = std::upper_bound(timed.begin(), timed.end(), timeMs,
                               [](std::uint64_t t, const TimedControl& c) { return t < c.timeMs; });
    timed.insert(at, {timeMs, control});
}

void AddService(const ServiceRecord& record) {
    std::lock_guard<std::mutex> held(g_simLock);
    if (FindService(record.name)) {
        Problem("a service added by hand has the name of one that exists");
        return;
    }
    g_sim.services.push_back(record);
}

void ScriptService(const std::wstring& name, const ServiceScript& script) {
    std::lock_guard<std::mutex> held(g_simLock);
    g_sim.serviceScripts[Folded(name)] = script;
}

void RefuseConfigLevel(DWORD level, bool onChange, bool onQuery) {
    std::lock_guard<std::mutex> held(g_simLock);
    if (onChange) g_sim.refusedChangeLevels.insert(level);
    if (onQuery) g_sim.refusedQueryLevels.insert(level);
}

void ListAllOrNothing(bool allOrNothing) {
    std::lock_guard<std::mutex> held(g_simLock);
    g_sim.listAllOrNothing = allOrNothing;
}

void ManagerAsWine() {
    RefuseConfigLevel(SERVICE_CONFIG_FAILURE_ACTIONS, /*onChange=*/false, /*onQuery=*/true);
    for (DWORD level : {SERVICE_CONFIG_DELAYED_AUTO_START_INFO, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG,
                        SERVICE_CONFIG_SERVICE_SID_INFO, SERVICE_CONFIG_REQUIRED_PRIVILEGES_INFO}) {
        RefuseConfigLevel(level, /*onChange=*/true, /*onQuery=*/true);
    }
    ListAllOrNothing(true);
}

void LimitJournals(std::size_t count) {
    std::lock_guard<std::mutex> held(g_simLock);
    g_sim.reportLimit = count;
}

std::uint64_t Now() {
    std::lock_guard<std::mutex> held(g_simLock);
    return g_sim.nowMs;
}

const std::vector<Report>& Reports() {
    return g_sim.reports;
}

std::size_t ReportCount() {
    std::lock_guard<std::mutex> held(g_simLock);
    return g_sim.reportCount;
}

std::vector<Call> Calls() {
    std::lock_guard<std::mutex> held(g_simLock);
    return g_sim.calls;
}

std::vector<std::string> ServiceCallNames() {
    std::lock_guard<std::mutex> held(g_simLock);
    std::vector<std::string> names;
    for (const Call& call : g_sim.calls) {
        if (call.thread == Thread::Service) names.emplace_back(call.name);
    }
    return names;
}

bool CallCanFail(const std::string& name) {
    return FailableCall(name.c_str());
}

std::vector<std::wstring> RegisteredNames() {
    std::lock_guard<std::mutex> held(g_simLock);
    return g_sim.registeredNames;
}

std::wstring DispatchTableName() {
    std::lock_guard<std::mutex> held(g_simLock);
    return g_sim.dispatchTableName;
}

std::vector<std::pair<std::wstring, DWORD>> PreshutdownTimeoutsWritten() {
    std::lock_guard<std::mutex> held(g_simLock);
    return g_sim.preshutdownWritten;
}

std::vector<ServiceRecord> Services() {
    std::lock_guard<std::mutex> held(g_simLock);
    CatchUpServices();
    return g_sim.services;
}

std::optional<ServiceRecord> ServiceNamed(const std::wstring& name) {
    std::lock_guard<std::mutex> held(g_simLock);
    CatchUpServices();
    const ServiceRecord* record = FindService(name);
    return record ? std::optional<ServiceRecord>(*record) : std::nullopt;
}

std::vector<std::wstring> CreatedCommandLines() {
    std::lock_guard<std::mutex> held(g_simLock);
    std::vector<std::wstring> lines;
    for (const Child& child : g_sim.children) lines.push_back(child.commandLine);
    return lines;
}

std::vector<STARTUPINFOW> StartupInfos() {
    std::lock_guard<std::mutex> held(g_simLock);
    return g_sim.startupInfos;
}

std::vector<std::uint64_t> TerminationTimes() {
    std::lock_guard<std::mutex> held(g_simLock);
    return g_sim.terminations;
}

int OpenHandleCount() {
    std::lock_guard<std::mutex> held(g_simLock);
    return static_cast<int>(g_sim.objects.size());
}

int OutstandingLocalAllocs() {
    std::lock_guard<std::mutex> held(g_simLock);
    return static_cast<int>(g_sim.localAllocs.size());
}

int LocalFreeCount() {
    std::lock_guard<std::mutex> held(g_simLock);
    return g_sim.localFrees;
}

bool ChildLeftRunning() {
    std::lock_guard<std::mutex> held(g_simLock);
    for (const Child& child : g_sim.children) {
        if (child.script.kind != ChildKind::FailsToLaunch && !ChildEnded(child)) return true;
    }
    return false;
}

bool ServiceThreadReturned() {
    std::lock_guard<std::mutex> held(g_simLock);
    return g_sim.serviceReturned;
}

std::vector<std::string> Problems() {
    std::lock_guard<std::mutex> held(g_simLock);
    return g_sim.problems;
}

}  // namespace sim
