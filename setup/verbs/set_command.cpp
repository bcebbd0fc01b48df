// set: only what is given changes, on a wrapped service that exists; the
// program and its arguments only when -- is given.
#include "setup/verbs/commands.h"
#include "setup/verbs/config_verbs.h"
#include "setup/model/compare_configs.h"
#include "setup/model/compose_config.h"
#include "setup/model/lessening_change.h"
#include "setup/model/text.h"

// What only the service as it is shows.
static CheckProblem CheckAgainst(const ServiceConfig& current, const ConfigOptions& options) {
    CheckProblem problem = NotChangeable(current, /*needsDecoded=*/true);
    if (!problem.why.empty()) return problem;
    if (options.passwordStdin && !options.account &&
        AccountKindOf(current.account) != AccountKind::User) {
        return {L"--password-stdin gives a new password for the service's user account, but it "
                L"runs as " + Printable(current.account) + L", which has none to give."};
    }
    // A reset period alone changes the actions in place; there must be some
    // known to be there.
    if (options.resetPeriodSeconds && !options.restartDelaysMs) {
        if (!current.recovery) {
            return {L"the service control manager cannot report the recovery settings, so "
                    L"--reset-failures-after has nothing to change; give --restart-on-failure "
                    L"too."};
        }
        if (current.recovery->actions.empty()) {
            return {L"--reset-failures-after means nothing to a service without recovery "
                    L"actions; give --restart-on-failure too."};
        }
    }
    return {};
}

// A user account named, or --password-stdin for the one it has.
static bool SetAsksForPassword(const ConfigOptions& options, const std::wstring& account) {
    return AccountKindOf(account) == AccountKind::User &&
           (options.account || options.passwordStdin);
}

// The program after --, resolved where the service's wrapper-to-be looks
// for a bare name.
static CheckProblem ResolveSetProgram(const ServiceConfig& current, const ConfigOptions& options,
                                      const std::wstring& wrapper, std::wstring& program,
                                      CheckFindings& checks) {
    if (!options.program) return {};
    const std::wstring& lookIn = wrapper.empty() ? current.commandLine.wrapperPath : wrapper;
    return ResolveProgram(*options.program, lookIn, program, checks);
}

// What set will write, from the service as it is and the options, and
// every check of it. Gives the problem that stops the write.
static CheckProblem PlanSet(const SetupCommand& command, const ServiceToChange& service,
                            const std::wstring& wrapper, DesiredConfig& desired,
                            CheckFindings& checks) {
    const ConfigOptions& options = command.options;
    const ServiceConfig& current = service.current;
    std::wstring program;
    CheckProblem problem = CheckAgainst(current, options);
    if (problem.why.empty()) {
        problem = ResolveSetProgram(current, options, wrapper, program, checks);
    }
    if (!problem.why.empty()) return problem;
    desired = ComposeSetConfig(current, options, wrapper, program, DefaultLogDirOf(command.name));
    if (options.account) problem = CheckUserAccount(desired.config);
    if (problem.why.empty() && desired.config.commandLine.text != current.commandLine.text) {
        problem = ComposedLineProblem(desired.config.commandLine);
    }
    if (!problem.why.empty()) return problem;
    const bool lessens = OnlyLessens(current, desired.config, CompareConfigs(current, desired));
    return CheckBeforeWriting(command, desired.config, checks, lessens);
}

int RunSet(const SetupCommand& command) {
    std::wstring wrapper;
    CheckProblem problem;
    CheckFindings checks;
    if (command.options.wrapperPath) {
        problem = ResolveWrapper(*command.options.wrapperPath, wrapper, checks);
    }
    if (!problem.why.empty()) return RefuseBeforeWriting(command, problem);

    const ServiceToChange service = OpenForChange(command);
    DesiredConfig desired{};
    if (service.error == ERROR_SERVICE_DOES_NOT_EXIST) {
        problem = {service.why + L" set changes a service that exists; apply or install makes one.",
                   service.error};
    } else if (service.error != NO_ERROR) {
        problem = {service.why, service.error};
    } else {
        problem = PlanSet(command, service, wrapper, desired, checks);
    }
    const std::wstring& account = desired.config.account;
    const bool needsPassword = SetAsksForPassword(command.options, account);
    Password password{};
    if (problem.why.empty() && needsPassword) problem = ReadPasswordOf(command, account, password);
    int exitCode = problem.why.empty()
                       ? ChangeAndReport(command, service, desired, checks,
                                         needsPassword ? password.text : nullptr)
                       : RefuseBeforeWriting(command, problem, checks);
    WipePassword(password);
    return exitCode;
}
