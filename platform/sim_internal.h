// Pieces of the simulated platform shared between its own source files: the
// one state record and its lock, the bookkeeping every call goes through,
// and the objects that handles stand for.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/sim_platform.h"

namespace sim {

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
    DWORD access = 0;          // manager and service handles: the rights granted
};

struct Child {
    std::wstring commandLine;
    ChildScript script;
    std::optional<std::uint64_t> endsAtMs;  // exits by itself then
    bool terminated = false;
    DWORD terminationExitCode = 0;  // what TerminateProcess was given
};

struct Account {
    std::wstring domain;
    std::wstring name;
    std::wstring sid;  // S-1-...
    SID_NAME_USE use;
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

// A scripted report on its way: it takes effect once the clock reaches it.
struct DueReport {
    std::uint64_t atMs;
    StatusReport report;
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
    std::vector<std::wstring> serviceArgs = {kDispatchedServiceName};
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
    std::vector<ServiceRecord> services;
    std::map<std::wstring, ServiceScript> serviceScripts;         // by folded name
    std::map<std::wstring, std::vector<DueReport>> dueReports;    // by folded name, in time order
    DWORD nextServiceProcessId = 3000;
    std::set<DWORD> refusedChangeLevels;
    std::set<DWORD> refusedQueryLevels;
    bool listAllOrNothing = false;
    std::wstring dispatchedService;  // the service the dispatcher runs
    std::vector<STARTUPINFOW> startupInfos;
    std::vector<std::uint64_t> terminations;
    std::vector<std::string> problems;
    std::wstring computerName = L"SIMHOST";
    std::vector<Account> accounts;

    LPHANDLER_FUNCTION_EX handler = nullptr;
    SERVICE_STATUS_HANDLE statusHandle = nullptr;
    bool dispatcherRunning = false;
    std::thread::id dispatcherThread;
    std::deque<DWORD> controlQueue;
    std::uint64_t controlsPosted = 0;
    std::uint64_t controlsHandled = 0;
    bool serviceReturned = false;
};

// One mutex guards the whole simulator; it is never held while the control
// handler runs or while a thread blocks for real.
extern std::mutex g_simLock;
extern std::condition_variable g_changed;
extern State g_sim;

extern thread_local DWORD t_lastError;

// The lock the platform holds while it runs the control handler; the
// stopped report takes it as well. False if it could not be had in time.
bool AcquireDispatchLock(milliseconds bound);
void ReleaseDispatchLock();

Thread CurrentThread();
// Hold g_simLock.
void Problem(const std::string& what);
bool FailableCall(const char* name);
// Hands controls to the dispatcher thread and gives the handler a moment to
// run; it may be held up by a lock the caller legitimately holds.
void PostControls(std::unique_lock<std::mutex>& held, const std::vector<DWORD>& controls,
                  milliseconds settle);
// Before any wait every control posted so far must have been handled.
void AwaitHandlers(std::unique_lock<std::mutex>& held);

// One platform call: journals it, runs the controls scripted around it on
// the service thread, and says whether a scripted failure applies.
class CallScope {
public:
    CallScope(const char* name, DWORD argument = 0);
    ~CallScope();
    CallScope(const CallScope&) = delete;
    CallScope& operator=(const CallScope&) = delete;

    bool Injected() const { return injected_.has_value(); }
    DWORD InjectedError() const { return *injected_; }
    // Marks the call as failed with the given error; the caller returns the
    // call's failure result. Call without g_simLock held.
    void Fail(DWORD error);
    // The same, with g_simLock already held.
    void FailLocked(DWORD error);
    Thread thread() const { return thread_; }
    const char* name() const { return name_; }

private:
    void RunDeliveries(std::unique_lock<std::mutex>& held, When when);

    const char* name_;
    Thread thread_ = Thread::Service;
    std::optional<std::size_t> journalIndex_;
    int serviceIndex_ = 0;
    std::optional<DWORD> injected_;
};

// Objects behind handles. Hold g_simLock.
Object OfKind(Kind kind);
HANDLE NewHandle(Object object);
Object* Find(const void* handle, Kind kind);
bool ChildEnded(const Child& child);
// Closes a handle of either family (service handles or kernel handles).
BOOL CloseObject(CallScope& call, const void* handle, bool serviceHandle);

// Waits on the virtual clock.
DWORD WaitOn(CallScope& call, const HANDLE* handles, DWORD count, DWORD timeoutMs);

// Splits a command line exactly as Windows' CommandLineToArgvW does. An empty
// line gives the module path alone, as the platform does.
std::vector<std::wstring> SplitCommandLine(const wchar_t* line, const std::wstring& modulePath);

// Allocation bookkeeping for the operator new that the simulator installs.
namespace detail {
void ResetAllocations();
// Scoped marks: the simulator's own work is not counted as the service's.
void EnterSimulator();
void LeaveSimulator();
void MarkServiceThread();
}  // namespace detail

}  // namespace sim
