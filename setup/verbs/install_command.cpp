// install: every check before anything is created, then the install
// sequence, then a report of what was written. A name that is taken is
// refused by the manager, and nothing is replaced.
#include "setup/verbs/commands.h"
#include "setup/verbs/config_verbs.h"

int RunInstall(const SetupCommand& command) {
    DesiredConfig desired{};
    CheckFindings checks;
    CheckProblem problem = DesiredFromOptions(command, desired, checks);
    if (problem.why.empty()) problem = CheckBeforeWriting(command, desired.config, checks);
    const std::wstring& account = desired.config.account;
    const bool user = AccountKindOf(account) == AccountKind::User;
    Password password{};
    if (problem.why.empty() && user) problem = ReadPasswordOf(command, account, password);
    const int exitCode = problem.why.empty()
                             ? InstallAndReport(command, desired, checks,
                                                user ? password.text : nullptr)
                             : RefuseBeforeWriting(command, problem, checks);
    WipePassword(password);
    return exitCode;
}
