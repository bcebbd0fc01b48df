// install: every check before anything is created, then the install
// sequence, then a report of what was written. A name that is taken is
// refused by the manager, and nothing is replaced.
#include "setup/verbs/commands.h"
#include "setup/verbs/config_verbs.h"

int RunInstall(const SetupCommand& command) {
    DesiredConfig desired{};
    const CheckProblem problem = DesiredFromOptions(command, desired);
    if (!problem.why.empty()) return RefuseBeforeWriting(command, problem);
    return InstallAndReport(command, desired);
}
