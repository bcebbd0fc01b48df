// Taking each option's value into the command being read, and the checks
// that only the whole command line allows: what the parser in
// setup_options.cpp hands an option to once it has found it in its table.
#pragma once

#include <optional>
#include <string>

#include "setup/model/setup_options.h"

enum class Option {
    StopTimeout, DisplayName, Description, Start, Account, PasswordStdin, Wrapper, DependsOn,
    RestartOnFailure, ResetFailuresAfter, SidType, RequiredPrivileges, AcceptWritablePaths,
    Restart, Json, Direct, LogDir, LogSize, LogKeep, LogTimestamps, NoLogTimestamps, WorkingDir,
    Env, UnsetEnv, EnvFile, StopSignal, Lines, Follow, NoWait,
};

enum class Program { None, Required, Optional };

struct VerbSpec {
    const wchar_t* word;
    Verb verb;
    bool takesName;
    Program program;
    unsigned options;
};

// The state of one parse: the verb's table entry, the raw account (checked
// once the name is known) and the options seen so far.
struct Parse {
    const VerbSpec* verb;
    SetupCommand command;
    std::optional<std::wstring> accountText;
    unsigned seen;
    bool noDependencies;  // --depends-on none
};

// An option that takes a value, the launcher's aside. Gives the problem, or empty.
std::wstring TakeValue(Option option, const std::wstring& value, Parse& parse);
// An option that takes none.
void TakeFlag(Option option, Parse& parse);

// What only the whole command line shows: options that need each other,
// and the account, which may name the service itself.
std::wstring CheckTogether(Parse& parse);
