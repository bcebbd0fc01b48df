// The configured command line of a wrapped service, composed and read back
// by the same splitting that the wrapper uses on it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

// The wrapper's path in quotation marks (the first element takes no escapes,
// so it must hold no quotation mark), the stop timeout, then the program and
// each argument quoted by the wrapper's own rule for its child's arguments.
std::wstring ComposeServiceCommandLine(const std::wstring& wrapperPath, DWORD stopTimeoutMs,
                                       const std::wstring& program,
                                       const std::vector<std::wstring>& arguments);

// The elements as CommandLineToArgvW gives them; none for an empty line
// (which the platform would read as the caller's own path). Nothing if the
// platform cannot split it.
std::optional<std::vector<std::wstring>> SplitCommandLineElements(const std::wstring& line);

// Where a line read back differs from the elements it was made from, in
// words; empty when it gives back exactly those elements.
std::wstring CompareSplit(const std::wstring& line, const std::vector<std::wstring>& expected);

// A path that names the same file whatever the current directory: a drive
// and a separator, or two separators (a share or a \\?\ path).
bool IsAbsolutePath(const std::wstring& path);

// A bare name: no folder and no drive, so the platform's search finds it.
bool IsBareName(const std::wstring& path);
