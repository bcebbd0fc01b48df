// The configured command line of a wrapped service, composed and read back
// by the same splitting that the wrapper uses on it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "setup/model/launcher_part.h"

// The wrapper's path in quotation marks (the first element takes no escapes,
// so it must hold no quotation mark), the stop timeout, then the program and
// each argument quoted by the wrapper's own rule for its child's arguments.
std::wstring ComposeCommandLineText(const std::wstring& wrapperPath, DWORD stopTimeoutMs,
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

// The file the manager starts for a stored command line: a quoted first
// element up to its closing mark; unquoted, the text up to the first ".exe"
// (any case) that ends at a blank or the end, else up to the first blank.
// Unquoted with a blank in it, Windows also tries each shorter part first,
// which is the unquoted-path weakness.
std::wstring ManagerProgramPath(const std::wstring& line);

// Whether a path names a file called service-wrapper.exe, in any folder and
// any letter case.
bool IsWrapperPath(const std::wstring& path);

// A stored command line, decoded as the wrapper will read it.
struct ServiceCommandLine {
    std::wstring text;                   // as the manager stores it
    bool split;                          // false: the platform could not split it
    std::vector<std::wstring> elements;  // as the wrapper's splitting reads it
    std::wstring managerProgram;         // the file the manager starts
    bool wrapped;                        // managerProgram is service-wrapper.exe
    // Wrapped, element 0 is the file the manager starts, element 1 a stop
    // timeout the wrapper takes and element 2 a program: the fields below
    // hold them. Not so for an unquoted wrapper path with a blank in it: the
    // wrapper ends element 0 at the blank, so every element after it shifts.
    bool decoded;
    std::wstring wrapperPath;
    DWORD stopTimeoutMs;
    std::wstring program;
    std::vector<std::wstring> arguments;
    // The launcher between the wrapper and the program, when element 2 is
    // service-wrapper-launcher.exe and its options read as it reads them;
    // program and arguments are then the ones after its --. A launcher whose
    // options it would refuse leaves the line not decoded.
    std::optional<LauncherPart> launcher;
};

ServiceCommandLine DecodeServiceCommandLine(const std::wstring& text);

// The line install writes, with the elements it is made of, decoded: the
// program through the launcher when one is given.
ServiceCommandLine ComposeCommandLine(const std::wstring& wrapperPath, DWORD stopTimeoutMs,
                                       const std::wstring& program,
                                       const std::vector<std::wstring>& arguments,
                                       const std::optional<LauncherPart>& launcher = std::nullopt);

// The files a service runs or reads, which the audit judges: the file the
// manager starts, then, read as the wrapper's, the program, and with the
// launcher the launcher and its environment file. None empty.
std::vector<std::wstring> FilesOfService(const ServiceCommandLine& line);
