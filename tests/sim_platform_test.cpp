// The simulator is only worth its answers: these check the ones the other
// tests rely on, and that it catches the faults it is there to catch.
#include <chrono>
#include <mutex>
#include <new>

#include "service_run.h"

namespace {

using Simulator = ServiceRun;

bool HasProblem(const std::string& words) {
    for (const std::string& p : sim::Problems()) {
        if (p.find(words) != std::string::npos) return true;
    }
    return false;
}

TEST_F(Simulator, WaitsMoveTheVirtualClockInsteadOfSleeping) {
    sim::ChildScript child;
    child.kind = sim::ChildKind::ExitsAfter;
    child.exitAfterMs = 2500;
    sim::ScriptChild(child);
    wchar_t line[] = L"child.exe";
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(CreateProcessW(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);

    auto began = std::chrono::steady_clock::now();
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(pi.hProcess, 1000));
    EXPECT_EQ(1000u, sim::Now());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(pi.hProcess, 120000));
    EXPECT_EQ(2500u, sim::Now());
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(1));

    // Both signalled: the lowest index wins.
    SetEvent(event);
    HANDLE both[2] = {pi.hProcess, event};
    EXPECT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(2, both, FALSE, INFINITE));
    HANDLE reversed[2] = {event, pi.hProcess};
    EXPECT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(2, reversed, FALSE, INFINITE));

    // An ended process cannot be terminated.
    EXPECT_FALSE(TerminateProcess(pi.hProcess, 0));
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_EQ(3, sim::OpenHandleCount());
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    CloseHandle(event);
    EXPECT_EQ(0, sim::OpenHandleCount());
    EXPECT_TRUE(sim::Problems().empty());
}

struct ExitCodeCase {
    const char* what;
    sim::ChildKind kind;
    DWORD scriptedCode;
    bool waitForEnd;         // until the child's scripted end, 2000 ms at most
    bool terminateWithCode;  // TerminateProcess with 77
    DWORD expected;
};

const ExitCodeCase kExitCodeCases[] = {
    {"running", sim::ChildKind::ExitsAfter, 42, false, false, STILL_ACTIVE},
    {"ended by itself", sim::ChildKind::ExitsAfter, 42, true, false, 42},
    {"ended with STILL_ACTIVE's value", sim::ChildKind::ExitsAfter, 259, true, false, 259},
    {"terminated", sim::ChildKind::NeverExits, 42, false, true, 77},
    {"terminated before its own end", sim::ChildKind::ExitsAfter, 42, true, true, 77},
};

TEST_F(Simulator, ExitCodeIsStillActiveUntilTheProcessEndsThenItsOwn) {
    for (const ExitCodeCase& c : kExitCodeCases) {
        SCOPED_TRACE(c.what);
        ResetWorld();
        sim::ChildScript child;
        child.kind = c.kind;
        child.exitAfterMs = 1000;
        child.exitCode = c.scriptedCode;
        sim::ScriptChild(child);
        wchar_t line[] = L"child.exe";
        STARTUPINFOW si = {};
        PROCESS_INFORMATION pi = {};
        ASSERT_TRUE(CreateProcessW(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
        if (c.terminateWithCode) {
            EXPECT_TRUE(TerminateProcess(pi.hProcess, 77));
        }
        if (c.waitForEnd) {
            EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(pi.hProcess, 2000));
        }
        DWORD code = 0;
        EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
        EXPECT_EQ(c.expected, code);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
        EXPECT_TRUE(sim::Problems().empty());
    }
}

TEST_F(Simulator, ClosedHandlesStayClosed) {
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    EXPECT_TRUE(CloseHandle(event));
    EXPECT_FALSE(CloseHandle(event));
    EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
    EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(event, 0));
    EXPECT_FALSE(SetEvent(event));
    DWORD code = 5;
    EXPECT_FALSE(GetExitCodeProcess(event, &code));
    EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
    EXPECT_EQ(5u, code);
    EXPECT_EQ(4u, sim::Problems().size());
}

TEST_F(Simulator, ScriptedFailuresGiveTheFailureResultAndError) {
    sim::FailCall("CreateEventW", 2, ERROR_NOT_ENOUGH_MEMORY);
    HANDLE first = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    EXPECT_NE(nullptr, first);
    EXPECT_EQ(nullptr, CreateEventW(nullptr, TRUE, FALSE, nullptr));
    EXPECT_EQ(ERROR_NOT_ENOUGH_MEMORY, GetLastError());
    CloseHandle(first);

    sim::FailCall("GetExitCodeProcess", 1, ERROR_ACCESS_DENIED);
    DWORD code = 0;
    EXPECT_FALSE(GetExitCodeProcess(nullptr, &code));
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());

    int count = 0;
    LPWSTR* elements = CommandLineToArgvW(L"a b", &count);
    EXPECT_EQ(2, count);
    EXPECT_EQ(1, sim::OutstandingLocalAllocs());
    EXPECT_EQ(nullptr, LocalFree(elements));
    EXPECT_EQ(0, sim::OutstandingLocalAllocs());
    EXPECT_NE(nullptr, LocalFree(elements));
    EXPECT_TRUE(HasProblem("LocalFree"));
}

// A service that reports stopped while holding a lock its handler takes.
std::mutex g_testLock;

DWORD WINAPI LockingHandler(DWORD, DWORD, LPVOID, LPVOID) {
    std::lock_guard<std::mutex> hold(g_testLock);
    return NO_ERROR;
}

VOID WINAPI StoppedUnderLock(DWORD, LPWSTR*) {
    SERVICE_STATUS_HANDLE handle = RegisterServiceCtrlHandlerExW(L"x", LockingHandler, nullptr);
    SERVICE_STATUS status = Status(SERVICE_STOPPED, 0, 0, 0, 0);
    std::lock_guard<std::mutex> hold(g_testLock);
    SetServiceStatus(handle, &status);
}

VOID WINAPI WaitUnderLock(DWORD, LPWSTR*) {
    RegisterServiceCtrlHandlerExW(L"x", LockingHandler, nullptr);
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::lock_guard<std::mutex> hold(g_testLock);
    WaitForSingleObject(event, INFINITE);
    CloseHandle(event);
}

TEST_F(Simulator, StoppedReportUnderALockTheHandlerTakesIsCaughtAsADeadlock) {
    sim::DeliverControls(2, sim::When::Before, {SERVICE_CONTROL_STOP});
    SERVICE_TABLE_ENTRYW table[] = {{const_cast<LPWSTR>(L"x"), StoppedUnderLock}, {nullptr, nullptr}};
    EXPECT_TRUE(StartServiceCtrlDispatcherW(table));
    EXPECT_TRUE(HasProblem("deadlock"));
}

TEST_F(Simulator, WaitUnderALockTheHandlerTakesIsCaught) {
    sim::DeliverControls(3, sim::When::Before, {SERVICE_CONTROL_STOP});
    SERVICE_TABLE_ENTRYW table[] = {{const_cast<LPWSTR>(L"x"), WaitUnderLock}, {nullptr, nullptr}};
    EXPECT_TRUE(StartServiceCtrlDispatcherW(table));
    EXPECT_TRUE(HasProblem("still blocked when the service thread began to wait"));
    EXPECT_TRUE(HasProblem("could never end"));
}

TEST_F(Simulator, ControlsRunOnTheDispatcherThreadAtTheirPoint) {
    ChildIgnoresStop();
    sim::DeliverControlAtTime(3000, SERVICE_CONTROL_STOP);
    RunWrapper(L"service-wrapper.exe 0 C:\\Tools\\upd.exe");
    std::vector<sim::Call> calls = sim::Calls();
    auto handler = std::find_if(calls.begin(), calls.end(),
                                [](const sim::Call& c) { return std::string(c.name) == "Handler"; });
    ASSERT_NE(calls.end(), handler);
    EXPECT_EQ(sim::Thread::Dispatcher, handler->thread);
    EXPECT_EQ(3000u, handler->timeMs);
    EXPECT_EQ(SERVICE_CONTROL_STOP, handler->argument);
    EXPECT_EQ(std::vector<std::uint64_t>{3000}, sim::TerminationTimes());
    ASSERT_EQ(1u, sim::StartupInfos().size());
    EXPECT_EQ(104u, sim::StartupInfos()[0].cb);
    ExpectSoundEnd(0);
}

// The wrapper runs as a service of the manager's database, so that what it
// writes there lands on a service that exists, as on Windows.
TEST_F(Simulator, TheWrappersServiceIsInTheDatabaseAndTakesItsReports) {
    sim::ChildScript child;
    child.kind = sim::ChildKind::FailsToLaunch;
    child.launchError = ERROR_PATH_NOT_FOUND;
    sim::ScriptChild(child);
    sim::SetServiceArgs({L"Updater"});
    RunWrapper(L"service-wrapper.exe 7000 C:\\Tools\\upd.exe");
    std::optional<sim::ServiceRecord> service = sim::ServiceNamed(L"updater");
    ASSERT_TRUE(service);
    EXPECT_EQ(service->binaryPathName, L"service-wrapper.exe 7000 C:\\Tools\\upd.exe");
    EXPECT_EQ(service->preshutdownTimeoutMs, 7000u);
    EXPECT_EQ(service->status.dwCurrentState, SERVICE_STOPPED);
    EXPECT_EQ(service->status.dwWin32ExitCode, ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(service->status.dwProcessId, 0u);
    ExpectSoundEnd(ERROR_PATH_NOT_FOUND);
}

// The simulator replaces the allocation functions, so every form of new must
// pair with its delete: AddressSanitizer aborts on a block from its own new
// given back to the simulator's delete.
TEST(SimulatedAllocation, NothrowNewPairsWithDelete) {
    int* one = new (std::nothrow) int(7);
    int* many = new (std::nothrow) int[3]();
    ASSERT_NE(nullptr, one);
    ASSERT_NE(nullptr, many);
    EXPECT_EQ(7, *one + many[2]);
    delete one;
    delete[] many;
}

}  // namespace
