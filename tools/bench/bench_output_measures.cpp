// The launcher's output measured: a flood of lines through the launcher, by
// the shell and through a pipe, and a line every few milliseconds through
// the first two, each timed as the table shows it.
#include "tools/bench/bench_driver.h"

#include "tools/bench/bench_launcher.h"

namespace {

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

}  // namespace

bool MeasureOutput(const Options& options, Results& r) {
    const std::wstring writer = options.Path(L"work") + L"\\" + kWriterName;
    if (!CopyFileW(options.Path(L"writer").c_str(), writer.c_str(), /*bFailIfExists=*/FALSE)) {
        Progress("the writer could not be copied to %s: %lu", Narrow(writer).c_str(), GetLastError());
        return false;
    }
    return MeasureFloods(options, writer, r) && MeasureTicks(options, writer, r);
}
