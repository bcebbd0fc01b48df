// install's writing and report, and apply's and set's: the record written
// through the service store, then the outcome in text or JSON.
#include <algorithm>

#include "setup/commands.h"
#include "setup/config_verbs.h"
#include "setup/console.h"
#include "setup/model/config_json.h"
#include "setup/model/config_text.h"
#include "setup/model/text.h"
#include "setup/service_store.h"
#include "setup/verb_output.h"

using nlohmann::json;

static std::wstring WarningLines(const std::vector<std::wstring>& warnings) {
    std::wstring text;
    for (const std::wstring& warning : warnings) text += L"Warning: " + warning + L"\n";
    return text;
}

static json Texts(const std::vector<std::wstring>& texts) {
    return JsonTexts(texts);
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
        documents[kept]["warnings"] = Texts(notes.warnings);
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
    if (command.json) {
        json document = ChangesJson(made);
        document["name"] = ToUtf8(command.name);
        document["installed"] = false;
        document["running"] = running;
        document["warnings"] = Texts(notes.warnings);
        PrintJson(document);
    } else {
        PrintOut(RenderChangesText(command.name, made, running) + WarningLines(notes.warnings));
    }
    return kExitDone;
}
