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
#include "tools/bench/bench_driver.h"

#include <cstdarg>
#include <cstdio>

volatile bool g_interrupted = false;

__attribute__((format(printf, 1, 2))) void Progress(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::fprintf(stderr, "bench: ");
    std::vfprintf(stderr, format, args);
    std::fprintf(stderr, "\n");
    va_end(args);
}

namespace {

BOOL WINAPI OnConsoleControl(DWORD) {
    g_interrupted = true;
    return TRUE;
}

std::string WineVersion() {
    using VersionFunction = const char*(CDECL*)();
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    auto version = reinterpret_cast<VersionFunction>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "wine_get_version")));
    return version ? std::string("Wine ") + version() : std::string("Windows (not Wine)");
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

bool WriteTable(const std::wstring& path, const std::string& table) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = WriteFile(file, table.data(), DWORD(table.size()), &written, nullptr) &&
              written == table.size();
    CloseHandle(file);
    return ok;
}

// Says how the run ended and, when it measured everything, prints the table
// and writes it; the exit code.
int Finish(const Options& options, const Results& results, bool measured, bool clean) {
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

}  // namespace

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
    return Finish(options, results, measured, clean);
}
