// The simulated platform. One mutex guards the whole simulator; it is never
// held while the control handler runs or while a thread blocks for real.
#include "platform/platform.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/sim_internal.h"

namespace sim {
namespace {

using std::chrono::milliseconds;

// Real-time bounds. Nothing in a correct run comes near them; they turn a
// hang into a recorded problem.
constexpr milliseconds kHandlerSettleTime{100};
constexpr milliseconds kHandlerBound{5000};
constexpr milliseconds kStoppedReportBound{2000};
constexpr milliseconds kBlockedWaitBound{5000};
constexpr milliseconds kRunBound{60000};

enum class Kind { Event, Process, Thread, Manager, Service };

struct Object {
    Kind kind = Kind::Event;
    bool signalled = false;  // events
    std::size_t child = 0;   // processes and threads: index into children
    std::wstring serviceName;  // service handles
};

struct Child {
    std::wstring commandLine;
    ChildScript script;
    std::optional<std::uint64_t> endsAtMs;  // exits by itself then
    bool terminated = false;
};

struct Failure {
    std::string name;
    int nth;
    DWORD error;
};

struct Delivery {
    int index;
    When when;
    std::vector<DWORD> controls;
};

struct TimedControl {
    std::uint64_t timeMs;
    DWORD control;
};

struct State {
    std::uint64_t nowMs = 0;
    std::uintptr_t nextHandle = 0x1000;
    std::map<std::uintptr_t, Object> objects;
    std::vector<Child> children;
    std::map<void*, std::size_t> localAllocs;
    int localFrees = 0;

    std::wstring commandLine = L"service-wrapper.exe";
    std::wstring modulePath = L"C:\\Program Files\\Wrapper\\service-wrapper.exe";
    std::vector<std::wstring> serviceArgs = {L"morvi-firmware-updater-service-wrapper"};
    bool outsideManager = false;
    ChildScript childScript;

    std::vector<Failure> failures;
    std::map<int, DWORD> serviceCallFailures;
    std::map<const char*, int> useCounts;  // keyed by the literal
    std::vector<Delivery> deliveries;
    std::vector<TimedControl> timedControls;  // sorted by time

    std::size_t reportLimit = SIZE_MAX;
    std::size_t reportCount = 0;
    std::vector<Report> reports;
    std::vector<Call> calls;
    int serviceCalls = 0;
    std::vector<std::wstring> registeredNames;
    std::wstring dispatchTableName;
    std::vector<std::pair<std::wstring, DWORD>> preshutdownWritten;
    std::vector<STARTUPINFOW> startupInfos;
    std::vector<std::uint64_t> terminations;
    std::vector<std::string> problems;

    LPHANDLER_FUNCTION_EX handler = nullptr;
    SERVICE_STATUS_HANDLE statusHandle = nullptr;
    bool dispatcherRunning = false;
    std::thread::id dispatcherThread;
    std::deque<DWORD> controlQueue;
    std::uint64_t controlsPosted = 0;
    std::uint64_t controlsHandled = 0;
    bool serviceReturned = false;
};

std::mutex g_simLock;
std::condition_variable g_changed;
State g_sim;
// The lock the platform holds while it runs the control handler, which the
// stopped report takes as well. Built on a condition variable rather than a
// timed mutex, whose timed locking ThreadSanitizer does not follow.
struct DispatchLock {
    std::mutex lock;
    std::condition_variable released;
    std::thread::id owner;
    int depth = 0;
};
DispatchLock g_dispatchLock;

bool AcquireDispatchLock(milliseconds bound) {
    std::unique_lock<std::mutex> held(g_dispatchLock.lock);
    const std::thread::id self = std::this_thread::get_id();
    if (g_dispatchLock.depth > 0 && g_dispatchLock.owner == self) {
        ++g_dispatchLock.depth;
        return true;
    }
    if (!g_dispatchLock.released.wait_for(held, bound, [] { return g_dispatchLock.depth == 0; })) {
        return false;
    }
    g_dispatchLock.owner = self;
    g_dispatchLock.depth = 1;
    return true;
}

void ReleaseDispatchLock() {
    std::lock_guard<std::mutex> held(g_dispatchLock.lock);
    if (--g_dispatchLock.depth == 0) {
        g_dispatchLock.owner = std::thread::id();
        g_dispatchLock.released.notify_all();
    }
}
thread_local DWORD t_lastError = 0;

Thread CurrentThread() {
    return g_sim.dispatcherRunning && std::this_thread::get_id() == g_sim.dispatcherThread
               ? Thread::Dispatcher
               : Thread::Service;
}

void Problem(const std::string& what) {
    g_sim.problems.push_back(what);
}

bool FailableCall(const char* name) {
    return std::strcmp(name, "GetCommandLineW") != 0 &&
           std::strcmp(name, "StartServiceCtrlDispatcherW") != 0 && std::strcmp(name, "Handler") != 0;
}

// Hands controls to the dispatcher thread and gives the handler a moment to
// run; it may be held up by a lock the caller legitimately holds.
void PostControls(std::unique_lock<std::mutex>& held, const std::vector<DWORD>& controls,
                  milliseconds settle) {
    if (!g_sim.dispatcherRunning) {
        Problem("a control was delivered with no dispatcher running");
        return;
    }
    for (DWORD control : controls) g_sim.controlQueue.push_back(control);
    g_sim.controlsPosted += controls.size();
    std::uint64_t target = g_sim.controlsPosted;
    g_changed.notify_all();
    g_changed.wait_for(held, settle, [&] { return g_sim.controlsHandled >= target; });
}

// Before any wait every control posted so far must have been handled: a
// handler still blocked now waits for something the waiting thread holds.
void AwaitHandlers(std::unique_lock<std::mutex>& held) {
    if (g_changed.wait_for(held, kHandlerBound,
                           [] { return g_sim.controlsHandled >= g_sim.controlsPosted; })) {
        return;
    }
    Problem("the control handler was still blocked when the service thread began to wait");
}

// One platform call: journals it, runs the controls scripted around it on
// the service thread, and says whether a scripted failure applies.
class CallScope {
public:
    CallScope(const char* name, DWORD argument = 0) : name_(name) {
        detail::EnterSimulator();
        std::unique_lock<std::mutex> held(g_simLock);
        // The dispatcher call is made by the thread that becomes the dispatcher.
        thread_ = std::strcmp(name, "StartServiceCtrlDispatcherW") == 0 ? Thread::Dispatcher
                                                                        : CurrentThread();
        int use = ++g_sim.useCounts[name_];
        if (g_sim.calls.size() < g_sim.reportLimit) {
            journalIndex_ = g_sim.calls.size();
            g_sim.calls.push_back({name_, thread_, g_sim.nowMs, argument, false});
        }
        if (thread_ == Thread::Service) serviceIndex_ = ++g_sim.serviceCalls;
        for (const Failure& f : g_sim.failures) {
            if (f.name == name_ && f.nth == use) injected_ = f.error;
        }
        auto it = g_sim.serviceCallFailures.find(serviceIndex_);
        if (serviceIndex_ && it != g_sim.serviceCallFailures.end()) injected_ = it->second;
        if (!FailableCall(name_)) injected_.reset();
        RunDeliveries(held, When::Before);
    }
    ~CallScope() {
        {
            std::unique_lock<std::mutex> held(g_simLock);
            RunDeliveries(held, When::After);
        }
        detail::LeaveSimulator();
    }
    CallScope(const CallScope&) = delete;
    CallScope& operator=(const CallScope&) = delete;

    bool Injected() const { return injected_.has_value(); }
    DWORD InjectedError() const { return *injected_; }
    // Marks the call as failed with the given error; the caller returns the
    // call's failure result. Hold g_simLock or call before taking it.
    void Fail(DWORD error) {
        t_lastError = error;
        std::lock_guard<std::mutex> held(g_simLock);
        if (journalIndex_) g_sim.calls[*journalIndex_].failed = true;
    }
    // The same, with g_simLock already held.
    void FailLocked(DWORD error) {
        t_lastError = error;
        if (journalIndex_) g_sim.calls[*journalIndex_].failed = true;
    }
    Thread thread() const { return thread_; }

private:
    void RunDeliveries(std::unique_lock<std::mutex>& held, When when) {
        if (!serviceIndex_) return;
        for (const Delivery& d : g_sim.deliveries) {
            if (d.index == serviceIndex_ && d.when == when) {
                PostControls(held, d.controls, kHandlerSettleTime);
            }
        }
    }

    const char* name_;
    Thread thread_ = Thread::Service;
    std::optional<std::size_t> journalIndex_;
    int serviceIndex_ = 0;
    std::optional<DWORD> injected_;
};

Object OfKind(Kind kind) {
    Object object;
    object.kind = kind;
    return object;
}

HANDLE NewHandle(Object object) {
    std::uintptr_t value = g_sim.nextHandle;
    g_sim.nextHandle += 4;
    g_sim.objects.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
}

Object* Find(const void* handle, Kind kind) {
    auto it = g_sim.objects.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == g_sim.objects.end() || it->second.kind != kind) return nullptr;
    return &it->second;
}

bool ChildEnded(const Child& child) {
    return child.terminated || (child.endsAtMs && *child.endsAtMs <= g_sim.nowMs);
}

bool Signalled(HANDLE handle) {
    auto it = g_sim.objects.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it->second.kind == Kind::Event) return it->second.signalled;
    return ChildEnded(g_sim.children[it->second.child]);
}

// The earliest moment after now at which one of the handles becomes
// signalled by itself (a scripted child exiting).
std::optional<std::uint64_t> NextExit(const HANDLE* handles, DWORD count) {
    std::optional<std::uint64_t> next;
    for (DWORD i = 0; i < count; ++i) {
        const Object& object = g_sim.objects.at(reinterpret_cast<std::uintptr_t>(handles[i]));
        if (object.kind != Kind::Process) continue;
        const Child& child = g_sim.children[object.child];
        if (child.terminated || !child.endsAtMs) continue;
        if (!next || *child.endsAtMs < *next) next = child.endsAtMs;
    }
    return next;
}

// Waits on the virtual clock: time jumps to the next thing that can happen.
// Blocks for real only when nothing scripted can end the wait, so that a
// control from the dispatcher thread can still do it.
DWORD WaitOn(CallScope& call, const HANDLE* handles, DWORD count, DWORD timeoutMs) {
    std::unique_lock<std::mutex> held(g_simLock);
    AwaitHandlers(held);
    for (DWORD i = 0; i < count; ++i) {
        auto it = g_sim.objects.find(reinterpret_cast<std::uintptr_t>(handles[i]));
        if (it == g_sim.objects.end() || it->second.kind == Kind::Manager ||
            it->second.kind == Kind::Service) {
            Problem("a wait was given a handle that is not open");
            held.unlock();
            call.Fail(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
    }
    std::optional<std::uint64_t> deadline;
    if (timeoutMs != INFINITE) deadline = g_sim.nowMs + timeoutMs;
    for (;;) {
        for (DWORD i = 0; i < count; ++i) {
            if (Signalled(handles[i])) return WAIT_OBJECT_0 + i;
        }
        std::optional<std::uint64_t> exit = NextExit(handles, count);
        if (!g_sim.timedControls.empty()) {
            const TimedControl next = g_sim.timedControls.front();
            bool inTime = !deadline || next.timeMs <= *deadline;
            if (inTime && (!exit || next.timeMs <= *exit)) {
                g_sim.timedControls.erase(g_sim.timedControls.begin());
                g_sim.nowMs = std::max(g_sim.nowMs, next.timeMs);
                PostControls(held, {next.control}, kHandlerSettleTime);
                AwaitHandlers(held);
                continue;
            }
        }
        if (exit && (!deadline || *exit <= *deadline)) {
            g_sim.nowMs = *exit;
            continue;
        }
        if (deadline) {
            g_sim.nowMs = *deadline;
            return WAIT_TIMEOUT;
        }
        auto anySignalled = [&] {
            for (DWORD i = 0; i < count; ++i) {
                if (Signalled(handles[i])) return true;
            }
            return false;
        };
        if (!g_changed.wait_for(held, kBlockedWaitBound, anySignalled)) {
            Problem("a wait with no time limit could never end");
            held.unlock();
            call.Fail(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
    }
}

}  // namespace

// ---- Scripting and observing.

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

using sim::CallScope;
using sim::Kind;
using sim::Object;
using sim::g_changed;
using sim::g_sim;
using sim::g_simLock;

// ---- The service control manager.

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

BOOL ChangeServiceConfig2W(SC_HANDLE hService, DWORD dwInfoLevel, LPVOID lpInfo) {
    CallScope call("ChangeServiceConfig2W");
    if (call.Injected()) {
        call.Fail(call.InjectedError());
        return FALSE;
    }
    std::lock_guard<std::mutex> held(g_simLock);
    Object* service = sim::Find(hService, Kind::Service);
    if (!service || dwInfoLevel != SERVICE_CONFIG_PRESHUTDOWN_INFO || !lpInfo) {
        sim::Problem("ChangeServiceConfig2W was called with a bad handle or level");
        call.FailLocked(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto* info = static_cast<SERVICE_PRESHUTDOWN_INFO*>(lpInfo);
    g_sim.preshutdownWritten.emplace_back(service->serviceName, info->dwPreshutdownTimeout);
    return TRUE;
}

// Closing functions release the object even when told to fail: on Windows
// they fail only for handles that are not open.
static BOOL CloseObject(CallScope& call, const void* handle, bool serviceHandle) {
    std::unique_lock<std::mutex> held(g_simLock);
    auto it = g_sim.objects.find(reinterpret_cast<std::uintptr_t>(handle));
    bool isService = it != g_sim.objects.end() &&
                     (it->second.kind == Kind::Manager || it->second.kind == Kind::Service);
    if (it == g_sim.objects.end() || isService != serviceHandle) {
        sim::Problem("closed a handle that is not open");
        held.unlock();
        call.Fail(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    g_sim.objects.erase(it);
    held.unlock();
    if (call.Injected()) {
        call.Fail(call.InjectedError());
        return FALSE;
    }
    return TRUE;
}

BOOL CloseServiceHandle(SC_HANDLE hSCObject) {
    CallScope call("CloseServiceHandle");
    return CloseObject(call, hSCObject, /*serviceHandle=*/true);
}

// ---- Command line.

LPWSTR GetCommandLineW() {
    CallScope call("GetCommandLineW");
    std::lock_guard<std::mutex> held(g_simLock);
    return &g_sim.commandLine[0];
}

LPWSTR* CommandLineToArgvW(LPCWSTR lpCmdLine, int* pNumArgs) {
    CallScope call("CommandLineToArgvW");
    if (call.Injected() || !pNumArgs) {
        call.Fail(call.Injected() ? call.InjectedError() : ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::wstring modulePath;
    {
        std::lock_guard<std::mutex> held(g_simLock);
        modulePath = g_sim.modulePath;
    }
    std::vector<std::wstring> elements = sim::SplitCommandLine(lpCmdLine, modulePath);
    // One block, as the platform gives it: the pointers, then the strings.
    std::size_t bytes = (elements.size() + 1) * sizeof(LPWSTR);
    for (const std::wstring& e : elements) bytes += (e.size() + 1) * sizeof(WCHAR);
    auto* block = static_cast<unsigned char*>(std::malloc(bytes));
    auto** vector = reinterpret_cast<LPWSTR*>(block);
    auto* text = reinterpret_cast<WCHAR*>(block + (elements.size() + 1) * sizeof(LPWSTR));
    for (std::size_t i = 0; i < elements.size(); ++i) {
        vector[i] = text;
        std::memcpy(text, elements[i].c_str(), (elements[i].size() + 1) * sizeof(WCHAR));
        text += elements[i].size() + 1;
    }
    vector[elements.size()] = nullptr;
    *pNumArgs = static_cast<int>(elements.size());
    std::lock_guard<std::mutex> held(g_simLock);
    g_sim.localAllocs[block] = bytes;
    return vector;
}

HLOCAL LocalFree(HLOCAL hMem) {
    CallScope call("LocalFree");
    if (!hMem) return nullptr;
    std::unique_lock<std::mutex> held(g_simLock);
    auto it = g_sim.localAllocs.find(hMem);
    if (it == g_sim.localAllocs.end()) {
        sim::Problem("LocalFree was given memory that is not allocated");
        held.unlock();
        call.Fail(ERROR_INVALID_HANDLE);
        return hMem;
    }
    std::free(it->first);
    g_sim.localAllocs.erase(it);
    ++g_sim.localFrees;
    held.unlock();
    if (call.Injected()) {
        call.Fail(call.InjectedError());
        return hMem;
    }
    return nullptr;
}

// ---- Events, processes and waits.

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES /*lpEventAttributes*/, BOOL /*bManualReset*/,
                    BOOL bInitialState, LPCWSTR /*lpName*/) {
    CallScope call("CreateEventW");
    if (call.Injected()) {
        call.Fail(call.InjectedError());
        return nullptr;
    }
    std::lock_guard<std::mutex> held(g_simLock);
    Object event = sim::OfKind(Kind::Event);
    event.signalled = bInitialState != FALSE;
    return sim::NewHandle(event);
}

BOOL SetEvent(HANDLE hEvent) {
    CallScope call("SetEvent");
    if (call.Injected()) {
        call.Fail(call.InjectedError());
        return FALSE;
    }
    std::unique_lock<std::mutex> held(g_simLock);
    Object* event = sim::Find(hEvent, Kind::Event);
    if (!event) {
        sim::Problem("SetEvent was given a handle that is not an open event");
        held.unlock();
        call.Fail(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    event->signalled = true;
    g_changed.notify_all();
    return TRUE;
}

BOOL CloseHandle(HANDLE hObject) {
    CallScope call("CloseHandle");
    return CloseObject(call, hObject, /*serviceHandle=*/false);
}

BOOL CreateProcessW(LPCWSTR /*lpApplicationName*/, LPWSTR lpCommandLine,
                    LPSECURITY_ATTRIBUTES /*lpProcessAttributes*/,
                    LPSECURITY_ATTRIBUTES /*lpThreadAttributes*/, BOOL /*bInheritHandles*/,
                    DWORD /*dwCreationFlags*/, LPVOID /*lpEnvironment*/,
                    LPCWSTR /*lpCurrentDirectory*/, LPSTARTUPINFOW lpStartupInfo,
                    LPPROCESS_INFORMATION lpProcessInformation) {
    CallScope call("CreateProcessW");
    sim::Child child;
    {
        std::lock_guard<std::mutex> held(g_simLock);
        child.commandLine = lpCommandLine ? lpCommandLine : L"";
        child.script = g_sim.childScript;
        if (lpStartupInfo) g_sim.startupInfos.push_back(*lpStartupInfo);
    }
    if (call.Injected()) {
        call.Fail(call.InjectedError());
        return FALSE;
    }
    if (child.script.kind == sim::ChildKind::FailsToLaunch) {
        call.Fail(child.script.launchError);
        return FALSE;
    }
    std::lock_guard<std::mutex> held(g_simLock);
    if (child.script.kind == sim::ChildKind::ExitsAfter) {
        child.endsAtMs = g_sim.nowMs + child.script.exitAfterMs;
    }
    std::size_t index = g_sim.children.size();
    g_sim.children.push_back(child);
    Object process = sim::OfKind(Kind::Process);
    process.child = index;
    Object thread = sim::OfKind(Kind::Thread);
    thread.child = index;
    lpProcessInformation->hProcess = sim::NewHandle(process);
    lpProcessInformation->hThread = sim::NewHandle(thread);
    lpProcessInformation->dwProcessId = static_cast<DWORD>(1000 + 4 * index);
    lpProcessInformation->dwThreadId = static_cast<DWORD>(2000 + 4 * index);
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    CallScope call("WaitForSingleObject", dwMilliseconds);
    if (call.Injected()) {
        call.Fail(call.InjectedError());
        return WAIT_FAILED;
    }
    return sim::WaitOn(call, &hHandle, 1, dwMilliseconds);
}

DWORD WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll,
                             DWORD dwMilliseconds) {
    CallScope call("WaitForMultipleObjects", dwMilliseconds);
    if (call.Injected()) {
        call.Fail(call.InjectedError());
        return WAIT_FAILED;
    }
    if (bWaitAll || nCount == 0 || !lpHandles) {
        call.Fail(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    return sim::WaitOn(call, lpHandles, nCount, dwMilliseconds);
}

BOOL TerminateProcess(HANDLE hProcess, unsigned int /*uExitCode*/) {
    CallScope call("TerminateProcess");
    if (call.Injected()) {
        call.Fail(call.InjectedError());
        return FALSE;
    }
    std::unique_lock<std::mutex> held(g_simLock);
    Object* process = sim::Find(hProcess, Kind::Process);
    if (!process) {
        sim::Problem("TerminateProcess was given a handle that is not an open process");
        held.unlock();
        call.Fail(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    sim::Child& child = g_sim.children[process->child];
    if (sim::ChildEnded(child)) {
        // As on Windows: a process that has already ended cannot be terminated.
        held.unlock();
        call.Fail(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    child.terminated = true;
    g_sim.terminations.push_back(g_sim.nowMs);
    g_changed.notify_all();
    return TRUE;
}

DWORD GetLastError() {
    return sim::t_lastError;
}

void SetLastError(DWORD dwErrCode) {
    sim::t_lastError = dwErrCode;
}
