#include "setup/model/setup_options.h"

#include <cstdint>

#include "service/service_state.h"

namespace {

struct StartChoice {
    const wchar_t* word;
    DWORD startType;
    bool delayed;
};
const StartChoice kStartChoices[] = {
    {L"auto", SERVICE_AUTO_START, false},
    {L"delayed-auto", SERVICE_AUTO_START, true},
    {L"demand", SERVICE_DEMAND_START, false},
    {L"disabled", SERVICE_DISABLED, false},
};

struct AccountChoice {
    const wchar_t* word;
    LPCWSTR serviceStartName;
};
const AccountChoice kAccounts[] = {
    {L"LocalSystem", nullptr},
    {L"LocalService", L"NT AUTHORITY\\LocalService"},
    {L"NetworkService", L"NT AUTHORITY\\NetworkService"},
};

}  // namespace

static bool IsOption(const std::wstring& argument) {
    return argument.size() > 2 && argument.compare(0, 2, L"--") == 0;
}

// Account names are not case-sensitive on Windows; accept them as typed.
static bool SameAsciiWord(const std::wstring& a, const wchar_t* b) {
    std::size_t i = 0;
    for (; i < a.size() && b[i]; ++i) {
        wchar_t x = a[i] >= L'A' && a[i] <= L'Z' ? a[i] - L'A' + L'a' : a[i];
        wchar_t y = b[i] >= L'A' && b[i] <= L'Z' ? b[i] - L'A' + L'a' : b[i];
        if (x != y) return false;
    }
    return i == a.size() && !b[i];
}

std::optional<DWORD> ParseInstallStopTimeout(const std::wstring& text) {
    if (text.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return std::nullopt;
        value = value * 10 + (c - L'0');
        if (value > 0xFFFFFFFFu) return std::nullopt;
    }
    return static_cast<DWORD>(value);
}

LPCWSTR ServiceStartName(const std::wstring& account) {
    for (const AccountChoice& choice : kAccounts) {
        if (account == choice.word) return choice.serviceStartName;
    }
    return nullptr;
}

const wchar_t* StartTypeName(DWORD startType, bool delayedAutoStart) {
    // The manager keeps the delayed flag for any service but heeds it only
    // for an automatic start.
    const bool delayed = startType == SERVICE_AUTO_START && delayedAutoStart;
    for (const StartChoice& choice : kStartChoices) {
        if (choice.startType == startType && choice.delayed == delayed) return choice.word;
    }
    return startType == 0 ? L"boot" : startType == 1 ? L"system" : L"unknown";
}

// Takes one option and its value into the options; gives the error, or empty.
static std::wstring TakeOption(const std::wstring& option, const std::wstring& value,
                               InstallOptions& options) {
    if (option == L"--stop-timeout") {
        std::optional<DWORD> ms = ParseInstallStopTimeout(value);
        if (!ms) {
            return L"--stop-timeout takes a whole number of milliseconds from 0 to 4294967295, "
                   L"in the digits 0-9 alone; \"" + value + L"\" is not one.";
        }
        options.stopTimeoutMs = *ms;
    } else if (option == L"--display-name") {
        if (value.empty()) return L"--display-name needs a text.";
        options.displayName = value;
    } else if (option == L"--description") {
        options.description = value;
    } else if (option == L"--start") {
        for (const StartChoice& choice : kStartChoices) {
            if (value == choice.word) {
                options.startType = choice.startType;
                options.delayedAutoStart = choice.delayed;
                return L"";
            }
        }
        return L"--start takes auto, delayed-auto, demand or disabled, not \"" + value + L"\".";
    } else if (option == L"--account") {
        for (const AccountChoice& choice : kAccounts) {
            if (SameAsciiWord(value, choice.word)) {
                options.account = choice.word;
                return L"";
            }
        }
        return L"--account takes LocalSystem, LocalService or NetworkService, not \"" + value +
               L"\". Other accounts need a password, which this program does not take: set "
               L"the account in the service's properties afterwards.";
    } else if (option == L"--wrapper") {
        if (value.empty()) return L"--wrapper needs the path of service-wrapper.exe.";
        options.wrapperPath = value;
    } else {
        return L"install has no option " + option + L".";
    }
    return L"";
}

static ParsedCommand Refuse(const std::wstring& error) {
    return ParsedCommand{std::nullopt, error};
}

static ParsedCommand ParseInstall(const std::vector<std::wstring>& arguments) {
    SetupCommand command{Verb::Install, L"", {}};
    InstallOptions& options = command.install;
    options.stopTimeoutMs = kDefaultStopTimeoutMs;
    options.startType = SERVICE_AUTO_START;
    options.delayedAutoStart = false;
    options.account = L"LocalSystem";
    if (arguments.size() < 2 || arguments[1] == L"--" || IsOption(arguments[1])) {
        return Refuse(L"install needs the service's name first.");
    }
    if (arguments[1].empty()) return Refuse(L"the service's name is empty.");
    options.name = arguments[1];

    std::vector<std::wstring> given;
    std::size_t i = 2;
    for (; i < arguments.size() && arguments[i] != L"--"; i += 2) {
        const std::wstring& option = arguments[i];
        if (!IsOption(option)) {
            return Refuse(L"\"" + option + L"\" is not an option of install; the program and "
                          L"its arguments come after --.");
        }
        for (const std::wstring& earlier : given) {
            if (earlier == option) return Refuse(option + L" is given twice.");
        }
        given.push_back(option);
        if (i + 1 >= arguments.size() || arguments[i + 1] == L"--") {
            return Refuse(option + L" needs a value.");
        }
        std::wstring error = TakeOption(option, arguments[i + 1], options);
        if (!error.empty()) return Refuse(error);
    }
    if (i >= arguments.size()) {
        return Refuse(L"install needs -- and then the program to run, with its arguments.");
    }
    if (i + 1 >= arguments.size()) return Refuse(L"install needs the program to run after --.");
    if (arguments[i + 1].empty()) return Refuse(L"the program after -- is empty.");
    options.program = arguments[i + 1];
    options.arguments.assign(arguments.begin() + i + 2, arguments.end());
    return ParsedCommand{command, L""};
}

// show and remove take the service's name and nothing else.
static ParsedCommand ParseNamed(Verb verb, const std::vector<std::wstring>& arguments) {
    const std::wstring& verbWord = arguments[0];
    if (arguments.size() < 2 || IsOption(arguments[1])) {
        return Refuse(verbWord + L" needs the service's name.");
    }
    if (arguments[1].empty()) return Refuse(L"the service's name is empty.");
    if (arguments.size() > 2) {
        return Refuse(verbWord + L" takes only the service's name; \"" + arguments[2] +
                      L"\" is one argument too many.");
    }
    return ParsedCommand{SetupCommand{verb, arguments[1], {}}, L""};
}

ParsedCommand ParseSetupCommand(const std::vector<std::wstring>& arguments) {
    if (arguments.empty() || arguments[0] == L"help" || arguments[0] == L"--help") {
        return ParsedCommand{SetupCommand{Verb::Help, L"", {}}, L""};
    }
    if (arguments[0] == L"install") return ParseInstall(arguments);
    if (arguments[0] == L"show") return ParseNamed(Verb::Show, arguments);
    if (arguments[0] == L"remove") return ParseNamed(Verb::Remove, arguments);
    return Refuse(L"there is no command \"" + arguments[0] + L"\"; the commands are install, "
                  L"show, remove and help.");
}

std::wstring UsageText() {
    return LR"(Usage:
  service-wrapper-setup install <name> [options] -- <program> [arguments...]
  service-wrapper-setup show <name>
  service-wrapper-setup remove <name>
  service-wrapper-setup help

install creates the service <name>, which runs <program> with its arguments
through service-wrapper.exe, and prints what it wrote. Options:
  --stop-timeout <ms>    how long the program may take to end by itself when
                         the service stops: 0 to 4294967295 (default 120000)
  --display-name <text>  the name the services list shows (default: <name>)
  --description <text>   the description the services list shows
  --start auto|delayed-auto|demand|disabled
                         when Windows starts the service (default: auto)
  --account LocalSystem|LocalService|NetworkService
                         the account the service runs under (default:
                         LocalSystem)
  --wrapper <path>       the service-wrapper.exe to run (default: the one in
                         this program's folder)
<program> is a full path, or a name that Windows finds on its search path;
the full path is what gets written. Each argument reaches the program exactly
as given here.

show prints the service's state, configuration and command line, each element
as the wrapper will read it, and warns about what cannot work or is unsafe.

remove stops the service if it runs, following the stop to its end, and then
deletes it.

Exit codes: 0 done, 1 failed, 2 a mistake in the command line, 3 show found
something to warn about.
)";
}
