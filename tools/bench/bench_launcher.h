// The launcher's output measured against the shell's redirection: the same
// writer run by the driver through each, its output read back from the file.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>
#include <vector>

// How the writer's output reaches a file: the command line that runs it,
// in which folder, and the file its output ends up in.
struct OutputRoute {
    std::wstring commandLine;
    std::wstring folder;
    std::wstring file;
};

// Through the launcher into <logDir>\output.log, the log big enough for the
// whole run; and through cmd.exe's redirection into <folder>\<fileName>, the
// writer copied into that folder.
OutputRoute LauncherRoute(const std::wstring& launcher, const std::wstring& logDir,
                          const std::wstring& writer, const std::vector<std::wstring>& arguments);
OutputRoute ShellRoute(const std::wstring& folder, const std::wstring& writerName,
                       const std::wstring& fileName, const std::vector<std::wstring>& arguments);

struct FloodRun {
    bool ok;
    std::string failure;
    double ms;  // from CreateProcessW until the process ended
};

// Runs the writer's flood of `bytes` by the route and checks that the file
// holds every line once, whole and in order.
FloodRun RunFlood(const OutputRoute& route, unsigned long long bytes);

// The least any logger on a pipe can do, as a floor for the launcher: this
// process reads the writer's output through a pipe of the launcher's size,
// and writes each read into the file at once.
FloodRun RunFloodThroughPipe(const std::wstring& writer, const std::wstring& file,
                             unsigned long long bytes);

struct TickRun {
    bool ok;
    std::string failure;
    std::vector<double> latenciesMs;  // each line's write until this process read it
    double firstLineMs;               // from CreateProcessW until the first line was read
};

// Runs the writer's ticks by the route, reading the file as it grows: every
// millisecond, or at once after a read that found bytes.
TickRun RunTicks(const OutputRoute& route, unsigned count);
