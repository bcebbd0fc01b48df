// Each option's value checked and taken into the command, and the checks of
// options that need each other or the service's name.
#include "setup/model/option_taking.h"

#include "setup/model/launch_values.h"
#include "setup/model/text.h"

// A whole number of the unit, or why the value is not one.
static std::wstring TakeNumber(const wchar_t* option, const wchar_t* unit,
                               const std::wstring& value, std::optional<DWORD>& number) {
    number = ParseWholeNumber(value);
    if (number) return L"";
    return std::wstring(option) + L" takes a whole number of " + unit +
           L" from 0 to 4294967295, in the digits 0-9 alone; \"" + Printable(value) +
           L"\" is not one.";
}

// Which words the option takes, where the value was none of them.
static std::wstring WordProblem(bool known, const wchar_t* option, const wchar_t* words,
                                const std::wstring& value) {
    if (known) return L"";
    return std::wstring(option) + L" takes " + words + L", not \"" + Printable(value) + L"\".";
}

static std::wstring TakeWrapper(const std::wstring& value, ConfigOptions& o) {
    if (value.empty()) return L"--wrapper needs the path of service-wrapper.exe.";
    if (!IsWrapperPath(value)) {
        return L"--wrapper names a file called service-wrapper.exe, which is how a wrapped "
               L"service is known; \"" + Printable(value) + L"\" is not one.";
    }
    o.wrapperPath = value;
    return L"";
}

// One --depends-on: a service, each once, or none (no dependencies at all,
// so that set can clear them), which stands alone.
static std::wstring TakeDependency(const std::wstring& value, Parse& parse) {
    ConfigOptions& o = parse.command.options;
    const bool none = SameIgnoringCase(value, L"none");
    if (none ? o.dependencies.has_value() : parse.noDependencies) {
        return L"--depends-on none means no dependencies at all; it cannot be given with a "
               L"service to depend on.";
    }
    if (none) {
        o.dependencies.emplace();
        parse.noDependencies = true;
        return L"";
    }
    std::wstring problem = ServiceNameProblem(value, /*creating=*/true);
    if (!problem.empty()) return L"--depends-on: " + problem;
    if (!o.dependencies) o.dependencies.emplace();
    for (const std::wstring& earlier : *o.dependencies) {
        if (SameIgnoringCase(earlier, value)) return L"--depends-on names " + value + L" twice.";
    }
    o.dependencies->push_back(value);
    return L"";
}

std::wstring TakeValue(Option option, const std::wstring& value, Parse& parse) {
    ConfigOptions& o = parse.command.options;
    switch (option) {
    case Option::StopTimeout:
        return TakeNumber(L"--stop-timeout", L"milliseconds", value, o.stopTimeoutMs);
    case Option::DisplayName: o.displayName = value; return DisplayNameProblem(value);
    case Option::Description: o.description = value; return DescriptionProblem(value);
    case Option::Start:
        o.start = ParseStartWord(value);
        return WordProblem(o.start.has_value(), L"--start",
                           L"auto, delayed-auto, demand or disabled", value);
    case Option::Account: parse.accountText = value; return L"";
    case Option::Wrapper: return TakeWrapper(value, o);
    case Option::DependsOn: return TakeDependency(value, parse);
    case Option::RestartOnFailure:
        o.restartDelaysMs.emplace();
        return ParseRestartDelays(value, *o.restartDelaysMs);
    case Option::ResetFailuresAfter:
        return TakeNumber(L"--reset-failures-after", L"seconds", value, o.resetPeriodSeconds);
    case Option::SidType:
        o.sidType = ParseSidTypeWord(value);
        return WordProblem(o.sidType.has_value(), L"--sid-type",
                           L"none, unrestricted or restricted", value);
    case Option::RequiredPrivileges:
        o.requiredPrivileges.emplace();
        return ParsePrivileges(value, *o.requiredPrivileges);
    case Option::Lines: {
        std::optional<DWORD> lines = ParseWholeNumber(value);
        if (!lines) {
            return L"--lines takes a whole number of lines, in the digits 0-9 alone; \"" +
                   Printable(value) + L"\" is not one.";
        }
        o.logLines = *lines;
        return L"";
    }
    default: return L"";
    }
}

void TakeFlag(Option option, Parse& parse) {
    switch (option) {
    case Option::PasswordStdin: parse.command.options.passwordStdin = true; break;
    case Option::AcceptWritablePaths: parse.command.options.acceptWritablePaths = true; break;
    case Option::Restart: parse.command.options.restart = true; break;
    case Option::Json: parse.command.json = true; break;
    case Option::Follow: parse.command.options.follow = true; break;
    case Option::NoWait: parse.command.noWait = true; break;
    default: break;
    }
}

// What only the whole command line shows: options that need each other,
// and the account, which may name the service itself.
std::wstring CheckTogether(Parse& parse) {
    ConfigOptions& o = parse.command.options;
    std::wstring launchProblem = LaunchOptionsProblem(o.launch);
    if (!launchProblem.empty()) return launchProblem;
    if (parse.accountText) {
        o.account.emplace();
        std::wstring problem = ParseAccount(*parse.accountText, parse.command.name, *o.account);
        if (!problem.empty()) return problem;
    }
    // set may give a new password for the user account the service has.
    const bool accountNeeded = parse.verb->verb != Verb::Set || o.account;
    if (o.passwordStdin && accountNeeded &&
        (!o.account || AccountKindOf(*o.account) != AccountKind::User)) {
        return L"--password-stdin is for a user account given with --account (DOMAIN\\user or "
               L".\\user); the other accounts have no password to give.";
    }
    if (o.resetPeriodSeconds && o.restartDelaysMs && o.restartDelaysMs->empty()) {
        return L"--reset-failures-after means nothing with --restart-on-failure none.";
    }
    if (o.dependencies) {
        for (const std::wstring& dependency : *o.dependencies) {
            if (SameIgnoringCase(dependency, parse.command.name)) {
                return L"--depends-on names the service itself, which could then never start.";
            }
        }
    }
    return L"";
}
