// The launcher's command line: its options, then --, then the program and its
// arguments. One parser and one composer, shared with the setup program, so
// that what the setup program writes is what the launcher reads.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

constexpr unsigned long long kDefaultLogSizeBytes = 10485760;  // 10 MiB
constexpr unsigned kDefaultLogKeep = 5;
constexpr unsigned kMaxLogKeep = 999;

enum class StopSignal { kCtrlC, kNone };

struct LauncherOptions {
    std::wstring serviceName;           // --service; empty: no watch
    std::wstring logDir;                // --log-dir; empty: no log
    unsigned long long logSizeBytes;    // --log-size
    unsigned logKeep;                   // --log-keep
    bool logTimestamps;                 // --log-timestamps
    std::wstring workingDir;            // --working-dir; empty: the program's folder
    std::vector<std::wstring> env;      // --env NAME=VALUE, in the order given
    std::wstring envFile;               // --env-file; empty: none
    StopSignal stopSignal;              // --stop-signal
    std::wstring program;               // the element after --
    std::vector<std::wstring> arguments;  // the elements after the program
};

LauncherOptions DefaultLauncherOptions();

struct LauncherParse {
    bool ok;
    LauncherOptions options;
    std::wstring error;  // in plain words, naming the option
};

// elements: the launcher's own command line without element 0 (its own path).
LauncherParse ParseLauncherOptions(const std::vector<std::wstring>& elements);

// The elements from the first option to the program's last argument: each
// option only where it differs from its default (--service and --log-dir
// whenever they have a value), in the order of the table in the .cpp.
std::vector<std::wstring> ComposeLauncherElements(const LauncherOptions& options);

// The folder the program runs in without --working-dir: the one its full
// path names. A drive's root keeps its separator (C:\, \\?\C:\): without
// it, C: is the drive's current folder and \\?\C: the volume, no folder.
std::wstring ProgramFolder(const std::wstring& programPath);

// Sizes as people type them: decimal bytes with an optional K, M or G (any
// case, times 1024 each); nothing if not, or if the size passes 64 bits.
std::optional<unsigned long long> ParseByteSize(const std::wstring& text);
