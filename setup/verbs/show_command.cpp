// show: a service's state and configuration read back through the store,
// its command line decoded as the wrapper will read it, and the judging of
// it; in text, or the whole record as JSON.
#include "setup/audit/security_reading.h"
#include "setup/verbs/commands.h"
#include "setup/verbs/config_verbs.h"
#include "setup/console.h"
#include "setup/files.h"
#include "setup/model/argument_paths.h"
#include "setup/model/config_json.h"
#include "setup/model/config_text.h"
#include "setup/model/configuration_review.h"
#include "setup/model/exit_codes.h"
#include "setup/model/service_command_line.h"
#include "setup/model/text.h"
#include "setup/manager/config_age_reading.h"
#include "setup/manager/service_store.h"
#include "setup/verbs/state_verbs.h"
#include "setup/verbs/verb_output.h"

// Opens the service and reads everything. Gives NO_ERROR, or the error and
// in problem the failure in words.
static DWORD ReadService(const std::wstring& name, StoredService& stored,
                         SERVICE_STATUS_PROCESS& status, std::wstring& problem) {
    SC_HANDLE manager = nullptr;
    DWORD error = OpenManager(SC_MANAGER_CONNECT, manager);
    if (error != NO_ERROR) {
        problem = L"cannot open the service control manager. " + WindowsError(error);
        return error;
    }
    SC_HANDLE service = nullptr;
    error = OpenNamedService(manager, name, SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS, service);
    if (error == ERROR_SERVICE_DOES_NOT_EXIST) {
        problem = L"there is no service of that name. " + WindowsError(error);
    } else if (error != NO_ERROR) {
        problem = L"cannot open the service. " + WindowsError(error);
    } else if ((error = ReadStoredService(service, name, stored)) != NO_ERROR) {
        problem = L"cannot read its configuration. " + WindowsError(error);
    } else if ((error = ReadStatus(service, status)) != NO_ERROR) {
        problem = L"cannot read its state. " + WindowsError(error);
    }
    if (service) CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return error;
}

// The files the manager and the wrapper start, and those the program's
// arguments name, where they can be found now.
static std::vector<std::wstring> FilesRun(const ServiceCommandLine& line) {
    std::vector<std::wstring> files;
    std::vector<std::wstring> paths = {line.managerProgram, line.decoded ? line.program : L""};
    if (line.decoded) {
        const auto kindOf = [](const std::wstring& path) {
            return FileExists(path) ? PathKind::File : PathKind::Missing;
        };
        for (const std::wstring& file : PathsNamedByArguments(line.arguments, kindOf).files) {
            paths.push_back(file);
        }
    }
    for (const std::wstring& path : paths) {
        if (IsAbsolutePath(path) && !HoldsEnvironmentReference(path) && FileExists(path)) {
            files.push_back(path);
        }
    }
    return files;
}

// What show finds besides the review of the command line: the program's
// checks, and who may change what the service runs, the service itself and
// its registry key.
static CheckFindings CheckService(const ServiceConfig& config) {
    CheckFindings checks;
    CheckProgram(config, ReviewFor::Show, checks);
    checks.access = AuditFilesAccess(FilesRun(config.commandLine));
    for (AccessFinding& finding : AuditServiceObjectAccess(config.name)) {
        checks.access.push_back(finding);
    }
    return checks;
}

// Wine's manager takes a service's dependencies but never gives them back.
static bool ManagerReportsDependencies() {
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") == nullptr;
}

int RunShow(const SetupCommand& command) {
    StoredService stored;
    SERVICE_STATUS_PROCESS s = {};
    std::wstring problem;
    const DWORD error = ReadService(command.name, stored, s, problem);
    if (error != NO_ERROR) {
        const VerbReport report = FailureReport(
            L"Cannot show the service " + Printable(command.name) + L": " + problem + L"\n", error,
            {{"name", ToUtf8(command.name)}}, SystemMessageTemplate);
        return PrintReport(report, command.json, kExitFailed);
    }
    ServiceConfig config = DecodeStoredService(stored);
    config.dependenciesUnread = !ManagerReportsDependencies();
    ConfigurationReview review = ReviewConfiguration(config, FileExists);
    const CheckFindings checks = CheckService(config);
    for (const std::wstring& warning : checks.warnings) review.warnings.push_back(warning);
    for (const std::wstring& note : checks.notes) review.notes.push_back(note);
    const std::optional<bool> changed = ReadChangedSinceStart(command.name, s);
    if (changed.value_or(false)) {
        review.notes.push_back(L"The service runs, and " + std::wstring(kChangedSinceStartText));
    }
    const StatusReport status = StatusReportOf(s);
    const std::wstring program = config.commandLine.decoded ? config.commandLine.program : L"";
    const std::wstring exitCodeText =
        ExplainExitCode(status.win32ExitCode, status.serviceSpecificExitCode, review.wrapped,
                        program, MessageLookups{SystemMessageTemplate, NtStatusMessage});
    std::vector<std::wstring> warnings = review.warnings;
    for (std::wstring& warning : AccessFindingTexts(checks.access, FindingLevel::Warning)) {
        warnings.push_back(warning);
    }
    const int exitCode = warnings.empty() ? kExitDone : kExitWarned;
    if (!command.json) {
        PrintOut(RenderShowText(config, status, exitCodeText, review) +
                 AccessFindingsText(checks.access));
        return exitCode;
    }
    std::vector<std::wstring> notes = review.notes;
    for (std::wstring& note : AccessFindingTexts(checks.access, FindingLevel::Note)) {
        notes.push_back(note);
    }
    nlohmann::json document = ConfigJson(config);
    document["status"] = StatusJson(status, exitCodeText);
    document["status"]["configurationChangedSinceStart"] =
        changed ? nlohmann::json(*changed) : nlohmann::json(nullptr);
    document["warnings"] = JsonTexts(warnings);
    document["notes"] = JsonTexts(notes);
    document["accessFindings"] = AccessFindingsJson(checks.access);
    PrintJson(document);
    return exitCode;
}
