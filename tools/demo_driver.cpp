// Drives the demo: installs the wrapper as a service under its default name,
// starts it, prints every status report as it happens together with what the
// child logs, stops it, and removes it again.
//
//   demo_driver [--follow <log>] [--run-ms <ms>] <service-wrapper.exe> <stop-timeout-ms>
//               <program> [arguments...]
#include <cstdarg>
#include <cstdio>
#include <cwchar>

#include "tools/service_control.h"
#include "tools/status_watch.h"

namespace {

const wchar_t kServiceName[] = L"morvi-firmware-updater-service-wrapper";

struct ChildLine {
    ULONGLONG atMs;  // when it was read
    std::string text;
};

struct Demo {
    ULONGLONG startMs;
    StatusWatch* watch;
    size_t reportsPrinted;
    std::wstring followPath;
    LONGLONG followOffset;
    std::string partialLine;
    std::vector<ChildLine> childLines;  // read, not printed yet
};

Demo g_demo;

void Say(ULONGLONG atMs, const char* format, ...) {
    std::printf("%+9.3f s  ", double(LONGLONG(atMs - g_demo.startMs)) / 1000.0);
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::printf("\n");
    std::fflush(stdout);
}

void SayNow(const char* format, const char* text) { Say(GetTickCount64(), format, text); }

void PrintReport(const Report& report) {
    const SERVICE_STATUS_PROCESS& s = report.status;
    Say(report.atMs, "report %-13s checkpoint %lu  wait hint %lu ms  exit code %lu  accepts 0x%lx",
        StateName(s.dwCurrentState), s.dwCheckPoint, s.dwWaitHint, s.dwWin32ExitCode,
        s.dwControlsAccepted);
}

// Reports and child lines are printed in time order, each once it is old
// enough that no earlier report can still be placed ahead of it (or at once,
// with all).
void PrintSettled(bool all) {
    const std::vector<Report>& reports = Reports(g_demo.watch);
    const ULONGLONG now = GetTickCount64();
    auto settled = [&](ULONGLONG atMs) { return all || now - atMs >= 50; };
    for (;;) {
        const Report* report = nullptr;
        if (g_demo.reportsPrinted < reports.size() && settled(reports[g_demo.reportsPrinted].atMs)) {
            report = &reports[g_demo.reportsPrinted];
        }
        const ChildLine* line = nullptr;
        if (!g_demo.childLines.empty() && settled(g_demo.childLines.front().atMs)) {
            line = &g_demo.childLines.front();
        }
        if (!report && !line) return;
        if (report && (!line || report->atMs <= line->atMs)) {
            PrintReport(*report);
            ++g_demo.reportsPrinted;
        } else {
            Say(line->atMs, "child: %s", line->text.c_str());
            g_demo.childLines.erase(g_demo.childLines.begin());
        }
    }
}

void PrintNewLogLines() {
    if (g_demo.followPath.empty()) return;
    HANDLE log = CreateFileW(g_demo.followPath.c_str(), GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
    if (log == INVALID_HANDLE_VALUE) return;
    LARGE_INTEGER offset;
    offset.QuadPart = g_demo.followOffset;
    SetFilePointerEx(log, offset, nullptr, FILE_BEGIN);
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(log, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
        g_demo.followOffset += read;
        g_demo.partialLine.append(buffer, read);
    }
    CloseHandle(log);
    for (size_t end; (end = g_demo.partialLine.find('\n')) != std::string::npos;) {
        g_demo.childLines.push_back({GetTickCount64(), g_demo.partialLine.substr(0, end)});
        g_demo.partialLine.erase(0, end + 1);
    }
}

bool Stopped() {
    const std::vector<Report>& reports = Reports(g_demo.watch);
    return !reports.empty() && reports.back().status.dwCurrentState == SERVICE_STOPPED;
}

// Follows the service for up to waitMs; with untilStopped, only until it has
// reported stopped. True if it has.
bool Follow(ULONGLONG waitMs, bool untilStopped) {
    ULONGLONG deadline = GetTickCount64() + waitMs;
    for (;;) {
        PrintNewLogLines();
        PrintSettled(/*all=*/false);
        if (untilStopped && Stopped() && g_demo.reportsPrinted == Reports(g_demo.watch).size()) {
            return true;
        }
        ULONGLONG now = GetTickCount64();
        if (now >= deadline) return Stopped();
        PumpReports(g_demo.watch, DWORD(deadline - now < 50 ? deadline - now : 50));
    }
}

bool StopAndFollow(SC_HANDLE service, ULONGLONG stopTimeoutMs) {
    SayNow("%s", "ControlService(SERVICE_CONTROL_STOP)");
    SERVICE_STATUS status;
    if (!ControlService(service, SERVICE_CONTROL_STOP, &status)) {
        Say(GetTickCount64(), "ControlService gave error %lu", GetLastError());
    }
    return Follow(stopTimeoutMs + 20000, /*untilStopped=*/true);
}

// Says whether the service ended as it should: stopped, with exit code 0 (the
// program ended by itself with 0, or was stopped), its program gone and the
// service removed. The demo's exit code: 0 if so, else 1.
int Verdict(DWORD started, bool stopped, const std::wstring& program, unsigned left,
            bool removed) {
    const std::vector<Report>& reports = Reports(g_demo.watch);
    const SERVICE_STATUS_PROCESS* last = reports.empty() ? nullptr : &reports.back().status;
    const ULONGLONG now = GetTickCount64();
    bool ok = false;
    if (!last && started != ERROR_SUCCESS) {
        Say(now, "result: the service could not be started: StartServiceW gave error %lu", started);
    } else if (!stopped || !last) {
        Say(now, "result: the service did not report stopped");
    } else if (last->dwWin32ExitCode == ERROR_SERVICE_SPECIFIC_ERROR) {
        Say(now, "result: the service failed: exit code 1066, the program's own exit code %lu (0x%08lx)",
            last->dwServiceSpecificExitCode, last->dwServiceSpecificExitCode);
    } else if (last->dwWin32ExitCode != ERROR_SUCCESS) {
        Say(now, "result: the service failed: exit code %lu", last->dwWin32ExitCode);
    } else if (left > 0) {
        Say(now, "result: the service stopped, but %u processes of %s are still running", left,
            Narrow(FileName(program)).c_str());
    } else if (!removed) {
        Say(now, "result: the service stopped, but could not be removed");
    } else {
        Say(now, "result: the service ended as it should, with exit code 0");
        ok = true;
    }
    return ok ? 0 : 1;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: demo_driver [--follow <log>] [--run-ms <ms>] <service-wrapper.exe> "
                 "<stop-timeout-ms> <program> [arguments...]\n");
    return 2;
}

// The --follow and --run-ms options before the positional arguments; at
// ends on the first of those. False on an option it does not know.
bool ReadOptions(int argc, wchar_t** argv, ULONGLONG& runMs, int& at) {
    for (; at + 1 < argc && argv[at][0] == L'-' && argv[at][1] == L'-'; at += 2) {
        if (std::wcscmp(argv[at], L"--follow") == 0) {
            g_demo.followPath = WindowsPath(argv[at + 1]);
        } else if (std::wcscmp(argv[at], L"--run-ms") == 0) {
            runMs = std::wcstoul(argv[at + 1], nullptr, 10);
        } else {
            return false;
        }
    }
    return true;
}

// Starts the service and follows its life for runMs, then stops it if it
// still runs. Whether it stopped; started is StartServiceW's error.
bool StartFollowAndStop(SC_HANDLE manager, SC_HANDLE service, ULONGLONG runMs,
                        ULONGLONG stopTimeoutMs, DWORD& started) {
    g_demo.watch = WatchService(manager, kServiceName);
    SayNow("%s", "StartServiceW");
    started = StartWatched(g_demo.watch, service, {});
    if (started != ERROR_SUCCESS) Say(GetTickCount64(), "StartServiceW gave error %lu", started);
    bool stopped = Follow(runMs, /*untilStopped=*/true);

    DWORD preshutdownMs = 0;
    if (ReadPreshutdownTimeout(manager, kServiceName, preshutdownMs)) {
        Say(GetTickCount64(), "configuration: pre-shutdown timeout %lu ms", preshutdownMs);
    }
    // A service whose start failed before it made a report has nothing to stop.
    if (!stopped && !(started != ERROR_SUCCESS && Reports(g_demo.watch).empty())) {
        stopped = StopAndFollow(service, stopTimeoutMs);
    }
    return stopped;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    g_demo.startMs = GetTickCount64();
    ULONGLONG runMs = 4000;
    int at = 1;
    if (!ReadOptions(argc, argv, runMs, at) || argc - at < 3) return Usage();
    std::wstring wrapperPath = WindowsPath(argv[at]);
    ULONGLONG stopTimeoutMs = std::wcstoul(argv[at + 1], nullptr, 10);
    std::wstring program = WindowsPath(argv[at + 2]);
    std::vector<std::wstring> elements = {argv[at + 1], program};
    for (int i = at + 3; i < argc; ++i) elements.push_back(argv[i]);

    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager) {
        std::fprintf(stderr, "demo: OpenSCManagerW failed: %lu\n", GetLastError());
        return 1;
    }
    std::wstring binaryPath = BuildBinaryPath(wrapperPath, elements);
    SayNow("service %s", Narrow(kServiceName).c_str());
    SayNow("binPath  %s", Narrow(binaryPath).c_str());
    SC_HANDLE service = InstallService(manager, kServiceName, binaryPath);
    if (!service) {
        std::fprintf(stderr, "demo: CreateServiceW failed: %lu\n", GetLastError());
        CloseServiceHandle(manager);
        return 1;
    }

    DWORD started = ERROR_SUCCESS;
    bool stopped = StartFollowAndStop(manager, service, runMs, stopTimeoutMs, started);
    PrintNewLogLines();
    PrintSettled(/*all=*/true);
    unsigned left = unsigned(ProcessesNamed(FileName(program)).size());
    Say(GetTickCount64(), "processes of %s still running: %u", Narrow(FileName(program)).c_str(),
        left);

    EndWatch(g_demo.watch);  // its reports stay readable
    CloseServiceHandle(service);
    bool removed = RemoveService(manager, kServiceName, 15000);
    CloseServiceHandle(manager);
    SayNow("%s", removed ? "service removed" : "service could not be removed");
    return Verdict(started, stopped, program, left, removed);
}
