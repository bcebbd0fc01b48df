// Measures the wrapper against two baselines under Wine's service control
// manager and prints the table (scripts/bench runs it in a prefix of its
// own). Every service it installs is named svcwrap-bench-*; each run, failed
// or interrupted, ends with all of them removed and their children ended.
//
//   bench_driver --wrapper <exe> --on-demand <exe> --minimal <exe> --floor <exe>
//                --runtime-floor <exe> --child <exe> --work <folder> --table <file>
//                --launcher <exe> --writer <exe>
//                [--runs <n>] [--group-runs <n>] [--group-size <n>]
//                [--flood-runs <n>] [--flood-mib <n>] [--tick-runs <n>]
//                [--machine <text>] [--runtime-parts <text>]
//   bench_driver --clean-up
#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <map>

#include "tools/bench/bench_launcher.h"
#include "tools/bench/bench_runs.h"
#include "tools/bench/bench_table.h"
#include "tools/service_control.h"

namespace {

const wchar_t kNamePrefix[] = L"svcwrap-bench-";
const wchar_t kChildName[] = L"bench_child.exe";
const wchar_t kLauncherName[] = L"service-wrapper-launcher.exe";
const wchar_t kWriterName[] = L"bench_writer.exe";
constexpr DWORD kSettleMs = 300;
constexpr DWORD kWindowMs = 10000;
constexpr size_t kMostFailures = 5;

volatile bool g_interrupted = false;

BOOL WINAPI OnConsoleControl(DWORD) {
    g_interrupted = true;
    return TRUE;
}

__attribute__((format(printf, 1, 2))) void Progress(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::fprintf(stderr, "bench: ");
    std::vfprintf(stderr, format, args);
    std::fprintf(stderr, "\n");
    va_end(args);
}

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

std::string WineVersion() {
    using VersionFunction = const char*(CDECL*)();
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    auto version = reinterpret_cast<VersionFunction>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "wine_get_version")));
    return version ? std::string("Wine ") + version() : std::string("Windows (not Wine)");
}

unsigned long long FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (ULONGLONG(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::vector<std::wstring> BenchServices(SC_HANDLE manager) {
    std::vector<std::wstring> names;
    std::vector<BYTE> buffer(64 * 1024);
    DWORD needed = 0, returned = 0, resume = 0;
    for (;;) {
        BOOL done = EnumServicesStatusExW(manager, SC_ENUM_PROCESS_INFO, SERVICE_WIN32,
                                          SERVICE_STATE_ALL, buffer.data(), DWORD(buffer.size()),
                                          &needed, &returned, &resume, nullptr);
        if (!done && GetLastError() != ERROR_MORE_DATA) return names;
        const auto* entries = reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSW*>(buffer.data());
        for (DWORD i = 0; i < returned; ++i) {
            if (std::wcsncmp(entries[i].lpServiceName, kNamePrefix, wcslen(kNamePrefix)) == 0) {
                names.push_back(entries[i].lpServiceName);
            }
        }
        if (done) return names;
        if (needed > buffer.size()) buffer.resize(needed);
    }
}

// Removes every bench service, running or not, and ends every child left.
// True if nothing is left.
bool CleanUp(SC_HANDLE manager) {
    bool removed = true;
    for (const std::wstring& name : BenchServices(manager)) {
        removed = RemoveService(manager, name, 15000) && removed;
    }
    for (const wchar_t* name : {kChildName, kLauncherName, kWriterName}) EndProcessesNamed(name);
    return removed && BenchServices(manager).empty() && ProcessesNamed(kChildName).empty();
}

bool Install(SC_HANDLE manager, const Subject& subject) {
    SC_HANDLE service =
        InstallService(manager, subject.service, BuildBinaryPath(subject.exe, subject.elements));
    if (!service) {
        std::fprintf(stderr, "bench: CreateServiceW %s gave %lu\n",
                     Narrow(subject.service).c_str(), GetLastError());
        return false;
    }
    CloseServiceHandle(service);
    return true;
}

struct Options {
    std::map<std::wstring, std::wstring> values;
    bool cleanUpOnly = false;

    std::wstring Path(const wchar_t* name) const {
        auto found = values.find(name);
        return found == values.end() ? std::wstring() : WindowsPath(found->second);
    }
    int Number(const wchar_t* name, int fallback) const {
        auto found = values.find(name);
        return found == values.end() ? fallback : int(std::wcstoul(found->second.c_str(), nullptr, 10));
    }
};

bool ReadOptions(int argc, wchar_t** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        std::wstring name = argv[i];
        if (name == L"--clean-up") {
            options.cleanUpOnly = true;
        } else if (name.compare(0, 2, L"--") == 0 && i + 1 < argc) {
            options.values[name.substr(2)] = argv[++i];
        } else {
            return false;
        }
    }
    if (options.cleanUpOnly) return true;
    for (const wchar_t* required : {L"wrapper", L"on-demand", L"minimal", L"floor",
                                    L"runtime-floor", L"child", L"work", L"table",
                                    L"launcher", L"writer"}) {
        if (options.values.find(required) == options.values.end()) return false;
    }
    return true;
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

// The writer's output into a file through the launcher and by the shell,
// each run in turn with the other after one warm-up of each.
bool MeasureFloods(const Options& options, const std::wstring& writer, Results& r) {
    OutputFigures& o = r.output;
    o.floodBytes = (unsigned long long)options.Number(L"flood-mib", 64) << 20;
    const std::vector<std::wstring> flood = {L"flood", std::to_wstring(o.floodBytes)};
    const std::wstring work = options.Path(L"work");
    const OutputRoute routes[kRoutes] = {
        LauncherRoute(options.Path(L"launcher"), work + L"\\flood-log", writer, flood),
        ShellRoute(work, kWriterName, L"flood-shell.txt", flood)};
    const int runs = options.Number(L"flood-runs", 3);
    for (int run = 0; run <= runs; ++run) {
        Progress("%llu MiB of output through the launcher, by the shell and a pipe, run %d of %d",
                 o.floodBytes >> 20, run, runs);
        for (int route = 0; route < kRoutes; ++route) {
            if (g_interrupted) return false;
            const FloodRun flooded = RunFlood(routes[route], o.floodBytes);
            if (!flooded.ok) {
                Progress("output %s: %s", route == kThroughLauncher ? "through the launcher" : "by the shell",
                         flooded.failure.c_str());
                return false;
            }
            if (run > 0) o.floodMs[route].push_back(flooded.ms);
        }
        const FloodRun piped = RunFloodThroughPipe(writer, work + L"\\flood-pipe.txt", o.floodBytes);
        if (!piped.ok) {
            Progress("output through a pipe: %s", piped.failure.c_str());
            return false;
        }
        if (run > 0) o.floodPipeMs.push_back(piped.ms);
        DeleteFileW((work + L"\\flood-pipe.txt").c_str());
        DeleteFileW(routes[kThroughLauncher].file.c_str());
        DeleteFileW(routes[kThroughShell].file.c_str());
    }
    return true;
}

bool MeasureTicks(const Options& options, const std::wstring& writer, Results& r) {
    OutputFigures& o = r.output;
    o.tickCount = 500;
    o.tickIntervalMs = 10;
    o.tickRuns = options.Number(L"tick-runs", 2);
    const std::vector<std::wstring> ticks = {L"ticks", std::to_wstring(o.tickCount),
                                             std::to_wstring(o.tickIntervalMs)};
    const std::wstring work = options.Path(L"work");
    const OutputRoute routes[kRoutes] = {
        LauncherRoute(options.Path(L"launcher"), work + L"\\tick-log", writer, ticks),
        ShellRoute(work, kWriterName, L"tick-shell.txt", ticks)};
    for (int run = 1; run <= o.tickRuns; ++run) {
        Progress("a line each %u ms through the launcher and by the shell, run %d of %d",
                 o.tickIntervalMs, run, o.tickRuns);
        for (int route = 0; route < kRoutes; ++route) {
            if (g_interrupted) return false;
            const TickRun ticked = RunTicks(routes[route], o.tickCount);
            if (!ticked.ok) {
                Progress("lines %s: %s", route == kThroughLauncher ? "through the launcher" : "by the shell",
                         ticked.failure.c_str());
                return false;
            }
            auto& all = o.latencyMs[route];
            all.insert(all.end(), ticked.latenciesMs.begin(), ticked.latenciesMs.end());
            o.firstLineMs[route].push_back(ticked.firstLineMs);
        }
    }
    return true;
}

bool MeasureOutput(const Options& options, Results& r) {
    const std::wstring writer = options.Path(L"work") + L"\\" + kWriterName;
    if (!CopyFileW(options.Path(L"writer").c_str(), writer.c_str(), /*bFailIfExists=*/FALSE)) {
        Progress("the writer could not be copied to %s: %lu", Narrow(writer).c_str(), GetLastError());
        return false;
    }
    return MeasureFloods(options, writer, r) && MeasureTicks(options, writer, r);
}

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

bool WriteTable(const std::wstring& path, const std::string& table) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = WriteFile(file, table.data(), DWORD(table.size()), &written, nullptr) &&
              written == table.size();
    CloseHandle(file);
    return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Options options;
    if (!ReadOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: see the head of tools/bench/bench_driver.cpp\n");
        return 2;
    }
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager) {
        std::fprintf(stderr, "bench: OpenSCManagerW gave %lu\n", GetLastError());
        return 1;
    }
    if (options.cleanUpOnly) {
        bool clean = CleanUp(manager);
        CloseServiceHandle(manager);
        return clean ? 0 : 1;
    }
    // Whatever an earlier, interrupted run left behind.
    CleanUp(manager);

    Results results = {};
    results.rounds = options.Number(L"runs", 20);
    results.groupSize = options.Number(L"group-size", 20);
    results.wine = WineVersion();
    results.machine = Narrow(options.values[L"machine"]);
    results.runtimeParts = Narrow(options.values[L"runtime-parts"]);
    bool measured = Measure(manager, options, results);
    bool clean = CleanUp(manager);
    CloseServiceHandle(manager);
    if (!clean) std::fprintf(stderr, "bench: some services or children could not be removed\n");
    if (g_interrupted) {
        std::fprintf(stderr, "bench: interrupted; everything it started is removed\n");
        return 130;
    }
    if (!measured) return 1;

    std::string table = Table(results);
    std::fputs(table.c_str(), stdout);
    if (!WriteTable(options.Path(L"table"), table)) {
        std::fprintf(stderr, "bench: could not write %s\n", Narrow(options.Path(L"table")).c_str());
        return 1;
    }
    return clean ? 0 : 1;
}
