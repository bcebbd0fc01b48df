// What the benchmark driver's files share: the names its services and
// processes have, whether it was interrupted, its progress lines, its
// options, installing a subject, and the measuring itself.
#pragma once

#include <cwchar>
#include <map>
#include <string>

#include "tools/bench/bench_table.h"
#include "tools/service_control.h"

const wchar_t kNamePrefix[] = L"svcwrap-bench-";
const wchar_t kChildName[] = L"bench_child.exe";
const wchar_t kLauncherName[] = L"service-wrapper-launcher.exe";
const wchar_t kWriterName[] = L"bench_writer.exe";

// Set by Ctrl+C: every loop ends at its next look and all is removed.
extern volatile bool g_interrupted;

// A line on the error stream: "bench: " and the text.
__attribute__((format(printf, 1, 2))) void Progress(const char* format, ...);

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

// Creates the subject's service; says why not on the error stream.
bool Install(SC_HANDLE manager, const Subject& subject);

// Every measure in turn, each service installed first; the figures go into r.
bool Measure(SC_HANDLE manager, const Options& options, Results& r);

// The writer's output through the launcher, by the shell and through a pipe.
bool MeasureOutput(const Options& options, Results& r);
