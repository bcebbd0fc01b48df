// The setup program's entry: reads its command line and runs the verb.
#include <new>
#include <vector>

#include "setup/commands.h"
#include "setup/console.h"
#include "setup/model/service_command_line.h"

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

static int Run() {
    ParsedCommand parsed = ParseSetupCommand(Arguments());
    if (!parsed.command) {
        PrintError(L"service-wrapper-setup: " + parsed.error + L"\n\n" + UsageText());
        return kExitUsage;
    }
    const SetupCommand& command = *parsed.command;
    switch (command.verb) {
    case Verb::Remove: return RunRemove(command.name, command.json);
    case Verb::Start: return RunStart(command.name, command.json);
    case Verb::Stop: return RunStop(command.name, command.json);
    case Verb::Restart: return RunRestart(command.name, command.json);
    case Verb::Status: return RunStatus(command.name, command.json);
    case Verb::List: return RunList(command.json);
    default: break;
    }
    // The parser knows every verb and --json; this version runs only these.
    if (command.json) return NotYet(L"--json");
    switch (command.verb) {
    case Verb::Install: return RunInstall(command.name, command.options);
    case Verb::Show: return RunShow(command.name);
    case Verb::Help: PrintOut(UsageText()); return kExitDone;
    case Verb::Apply: return NotYet(L"apply");
    case Verb::Set: return NotYet(L"set");
    default: break;
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
