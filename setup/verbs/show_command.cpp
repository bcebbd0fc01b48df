// show: a service's state and configuration read back through the store,
// its command line decoded as the wrapper will read it, and the judging of
// it; in text, or the whole record as JSON.
#include "setup/audit/access_review.h"
#include "setup/audit/security_reading.h"
#include "setup/verbs/commands.h"
#include "setup/verbs/config_verbs.h"
#include "setup/console.h"
#include "setup/windows_messages.h"
#include "setup/files.h"
#include "setup/model/argument_paths.h"
#include "setup/model/config_json.h"
#include "setup/model/config_text.h"
#include "setup/model/configuration_review.h"
#include "setup/model/environment_references.h"
#include "setup/model/service_command_line.h"
#include "setup/model/text.h"
#include "setup/manager/config_age_reading.h"
#include "setup/manager/service_reading.h"
#include "setup/system_variables.h"
#include "setup/verbs/verb_output.h"

// Opens the service and reads everything, its state too.
static std::optional<StepFailure> ReadService(const std::wstring& name, OpenedService& opened) {
    if (auto failure = OpenAndReadService(name, SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS,
                                          L"cannot open the service.", opened)) {
        return failure;
    }
    if (opened.statusError != NO_ERROR) {
        return StepFailure{L"cannot read its state.", opened.statusError};
    }
    return std::nullopt;
}

// The files the manager, the wrapper and the launcher start or read, and
// those the program's arguments name, where they can be found now.
static std::vector<std::wstring> FilesRun(const ServiceCommandLine& line) {
    std::vector<std::wstring> files;
    std::vector<std::wstring> paths = FilesOfService(line);
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

// The wrapper's and the program's paths written with %NAME% references,
// which the review leaves to this: judged with the references replaced.
static void CheckReferencedPaths(const ServiceCommandLine& line,
                                 const std::vector<std::wstring>& variables,
                                 CheckFindings& checks) {
    const std::pair<const wchar_t*, std::wstring> paths[] = {
        {L"wrapper", line.managerProgram}, {L"program", line.decoded ? line.program : L""}};
    for (const auto& path : paths) {
        if (!HoldsEnvironmentReference(path.second)) continue;
        const Expansion expansion = ExpandReferences(path.second, variables);
        std::wstring problem = ReferencedPathProblem(path.first, path.second, expansion);
        if (problem.empty() && !FileExists(expansion.text)) {
            problem = std::wstring(L"the ") + path.first + L" " + Bracketed(path.second) +
                      L" is " + Bracketed(expansion.text) +
                      L" once its %NAME% references are replaced, which does not exist.";
        }
        if (!problem.empty()) checks.warnings.push_back(L"T" + problem.substr(1));
    }
}

// A log folder written with %NAME% references, named as the launcher will
// make and write it.
static void NoteStartedLogFolder(const ServiceCommandLine& line,
                                 const std::vector<std::wstring>& variables,
                                 CheckFindings& checks) {
    const std::wstring written = line.launcher ? line.launcher->options.logDir : L"";
    const std::wstring started = StartedLogDir(line, variables);
    if (started.empty() || started == WithoutTrailingSeparators(written)) return;
    checks.notes.push_back(L"The launcher logs into " + NamedAsStarted(started, written) +
                           L": the manager replaces the %NAME% references each time it starts "
                           L"the service.");
}

// What show finds besides the review of the command line: the program's
// checks, and who may change what the service runs, the service itself, its
// registry key and the log folder it writes into. The program's checks and
// the audit judge the command line as the wrapper will read it, its %NAME%
// references replaced.
static CheckFindings CheckService(const ServiceConfig& config) {
    CheckFindings checks;
    const std::vector<std::wstring> variables = SystemVariables();
    ServiceConfig started = config;
    started.commandLine = AsStarted(config.commandLine, variables);
    CheckReferencedPaths(config.commandLine, variables, checks);
    CheckProgram(started, ReviewFor::Show, checks);
    WarnOfMissingLaunchPaths(started, config, checks);
    const std::wstring watched = WatchedServiceProblem(started);
    if (!watched.empty()) checks.warnings.push_back(watched);
    WarnReadableEnvFile(started, checks);
    checks.access = AuditFilesAccess(FilesRun(started.commandLine));
    for (AccessFinding& finding : AuditServiceObjectAccess(config.name)) {
        checks.access.push_back(finding);
    }
    AuditLaunchFolders(started, checks);
    NoteStartedLogFolder(config.commandLine, variables, checks);
    return checks;
}

// Everything show judges: the review of the command line, the program's
// checks and the audit's findings, warnings and notes each in one list.
struct ShowFindings {
    ConfigurationReview review;
    CheckFindings checks;
    std::vector<std::wstring> warnings;  // the review's and the checks', then the audit's
};

static ShowFindings JudgeService(const ServiceConfig& config) {
    ShowFindings found{ReviewConfiguration(config, FileExists), CheckService(config), {}};
    ConfigurationReview& review = found.review;
    for (const std::wstring& warning : found.checks.warnings) review.warnings.push_back(warning);
    for (const std::wstring& note : found.checks.notes) review.notes.push_back(note);
    found.warnings = review.warnings;
    for (std::wstring& warning : AccessFindingTexts(found.checks.access, FindingLevel::Warning)) {
        found.warnings.push_back(warning);
    }
    return found;
}

// Wine's manager takes a service's dependencies but never gives them back.
static bool ManagerReportsDependencies() {
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") == nullptr;
}

static nlohmann::json ShowJson(const ServiceConfig& config, const StatusReport& status,
                               const std::wstring& exitCodeText, const ShowFindings& found,
                               std::optional<bool> changed) {
    std::vector<std::wstring> notes = found.review.notes;
    for (std::wstring& note : AccessFindingTexts(found.checks.access, FindingLevel::Note)) {
        notes.push_back(note);
    }
    nlohmann::json document = ConfigJson(config);
    document["status"] = StatusJson(status, exitCodeText);
    document["status"]["configurationChangedSinceStart"] =
        changed ? nlohmann::json(*changed) : nlohmann::json(nullptr);
    document["warnings"] = JsonTexts(found.warnings);
    document["notes"] = JsonTexts(notes);
    document["accessFindings"] = AccessFindingsJson(found.checks.access);
    return document;
}

int RunShow(const SetupCommand& command) {
    OpenedService opened{};
    const std::optional<StepFailure> failure = ReadService(command.name, opened);
    CloseServiceHandles(opened.handles);
    if (failure) {
        VerbOutput out = NewOutput(command.json, command.name);
        return Fail(out, L"show", failure->problem, failure->error, kExitFailed);
    }
    ServiceConfig config = DecodeStoredService(opened.stored);
    config.dependenciesUnread = !ManagerReportsDependencies();
    ShowFindings found = JudgeService(config);
    const std::optional<bool> changed = ReadChangedSinceStart(command.name, opened.status);
    if (changed.value_or(false)) {
        found.review.notes.push_back(L"The service runs, and " +
                                     std::wstring(kChangedSinceStartText));
    }
    const StatusReport status = StatusReportOf(opened.status);
    const std::wstring exitCodeText =
        ExplainedExitCode(opened.status, opened.stored.binaryPathName);
    VerbOutput out{command.json, command.name,
                   ShowJson(config, status, exitCodeText, found, changed)};
    Say(out, RenderShowText(config, status, exitCodeText, found.review) +
                 AccessFindingsText(found.checks.access));
    return Finish(out, found.warnings.empty() ? kExitDone : kExitWarned);
}
