// What a running process uses, read from outside it. Under Wine some of the
// obvious calls answer wrongly for another process (GetProcessTimes gives the
// caller's own times, GetProcessHandleCount gives 0, PrivateUsage is 0), so
// each figure comes from a source that Wine answers correctly.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>
#include <vector>

struct Footprint {
    DWORD threads;           // entries of the process in a Toolhelp32 thread snapshot
    ULONGLONG cpu100ns;      // kernel and user time, GetThreadTimes summed over those threads
    DWORD handles;           // entries of the process in the system handle list
    SIZE_T workingSetBytes;  // GetProcessMemoryInfo; under Wine it includes Wine's own libraries
    SIZE_T pagefileBytes;    // GetProcessMemoryInfo; Linux RssAnon under Wine
};

// False if any of the figures could not be read (the process is gone, or
// may not be opened).
bool ProbeProcess(DWORD pid, Footprint& footprint);

// The file names of the modules loaded in the process (its exe first), read
// from its loader list; empty if that could not be read.
std::vector<std::wstring> ModulesOf(DWORD pid);
