// The core of the simulated platform: its state, the bookkeeping every call
// goes through, the objects behind handles, and the clock's own calls. The
// other calls are in sim_dispatcher.cpp and the sim_manager files (the
// service control manager), sim_argv.cpp and sim_processes.cpp; the
// test-facing scripting and observing in sim_script.cpp.
#include "platform/platform.h"

#include <cstring>

#include "platform/sim_internal.h"

namespace sim {

std::mutex g_simLock;
std::condition_variable g_changed;
State g_sim;

namespace {
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
}  // namespace

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

// The calls that cannot fail on the platform.
bool FailableCall(const char* name) {
    for (const char* sure : {"GetCommandLineW", "StartServiceCtrlDispatcherW", "Handler", "Sleep",
                             "GetTickCount64"}) {
        if (std::strcmp(name, sure) == 0) return false;
    }
    return true;
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

CallScope::CallScope(const char* name, DWORD argument) : name_(name) {
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
    if (injected_ && !FailableCall(name_)) injected_.reset();
    RunDeliveries(held, When::Before);
}

CallScope::~CallScope() {
    {
        std::unique_lock<std::mutex> held(g_simLock);
        RunDeliveries(held, When::After);
    }
    detail::LeaveSimulator();
}

void CallScope::Fail(DWORD error) {
    t_lastError = error;
    std::lock_guard<std::mutex> held(g_simLock);
    if (journalIndex_) g_sim.calls[*journalIndex_].failed = true;
}

void CallScope::FailLocked(DWORD error) {
    t_lastError = error;
    if (journalIndex_) g_sim.calls[*journalIndex_].failed = true;
}

void CallScope::RunDeliveries(std::unique_lock<std::mutex>& held, When when) {
    if (!serviceIndex_) return;
    for (const Delivery& d : g_sim.deliveries) {
        if (d.index == serviceIndex_ && d.when == when) {
            PostControls(held, d.controls, kHandlerSettleTime);
        }
    }
}

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

// Closing functions release the object even when told to fail: on Windows
// they fail only for handles that are not open.
BOOL CloseObject(CallScope& call, const void* handle, bool serviceHandle) {
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

}  // namespace sim

DWORD GetLastError() {
    return sim::t_lastError;
}

void SetLastError(DWORD dwErrCode) {
    sim::t_lastError = dwErrCode;
}

// A sleep is a wait on nothing: the clock moves on, and controls timed for
// the meantime are delivered.
void Sleep(DWORD dwMilliseconds) {
    sim::CallScope call("Sleep", dwMilliseconds);
    sim::WaitOn(call, nullptr, 0, dwMilliseconds);
}

ULONGLONG GetTickCount64() {
    sim::CallScope call("GetTickCount64");
    std::lock_guard<std::mutex> held(sim::g_simLock);
    return sim::g_sim.nowMs;
}
