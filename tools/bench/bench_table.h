// The benchmark's figures and the table made from them.
#pragma once

#include <string>
#include <vector>

#include "tools/bench/bench_runs.h"

// One service under measurement.
struct Subject {
    const char* label;                   // its row in the table
    std::wstring exe;                    // as a Windows path
    std::wstring service;                // the name it is installed under
    std::vector<std::wstring> elements;  // its command line after the exe
    std::wstring child;                  // the exe name of its child; empty: none
    std::vector<ServiceRun> runs;        // the measured runs that went through
};

// The four services measured side by side, the wrapper with a grace, and the
// wrapper running the same child through the launcher.
enum { kWrapper, kMinimal, kFloor, kOnDemand, kGrace, kLauncher, kSubjects };
// The kinds run 20 at a time: the wrapper and the two baselines.
enum { kGroupKinds = 3 };

struct Window {
    double seconds;
    Footprint first[kOnDemand + 1];
    Footprint last[kOnDemand + 1];
    double machineBusy;  // share of all cores' time spent busy over the window
    std::string modules[kOnDemand + 1];  // which of shell32, user32, gdi32 are loaded at its end
    Footprint launcherFirst, launcherLast;  // the launcher's process, running beside the four
};

// The writer's output into a file through the launcher and through the
// shell's redirection, each run in turn with the other.
enum { kThroughLauncher, kThroughShell, kRoutes };
struct OutputFigures {
    unsigned long long floodBytes;
    std::vector<double> floodMs[kRoutes];      // each run, from its start until it ended
    std::vector<double> floodPipeMs;           // each run through a pipe read by the driver
    unsigned tickCount;
    unsigned tickIntervalMs;
    int tickRuns;
    std::vector<double> latencyMs[kRoutes];    // every line of every run
    std::vector<double> firstLineMs[kRoutes];  // each run, from its start until its first line
};

struct Results {
    std::vector<Subject> subjects;
    int rounds;
    Window window;
    int groupSize;
    std::vector<GroupRun> groups[kGroupKinds];
    OutputFigures output;
    unsigned long long sizes[kOnDemand + 1];
    unsigned long long runtimeFloorSize;
    std::string runtimeParts;            // the link maps' verdict, from scripts/bench
    std::string machine;                 // what the machine is, from scripts/bench
    std::string wine;                    // Wine's version
    std::vector<std::string> failures;   // runs that failed and were made again
    double machineBusy;                  // over the whole run
    double seconds;                      // the whole run
};

struct Spread {
    double median, min, max;
    size_t count;
};

// Median (of the middle two for an even count), least and greatest.
Spread SpreadOf(std::vector<double> values);

std::string Table(const Results& results);
