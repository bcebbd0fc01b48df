// The checks install, apply and set make before anything is written.
#include "child/wrapper_arguments.h"
#include "setup/audit/image_reading.h"
#include "setup/audit/security_reading.h"
#include "setup/verbs/commands.h"
#include "setup/verbs/config_verbs.h"
#include "setup/console.h"
#include "setup/files.h"
#include "setup/model/command_hints.h"
#include "setup/model/compose_config.h"
#include "setup/model/configuration_review.h"
#include "setup/model/service_command_line.h"
#include "setup/model/text.h"
#include "setup/manager/service_store.h"
#include "setup/verbs/verb_output.h"

static std::wstring Shown(const std::wstring& path) {
    return Bracketed(path);
}

// Why an existing file of that path cannot be used, or nothing.
static CheckProblem FileProblem(const wchar_t* what, const std::wstring& path, DWORD error) {
    if (error == NO_ERROR) return {};
    if (error == ERROR_DIRECTORY) {
        return {std::wstring(L"the ") + what + L" " + Shown(path) + L" is a folder.", error};
    }
    return {std::wstring(L"the ") + what + L" " + Shown(path) + L" cannot be found. " +
                WindowsError(error),
            error};
}

CheckProblem ResolveProgram(const std::wstring& given, std::wstring& program) {
    if (!CanQuoteProgram(given.c_str())) {
        return {L"the program " + Shown(given) +
                L" holds a quotation mark (\"), which the wrapper refuses in a program's path."};
    }
    if (IsAbsolutePath(given)) {
        program = given;
        return FileProblem(L"program", given, CheckFile(given));
    }
    if (!IsBareName(given)) {
        return {L"the program " + Shown(given) +
                L" is not a full path. A service starts in the system folder, so give the path "
                L"from the drive or share, such as C:\\Program Files\\Vendor\\program.exe."};
    }
    const DWORD error = SearchProgram(given, program);
    if (error != NO_ERROR) {
        return {L"no program " + Shown(given) + L" is found on the search path. " +
                    WindowsError(error),
                error};
    }
    return FileProblem(L"program", program, CheckFile(program));
}

CheckProblem ResolveWrapper(const std::wstring& given, std::wstring& wrapper) {
    wrapper = given.empty() ? OwnFolder() + L"\\service-wrapper.exe" : given;
    if (!CanQuoteProgram(wrapper.c_str())) {
        return {L"the wrapper's path " + Shown(wrapper) + L" holds a quotation mark (\")."};
    }
    if (!IsAbsolutePath(wrapper)) {
        return {L"the wrapper " + Shown(wrapper) + L" is not a full path."};
    }
    CheckProblem problem = FileProblem(L"wrapper", wrapper, CheckFile(wrapper));
    if (!problem.why.empty() && given.empty()) {
        problem.why += L" It is looked for beside this program; name it with --wrapper.";
    }
    return problem;
}

CheckProblem ReadBackProblem(const ServiceCommandLine& line) {
    const std::wstring problem = CompareSplit(line.text, line.elements);
    if (problem.empty()) return {};
    return {L"the command line " + line.text + L" would not be read back as written: " + problem +
            L"."};
}

CheckProblem DesiredFromOptions(const SetupCommand& command, DesiredConfig& desired) {
    const ConfigOptions& options = command.options;
    std::wstring program;
    CheckProblem problem = ResolveProgram(*options.program, program);
    if (!problem.why.empty()) return problem;
    std::wstring wrapper;
    problem = ResolveWrapper(options.wrapperPath.value_or(L""), wrapper);
    if (!problem.why.empty()) return problem;
    desired = ComposeInstallConfig(command.name, options, wrapper, program);
    return ReadBackProblem(desired.config.commandLine);
}

// A file the manager starts is judged by its header; one that cannot be
// read cannot be judged, which for install is as good as a refusal.
static void CheckImage(const std::wstring& program, ReviewFor reviewFor, CheckFindings& checks) {
    std::vector<std::wstring>& list =
        reviewFor == ReviewFor::Install ? checks.refusals : checks.warnings;
    ImageHeaders headers;
    const DWORD error = ReadImageHeaders(program, headers);
    if (error != NO_ERROR) {
        list.push_back(L"The program " + Shown(program) + L" cannot be read, so whether it is a "
                       L"Windows program is not known. " + WindowsError(error));
        return;
    }
    const std::wstring problem = ProgramImageProblem(headers, NativeMachine());
    if (!problem.empty()) list.push_back(L"The program " + Shown(program) + L" " + problem + L".");
}

// A program named by a %NAME% reference, or not by its full path, is
// found only at start; show warns of that already.
static bool IsFileToCheck(const std::wstring& path) {
    return IsAbsolutePath(path) && !HoldsEnvironmentReference(path) && FileExists(path);
}

void CheckProgram(const ServiceConfig& config, ReviewFor reviewFor, CheckFindings& checks) {
    const ServiceCommandLine& line = config.commandLine;
    if (!line.wrapped || !line.decoded) return;
    if (!IsBatchFile(line.program) && IsFileToCheck(line.program)) {
        CheckImage(line.program, reviewFor, checks);
    }
    const ProgramToRun run{line.program, line.arguments, line.text, line.stopTimeoutMs};
    AddRuleFindings(ReviewProgram(run, reviewFor), checks);
}

static std::wstring Sentences(const std::vector<std::wstring>& sentences) {
    std::wstring text;
    for (const std::wstring& sentence : sentences) text += (text.empty() ? L"" : L" ") + sentence;
    return text;
}

CheckProblem CheckBeforeWriting(const SetupCommand& command, const ServiceConfig& config,
                                CheckFindings& checks) {
    CheckProgram(config, ReviewFor::Install, checks);
    if (!checks.refusals.empty()) return {Sentences(checks.refusals)};
    const ServiceCommandLine& line = config.commandLine;
    checks.access = AuditFilesAccess({line.wrapperPath, line.program});
    if (!FindsWritablePaths(checks.access) || command.options.acceptWritablePaths) return {};
    return {L"broad groups of accounts, such as Everyone or Users, may replace or change the "
            L"files it would run, as listed below. Move the wrapper and the program to a folder "
            L"that only administrators may change, such as one under C:\\Program Files, or take "
            L"the write rights listed away (icacls can); or give --accept-writable-paths to go on "
            L"all the same."};
}

CheckProblem ReadPasswordOf(const SetupCommand& command, const std::wstring& account,
                            Password& password) {
    return {ReadPassword(account, command.options.passwordStdin, password)};
}

int RefuseBeforeWriting(const SetupCommand& command, const CheckProblem& problem,
                        const CheckFindings& checks) {
    const VerbReport report = RefusalReport(command.verb, command.name, problem.why,
                                            problem.error, checks, SystemMessageTemplate);
    return PrintReport(report, command.json, kExitFailed);
}

OpenedService OpenForChange(const SetupCommand& command) {
    const std::wstring& name = command.name;
    OpenedService opened{nullptr, nullptr, {}, {}, NO_ERROR, L""};
    opened.error = OpenManager(SC_MANAGER_CONNECT, opened.manager);
    if (opened.error != NO_ERROR) {
        opened.why = L"cannot open the service control manager. " + WindowsError(opened.error);
        return opened;
    }
    opened.error = OpenNamedService(opened.manager, name,
                                    SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS | kChangeAccess |
                                        (command.options.restart ? SERVICE_STOP : 0),
                                    opened.service);
    if (opened.error == ERROR_SERVICE_DOES_NOT_EXIST) {
        opened.why = L"there is no service of that name. " + WindowsError(opened.error);
        return opened;
    }
    if (opened.error != NO_ERROR) {
        opened.why = L"cannot open the service to change it. " + WindowsError(opened.error);
        return opened;
    }
    StoredService stored;
    opened.error = ReadStoredService(opened.service, name, stored);
    if (opened.error != NO_ERROR) {
        opened.why = L"cannot read its configuration. " + WindowsError(opened.error);
        return opened;
    }
    opened.current = DecodeStoredService(stored);
    // Not knowing whether it runs, a change is taken to wait for a restart.
    if (ReadStatus(opened.service, opened.status) != NO_ERROR) {
        opened.status.dwCurrentState = SERVICE_RUNNING;
    }
    return opened;
}

void CloseOpenedService(OpenedService& opened) {
    if (opened.service) CloseServiceHandle(opened.service);
    if (opened.manager) CloseServiceHandle(opened.manager);
    opened.service = nullptr;
    opened.manager = nullptr;
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
