// install's writing and report, and apply's and set's: the record written
// through the service store, then the outcome in text or JSON.
#include <algorithm>

#include "setup/verbs/commands.h"
#include "setup/verbs/config_verbs.h"
#include "setup/console.h"
#include "setup/windows_messages.h"
#include "setup/model/config_json.h"
#include "setup/model/config_text.h"
#include "setup/model/configuration_review.h"
#include "setup/model/windows_errors.h"
#include "setup/model/state_report.h"
#include "setup/model/text.h"
#include "setup/manager/logon_right.h"
#include "setup/manager/service_follow.h"
#include "setup/manager/service_writing.h"
#include "setup/verbs/follow_output.h"
#include "setup/verbs/verb_output.h"

using nlohmann::json;

int InstallAndReport(const SetupCommand& command, const DesiredConfig& desired,
                     const CheckFindings& checks, LPCWSTR password) {
    const InstallReports reports = PrepareInstallReports(command.name, desired.config, checks);
    VerbOutput out = NewOutput(command.json, command.name);
    WriteNotes notes;
    std::optional<InstallFailure> failure =
        CreateConfiguredService(desired, password, notes, GrantServiceLogonRight);
    if (failure) {
        return FinishWith(out,
                          InstallFailureReport(command.name, *failure,
                                               failure->leftBehind ? checks : UndoLogFolder(checks),
                                               SystemMessageTemplate),
                          kExitFailed);
    }
    return FinishWith(out, ChooseInstallReport(reports, notes), kExitDone);
}

// The stop and the start that make a running service take its new
// configuration; each pending report is printed in the text output.
static CheckProblem Restart(const VerbOutput& out, const ScHandle& service,
                            const ServiceConfig& config) {
    nlohmann::json pending;  // the document says only whether it restarted
    const PendingReportSink print = PendingSink(out, pending);
    const FollowResult stop = StopAndFollow(service.handle, print);
    if (!stop.ended) return {L"it could not be stopped: " + stop.problem, stop.error};
    const FollowResult start =
        AwaitProgram(service, config.commandLine.text, StartAndFollow(service.handle, print));
    if (!start.ended) {
        return {L"it stopped, but could not be started again: " + start.problem, start.error};
    }
    if (start.status.dwCurrentState != SERVICE_RUNNING) {
        return {L"it stopped, and started again it stopped at once with exit code " +
                ExplainedExitSentence(start.status, config.commandLine.text)};
    }
    return {};
}

// What the manager could not keep did not change.
static std::vector<ConfigChange> MadeChanges(const std::vector<ConfigChange>& changes,
                                             const WriteNotes& notes) {
    std::vector<ConfigChange> made;
    for (const ConfigChange& change : changes) {
        const auto& left = notes.notWritten;
        if (std::find(left.begin(), left.end(), change.write) == left.end()) made.push_back(change);
    }
    return made;
}

// --restart for changes that wait for the next start, after the changes'
// report: the restart printed as it goes, or why it failed.
static int RestartToApply(VerbOutput& out, const ScHandle& service, const ServiceConfig& config,
                          const std::vector<ConfigChange>& made) {
    const std::wstring name = Printable(out.name);
    const std::wstring waiting = WaitingFieldsText(made);
    Say(out, L"Restarting the service " + name + L" to apply: " +
                 (waiting.empty() ? L"the configuration changed after it started" : waiting) +
                 L".\n");
    const CheckProblem problem = Restart(out, service, config);
    if (!problem.why.empty()) {
        return FailWithMessage(out,
                               L"Cannot restart the service " + name + L": " + problem.why +
                                   L"\nThe changes were made; they take effect when it next "
                                   L"starts.",
                               problem.error, kExitFailed);
    }
    out.document["restarted"] = true;
    Say(out, L"Restarted the service " + name + L".\n");
    return kExitDone;
}

int ChangeAndReport(const SetupCommand& command, const ServiceToChange& service,
                    const DesiredConfig& desired, const CheckFindings& checks, LPCWSTR password) {
    std::vector<ConfigChange> changes = CompareConfigs(service.current, desired);
    if (password) changes.push_back(PasswordChange());
    WriteNotes notes;
    if (!changes.empty()) {
        std::optional<ChangeFailure> failure =
            WriteChanges(service.opened.handles.service.handle, service.current, desired, changes,
                         password, notes, GrantServiceLogonRight);
        if (failure) {
            // A line that could not be written back may name the folder.
            const CheckFindings found =
                failure->unrestored.empty() ? UndoLogFolder(checks) : checks;
            VerbOutput out = NewOutput(command.json, command.name);
            return FinishWith(out, ChangeFailureReport(command.name, changes, *failure, found,
                                                       SystemMessageTemplate),
                              kExitFailed);
        }
    }
    const std::vector<ConfigChange> made = MadeChanges(changes, notes);
    const bool running = MayBeRunning(service.opened);
    // A configuration written since it started waits for a restart too,
    // whoever wrote it.
    const bool restart = command.options.restart && running &&
                         (NeedsRestart(made) || service.changedSinceStart);
    const VerbReport report = ChangesReport(command.name, desired.config.account, made, notes,
                                            checks, running, restart);
    VerbOutput out = NewOutput(command.json, command.name);
    Put(out, report);
    if (restart) {
        const int exitCode = RestartToApply(out, service.opened.handles.service, desired.config,
                                            made);
        if (exitCode != kExitDone) return exitCode;
    }
    return Finish(out, kExitDone);
}
