#include "tools/bench/bench_table.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <functional>

#include "tools/bench/bench_output.h"
#include "tools/service_control.h"

namespace {

constexpr double kMiB = 1024.0 * 1024.0;

void Add(std::string& text, const char* format, ...) {
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof(line), format, args);
    va_end(args);
    text += line;
}

using Figure = std::function<double(const ServiceRun&)>;

Spread Of(const Subject& subject, const Figure& figure) {
    std::vector<double> values;
    for (const ServiceRun& run : subject.runs) values.push_back(figure(run));
    return SpreadOf(values);
}

std::string Ratio(double value, double baseline) {
    if (baseline <= 0.0) return "-";
    char text[32];
    std::snprintf(text, sizeof(text), "%.2f", value / baseline);
    return text;
}

void Heading(std::string& text, const char* heading) {
    Add(text, "%-36s%10s%10s%10s%11s%9s\n", heading, "median", "min", "max", "x minimal",
        "x floor");
}

// A row of a figure: its median and spread, then its ratio to each baseline's
// median that it is not itself. The precision suits the figure.
void Row(std::string& text, const char* label, const Spread& s, const Spread* minimal,
         const Spread* floor, int decimals) {
    Add(text, "  %-34s%10.*f%10.*f%10.*f%11s%9s\n", label, decimals, s.median, decimals, s.min,
        decimals, s.max, minimal ? Ratio(s.median, minimal->median).c_str() : "",
        floor ? Ratio(s.median, floor->median).c_str() : "");
}

// One figure for the four services side by side.
void FigureRows(std::string& text, const Results& r, const char* heading, const Figure& figure,
                int decimals) {
    text += heading;
    text += "\n";
    const Spread minimal = Of(r.subjects[kMinimal], figure);
    const Spread floor = Of(r.subjects[kFloor], figure);
    Row(text, r.subjects[kWrapper].label, Of(r.subjects[kWrapper], figure), &minimal, &floor,
        decimals);
    Row(text, r.subjects[kMinimal].label, minimal, nullptr, nullptr, decimals);
    Row(text, r.subjects[kFloor].label, floor, &minimal, nullptr, decimals);
    Row(text, r.subjects[kOnDemand].label, Of(r.subjects[kOnDemand], figure), &minimal, &floor,
        decimals);
}

double CpuMs(const Window& w, int i) {
    return double(w.last[i].cpu100ns - w.first[i].cpu100ns) / 10000.0;
}

void WindowRows(std::string& text, const Results& r) {
    const Window& w = r.window;
    Add(text, "CPU time over one %.1f s window with all four running at once, ms\n", w.seconds);
    const double minimal = CpuMs(w, kMinimal);
    const double floor = CpuMs(w, kFloor);
    for (int i : {int(kWrapper), int(kMinimal), int(kFloor), int(kOnDemand)}) {
        Add(text, "  %-34s%10.0f%10s%10s%11s%9s\n", r.subjects[i].label, CpuMs(w, i), "", "",
            i == kMinimal ? "" : Ratio(CpuMs(w, i), minimal).c_str(),
            i == kMinimal || i == kFloor ? "" : Ratio(CpuMs(w, i), floor).c_str());
    }
    text += "  at its start and end (threads, handles, working set, pagefile usage):\n";
    for (int i : {int(kWrapper), int(kMinimal), int(kFloor), int(kOnDemand)}) {
        const Footprint& a = w.first[i];
        const Footprint& b = w.last[i];
        Add(text, "    %-12s %lu and %lu, %lu and %lu, %.2f and %.2f MiB, %.2f and %.2f MiB\n",
            r.subjects[i].label, a.threads, b.threads, a.handles, b.handles,
            double(a.workingSetBytes) / kMiB, double(b.workingSetBytes) / kMiB,
            double(a.pagefileBytes) / kMiB, double(b.pagefileBytes) / kMiB);
    }
    text += "  loaded at its end, of shell32 user32 gdi32:";
    for (int i : {int(kWrapper), int(kMinimal), int(kFloor), int(kOnDemand)}) {
        Add(text, " %s %s%s", r.subjects[i].label, w.modules[i].empty() ? "none" : w.modules[i].c_str(),
            i == kOnDemand ? "\n" : ";");
    }
}

void GraceRows(std::string& text, const Results& r) {
    const Figure stop = [](const ServiceRun& run) { return run.stopMs; };
    const Figure pastGrace = [](const ServiceRun& run) { return run.stopMs - 2000.0; };
    text += "stop with stop timeout 2000: ControlService until STOPPED, minus 2000 ms\n";
    const Spread minimal = Of(r.subjects[kMinimal], stop);
    const Spread floor = Of(r.subjects[kFloor], stop);
    Row(text, r.subjects[kGrace].label, Of(r.subjects[kGrace], pastGrace), &minimal, &floor, 1);
    text += "  (the baselines have no grace: the ratios are to their stop above)\n";
}

void GroupRows(std::string& text, const Results& r) {
    const char* labels[kGroupKinds] = {r.subjects[kWrapper].label, r.subjects[kMinimal].label,
                                       r.subjects[kFloor].label};
    int clean = 0, total = 0;
    for (int phase = 0; phase < 2; ++phase) {
        Add(text, "%d started together: release of every %s until the last %s, ms\n", r.groupSize,
            phase == 0 ? "StartServiceW" : "ControlService", phase == 0 ? "RUNNING" : "STOPPED");
        Spread spreads[kGroupKinds];
        for (int kind = 0; kind < kGroupKinds; ++kind) {
            std::vector<double> values;
            for (const GroupRun& g : r.groups[kind]) {
                values.push_back(phase == 0 ? g.allRunningMs : g.allStoppedMs);
            }
            spreads[kind] = SpreadOf(values);
        }
        for (int kind = 0; kind < kGroupKinds; ++kind) {
            Row(text, labels[kind], spreads[kind], kind == 1 ? nullptr : &spreads[1],
                kind == 0 ? &spreads[2] : nullptr, 0);
        }
    }
    int retries = 0;
    for (const GroupRun& g : r.groups[kWrapper]) {
        clean += g.stoppedClean;
        total += r.groupSize;
    }
    for (const auto& kind : r.groups) {
        for (const GroupRun& g : kind) retries += g.startRetries;
    }
    Add(text,
        "  wrappers that stopped with exit code 0, left no child and whose process ended with 0:"
        " %d of %d (%u runs)\n",
        clean, total, unsigned(r.groups[kWrapper].size()));
    Add(text,
        "  StartServiceW calls made again after 1055, ERROR_SERVICE_DATABASE_LOCKED (the manager\n"
        "  starts one service at a time; a start that waits for the others over 3 s gives up): %d\n",
        retries);
}

void SizeRows(std::string& text, const Results& r) {
    Heading(text, "stripped size, KiB");
    auto kib = [](unsigned long long bytes) { return double(bytes) / 1024.0; };
    const Spread minimal = {kib(r.sizes[kMinimal]), kib(r.sizes[kMinimal]), kib(r.sizes[kMinimal]), 1};
    const Spread floor = {kib(r.sizes[kFloor]), kib(r.sizes[kFloor]), kib(r.sizes[kFloor]), 1};
    for (int i : {int(kWrapper), int(kMinimal), int(kFloor), int(kOnDemand)}) {
        const double size = kib(r.sizes[i]);
        Add(text, "  %-34s%10.1f%10s%10s%11s%9s\n", r.subjects[i].label, size, "", "",
            i == kMinimal ? "" : Ratio(size, minimal.median).c_str(),
            i == kMinimal || i == kFloor ? "" : Ratio(size, floor.median).c_str());
    }
    Add(text, "  %-34s%10.1f   (the wrapper is %s times it)\n", "C++ runtime floor",
        kib(r.runtimeFloorSize), Ratio(double(r.sizes[kWrapper]), double(r.runtimeFloorSize)).c_str());
    if (!r.runtimeParts.empty()) Add(text, "  (%s)\n", r.runtimeParts.c_str());
}

void Shell32Rows(std::string& text, const Results& r) {
    const Subject& kept = r.subjects[kWrapper];
    const Subject& onDemand = r.subjects[kOnDemand];
    const Subject& minimal = r.subjects[kMinimal];
    auto median = [](const Subject& s, const Figure& f) { return Of(s, f).median; };
    const Figure start = [](const ServiceRun& run) { return run.startMs; };
    const Figure handles = [](const ServiceRun& run) { return double(run.footprint.handles); };
    const Figure threads = [](const ServiceRun& run) { return double(run.footprint.threads); };
    const Figure workingSet = [](const ServiceRun& run) {
        return double(run.footprint.workingSetBytes) / kMiB;
    };
    const Figure pagefile = [](const ServiceRun& run) {
        return double(run.footprint.pagefileBytes) / kMiB;
    };
    text += "shell32 kept loaded for the service's life, medians of the running footprint:\n";
    for (const Subject* than : {&onDemand, &minimal}) {
        Add(text,
            "  wrapper minus %-10s start %+6.1f ms, threads %+.0f, handles %+.0f, "
            "working set %+.2f MiB, pagefile %+.2f MiB\n",
            than->label, median(kept, start) - median(*than, start),
            median(kept, threads) - median(*than, threads),
            median(kept, handles) - median(*than, handles),
            median(kept, workingSet) - median(*than, workingSet),
            median(kept, pagefile) - median(*than, pagefile));
    }
    Add(text, "  (%s minus floor: handles %+.0f, working set %+.2f MiB)\n", onDemand.label,
        median(onDemand, handles) - median(r.subjects[kFloor], handles),
        median(onDemand, workingSet) - median(r.subjects[kFloor], workingSet));
}

// A row of the launcher's figures: its ratio to the baseline's median and
// the goal that ratio is held to.
void GoalRow(std::string& text, const char* label, const Spread& s, const Spread* baseline,
             const char* goal, int decimals) {
    Add(text, "  %-34s%10.*f%10.*f%10.*f%11s  %s\n", label, decimals, s.median, decimals, s.min,
        decimals, s.max, baseline ? Ratio(s.median, baseline->median).c_str() : "", goal);
}

void LauncherServiceRows(std::string& text, const Results& r) {
    const Subject& launcher = r.subjects[kLauncher];
    const Subject& direct = r.subjects[kWrapper];
    const Figure start = [](const ServiceRun& run) { return run.startMs; };
    const Figure stop = [](const ServiceRun& run) { return run.stopMs; };
    const Figure workingSet = [](const ServiceRun& run) {
        return double(run.childFootprint.workingSetBytes) / kMiB;
    };
    Add(text, "%-36s%10s%10s%10s%11s  %s\n", "the launcher", "median", "min", "max", "x direct",
        "goal");
    text += "start: StartServiceW until RUNNING, ms\n";
    const Spread directStart = Of(direct, start);
    GoalRow(text, "through the launcher", Of(launcher, start), &directStart, "at most 1.30", 1);
    GoalRow(text, "direct (wrapper above)", directStart, nullptr, "", 1);
    text += "start: StartServiceW until the program was seen under the launcher (a look each 5 ms), ms\n";
    const Spread program = Of(launcher, [](const ServiceRun& run) { return run.programMs; });
    GoalRow(text, "through the launcher", program, &directStart, "", 1);
    text += "stop, stop timeout 0: ControlService until STOPPED, ms\n";
    const Spread directStop = Of(direct, stop);
    GoalRow(text, "through the launcher", Of(launcher, stop), &directStop, "", 1);
    text += "the wrapper's child 300 ms after RUNNING (after the program, under the launcher):"
            " working set, MiB\n";
    const Spread childSet = Of(direct, workingSet);
    GoalRow(text, "service-wrapper-launcher.exe", Of(launcher, workingSet), &childSet, "", 2);
    GoalRow(text, "bench_child.exe, direct", childSet, nullptr, "", 2);
    const Footprint& a = r.window.launcherFirst;
    const Footprint& b = r.window.launcherLast;
    Add(text,
        "the launcher over the %.1f s window: CPU time %.0f ms (goal 0), threads %lu and %lu,\n"
        "  handles %lu and %lu, working set %.2f and %.2f MiB\n",
        r.window.seconds, double(b.cpu100ns - a.cpu100ns) / 10000.0, a.threads, b.threads,
        a.handles, b.handles, double(a.workingSetBytes) / kMiB, double(b.workingSetBytes) / kMiB);
}

void LauncherOutputRows(std::string& text, const Results& r) {
    const OutputFigures& o = r.output;
    const char* labels[kRoutes] = {"through the launcher", "cmd.exe /c ... > file"};
    const double mib = double(o.floodBytes) / kMiB;
    Add(text, "output into a file: %.0f MiB in %u-byte lines written 4 KiB at a time, %u runs each, ms\n",
        mib, kFloodLineBytes, unsigned(o.floodMs[kThroughLauncher].size()));
    const Spread shell = SpreadOf(o.floodMs[kThroughShell]);
    const Spread launcher = SpreadOf(o.floodMs[kThroughLauncher]);
    GoalRow(text, labels[kThroughLauncher], launcher, &shell, "", 0);
    GoalRow(text, labels[kThroughShell], shell, nullptr, "", 0);
    const Spread pipe = SpreadOf(o.floodPipeMs);
    GoalRow(text, "a pipe read into a file (the floor)", pipe, &shell, "", 0);
    Add(text, "  throughput %.0f MiB/s through the launcher, %.0f MiB/s by the shell: %s times"
              " (goal at least 0.80)\n",
        launcher.median > 0 ? mib * 1000.0 / launcher.median : 0.0,
        shell.median > 0 ? mib * 1000.0 / shell.median : 0.0, Ratio(shell.median, launcher.median).c_str());
    Add(text, "  the floor of a logger on a pipe: %.0f MiB/s, %s times the shell's; the launcher %s times"
              " the floor's\n",
        pipe.median > 0 ? mib * 1000.0 / pipe.median : 0.0, Ratio(shell.median, pipe.median).c_str(),
        Ratio(pipe.median, launcher.median).c_str());
    Add(text, "time from a write to its line read back from the file, ms: %u lines, one each %u ms,"
              " in %d runs each\n",
        o.tickCount, o.tickIntervalMs, o.tickRuns);
    const Spread shellLatency = SpreadOf(o.latencyMs[kThroughShell]);
    GoalRow(text, labels[kThroughLauncher], SpreadOf(o.latencyMs[kThroughLauncher]), &shellLatency,
            "", 2);
    GoalRow(text, labels[kThroughShell], shellLatency, nullptr,
            "(the file read every 1 ms)", 2);
    text += "from the program's start until its first line was read back, ms\n";
    const Spread shellFirst = SpreadOf(o.firstLineMs[kThroughShell]);
    GoalRow(text, labels[kThroughLauncher], SpreadOf(o.firstLineMs[kThroughLauncher]), &shellFirst,
            "", 1);
    GoalRow(text, labels[kThroughShell], shellFirst, nullptr, "", 1);
}

void NoiseRows(std::string& text, const Results& r) {
    const Subject& minimal = r.subjects[kMinimal];
    const Spread start = Of(minimal, [](const ServiceRun& run) { return run.startMs; });
    const Spread stop = Of(minimal, [](const ServiceRun& run) { return run.stopMs; });
    Add(text,
        "noise: the minimal service's own start ranged %.1f to %.1f ms (max %.2f x its median),"
        " its stop %.1f to %.1f ms;\n",
        start.min, start.max, start.median > 0 ? start.max / start.median : 0.0, stop.min,
        stop.max);
    Add(text,
        "  the machine's cores were %.0f%% busy over the whole run and %.0f%% in the 10 s window,"
        " while the services sat idle (GetSystemTimes)\n",
        r.machineBusy * 100.0, r.window.machineBusy * 100.0);
}

const char kSources[] =
    "sources: start and stop from QueryPerformanceCounter just before StartServiceW or\n"
    "  ControlService (made from a second thread) to the NotifyServiceStatusChangeW callback\n"
    "  registered for RUNNING or STOPPED before the call, on a thread waiting alertably; no polling.\n"
    "  Footprint read 300 ms after RUNNING in every run: threads from a Toolhelp32 snapshot, CPU as\n"
    "  GetThreadTimes summed over them (10 ms ticks; Wine's GetProcessTimes gives the caller's own),\n"
    "  handles as the pid's entries in NtQuerySystemInformation(SystemHandleInformation) (Wine's\n"
    "  GetProcessHandleCount gives 0), working set and PagefileUsage from GetProcessMemoryInfo\n"
    "  (PagefileUsage is Linux RssAnon under Wine, where PrivateUsage is 0; the working set includes\n"
    "  Wine's own libraries). Sizes are the stripped files.\n";

// What was measured, under what, and each service's command line.
void SubjectRows(std::string& text, const Results& r) {
    Add(text, "service-wrapper under %s, %d runs of each service started in turn", r.wine.c_str(),
        r.rounds);
    text += " (after one warm-up round)\n";
    if (!r.machine.empty()) Add(text, "machine: %s\n", r.machine.c_str());
    for (int i = 0; i < kSubjects; ++i) {
        std::string line = Narrow(FileName(r.subjects[i].exe));
        for (const std::wstring& element : r.subjects[i].elements) {
            line += " " + Narrow(FileName(element));
        }
        Add(text, "  %-13s %s\n", r.subjects[i].label, line.c_str());
    }
    text += "  bench_child.exe is the end-to-end tests' child set to run forever: it ignores the "
            "stop.\n\n";
}

// The figures of the runs in turn: start, stop and the footprint.
void RunRows(std::string& text, const Results& r) {
    FigureRows(text, r, "start: StartServiceW until RUNNING, ms",
               [](const ServiceRun& run) { return run.startMs; }, 1);
    FigureRows(text, r, "stop, stop timeout 0: ControlService until STOPPED, ms",
               [](const ServiceRun& run) { return run.stopMs; }, 1);
    GraceRows(text, r);
    FigureRows(text, r, "threads", [](const ServiceRun& run) {
        return double(run.footprint.threads);
    }, 0);
    FigureRows(text, r, "handles", [](const ServiceRun& run) {
        return double(run.footprint.handles);
    }, 0);
    FigureRows(text, r, "working set, MiB", [](const ServiceRun& run) {
        return double(run.footprint.workingSetBytes) / kMiB;
    }, 2);
    FigureRows(text, r, "pagefile usage (RssAnon), MiB", [](const ServiceRun& run) {
        return double(run.footprint.pagefileBytes) / kMiB;
    }, 2);
}

void FailureRows(std::string& text, const Results& r) {
    if (r.failures.empty()) {
        text += "failed runs: none\n";
    } else {
        Add(text, "failed runs, each made again: %u\n", unsigned(r.failures.size()));
        for (const std::string& failure : r.failures) Add(text, "  %s\n", failure.c_str());
    }
}

}  // namespace

Spread SpreadOf(std::vector<double> values) {
    if (values.empty()) return Spread{0, 0, 0, 0};
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    const double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
    return Spread{median, values.front(), values.back(), n};
}

std::string Table(const Results& r) {
    std::string text;
    SubjectRows(text, r);
    Heading(text, "figure");
    RunRows(text, r);
    WindowRows(text, r);
    GroupRows(text, r);
    text += "\n";
    SizeRows(text, r);
    text += "\n";
    Shell32Rows(text, r);
    text += "\n";
    LauncherServiceRows(text, r);
    LauncherOutputRows(text, r);
    text += "\n";
    NoiseRows(text, r);
    text += kSources;
    FailureRows(text, r);
    Add(text, "the whole run took %.0f s\n", r.seconds);
    return text;
}
