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
#include "setup/manager/service_follow.h"
#include "setup/manager/service_store.h"
#include "setup/verbs/state_verbs.h"
#include "setup/verbs/verb_output.h"

using nlohmann::json;

static std::wstring WarningLines(const std::vector<std::wstring>& warnings) {
    std::wstring text;
    for (const std::wstring& warning : warnings) text += L"Warning: " + warning + L"\n";
    return text;
}

int InstallAndReport(const SetupCommand& command, const DesiredConfig& desired) {
    // Both reports are made beforehand, so that little is left to go wrong
    // once the service exists: a failure reported then would be for a
    // service that is installed. The second is for a manager that cannot
    // keep the default recovery, which is then left out.
    ServiceConfig withoutRecovery = desired.config;
    withoutRecovery.recovery = RecoveryPolicy{{}, 0};
    withoutRecovery.failureOnNonZeroExit.reset();
    const std::wstring reports[] = {RenderInstallReport(desired.config),
                                    RenderInstallReport(withoutRecovery)};
    json documents[] = {ConfigJson(desired.config), ConfigJson(withoutRecovery)};
    for (json& document : documents) {
        document = {{"name", ToUtf8(command.name)}, {"installed", true}, {"changed", true},
                    {"service", document}, {"warnings", json::array()}};
    }

    WriteNotes notes;
    std::optional<InstallFailure> failure = CreateConfiguredService(desired, nullptr, notes);
    if (failure) {
        json document = {{"name", ToUtf8(command.name)},
                         {"installed", failure->leftBehind},
                         {"changed", failure->leftBehind}};
        return ReportFailure(command.json,
                             InstallFailureText(command.name, *failure, SystemMessageTemplate),
                             failure->error, document, kExitFailed);
    }
    const int kept = notes.notWritten.empty() ? 0 : 1;
    if (command.json) {
        documents[kept]["warnings"] = JsonTexts(notes.warnings);
        PrintJson(documents[kept]);
    } else {
        PrintOut(reports[kept] + WarningLines(notes.warnings));
    }
    return kExitDone;
}

// The fields a write carries, by their JSON names.
static json FieldsOf(const std::vector<ConfigChange>& changes, ConfigWrite write) {
    json fields = json::array();
    for (const ConfigChange& change : changes) {
        if (change.write == write) fields.push_back(change.field);
    }
    return fields;
}

static int ReportChangeFailure(const SetupCommand& command,
                               const std::vector<ConfigChange>& changes,
                               const ChangeFailure& failure) {
    json restored = json::array();
    json notRestored = json::array();
    for (ConfigWrite write : failure.restored) {
        for (const auto& field : FieldsOf(changes, write)) restored.push_back(field);
    }
    for (const ChangeFailure::Unrestored& unrestored : failure.unrestored) {
        for (const auto& field : FieldsOf(changes, unrestored.write)) notRestored.push_back(field);
    }
    json document = {{"name", ToUtf8(command.name)},
                     {"changed", !failure.unrestored.empty()},
                     {"restored", restored},
                     {"notRestored", notRestored}};
    return ReportFailure(command.json,
                         ChangeFailureText(command.name, changes, failure, SystemMessageTemplate),
                         failure.error, document, kExitFailed);
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
                    const DesiredConfig& desired) {
    const std::vector<ConfigChange> changes = CompareConfigs(opened.current, desired);
    WriteNotes notes;
    if (!changes.empty()) {
        std::optional<ChangeFailure> failure =
            WriteChanges(opened.service, opened.current, desired, changes, nullptr, notes);
        if (failure) return ReportChangeFailure(command, changes, *failure);
    }
    // What the manager could not keep did not change.
    std::vector<ConfigChange> made;
    for (const ConfigChange& change : changes) {
        const auto& left = notes.notWritten;
        if (std::find(left.begin(), left.end(), change.write) == left.end()) made.push_back(change);
    }
    const bool running = opened.status.dwCurrentState != SERVICE_STOPPED;
    const bool restart = command.options.restart && running && NeedsRestart(made);
    json document = ChangesJson(made);
    document["name"] = ToUtf8(command.name);
    document["installed"] = false;
    document["running"] = running;
    document["restarted"] = false;
    document["warnings"] = JsonTexts(notes.warnings);
    if (!command.json) {
        PrintOut(RenderChangesText(command.name, made, running && !restart) +
                 WarningLines(notes.warnings));
    }
    if (restart) {
        if (!command.json) {
            PrintOut(L"Restarting the service " + Printable(command.name) + L" to apply: " +
                     WaitingFields(made) + L".\n");
        }
        const CheckProblem problem = Restart(command, opened.service, desired.config);
        if (!problem.why.empty()) {
            return ReportFailure(
                command.json,
                L"Cannot restart the service " + Printable(command.name) + L": " + problem.why +
                    L"\nThe changes were made; they take effect when it next starts.\n",
                problem.error != NO_ERROR ? std::optional<DWORD>(problem.error) : std::nullopt,
                document, kExitFailed);
        }
        document["restarted"] = true;
        if (!command.json) PrintOut(L"Restarted the service " + Printable(command.name) + L".\n");
    }
    if (command.json) PrintJson(document);
    return kExitDone;
}
