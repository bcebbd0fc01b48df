// apply: the service made as the options say, every option not given at
// its default, exactly as install would write it: installed if it is
// missing, changed where it differs, left alone where it does not.
#include "setup/verbs/commands.h"
#include "setup/verbs/config_verbs.h"
#include "setup/model/compare_configs.h"
#include "setup/model/lessening_change.h"

// A user account's password is asked for when the service is created or
// takes the account now, so that the same apply run again changes nothing;
// given on standard input, it is written each time.
static bool ApplyAsksForPassword(const SetupCommand& command, const ServiceToChange& service,
                                 const std::wstring& account) {
    if (AccountKindOf(account) != AccountKind::User) return false;
    return service.error != NO_ERROR || command.options.passwordStdin ||
           !SameAccount(service.current.account, account);
}

int RunApply(const SetupCommand& command) {
    DesiredConfig desired{};
    CheckFindings checks;
    CheckProblem problem = DesiredFromOptions(command, desired, checks);
    if (!problem.why.empty()) return RefuseBeforeWriting(command, problem, checks);

    const ServiceToChange service = OpenForChange(command);
    const bool missing = service.error == ERROR_SERVICE_DOES_NOT_EXIST;
    if (!missing && service.error != NO_ERROR) {
        problem = {service.why, service.error};
    } else if (!missing) {
        problem = NotChangeable(service.current, /*needsDecoded=*/false);
    }
    if (problem.why.empty()) {
        const bool lessens = !missing && OnlyLessens(service.current, desired.config,
                                                     CompareConfigs(service.current, desired));
        problem = CheckBeforeWriting(command, desired.config, checks, lessens);
    }
    const std::wstring& account = desired.config.account;
    const bool needsPassword = ApplyAsksForPassword(command, service, account);
    Password password{};
    if (problem.why.empty() && needsPassword) problem = ReadPasswordOf(command, account, password);
    LPCWSTR given = needsPassword ? password.text : nullptr;
    int exitCode = kExitFailed;
    if (!problem.why.empty()) {
        exitCode = RefuseBeforeWriting(command, problem, checks);
    } else if (missing) {
        exitCode = InstallAndReport(command, desired, checks, given);
    } else {
        exitCode = ChangeAndReport(command, service, desired, checks, given);
    }
    WipePassword(password);
    return exitCode;
}
