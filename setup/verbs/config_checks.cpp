// The checks install, apply and set make before anything is written.
#include "child/wrapper_arguments.h"
#include "setup/audit/image_reading.h"
#include "setup/audit/security_reading.h"
#include "setup/verbs/commands.h"
#include "setup/verbs/config_verbs.h"
#include "setup/windows_messages.h"
#include "setup/files.h"
#include "setup/model/argument_paths.h"
#include "setup/model/command_hints.h"
#include "setup/model/compose_config.h"
#include "setup/model/environment_references.h"
#include "setup/model/configuration_review.h"
#include "setup/model/service_command_line.h"
#include "setup/model/text.h"
#include "setup/manager/config_age_reading.h"
#include "setup/manager/service_lookup.h"
#include "setup/manager/service_writing.h"
#include "setup/system_variables.h"
#include "setup/verbs/verb_output.h"

static CheckProblem ReadBackProblem(const ServiceCommandLine& line) {
    const std::wstring problem = CompareSplit(line.text, line.elements);
    if (problem.empty()) return {};
    return {L"the command line " + line.text + L" would not be read back as written: " + problem +
            L"."};
}

CheckProblem ComposedLineProblem(const ServiceCommandLine& line) {
    const std::vector<std::wstring> variables = SystemVariables();
    CheckProblem problem = LauncherProblem(AsStarted(line, variables));
    if (problem.why.empty()) problem = ReadBackProblem(line);
    if (problem.why.empty()) problem = {StartedSplitProblem(line, variables)};
    return problem;
}

CheckProblem DesiredFromOptions(const SetupCommand& command, DesiredConfig& desired,
                                CheckFindings& checks) {
    const ConfigOptions& options = command.options;
    std::wstring wrapper;
    CheckProblem problem = ResolveWrapper(options.wrapperPath.value_or(L""), wrapper, checks);
    if (!problem.why.empty()) return problem;
    std::wstring program;
    problem = ResolveProgram(*options.program, wrapper, program, checks);
    if (!problem.why.empty()) return problem;
    desired = ComposeInstallConfig(command.name, options, wrapper, program,
                                   DefaultLogDirOf(command.name));
    problem = CheckUserAccount(desired.config);
    if (!problem.why.empty()) return problem;
    return ComposedLineProblem(desired.config.commandLine);
}

// A file the manager starts is judged by its header; one that cannot be
// read cannot be judged, which for install is as good as a refusal.
static void CheckImage(const std::wstring& program, ReviewFor reviewFor, CheckFindings& checks) {
    std::vector<std::wstring>& list =
        reviewFor == ReviewFor::Install ? checks.refusals : checks.warnings;
    ImageHeaders headers;
    const DWORD error = ReadImageHeaders(program, headers);
    if (error != NO_ERROR) {
        list.push_back(L"The program " + Bracketed(program) +
                       L" cannot be read, so whether it is a Windows program is not known. " +
                       WindowsError(error));
        return;
    }
    const std::wstring problem = ProgramImageProblem(headers, NativeMachine());
    if (!problem.empty()) {
        list.push_back(L"The program " + Bracketed(program) + L" " + problem + L".");
    }
}

// A program named by a %NAME% reference, or not by its full path, is
// found only at start; show warns of that already.
static bool IsFileToCheck(const std::wstring& path) {
    return IsAbsolutePath(path) && !HoldsEnvironmentReference(path) && FileExists(path);
}

void CheckProgram(const ServiceConfig& config, ReviewFor reviewFor, CheckFindings& checks) {
    const ServiceCommandLine& line = config.commandLine;
    if (!line.wrapped || !line.decoded) return;
    if (!NamesBatchFile(line.program) && IsFileToCheck(line.program)) {
        CheckImage(line.program, reviewFor, checks);
    }
    const ProgramToRun run{line.program, line.arguments, line.text, line.stopTimeoutMs,
                           line.launcher.has_value()};
    AddRuleFindings(ReviewProgram(run, reviewFor), checks);
}

static std::wstring Sentences(const std::vector<std::wstring>& sentences) {
    std::wstring text;
    for (const std::wstring& sentence : sentences) text += (text.empty() ? L"" : L" ") + sentence;
    return text;
}

// A change that only lessens what runs is made in spite of what the checks
// found: what would have refused it is printed as a warning.
static void LetThrough(CheckFindings& checks) {
    const bool found = !checks.refusals.empty() || FindsWritablePaths(checks.access);
    for (std::wstring& refusal : checks.refusals) checks.warnings.push_back(refusal);
    checks.refusals.clear();
    if (found) {
        checks.notes.push_back(L"The change only lessens what the service runs, or when, so it "
                               L"is made in spite of the warnings.");
    }
}

static PathKind KindOf(const std::wstring& path) {
    const DWORD error = CheckFile(path);
    return error == NO_ERROR ? PathKind::File
                             : error == ERROR_DIRECTORY ? PathKind::Folder : PathKind::Missing;
}

// Who may change the wrapper, the program, the launcher's files and each
// file an argument names, and the folders above them; a folder an argument names, which the
// program may well be meant to write, gets a note where broad groups may.
static std::vector<AccessFinding> AuditWhatRuns(const ServiceCommandLine& line,
                                                CheckFindings& checks) {
    const NamedPaths named = PathsNamedByArguments(line.arguments, KindOf);
    std::vector<std::wstring> files = {line.wrapperPath, line.program};
    const std::vector<std::wstring> launchFiles = LaunchFilesToAudit(line);
    files.insert(files.end(), launchFiles.begin(), launchFiles.end());
    files.insert(files.end(), named.files.begin(), named.files.end());
    for (const NamedFolder& folder : named.folders) {
        if (!FindsWritablePaths(AuditFilesAccess({folder.path}))) continue;
        checks.notes.push_back(L"Broad groups such as Everyone or Users may write the folder " +
                               Bracketed(folder.path) + L", which argument " +
                               std::to_wstring(folder.argument) +
                               L" names: right for a folder the program writes its data to, not "
                               L"for one it runs or reads anything from.");
    }
    return AuditFilesAccess(files);
}

// A dependency that does not exist keeps the service from starting until it
// does, which may be meant (it is installed next).
static void WarnOfMissingDependencies(const ConfigOptions& options, CheckFindings& checks) {
    if (!options.dependencies) return;
    for (const std::wstring& name : MissingServices(*options.dependencies)) {
        checks.warnings.push_back(L"It depends on the service " + Bracketed(name) +
                                  L", which does not exist: Windows will not start it until "
                                  L"that service is installed.");
    }
}

// The record as the wrapper will read it once the manager has replaced the
// %NAME% references of its command line: what the checks judge.
static ServiceConfig AsStartedConfig(const ServiceConfig& config) {
    ServiceConfig started = config;
    started.commandLine = AsStarted(config.commandLine, SystemVariables());
    return started;
}

// What stops the write when broad groups may write what the service runs.
static CheckProblem WritableFilesProblem(bool workingFolder) {
    return {L"broad groups of accounts, such as Everyone or Users, may replace or change the "
            L"files it would run or read, as listed below. Move whichever of the wrapper, the "
            L"launcher, the program, its environment file and the files its arguments name are "
            L"listed to a folder that only administrators may change, such as one under "
            L"C:\\Program Files" +
            std::wstring(workingFolder ? L", and give --working-dir such a folder" : L"") +
            L", or take the write rights listed away (icacls can); or give "
            L"--accept-writable-paths to go on all the same."};
}

// What stops the write when broad groups may write what the service runs, or
// only its log folder or a folder above it, which run nothing but can be made
// a trap.
static CheckProblem WritablePathsProblem(const ServiceConfig& started,
                                         const std::vector<AccessFinding>& findings) {
    std::vector<AccessFinding> others;
    bool workingFolder = false, logFolder = false;
    for (const AccessFinding& finding : findings) {
        if (!ConcernsLogFolder(finding.kind)) others.push_back(finding);
        const bool warning = finding.level == FindingLevel::Warning;
        const bool working = finding.kind == AuditedKind::WorkingFolder ||
                             finding.kind == AuditedKind::WorkingFolderAbove;
        workingFolder = workingFolder || (working && warning);
        logFolder = logFolder || (finding.kind == AuditedKind::LogFolder && warning);
    }
    if (FindsWritablePaths(others)) return WritableFilesProblem(workingFolder);
    // Only the log folder's findings are left, so the line has a launcher.
    const std::wstring logDir = Bracketed(started.commandLine.launcher->options.logDir);
    if (logFolder) {
        return {L"broad groups of accounts, such as Everyone or Users, may write its log folder " +
                logDir +
                L", as listed below, and so make the service overwrite other files through "
                L"links planted in it. Give --log-dir a folder that only administrators and the "
                L"service's account may write (a missing one is made so), or take the write "
                L"rights listed away (icacls can); or give --accept-writable-paths to go on all "
                L"the same."};
    }
    // Only a folder above it: the log folder itself may not even be there yet.
    return {L"broad groups of accounts, such as Everyone or Users, may rename a folder above "
            L"its log folder " + logDir +
            L", as listed below, and so put a folder or a link of their own in its place, which "
            L"the service would write through. Give --log-dir a folder under ones that only "
            L"administrators may change, or take the write rights listed away (icacls can); or "
            L"give --accept-writable-paths to go on all the same."};
}

CheckProblem CheckBeforeWriting(const SetupCommand& command, const ServiceConfig& config,
                                CheckFindings& checks, bool onlyLessens) {
    WarnOfMissingDependencies(command.options, checks);
    const ServiceConfig started = AsStartedConfig(config);
    CheckProgram(started, ReviewFor::Install, checks);
    WarnOfMissingLaunchPaths(started, config, checks);
    const std::wstring watched = WatchedServiceProblem(started);
    if (!watched.empty()) checks.refusals.push_back(watched);
    RefuseLaunchPathsNotFull(config, checks);
    RefuseUnnamableLogFolder(started, checks);
    RefuseSharedLogFolder(started, checks);
    if (onlyLessens) {
        checks.access = AuditWhatRuns(started.commandLine, checks);
        AuditLaunchFolders(started, checks);
        LetThrough(checks);
        return {};
    }
    if (!checks.refusals.empty()) return {Sentences(checks.refusals)};
    checks.access = AuditWhatRuns(started.commandLine, checks);
    AuditLaunchFolders(started, checks);
    WarnReadableEnvFile(started, checks);
    if (!FindsWritablePaths(checks.access) || command.options.acceptWritablePaths) {
        return PrepareLogFolder(started, config, checks);
    }
    return WritablePathsProblem(started, checks.access);
}

CheckProblem ReadPasswordOf(const SetupCommand& command, const std::wstring& account,
                            Password& password) {
    return {ReadPassword(account, command.options.passwordStdin, password)};
}

int RefuseBeforeWriting(const SetupCommand& command, const CheckProblem& problem,
                        const CheckFindings& checks) {
    const VerbReport report = RefusalReport(command.verb, command.name, problem.why,
                                            problem.error, UndoLogFolder(checks),
                                            SystemMessageTemplate);
    VerbOutput out = NewOutput(command.json, command.name);
    return FinishWith(out, report, kExitFailed);
}

ServiceToChange OpenForChange(const SetupCommand& command) {
    ServiceToChange service{{}, {}, NO_ERROR, L""};
    const DWORD access = SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS | kChangeAccess |
                         (command.options.restart ? SERVICE_STOP : 0);
    if (auto failure = OpenAndReadService(command.name, access,
                                          L"cannot open the service to change it.",
                                          service.opened)) {
        service.error = failure->error;
        service.why = failure->problem + L" " + WindowsError(failure->error);
        return service;
    }
    service.current = DecodeStoredService(service.opened.stored);
    if (service.opened.statusError == NO_ERROR) {
        service.changedSinceStart =
            ReadChangedSinceStart(command.name, service.opened.status).value_or(false);
    }
    return service;
}

CheckProblem NotChangeable(const ServiceConfig& current, bool needsDecoded) {
    const ServiceCommandLine& line = current.commandLine;
    if (!line.wrapped) {
        return {NotWrappedProblem(current.name, line, L"changed")};
    }
    if (needsDecoded && !line.decoded) {
        return {L"its command line does not read as the wrapper's (see show), so there is "
                L"nothing to change it from. Give the whole configuration with apply."};
    }
    return {};
}
