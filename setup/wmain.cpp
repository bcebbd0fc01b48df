// The setup program's entry: reads its command line and runs the verb.
#include <new>
#include <vector>

#include "setup/commands.h"
#include "setup/console.h"
#include "setup/model/service_command_line.h"
#include "setup/model/text.h"
#include "setup/verb_output.h"

// Split by CommandLineToArgvW, as the wrapper splits its own: the same rule
// for both programs, and no wildcard expansion by the runtime.
static std::vector<std::wstring> Arguments() {
    std::optional<std::vector<std::wstring>> elements =
        SplitCommandLineElements(GetCommandLineW());
    if (!elements || elements->empty()) return {};
    return std::vector<std::wstring>(elements->begin() + 1, elements->end());
}

static int NotYet(const wchar_t* what) {
    PrintError(std::wstring(L"service-wrapper-setup: ") + what + L" is not available in this "
               L"version yet.\n");
    return kExitFailed;
}

// A script that asked for JSON gets its mistake as JSON too.
static bool AskedForJson(const std::vector<std::wstring>& arguments) {
    for (const std::wstring& argument : arguments) {
        if (argument == L"--") return false;
        if (SameIgnoringCase(argument, L"--json")) return true;
    }
    return false;
}

static int Run() {
    const std::vector<std::wstring> arguments = Arguments();
    ParsedCommand parsed = ParseSetupCommand(arguments);
    if (!parsed.command) {
        const bool json = AskedForJson(arguments);
        return ReportFailure(json,
                             L"service-wrapper-setup: " + parsed.error +
                                 (json ? L"\n" : L"\n\n" + UsageText()),
                             std::nullopt, nlohmann::json::object(), kExitUsage);
    }
    const SetupCommand& command = *parsed.command;
    switch (command.verb) {
    case Verb::Install: return RunInstall(command);
    case Verb::Apply: return RunApply(command);
    case Verb::Set: return RunSet(command);
    case Verb::Show: return RunShow(command);
    case Verb::Remove:
        if (command.json) return NotYet(L"remove --json");
        return RunRemove(command.name);
    case Verb::Help: PrintOut(UsageText()); return kExitDone;
    case Verb::Start: return NotYet(L"start");
    case Verb::Stop: return NotYet(L"stop");
    case Verb::Restart: return NotYet(L"restart");
    case Verb::Status: return NotYet(L"status");
    case Verb::List: return NotYet(L"list");
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
