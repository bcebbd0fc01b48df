// The launcher in a service's command line: service-wrapper.exe starts
// service-wrapper-launcher.exe, from its own folder, with the launcher's
// options, --, and then the program and its arguments. The launcher's own
// composer and parser write and read that part, so that what the setup
// program writes is what the launcher reads.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "launcher/launcher_options.h"

// The launcher's path and its options; the options' program and arguments
// are left empty: the command line holds them as its own.
struct LauncherPart {
    std::wstring path;
    LauncherOptions options;
};

// Whether a path names a file called service-wrapper-launcher.exe.
bool IsLauncherPath(const std::wstring& path);

// service-wrapper-launcher.exe in the wrapper's folder.
std::wstring LauncherPathBeside(const std::wstring& wrapperPath);

// The elements the wrapper passes to its child: the launcher, its options,
// --, the program and its arguments; without a launcher, the program and
// its arguments alone.
std::vector<std::wstring> ChildElements(const std::optional<LauncherPart>& launcher,
                                        const std::wstring& program,
                                        const std::vector<std::wstring>& arguments);

// The child's elements read back: with the launcher first and options it
// takes, the part, and the program and arguments after its --. Else none,
// and the program and arguments are the elements as they are. ok is false
// for a launcher whose options it would refuse, with the launcher's words.
struct ChildDecode {
    bool ok;
    std::optional<LauncherPart> launcher;
    std::wstring program;
    std::vector<std::wstring> arguments;
    std::wstring error;
};
ChildDecode DecodeChildElements(const std::vector<std::wstring>& elements);

// What install, apply and set were given of the launcher's options; each
// none where not given.
struct LaunchOptions {
    bool direct = false;                       // --direct: no launcher at all
    std::optional<std::wstring> logDir;        // given none: empty, no log
    std::optional<unsigned long long> logSizeBytes;
    std::optional<unsigned> logKeep;
    std::optional<bool> logTimestamps;         // --log-timestamps, or set's --no-log-timestamps
    std::optional<std::wstring> workingDir;    // given none: empty, the program's folder
    std::vector<std::wstring> env;             // NAME=VALUE, each time given
    std::vector<std::wstring> unsetEnv;        // set's --unset-env NAME
    std::optional<std::wstring> envFile;       // given none: empty
    std::optional<StopSignal> stopSignal;
};

// Whether any option was given that asks for what only the launcher does:
// one that turns something off or names none does not.
bool GivesLauncherOption(const LaunchOptions& given);

// install and apply: the launcher beside the wrapper, every option not
// given at its default (the log in defaultLogDir); none with --direct.
std::optional<LauncherPart> ComposeInstallLauncher(const std::wstring& serviceName,
                                                   const LaunchOptions& given,
                                                   const std::wstring& wrapperPath,
                                                   const std::wstring& defaultLogDir);

// set: only what is given changes. A service without the launcher keeps
// none unless a launcher option is given, which adds it at its defaults;
// --direct takes it away. The launcher moves with the wrapper. --env
// replaces the variables of the same name (in any case) with one in place,
// or adds it at the end; --unset-env takes one away. install and apply take
// --env the same way, so that each name is there once.
std::optional<LauncherPart> ComposeSetLauncher(const std::optional<LauncherPart>& current,
                                               const std::wstring& serviceName,
                                               const LaunchOptions& given,
                                               const std::wstring& wrapperPath,
                                               const std::wstring& defaultLogDir);
