// The setup program's command line: its verbs, install's options, and the
// words it answers a mistake with.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

enum class Verb { Help, Install, Show, Remove };

struct InstallOptions {
    std::wstring name;
    DWORD stopTimeoutMs;
    std::wstring displayName;                // empty: the name
    std::optional<std::wstring> description;  // none given: a default; empty: none at all
    DWORD startType;                         // SERVICE_AUTO_START, _DEMAND_START or _DISABLED
    bool delayedAutoStart;
    std::wstring account;                    // LocalSystem, LocalService or NetworkService
    std::wstring wrapperPath;                // empty: the wrapper beside the setup program
    std::wstring program;
    std::vector<std::wstring> arguments;
};

struct SetupCommand {
    Verb verb;
    std::wstring name;       // show and remove
    InstallOptions install;  // install
};

struct ParsedCommand {
    std::optional<SetupCommand> command;
    std::wstring error;  // why there is no command: one plain sentence
};

// Reads the arguments after the program's own name.
ParsedCommand ParseSetupCommand(const std::vector<std::wstring>& arguments);

// install's rule, stricter than the wrapper's: the digits 0-9 alone, nothing
// before or after them, at most 4294967295.
std::optional<DWORD> ParseInstallStopTimeout(const std::wstring& text);

// The account as CreateServiceW takes it: null for LocalSystem.
LPCWSTR ServiceStartName(const std::wstring& account);

const wchar_t* StartTypeName(DWORD startType, bool delayedAutoStart);

std::wstring UsageText();
