// The values of the options that set up the launcher between the wrapper
// and the program, each read by one rule and refused with one plain
// sentence that names the rule.
#pragma once

#include <optional>
#include <string>

#include "setup/model/launcher_part.h"

// Whether an environment variable's name says it holds a secret: PASSWORD,
// SECRET, TOKEN, KEY or CREDENTIAL anywhere in it, in any case. The
// service's command line can be read by every user of the machine.
bool LooksSecret(const std::wstring& name);

// --env NAME=VALUE: why it cannot be written into the command line, or
// empty. The name is not empty and holds no = (Windows keeps the pair as
// one string); a secret-looking name is pointed to --env-file.
std::wstring EnvEntryProblem(const std::wstring& entry);

// The NAME of NAME=VALUE (the whole text if it has no =).
std::wstring EnvName(const std::wstring& entry);

// --log-keep: the digits 0-9 alone, 0 to 999.
std::optional<unsigned> ParseLogKeep(const std::wstring& text);

// The log folder a service gets unless told otherwise:
// <ProgramData>\Service Wrapper\logs\<name>.
std::wstring DefaultLogDir(const std::wstring& programData, const std::wstring& serviceName);

// What keeps Windows from making the folder as written: a name in its path
// holding < > : | ? * ", or a control character (--log-dir passes them on),
// or ending in a dot or a blank, which Windows drops, so that another name
// would be made. Empty when nothing. The drive's colon and a \\?\ or
// \\.\ prefix are no part of a name; after \\?\ nothing is dropped.
std::wstring FolderPathProblem(const std::wstring& path);

// Whether two paths name one folder as Windows reads them: letter case, a
// separator at the end, / for \ and a \\?\ before a drive make no difference.
bool SameFolderPath(const std::wstring& a, const std::wstring& b);

// The log files in a log folder: the current one, and the rotated one
// numbered n (1 the newest).
std::wstring CurrentLogPath(const std::wstring& logDir);
std::wstring RotatedLogPath(const std::wstring& logDir, unsigned n);

// Takes the value of one of the launcher's options as install, apply and
// set are given it (option: "--log-dir", lower case) into launch. Gives the
// problem, or empty. --log-dir, --working-dir and --env-file take a full
// path or none; the flags (--direct, --log-timestamps, --no-log-timestamps)
// take an empty value.
std::wstring TakeLaunchOption(const std::wstring& option, const std::wstring& value,
                              LaunchOptions& launch);

// Options that mean nothing together: --direct with any launcher option.
std::wstring LaunchOptionsProblem(const LaunchOptions& launch);
