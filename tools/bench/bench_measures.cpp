// The services measured: rounds of each started and stopped in turn, a
// window with all of them idle, and groups started at once; each failed
// run recorded and made again while failures are few.
#include "tools/bench/bench_driver.h"

#include <cstdio>

namespace {

constexpr DWORD kSettleMs = 300;
constexpr DWORD kWindowMs = 10000;
constexpr size_t kMostFailures = 5;

// Busy and total time of all cores so far.
struct MachineTimes {
    ULONGLONG busy, total;
};

MachineTimes ReadMachineTimes() {
    FILETIME idle, kernel, user;
    GetSystemTimes(&idle, &kernel, &user);
    auto ticks = [](const FILETIME& t) { return (ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    // Kernel time includes the idle time.
    ULONGLONG total = ticks(kernel) + ticks(user);
    return MachineTimes{total - ticks(idle), total};
}

double BusyShare(const MachineTimes& from, const MachineTimes& to) {
    ULONGLONG total = to.total - from.total;
    return total ? double(to.busy - from.busy) / double(total) : 0.0;
}

unsigned long long FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (ULONGLONG(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// The child copied into the work folder under a name of its own, told to
// run until it is terminated.
bool PrepareChild(const Options& options, std::wstring& childPath) {
    std::wstring folder = options.Path(L"work");
    CreateDirectoryW(folder.c_str(), nullptr);
    childPath = folder + L"\\" + kChildName;
    if (!CopyFileW(options.Path(L"child").c_str(), childPath.c_str(), /*bFailIfExists=*/FALSE)) {
        return false;
    }
    std::wstring behaviour = childPath.substr(0, childPath.rfind(L'.')) + L".behaviour";
    HANDLE file = CreateFileW(behaviour.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = WriteFile(file, "run-forever", 11, &written, nullptr) && written == 11;
    CloseHandle(file);
    return ok;
}

std::vector<Subject> MakeSubjects(const Options& options, const std::wstring& child) {
    auto service = [](const wchar_t* what) { return std::wstring(kNamePrefix) + what; };
    const std::wstring wrapper = options.Path(L"wrapper");
    const std::wstring logDir = options.Path(L"work") + L"\\service-log";
    return {
        {"wrapper", wrapper, service(L"wrapper"), {L"0", child}, kChildName, {}},
        {"minimal", options.Path(L"minimal"), service(L"minimal"), {}, L"", {}},
        {"floor", options.Path(L"floor"), service(L"floor"), {child}, kChildName, {}},
        {"on-demand", options.Path(L"on-demand"), service(L"on-demand"), {L"0", child}, kChildName, {}},
        {"wrapper 2000", wrapper, service(L"grace"), {L"2000", child}, kChildName, {}},
        {"launcher", wrapper, service(L"launcher"),
         {L"0", options.Path(L"launcher"), L"--service", service(L"launcher"), L"--log-dir", logDir,
          L"--", child},
         kLauncherName, {}},
    };
}

// Records a failed run. True if it may be made again: the failures so far
// are few, and the services concerned were made anew, which also ends a
// process of theirs still running, with any child left.
bool MayRetry(SC_HANDLE manager, Results& r, const std::string& failure,
              const std::vector<Subject>& subjects) {
    r.failures.push_back(failure);
    Progress("%s", failure.c_str());
    if (g_interrupted || r.failures.size() > kMostFailures) return false;
    bool installed = true;
    for (const Subject& subject : subjects) installed = Install(manager, subject) && installed;
    EndProcessesNamed(kChildName);
    return installed;
}

// The launcher's job ends the program with it, a moment after the launcher.
// Empty if it did, else what is left.
std::string TreeLeft() {
    for (ULONGLONG until = GetTickCount64() + 5000; GetTickCount64() < until; Sleep(10)) {
        if (ProcessesNamed(kChildName).empty()) return "";
    }
    std::string left = "the program outlived the launcher:";
    for (DWORD pid : ProcessesNamed(kChildName)) left += " pid " + std::to_string(pid);
    return left;
}

// Rounds of every subject in turn, the first left out of the figures.
bool MeasureRounds(SC_HANDLE manager, Results& r) {
    for (int round = 0; round <= r.rounds; ++round) {
        Progress("round %s%d of %d", round == 0 ? "(warm-up) " : "", round, r.rounds);
        for (Subject& subject : r.subjects) {
            for (;;) {
                if (g_interrupted) return false;
                const bool launched = subject.child == kLauncherName;
                ServiceRun run = RunService(manager, subject.service, subject.child, kSettleMs,
                                            launched ? kChildName : L"");
                if (run.ok && launched) {
                    run.failure = TreeLeft();
                    run.ok = run.failure.empty();
                }
                if (run.ok) {
                    if (round > 0) subject.runs.push_back(run);
                    break;
                }
                std::string failure = std::string(subject.label) + ", round " +
                                      std::to_string(round) + ": " + run.failure;
                if (!MayRetry(manager, r, failure, {subject})) return false;
            }
        }
    }
    return true;
}

// Which of these modules the process has loaded, by their short names.
std::string LoadedOf(DWORD pid, std::initializer_list<const wchar_t*> names) {
    const std::vector<std::wstring> modules = ModulesOf(pid);
    std::string loaded;
    for (const wchar_t* name : names) {
        for (const std::wstring& module : modules) {
            if (lstrcmpiW(module.c_str(), name) != 0) continue;
            if (!loaded.empty()) loaded += " ";
            loaded += Narrow(std::wstring(name, wcslen(name) - 4));
        }
    }
    return loaded;
}

// The launcher under the wrapper whose pid this is; 0 if not exactly one.
DWORD LauncherOf(DWORD wrapperPid, std::string& failure) {
    const std::vector<DWORD> launchers = ChildrenOf(wrapperPid, kLauncherName);
    if (launchers.size() == 1) return launchers[0];
    failure = std::to_string(launchers.size()) + " launchers under the wrapper, not 1";
    return 0;
}

// The four services and the launcher's running at once, read at the start
// and end of one window in which nothing is asked of them.
bool MeasureWindowOnce(SC_HANDLE manager, Results& r, std::string& failure) {
    const int inWindow[] = {kWrapper, kMinimal, kFloor, kOnDemand, kLauncher};
    DWORD pids[kSubjects] = {};
    bool ok = true;
    for (int i : inWindow) ok = ok && (pids[i] = StartAndWait(manager, r.subjects[i].service, failure)) != 0;
    const DWORD launcher = ok ? LauncherOf(pids[kLauncher], failure) : 0;
    ok = ok && launcher != 0 && WaitForChild(launcher, kChildName, 20000);
    Sleep(1000);
    const MachineTimes machineFrom = ReadMachineTimes();
    const LARGE_INTEGER from = Now();
    for (int i = 0; i <= kOnDemand && ok; ++i) ok = ProbeProcess(pids[i], r.window.first[i]);
    ok = ok && ProbeProcess(launcher, r.window.launcherFirst);
    for (ULONGLONG until = GetTickCount64() + kWindowMs; ok && GetTickCount64() < until;) {
        if (g_interrupted) ok = false;
        Sleep(100);
    }
    for (int i = 0; i <= kOnDemand && ok; ++i) {
        ok = ProbeProcess(pids[i], r.window.last[i]);
        r.window.modules[i] = LoadedOf(pids[i], {L"shell32.dll", L"user32.dll", L"gdi32.dll"});
    }
    ok = ok && ProbeProcess(launcher, r.window.launcherLast);
    if (!ok && failure.empty()) failure = "a footprint could not be read";
    r.window.seconds = ElapsedMs(from, Now()) / 1000.0;
    r.window.machineBusy = BusyShare(machineFrom, ReadMachineTimes());
    for (int i : inWindow) {
        if (pids[i] && !StopAndWait(manager, r.subjects[i].service, failure)) ok = false;
    }
    return ok;
}

bool MeasureWindow(SC_HANDLE manager, Results& r) {
    Progress("%d s with all four and the launcher running", int(kWindowMs / 1000));
    std::vector<Subject> four(r.subjects.begin(), r.subjects.begin() + kOnDemand + 1);
    four.push_back(r.subjects[kLauncher]);
    for (std::string failure; !MeasureWindowOnce(manager, r, failure); failure.clear()) {
        if (!MayRetry(manager, r, "the 10 s window: " + failure, four)) return false;
    }
    return true;
}

bool MeasureGroups(SC_HANDLE manager, Results& r, int groupRuns) {
    std::vector<Subject> members[kGroupKinds];
    std::vector<std::wstring> names[kGroupKinds];
    for (int kind = 0; kind < kGroupKinds; ++kind) {
        for (int i = 0; i < r.groupSize; ++i) {
            Subject member = r.subjects[kind];
            member.runs.clear();
            member.service += L"-" + std::to_wstring(i + 1);
            if (!Install(manager, member)) return false;
            members[kind].push_back(member);
            names[kind].push_back(member.service);
        }
    }
    for (int run = 1; run <= groupRuns; ++run) {
        for (int kind = 0; kind < kGroupKinds; ++kind) {
            const Subject& subject = r.subjects[kind];
            Progress("%s at once, run %d of %d", subject.label, run, groupRuns);
            for (;;) {
                if (g_interrupted) return false;
                GroupRun group =
                    RunGroup(manager, names[kind], subject.child);
                if (group.ok) {
                    r.groups[kind].push_back(group);
                    break;
                }
                std::string failure = std::to_string(r.groupSize) + " " + subject.label +
                                      " at once, run " + std::to_string(run) + ": " + group.failure;
                if (!MayRetry(manager, r, failure, members[kind])) return false;
            }
        }
    }
    return true;
}

}  // namespace

bool Measure(SC_HANDLE manager, const Options& options, Results& r) {
    std::wstring child;
    if (!PrepareChild(options, child)) {
        std::fprintf(stderr, "bench: the child could not be prepared in %s: %lu\n",
                     Narrow(options.Path(L"work")).c_str(), GetLastError());
        return false;
    }
    r.subjects = MakeSubjects(options, child);
    for (int i = 0; i <= kOnDemand; ++i) r.sizes[i] = FileSize(r.subjects[i].exe);
    r.runtimeFloorSize = FileSize(options.Path(L"runtime-floor"));
    for (const Subject& subject : r.subjects) {
        if (!Install(manager, subject)) return false;
    }
    const MachineTimes machineFrom = ReadMachineTimes();
    const LARGE_INTEGER from = Now();
    bool ok = MeasureRounds(manager, r) && MeasureWindow(manager, r) &&
              MeasureGroups(manager, r, options.Number(L"group-runs", 3)) && MeasureOutput(options, r);
    r.machineBusy = BusyShare(machineFrom, ReadMachineTimes());
    r.seconds = ElapsedMs(from, Now()) / 1000.0;
    return ok;
}
