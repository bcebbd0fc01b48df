// install's writing and report, and apply's and set's: the record written
// through the service store, then the outcome in text or JSON.
#include <algorithm>

#include "setup/verbs/commands.h"
#include "setup/verbs/config_verbs.h"
#include "setup/console.h"
#include "setup/model/config_json.h"
#include "setup/model/config_text.h"
#include "setup/model/configuration_review.h"
#include "setup/model/exit_codes.h"
#include "setup/model/state_report.h"
#include "setup/model/text.h"
#include "setup/manager/logon_right.h"
#include "setup/manager/service_follow.h"
#include "setup/manager/service_store.h"
#include "setup/verbs/state_verbs.h"
#include "setup/verbs/verb_output.h"

using nlohmann::json;

int InstallAndReport(const SetupCommand& command, const DesiredConfig& desired,
                     const CheckFindings& checks, LPCWSTR password) {
    // The reports are made beforehand, so that little is left to go wrong
    // once the service exists: a failure reported then would be for a
    // service that is installed. They are for each outcome: a manager that
    // cannot keep the default recovery, which is then left out, and a user
    // account given the right to log on as a service.
    ServiceConfig withoutRecovery = desired.config;
    withoutRecovery.recovery = RecoveryPolicy{{}, 0};
    withoutRecovery.failureOnNonZeroExit.reset();
    std::vector<VerbReport> reports;
    for (bool leftOut : {false, true}) {
        for (bool granted : {false, true}) {
            WriteNotes notes;
            if (leftOut) notes.warnings.push_back(kRecoveryNotKeptWarning);
            notes.logonRightGranted = granted;
            const ServiceConfig& written = leftOut ? withoutRecovery : desired.config;
            reports.push_back(InstallReport(command.name, written, notes, checks));
        }
    }

    WriteNotes notes;
    std::optional<InstallFailure> failure =
        CreateConfiguredService(desired, password, notes, GrantServiceLogonRight);
    if (failure) {
        return PrintReport(
            InstallFailureReport(command.name, *failure, checks, SystemMessageTemplate),
            command.json, kExitFailed);
    }
    const std::size_t kept = (notes.notWritten.empty() ? 0 : 2) + (notes.logonRightGranted ? 1 : 0);
    return PrintReport(reports[kept], command.json, kExitDone);
}

// The stop and the start that make a running service take its new
// configuration; each pending report is printed in the text output.
static CheckProblem Restart(const SetupCommand& command, SC_HANDLE service,
                            const ServiceConfig& config) {
    const bool json = command.json;
    const PendingReportSink print = [json](const SERVICE_STATUS_PROCESS& status) {
        if (!json) PrintOut(PendingLine(status));
    };
    const FollowResult stop = StopAndFollow(service, print);
    if (!stop.ended) return {L"it could not be stopped: " + stop.problem, stop.error};
    const FollowResult start = StartAndFollow(service, print);
    if (!start.ended) {
        return {L"it stopped, but could not be started again: " + start.problem, start.error};
    }
    if (start.status.dwCurrentState != SERVICE_RUNNING) {
        const ServiceCommandLine& line = config.commandLine;
        return {L"it stopped, and started again it stopped at once with exit code " +
                ExplainExitCode(start.status.dwWin32ExitCode,
                                start.status.dwServiceSpecificExitCode, line.wrapped,
                                line.decoded ? line.program : L"",
                                MessageLookups{SystemMessageTemplate, NtStatusMessage}) +
                L"."};
    }
    return {};
}

static std::wstring WaitingFields(const std::vector<ConfigChange>& changes) {
    std::wstring text;
    for (const ConfigChange& change : changes) {
        if (change.needsRestart) text += (text.empty() ? L"" : L", ") + std::wstring(change.label);
    }
    return text;
}

int ChangeAndReport(const SetupCommand& command, OpenedService& opened,
                    const DesiredConfig& desired, const CheckFindings& checks, LPCWSTR password) {
    std::vector<ConfigChange> changes = CompareConfigs(opened.current, desired);
    if (password) changes.push_back(PasswordChange());
    WriteNotes notes;
    if (!changes.empty()) {
        std::optional<ChangeFailure> failure =
            WriteChanges(opened.service, opened.current, desired, changes, password, notes,
                         GrantServiceLogonRight);
        if (failure) {
            return PrintReport(ChangeFailureReport(command.name, changes, *failure, checks,
                                                   SystemMessageTemplate),
                               command.json, kExitFailed);
        }
    }
    // What the manager could not keep did not change.
    std::vector<ConfigChange> made;
    for (const ConfigChange& change : changes) {
        const auto& left = notes.notWritten;
        if (std::find(left.begin(), left.end(), change.write) == left.end()) made.push_back(change);
    }
    const bool running = opened.status.dwCurrentState != SERVICE_STOPPED;
    // A configuration written since it started waits for a restart too,
    // whoever wrote it.
    const bool restart =
        command.options.restart && running && (NeedsRestart(made) || opened.changedSinceStart);
    VerbReport report = ChangesReport(command.name, desired.config.account, made, notes, checks,
                                      running, restart);
    if (!command.json) PrintOut(report.text);
    if (restart) {
        if (!command.json) {
            const std::wstring waiting = WaitingFields(made);
            PrintOut(L"Restarting the service " + Printable(command.name) + L" to apply: " +
                     (waiting.empty() ? L"the configuration changed after it started" : waiting) +
                     L".\n");
        }
        const CheckProblem problem = Restart(command, opened.service, desired.config);
        if (!problem.why.empty()) {
            const std::wstring message =
                L"Cannot restart the service " + Printable(command.name) + L": " + problem.why +
                L"\nThe changes were made; they take effect when it next starts.\n";
            const std::optional<DWORD> error =
                problem.error != NO_ERROR ? std::optional<DWORD>(problem.error) : std::nullopt;
            return PrintReport(
                FailureReport(message, error, report.document, SystemMessageTemplate),
                command.json, kExitFailed);
        }
        report.document["restarted"] = true;
        if (!command.json) PrintOut(L"Restarted the service " + Printable(command.name) + L".\n");
    }
    if (command.json) PrintJson(report.document);
    return kExitDone;
}
