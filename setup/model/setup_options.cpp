// The setup program's command line read against its tables of verbs and
// options: the verb, the service's name, each option found and handed on
// (option_taking.cpp), the program after --, and the answers help, --help
// and --version are.
#include "setup/model/setup_options.h"

#include "setup/model/launch_values.h"
#include "setup/model/option_taking.h"
#include "setup/model/text.h"

namespace {

struct OptionSpec {
    const wchar_t* name;
    Option option;
    bool takesValue;
};
const OptionSpec kOptions[] = {
    {L"--stop-timeout", Option::StopTimeout, true},
    {L"--display-name", Option::DisplayName, true},
    {L"--description", Option::Description, true},
    {L"--start", Option::Start, true},
    {L"--account", Option::Account, true},
    {L"--password-stdin", Option::PasswordStdin, false},
    {L"--wrapper", Option::Wrapper, true},
    {L"--depends-on", Option::DependsOn, true},
    {L"--restart-on-failure", Option::RestartOnFailure, true},
    {L"--reset-failures-after", Option::ResetFailuresAfter, true},
    {L"--sid-type", Option::SidType, true},
    {L"--required-privileges", Option::RequiredPrivileges, true},
    {L"--accept-writable-paths", Option::AcceptWritablePaths, false},
    {L"--restart", Option::Restart, false},
    {L"--json", Option::Json, false},
    {L"--direct", Option::Direct, false},
    {L"--log-dir", Option::LogDir, true},
    {L"--log-size", Option::LogSize, true},
    {L"--log-keep", Option::LogKeep, true},
    {L"--log-timestamps", Option::LogTimestamps, false},
    {L"--no-log-timestamps", Option::NoLogTimestamps, false},
    {L"--working-dir", Option::WorkingDir, true},
    {L"--env", Option::Env, true},
    {L"--unset-env", Option::UnsetEnv, true},
    {L"--env-file", Option::EnvFile, true},
    {L"--stop-signal", Option::StopSignal, true},
    {L"--lines", Option::Lines, true},
    {L"--follow", Option::Follow, false},
    {L"--no-wait", Option::NoWait, false},
};

// Each verb's options as a set of bits, one per Option.
constexpr unsigned Bit(Option option) {
    return 1u << static_cast<unsigned>(option);
}
constexpr unsigned kConfigOptions =
    Bit(Option::StopTimeout) | Bit(Option::DisplayName) | Bit(Option::Description) |
    Bit(Option::Start) | Bit(Option::Account) | Bit(Option::PasswordStdin) | Bit(Option::Wrapper) |
    Bit(Option::DependsOn) | Bit(Option::RestartOnFailure) | Bit(Option::ResetFailuresAfter) |
    Bit(Option::SidType) | Bit(Option::RequiredPrivileges) | Bit(Option::AcceptWritablePaths) |
    Bit(Option::Json) | Bit(Option::Direct) | Bit(Option::LogDir) | Bit(Option::LogSize) |
    Bit(Option::LogKeep) | Bit(Option::LogTimestamps) | Bit(Option::WorkingDir) |
    Bit(Option::Env) | Bit(Option::EnvFile) | Bit(Option::StopSignal);
// Options that may be given more than once.
constexpr unsigned kRepeatable = Bit(Option::DependsOn) | Bit(Option::Env) | Bit(Option::UnsetEnv);
// Options of the launcher: its own parsing takes them.
constexpr unsigned kLaunchOptions =
    Bit(Option::Direct) | Bit(Option::LogDir) | Bit(Option::LogSize) | Bit(Option::LogKeep) |
    Bit(Option::LogTimestamps) | Bit(Option::NoLogTimestamps) | Bit(Option::WorkingDir) |
    Bit(Option::Env) | Bit(Option::UnsetEnv) | Bit(Option::EnvFile) | Bit(Option::StopSignal);
constexpr unsigned kSetOnly = Bit(Option::NoLogTimestamps) | Bit(Option::UnsetEnv);

const VerbSpec kVerbs[] = {
    {L"install", Verb::Install, true, Program::Required, kConfigOptions},
    {L"apply", Verb::Apply, true, Program::Required, kConfigOptions | Bit(Option::Restart)},
    {L"set", Verb::Set, true, Program::Optional,
     kConfigOptions | Bit(Option::Restart) | kSetOnly},
    {L"show", Verb::Show, true, Program::None, Bit(Option::Json)},
    {L"remove", Verb::Remove, true, Program::None, Bit(Option::Json) | Bit(Option::NoWait)},
    {L"start", Verb::Start, true, Program::None, Bit(Option::Json)},
    {L"stop", Verb::Stop, true, Program::None, Bit(Option::Json) | Bit(Option::NoWait)},
    {L"restart", Verb::Restart, true, Program::None, Bit(Option::Json)},
    {L"status", Verb::Status, true, Program::None, Bit(Option::Json)},
    {L"list", Verb::List, false, Program::None, Bit(Option::Json)},
    {L"logs", Verb::Logs, true, Program::None, Bit(Option::Lines) | Bit(Option::Follow)},
    {L"help", Verb::Help, false, Program::None, 0},
};

// Options that would put a password on the command line, where other users
// and logs can read it.
const wchar_t* const kPasswordOptions[] = {L"--password", L"--passwd", L"--pass", L"--pwd"};

}  // namespace

bool TakesJson(Verb verb) {
    if (verb == Verb::Help) return true;  // an answer, read before the verbs' options
    for (const VerbSpec& entry : kVerbs) {
        if (entry.verb == verb) return (entry.options & Bit(Option::Json)) != 0;
    }
    return false;
}

static bool StartsWithDashes(const std::wstring& argument) {
    return argument.compare(0, 2, L"--") == 0;
}

// The value of the option named at arguments[i]: after "=", or the next
// argument unless that begins with --; moves i past what it took.
static std::wstring TakeOptionValue(const std::vector<std::wstring>& arguments, std::size_t& i,
                                    const std::wstring& name, std::size_t equals,
                                    std::wstring& value) {
    if (equals != std::wstring::npos) {
        value = arguments[i].substr(equals + 1);
    } else if (i + 1 < arguments.size() && !StartsWithDashes(arguments[i + 1])) {
        value = arguments[++i];
    } else if (i + 1 < arguments.size() && arguments[i + 1] != L"--") {
        // Most likely the value was left out and this is the next option.
        return name + L" needs a value; one that begins with -- is taken only as " + name +
               L"=" + Printable(arguments[i + 1]) + L".";
    } else {
        return name + L" needs a value.";
    }
    return L"";
}

// Takes the option at arguments[i], and its value if it takes one (after
// "=" or as the next argument); moves i past what it took. Gives the
// problem, or empty.
static std::wstring TakeOption(const std::vector<std::wstring>& arguments, std::size_t& i,
                               Parse& parse) {
    const std::wstring& argument = arguments[i];
    const std::size_t equals = argument.find(L'=');
    const std::wstring name = LowerAscii(argument.substr(0, equals));
    for (const wchar_t* password : kPasswordOptions) {
        if (name == password) {
            return name + L" is refused: a password on the command line can be read by other "
                          L"users and is kept in logs. Give --password-stdin and the password "
                          L"on standard input, or nothing and type it when asked.";
        }
    }
    const OptionSpec* known = nullptr;
    for (const OptionSpec& candidate : kOptions) {
        if (name == candidate.name) known = &candidate;
    }
    const std::wstring verbWord = parse.verb->word;
    if (!known || !(parse.verb->options & Bit(known->option))) {
        return verbWord + L" has no option " + Printable(name) + L".";
    }
    if (parse.seen & Bit(known->option) & ~kRepeatable) {
        return name + L" is given twice.";
    }
    parse.seen |= Bit(known->option);
    const bool launch = (Bit(known->option) & kLaunchOptions) != 0;
    if (!known->takesValue) {
        if (launch && equals == std::wstring::npos) {
            return TakeLaunchOption(name, L"", parse.command.options.launch);
        }
        if (equals != std::wstring::npos) return name + L" takes no value.";
        TakeFlag(known->option, parse);
        return L"";
    }
    std::wstring value;
    std::wstring problem = TakeOptionValue(arguments, i, name, equals, value);
    if (!problem.empty()) return problem;
    if (launch) return TakeLaunchOption(name, value, parse.command.options.launch);
    return TakeValue(known->option, value, parse);
}

static bool IsOption(const std::wstring& argument) {
    return argument.size() > 2 && argument.compare(0, 2, L"--") == 0;
}

static std::wstring TakeName(const std::wstring& argument, Parse& parse) {
    const Verb verb = parse.verb->verb;
    const bool creating = verb == Verb::Install || verb == Verb::Apply;
    std::wstring problem = ServiceNameProblem(argument, creating);
    if (problem.empty()) parse.command.name = argument;
    return problem;
}

static std::wstring TooMany(const std::wstring& argument, const Parse& parse) {
    const std::wstring verbWord = parse.verb->word;
    if (parse.verb->program != Program::None) {
        return L"\"" + Printable(argument) + L"\" is not an option of " + verbWord +
               L"; the program and its arguments come after --.";
    }
    if (!parse.verb->takesName) return verbWord + L" takes no arguments.";
    return verbWord + L" takes only the service's name; \"" + Printable(argument) +
           L"\" is one argument too many.";
}

// After --: the program and its arguments, for the verbs that take them.
static std::wstring TakeProgram(const std::vector<std::wstring>& arguments, std::size_t i,
                                Parse& parse) {
    const std::wstring verbWord = parse.verb->word;
    if (parse.verb->program == Program::None) return TooMany(L"--", parse);
    if (i + 1 >= arguments.size()) return verbWord + L" needs the program to run after --.";
    if (arguments[i + 1].empty()) return L"the program after -- is empty.";
    parse.command.options.program = arguments[i + 1];
    parse.command.options.arguments.assign(arguments.begin() + i + 2, arguments.end());
    return L"";
}

static std::wstring ParseVerb(const std::vector<std::wstring>& arguments, Parse& parse) {
    bool named = false;
    std::size_t i = 1;
    for (; i < arguments.size() && arguments[i] != L"--"; ++i) {
        std::wstring problem;
        if (IsOption(arguments[i])) {
            problem = TakeOption(arguments, i, parse);
        } else if (parse.verb->takesName && !named) {
            problem = TakeName(arguments[i], parse);
            named = true;
        } else {
            problem = TooMany(arguments[i], parse);
        }
        if (!problem.empty()) return problem;
    }
    const std::wstring verbWord = parse.verb->word;
    if (parse.verb->takesName && !named) return verbWord + L" needs the service's name.";
    if (i < arguments.size()) {
        std::wstring problem = TakeProgram(arguments, i, parse);
        if (!problem.empty()) return problem;
    } else if (parse.verb->program == Program::Required) {
        return verbWord + L" needs -- and then the program to run, with its arguments.";
    }
    return CheckTogether(parse);
}

static const VerbSpec* FindVerb(const std::wstring& word) {
    for (const VerbSpec& verb : kVerbs) {
        if (SameIgnoringCase(word, verb.word)) return &verb;
    }
    return nullptr;
}

static bool IsHelpWord(const std::wstring& argument) {
    return SameIgnoringCase(argument, L"--help") || argument == L"-h" || argument == L"/?";
}

static ParsedCommand Answer(Verb verb, std::optional<Verb> helpOn, bool json) {
    SetupCommand command{verb, L"", json, {}};
    command.helpOn = helpOn;
    return ParsedCommand{command, L""};
}

// help [<command>], <command> --help (or -h or /?) before any --, and
// --version: each with --json or without. None when something else is asked.
static std::optional<ParsedCommand> AskedForHelp(const std::vector<std::wstring>& arguments) {
    std::vector<std::wstring> words;
    bool json = false;
    bool help = false;
    for (const std::wstring& argument : arguments) {
        if (argument == L"--") break;
        if (SameIgnoringCase(argument, L"--json")) {
            json = true;
        } else if (IsHelpWord(argument)) {
            help = true;
        } else {
            words.push_back(argument);
        }
    }
    const VerbSpec* verb = words.empty() ? nullptr : FindVerb(words[0]);
    if (verb && verb->verb == Verb::Help) {
        const VerbSpec* on = words.size() == 2 ? FindVerb(words[1]) : nullptr;
        if (words.size() == 1 || on) {
            return Answer(Verb::Help, on ? on->verb : std::optional<Verb>(), json);
        }
        return ParsedCommand{std::nullopt,
                             L"help takes one of the commands install, apply, set, show, remove, "
                             L"start, stop, restart, status, list and logs, or nothing.",
                             L"help"};
    }
    if (words.empty() && (help || arguments.empty())) return Answer(Verb::Help, std::nullopt, json);
    if (help && verb) return Answer(Verb::Help, verb->verb, json);
    if (words.size() == 1 && SameIgnoringCase(words[0], L"--version") && !help) {
        return Answer(Verb::Version, std::nullopt, json);
    }
    return std::nullopt;
}

ParsedCommand ParseSetupCommand(const std::vector<std::wstring>& arguments) {
    if (std::optional<ParsedCommand> answer = AskedForHelp(arguments)) return *answer;
    if (const VerbSpec* verb = FindVerb(arguments[0])) {
        Parse parse{verb, SetupCommand{verb->verb, L"", false, {}}, std::nullopt, 0, false};
        std::wstring problem = ParseVerb(arguments, parse);
        if (!problem.empty()) return ParsedCommand{std::nullopt, problem, verb->word};
        return ParsedCommand{parse.command, L""};
    }
    return ParsedCommand{std::nullopt,
                         L"there is no command \"" + Printable(arguments[0]) +
                             L"\"; the commands are install, apply, set, show, remove, start, "
                             L"stop, restart, status, list, logs and help."};
}
