// The probe read against other processes whose use is known: this test binary
// started again twice as a target, one of which takes on threads, handles,
// memory, CPU time and a module on request while the other stays idle. The
// busy one's figures must rise by what it took on, which a source that Wine
// answers with the caller's figures or with 0 cannot give, and the idle one's
// must stay, which a source that is not the process's own cannot give. Both
// are found again as this process's children.
#include "tools/bench/process_probe.h"
#include "tools/bench/bench_tests.h"
#include "tools/service_control.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr int kExtraThreads = 3;
constexpr int kExtraHandles = 40;
constexpr SIZE_T kExtraBytes = 16 << 20;
constexpr ULONGLONG kBurn100ns = 10000000;  // 1 s of the target's own CPU time
constexpr const wchar_t* kExtraModule = L"version.dll";

std::wstring EventName(DWORD parentPid, DWORD index, const wchar_t* what) {
    return L"bench-probe-test-" + std::to_wstring(parentPid) + L"-" + std::to_wstring(index) +
           L"-" + what;
}

ULONGLONG OwnCpu100ns() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto ticks = [](const FILETIME& t) { return (ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return ticks(kernel) + ticks(user);
}

int Count(const std::vector<std::wstring>& modules, const wchar_t* name) {
    int count = 0;
    for (const std::wstring& module : modules) count += lstrcmpiW(module.c_str(), name) == 0;
    return count;
}

DWORD WINAPI SleepForever(LPVOID) {
    Sleep(INFINITE);
    return 0;
}

bool TakeOnExtraUse() {
    for (int i = 0; i < kExtraThreads; ++i) {
        HANDLE thread = CreateThread(nullptr, 0, SleepForever, nullptr, 0, nullptr);
        if (!thread) return false;
        CloseHandle(thread);
    }
    for (int i = 0; i < kExtraHandles; ++i) {
        if (!CreateEventW(nullptr, TRUE, FALSE, nullptr)) return false;
    }
    if (!LoadLibraryW(kExtraModule)) return false;
    auto* memory = static_cast<volatile BYTE*>(
        VirtualAlloc(nullptr, kExtraBytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (!memory) return false;
    for (SIZE_T at = 0; at < kExtraBytes; at += 4096) memory[at] = 1;
    const ULONGLONG burnUntil = OwnCpu100ns() + kBurn100ns;
    for (volatile unsigned spin = 0; OwnCpu100ns() < burnUntil;) spin = spin + 1;
    return true;
}

}  // namespace

// Reports ready, and on the go-ahead takes on the extra use, reports ready
// again and waits to be terminated.
int BeProbed(DWORD parentPid, DWORD index) {
    HANDLE ready =
        OpenEventW(EVENT_MODIFY_STATE, FALSE, EventName(parentPid, index, L"ready").c_str());
    HANDLE go = OpenEventW(SYNCHRONIZE, FALSE, EventName(parentPid, index, L"go").c_str());
    if (!ready || !go) return 1;
    SetEvent(ready);
    WaitForSingleObject(go, INFINITE);
    if (!TakeOnExtraUse()) return 1;
    SetEvent(ready);
    Sleep(INFINITE);
    return 0;
}

namespace {

struct Target {
    HANDLE ready, go;
    PROCESS_INFORMATION process;
    Footprint before, after;
    std::vector<std::wstring> modulesBefore, modulesAfter;
};

void Launch(const std::wstring& exePath, DWORD index, Target& t) {
    const DWORD self = GetCurrentProcessId();
    t.ready = CreateEventW(nullptr, FALSE, FALSE, EventName(self, index, L"ready").c_str());
    t.go = CreateEventW(nullptr, TRUE, FALSE, EventName(self, index, L"go").c_str());
    ASSERT_TRUE(t.ready && t.go);
    std::wstring commandLine = L"\"" + exePath + L"\" " + kBeProbed + L" " +
                               std::to_wstring(self) + L" " + std::to_wstring(index);
    // No standard handles: a target left behind must not keep the test's
    // output open.
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    ASSERT_TRUE(CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &t.process))
        << GetLastError();
}

void WaitReady(const Target& t) {
    const HANDLE readyOrEnded[] = {t.ready, t.process.hProcess};
    ASSERT_EQ(WaitForMultipleObjects(2, readyOrEnded, FALSE, 120000), WAIT_OBJECT_0);
}

void Probe(const Target& t, Footprint& footprint, std::vector<std::wstring>& modules) {
    ASSERT_TRUE(ProbeProcess(t.process.dwProcessId, footprint));
    modules = ModulesOf(t.process.dwProcessId);
}

// Probes both once they are ready, lets the busy one take on its extra use,
// and probes both again.
void ProbeAround(Target& busy, Target& idle) {
    WaitReady(busy);
    WaitReady(idle);
    for (Target* t : {&busy, &idle}) Probe(*t, t->before, t->modulesBefore);
    SetEvent(busy.go);
    WaitReady(busy);
    for (Target* t : {&busy, &idle}) Probe(*t, t->after, t->modulesAfter);
}

void End(Target& t) {
    if (t.process.hProcess) {
        TerminateProcess(t.process.hProcess, 0);
        WaitForSingleObject(t.process.hProcess, 10000);
        CloseHandle(t.process.hThread);
        CloseHandle(t.process.hProcess);
    }
    if (t.go) CloseHandle(t.go);
    if (t.ready) CloseHandle(t.ready);
}

TEST(ProcessProbe, SeesWhatEachOtherProcessTakesOn) {
    wchar_t exe[MAX_PATH * 2];
    const std::wstring exePath(exe, GetModuleFileNameW(nullptr, exe, MAX_PATH * 2));
    Target busy = {}, idle = {};
    Launch(exePath, 0, busy);
    if (!HasFatalFailure()) Launch(exePath, 1, idle);
    if (!HasFatalFailure()) {
        std::vector<DWORD> children =
            ChildrenOf(GetCurrentProcessId(), exePath.substr(exePath.rfind(L'\\') + 1));
        std::sort(children.begin(), children.end());
        std::vector<DWORD> launched = {busy.process.dwProcessId, idle.process.dwProcessId};
        std::sort(launched.begin(), launched.end());
        EXPECT_EQ(children, launched);
        ProbeAround(busy, idle);
    }
    End(busy);
    End(idle);
    if (HasFatalFailure()) return;

    const Footprint& a = busy.before;
    const Footprint& b = busy.after;
    EXPECT_EQ(b.threads - a.threads, DWORD(kExtraThreads));
    EXPECT_GE(b.handles - a.handles, DWORD(kExtraHandles));
    EXPECT_LE(b.handles - a.handles, DWORD(kExtraHandles + kExtraThreads));
    // Resident pages can be taken from a process at any time (its mapped
    // files', when the machine reads and writes much), so its working set
    // shows the bulk of what it touched, not all; what it committed stays.
    EXPECT_GE(b.workingSetBytes, a.workingSetBytes + kExtraBytes * 3 / 4);
    EXPECT_GE(b.pagefileBytes, a.pagefileBytes + kExtraBytes * 15 / 16);
    // Thread times come in 10 ms ticks and miss threads that ended.
    EXPECT_GE(b.cpu100ns, a.cpu100ns + kBurn100ns * 8 / 10);
    EXPECT_EQ(Count(busy.modulesBefore, kExtraModule), 0) << "loaded from the start";
    EXPECT_EQ(Count(busy.modulesAfter, kExtraModule), 1);

    EXPECT_EQ(idle.after.threads, idle.before.threads);
    EXPECT_EQ(idle.after.handles, idle.before.handles);
    EXPECT_LT(idle.after.pagefileBytes - idle.before.pagefileBytes, kExtraBytes / 2);
    EXPECT_LT(idle.after.cpu100ns - idle.before.cpu100ns, kBurn100ns / 2);
    EXPECT_EQ(Count(idle.modulesAfter, kExtraModule), 0);
}

}  // namespace
