// Simulated events, processes and waits, on a virtual clock.
#include "platform/platform.h"

#include <algorithm>

#include "platform/sim_internal.h"

namespace sim {
namespace {

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

// Whether every handle can be waited on; a problem if one cannot.
bool AllWaitable(const HANDLE* handles, DWORD count) {
    for (DWORD i = 0; i < count; ++i) {
        auto it = g_sim.objects.find(reinterpret_cast<std::uintptr_t>(handles[i]));
        if (it == g_sim.objects.end() || it->second.kind == Kind::Manager ||
            it->second.kind == Kind::Service) {
            Problem("a wait was given a handle that is not open");
            return false;
        }
    }
    return true;
}

// The next timed control, when it comes before the deadline and before the
// next exit: the clock moves to it and its handler runs. Whether it came.
bool DeliverTimedControl(std::unique_lock<std::mutex>& held,
                         const std::optional<std::uint64_t>& deadline,
                         const std::optional<std::uint64_t>& exit) {
    if (g_sim.timedControls.empty()) return false;
    const TimedControl next = g_sim.timedControls.front();
    bool inTime = !deadline || next.timeMs <= *deadline;
    if (!inTime || (exit && next.timeMs > *exit)) return false;
    g_sim.timedControls.erase(g_sim.timedControls.begin());
    g_sim.nowMs = std::max(g_sim.nowMs, next.timeMs);
    PostControls(held, {next.control}, kHandlerSettleTime);
    AwaitHandlers(held);
    return true;
}

}  // namespace


// Waits on the virtual clock: time jumps to the next thing that can happen.
// Blocks for real only when nothing scripted can end the wait, so that a
// control from the dispatcher thread can still do it.
DWORD WaitOn(CallScope& call, const HANDLE* handles, DWORD count, DWORD timeoutMs) {
    std::unique_lock<std::mutex> held(g_simLock);
    AwaitHandlers(held);
    if (!AllWaitable(handles, count)) {
        held.unlock();
        call.Fail(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    std::optional<std::uint64_t> deadline;
    if (timeoutMs != INFINITE) deadline = g_sim.nowMs + timeoutMs;
    for (;;) {
        for (DWORD i = 0; i < count; ++i) {
            if (Signalled(handles[i])) return WAIT_OBJECT_0 + i;
        }
        std::optional<std::uint64_t> exit = NextExit(handles, count);
        if (DeliverTimedControl(held, deadline, exit)) continue;
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


}  // namespace sim

using sim::CallScope;
using sim::Kind;
using sim::Object;
using sim::g_changed;
using sim::g_sim;
using sim::g_simLock;

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

BOOL TerminateProcess(HANDLE hProcess, unsigned int uExitCode) {
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
    child.terminationExitCode = uExitCode;
    g_sim.terminations.push_back(g_sim.nowMs);
    g_changed.notify_all();
    return TRUE;
}

// As on Windows, a process that is still running gives STILL_ACTIVE, which
// a process may also have ended with: only a wait tells the two apart.
BOOL GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode) {
    CallScope call("GetExitCodeProcess");
    if (call.Injected()) {
        call.Fail(call.InjectedError());
        return FALSE;
    }
    std::unique_lock<std::mutex> held(g_simLock);
    Object* process = sim::Find(hProcess, Kind::Process);
    if (!process) {
        sim::Problem("GetExitCodeProcess was given a handle that is not an open process");
        held.unlock();
        call.Fail(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const sim::Child& child = g_sim.children[process->child];
    if (child.terminated) {
        *lpExitCode = child.terminationExitCode;
    } else if (sim::ChildEnded(child)) {
        *lpExitCode = child.script.exitCode;
    } else {
        *lpExitCode = STILL_ACTIVE;
    }
    return TRUE;
}

