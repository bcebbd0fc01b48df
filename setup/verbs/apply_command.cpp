// apply: the service made as the options say, every option not given at
// its default, exactly as install would write it: installed if it is
// missing, changed where it differs, left alone where it does not.
#include "setup/verbs/commands.h"
#include "setup/verbs/config_verbs.h"

int RunApply(const SetupCommand& command) {
    DesiredConfig desired{};
    CheckProblem problem = DesiredFromOptions(command, desired);
    if (!problem.why.empty()) return RefuseBeforeWriting(command, problem);

    OpenedService opened = OpenForChange(command);
    if (opened.error == ERROR_SERVICE_DOES_NOT_EXIST) {
        CloseOpenedService(opened);
        return InstallAndReport(command, desired);
    }
    if (opened.error != NO_ERROR) {
        problem = {opened.why, opened.error};
    } else {
        problem = NotChangeable(opened.current, /*needsDecoded=*/false);
    }
    int exitCode = problem.why.empty() ? ChangeAndReport(command, opened, desired)
                                       : RefuseBeforeWriting(command, problem);
    CloseOpenedService(opened);
    return exitCode;
}
