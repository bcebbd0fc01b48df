#include "setup/verbs/write_report.h"

#include <cstring>

#include "setup/model/config_json.h"
#include "setup/model/config_text.h"
#include "setup/model/text.h"

using nlohmann::json;

// What every document of the three verbs says of the checks.
static void PutChecks(const CheckFindings& checks, const std::vector<std::wstring>& writeWarnings,
                      json& document) {
    std::vector<std::wstring> warnings = writeWarnings;
    for (const std::wstring& warning : CheckWarningTexts(checks)) warnings.push_back(warning);
    document["warnings"] = JsonTexts(warnings);
    document["notes"] = JsonTexts(CheckNoteTexts(checks));
    document["accessFindings"] = AccessFindingsJson(checks.access);
}

static std::wstring WarningLines(const std::vector<std::wstring>& warnings) {
    std::wstring text;
    for (const std::wstring& warning : warnings) text += WarningLine(warning);
    return text;
}

// What the write itself left to say: the account's new right, then the
// settings the manager could not keep.
static std::wstring NotesText(const std::wstring& account, const WriteNotes& notes) {
    std::wstring text = notes.logonRightGranted ? LogonRightGrantedText(account) + L"\n" : L"";
    return text + WarningLines(notes.warnings);
}

std::wstring RenderChangesText(const std::wstring& name, const std::vector<ConfigChange>& changes,
                               bool running) {
    if (changes.empty()) {
        return L"The service " + Printable(name) + L" is already as asked; nothing was changed.\n";
    }
    std::wstring text = L"Changed the service " + Printable(name) + L":\n";
    for (const ConfigChange& change : changes) {
        const bool password = std::strcmp(change.field, kPasswordField) == 0;
        text += std::wstring(L"  ") + change.label + L": " +
                (password ? L"" : change.oldText + L" -> ") + change.newText + L"\n";
    }
    const std::wstring waiting = WaitingFieldsText(changes);
    if (running && !waiting.empty()) {
        text += L"The service is running: restart it to apply: " + waiting + L".\n";
    }
    return text;
}

nlohmann::json ChangesJson(const std::vector<ConfigChange>& changes) {
    nlohmann::json list = nlohmann::json::array();
    for (const ConfigChange& change : changes) {
        list.push_back({{"field", change.field},
                        {"old", change.oldValue},
                        {"new", change.newValue},
                        {"needsRestart", change.needsRestart}});
    }
    return {
        {"changed", !changes.empty()}, {"changes", list}, {"needsRestart", NeedsRestart(changes)}};
}

VerbReport FailureReport(const std::wstring& message, std::optional<DWORD> error, json document,
                         MessageLookup system) {
    std::wstring sentence = message;
    while (!sentence.empty() && sentence.back() == L'\n') sentence.pop_back();
    const std::wstring text = error ? FillMessageInserts(system(*error), {}) : L"";
    document["error"] = ErrorJson(sentence, error, text)["error"];
    return VerbReport{true, message, document};
}

VerbReport RefusalReport(Verb verb, const std::wstring& name, const std::wstring& why,
                         DWORD error, const CheckFindings& checks, MessageLookup system) {
    std::wstring message;
    const std::wstring found = CheckFindingsText(checks);
    switch (verb) {
    case Verb::Install:
        message = L"Cannot install " + Printable(name) + L": " + why + L"\n" + found +
                  L"Nothing was installed.\n";
        break;
    case Verb::Apply:
        message = L"Cannot apply the configuration to " + Printable(name) + L": " + why + L"\n" +
                  found + L"Nothing was installed or changed.\n";
        break;
    default:
        message = L"Cannot change the service " + Printable(name) + L": " + why + L"\n" + found +
                  L"Nothing was changed.\n";
        break;
    }
    json document = {{"name", JsonText(name)}, {"changed", false}};
    PutChecks(checks, {}, document);
    return FailureReport(message, error != NO_ERROR ? std::optional<DWORD>(error) : std::nullopt,
                         document, system);
}

VerbReport InstallReport(const std::wstring& name, const ServiceConfig& written,
                         const WriteNotes& notes, const CheckFindings& checks) {
    json document = {{"name", JsonText(name)},
                     {"installed", true},
                     {"changed", true},
                     {"service", ConfigJson(written)},
                     {"logonRightGranted", notes.logonRightGranted}};
    PutChecks(checks, notes.warnings, document);
    const std::wstring text = RenderInstallReport(written) + NotesText(written.account, notes) +
                              CheckFindingsText(checks);
    return VerbReport{false, text, document};
}

InstallReports PrepareInstallReports(const std::wstring& name, const ServiceConfig& desired,
                                     const CheckFindings& checks) {
    ServiceConfig withoutRecovery = desired;
    withoutRecovery.recovery = RecoveryPolicy{{}, 0};
    withoutRecovery.failureOnNonZeroExit.reset();
    WriteNotes leftOut;
    leftOut.warnings.push_back(kRecoveryNotKeptWarning);
    InstallReports reports;
    for (bool granted : {false, true}) {
        WriteNotes kept;
        kept.logonRightGranted = granted;
        leftOut.logonRightGranted = granted;
        reports.recoveryKept[granted] = InstallReport(name, desired, kept, checks);
        reports.recoveryLeftOut[granted] = InstallReport(name, withoutRecovery, leftOut, checks);
    }
    return reports;
}

const VerbReport& ChooseInstallReport(const InstallReports& reports, const WriteNotes& notes) {
    const bool kept = notes.notWritten.empty();
    return (kept ? reports.recoveryKept : reports.recoveryLeftOut)[notes.logonRightGranted];
}

VerbReport InstallFailureReport(const std::wstring& name, const InstallFailure& failure,
                                const CheckFindings& checks, MessageLookup system) {
    json document = {{"name", JsonText(name)},
                     {"installed", failure.leftBehind},
                     {"changed", failure.leftBehind}};
    PutChecks(checks, {}, document);
    return FailureReport(InstallFailureText(name, failure, system), failure.error, document,
                         system);
}

VerbReport ChangesReport(const std::wstring& name, const std::wstring& account,
                         const std::vector<ConfigChange>& made, const WriteNotes& notes,
                         const CheckFindings& checks, bool running, bool restartFollows) {
    json document = ChangesJson(made);
    document["name"] = JsonText(name);
    document["installed"] = false;
    document["running"] = running;
    document["restarted"] = false;
    document["logonRightGranted"] = notes.logonRightGranted;
    PutChecks(checks, notes.warnings, document);
    const std::wstring text = RenderChangesText(name, made, running && !restartFollows) +
                              NotesText(account, notes) + CheckFindingsText(checks);
    return VerbReport{false, text, document};
}

// The fields a write carries, by their JSON names; the password is never
// written back, and is named apart.
static json FieldsOf(const std::vector<ConfigChange>& changes, ConfigWrite write) {
    json fields = json::array();
    for (const ConfigChange& change : changes) {
        if (change.write == write && change.field != std::string(kPasswordField)) {
            fields.push_back(change.field);
        }
    }
    return fields;
}

VerbReport ChangeFailureReport(const std::wstring& name, const std::vector<ConfigChange>& changes,
                               const ChangeFailure& failure, const CheckFindings& checks,
                               MessageLookup system) {
    json restored = json::array();
    json notRestored = json::array();
    for (ConfigWrite write : failure.restored) {
        for (const auto& field : FieldsOf(changes, write)) restored.push_back(field);
    }
    for (const ChangeFailure::Unrestored& unrestored : failure.unrestored) {
        for (const auto& field : FieldsOf(changes, unrestored.write)) notRestored.push_back(field);
    }
    const bool passwordStays = PasswordStays(changes, failure);
    if (passwordStays) notRestored.push_back(std::string(kPasswordField));
    json document = {{"name", JsonText(name)},
                     {"changed", !failure.unrestored.empty() || passwordStays},
                     {"restored", restored},
                     {"notRestored", notRestored}};
    PutChecks(checks, {}, document);
    return FailureReport(ChangeFailureText(name, changes, failure, system), failure.error,
                         document, system);
}
