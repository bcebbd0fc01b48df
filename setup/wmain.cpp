// The setup program's entry: reads its command line and runs the verb.
#include <new>
#include <vector>

#include "wrapper_version.h"

#include "setup/verbs/commands.h"
#include "setup/console.h"
#include "setup/model/config_json.h"
#include "setup/model/help_text.h"
#include "setup/model/service_command_line.h"
#include "setup/model/text.h"
#include "setup/verbs/verb_output.h"

// Split by CommandLineToArgvW, as the wrapper splits its own: the same rule
// for both programs, and no wildcard expansion by the runtime.
static std::vector<std::wstring> Arguments() {
    std::optional<std::vector<std::wstring>> elements =
        SplitCommandLineElements(GetCommandLineW());
    if (!elements || elements->empty()) return {};
    return std::vector<std::wstring>(elements->begin() + 1, elements->end());
}

// --json among the options, where a mistake kept the parser from saying so.
static bool AsksForJson(const std::vector<std::wstring>& arguments) {
    for (const std::wstring& argument : arguments) {
        if (argument == L"--") return false;
        if (SameIgnoringCase(argument, L"--json")) return true;
    }
    return false;
}

// help and --version: to standard output, as text or as a document.
#define WRAPPER_WIDE_(text) L##text
#define WRAPPER_WIDE(text) WRAPPER_WIDE_(text)
#define WRAPPER_VERSION_WIDE WRAPPER_WIDE(WRAPPER_VERSION_STRING)

static int Answer(const SetupCommand& command) {
    const bool version = command.verb == Verb::Version;
    const std::wstring text = version ? L"service-wrapper-setup " WRAPPER_VERSION_WIDE L"\n"
                              : command.helpOn ? VerbHelpText(*command.helpOn)
                                               : UsageText();
    if (!command.json) {
        PrintOut(text);
    } else if (version) {
        PrintJson({{"version", ToUtf8(WRAPPER_VERSION_WIDE)}});
    } else {
        PrintJson({{"help", ToUtf8(text)}});
    }
    return kExitDone;
}

static int Run() {
    const std::vector<std::wstring> arguments = Arguments();
    ParsedCommand parsed = ParseSetupCommand(arguments);
    if (!parsed.command) {
        PrintError(L"service-wrapper-setup: " + parsed.error + L"\n" + HelpPointer(parsed.verbWord));
        // A script that asked for JSON gets the mistake as a document too.
        if (AsksForJson(arguments)) PrintJson(ErrorJson(parsed.error, std::nullopt, L""));
        return kExitUsage;
    }
    const SetupCommand& command = *parsed.command;
    switch (command.verb) {
    case Verb::Install: return RunInstall(command);
    case Verb::Apply: return RunApply(command);
    case Verb::Set: return RunSet(command);
    case Verb::Show: return RunShow(command);
    case Verb::Remove: return RunRemove(command.name, command.json, command.noWait);
    case Verb::Start: return RunStart(command.name, command.json);
    case Verb::Stop: return RunStop(command.name, command.json, command.noWait);
    case Verb::Restart: return RunRestart(command.name, command.json);
    case Verb::Status: return RunStatus(command.name, command.json);
    case Verb::List: return RunList(command.json);
    case Verb::Logs: return RunLogs(command);
    case Verb::Help: return Answer(command);
    case Verb::Version: return Answer(command);
    }
    return kExitFailed;
}

extern "C" int wmain(int /*argc*/, wchar_t** /*argv*/) {
    try {
        return Run();
    } catch (const std::bad_alloc&) {
        PrintError(L"service-wrapper-setup: out of memory.\n");
        return kExitFailed;
    }
}
