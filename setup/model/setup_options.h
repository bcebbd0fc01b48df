// The setup program's command line: one parser over a table of verbs, each
// with the options it takes, and the words it answers a mistake with.
// Keywords (verbs, option names, and the words options take) are matched
// without regard to case, as Windows tools match them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "setup/model/launcher_part.h"
#include "setup/model/option_values.h"
#include "setup/model/service_config.h"

enum class Verb {
    Help, Version, Install, Apply, Set, Show, Remove, Start, Stop, Restart, Status, List, Logs
};

// What install, apply and set were given; each none (or false) when not
// given. Values are checked already; the account is as the manager takes it.
struct ConfigOptions {
    std::optional<DWORD> stopTimeoutMs;
    std::optional<std::wstring> displayName;
    std::optional<std::wstring> description;  // given empty: no description at all
    std::optional<StartSetting> start;
    std::optional<std::wstring> account;
    // The user account's password is the first line of standard input. set
    // may give it without --account, for the user account the service has.
    bool passwordStdin = false;
    std::optional<std::wstring> wrapperPath;
    // --depends-on, each time given; none: an empty list
    std::optional<std::vector<std::wstring>> dependencies;
    std::optional<std::vector<DWORD>> restartDelaysMs;      // given none: an empty list
    std::optional<DWORD> resetPeriodSeconds;
    std::optional<SidType> sidType;
    std::optional<std::vector<std::wstring>> requiredPrivileges;
    bool acceptWritablePaths = false;
    bool restart = false;  // apply and set: restart the service if a change needs it
    LaunchOptions launch;  // the launcher between the wrapper and the program
    // logs: how many of the last lines to print, and whether to follow.
    std::size_t logLines = 50;
    bool follow = false;
    // After --: always for install and apply; for set only when -- is given.
    std::optional<std::wstring> program;
    std::vector<std::wstring> arguments;
};

struct SetupCommand {
    Verb verb;
    std::wstring name;  // every verb but help and list
    bool json;          // --json: the outcome as one JSON document
    ConfigOptions options;
    std::optional<Verb> helpOn = std::nullopt;  // help: the one command to tell of
    bool noWait = false;  // stop and remove: ask and return, not following the stop
};

struct ParsedCommand {
    std::optional<SetupCommand> command;
    std::wstring error;  // why there is no command: one plain sentence
    std::wstring verbWord = L"";  // the command the mistake is in, if one is known
};

// Whether the command takes --json (every one but logs).
bool TakesJson(Verb verb);

// Reads the arguments after the program's own name. help, --help, -h and
// /? (alone or after a command) and --version are answers, not mistakes.
ParsedCommand ParseSetupCommand(const std::vector<std::wstring>& arguments);
