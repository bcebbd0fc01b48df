// install: every check before anything is created, then the install
// sequence, then a report of what was written.
#include "child/wrapper_arguments.h"
#include "setup/commands.h"
#include "setup/model/compose_config.h"
#include "setup/model/config_text.h"
#include "setup/model/configuration_review.h"
#include "setup/console.h"
#include "setup/files.h"
#include "setup/install_service.h"
#include "setup/model/service_command_line.h"

static std::wstring Shown(const std::wstring& path) {
    return L"[" + path + L"]";
}

static int Refuse(const std::wstring& name, const std::wstring& why) {
    PrintError(L"Cannot install " + name + L": " + why + L"\nNothing was installed.\n");
    return kExitFailed;
}

// Why an existing file of that path cannot be used, or empty.
static std::wstring FileProblem(const wchar_t* what, const std::wstring& path, DWORD error) {
    if (error == NO_ERROR) return L"";
    if (error == ERROR_DIRECTORY) {
        return std::wstring(L"the ") + what + L" " + Shown(path) + L" is a folder.";
    }
    return std::wstring(L"the ") + what + L" " + Shown(path) + L" cannot be found. " +
           WindowsError(error);
}

// The program as the service will name it: a full path to an existing file,
// or a bare name resolved now, so that the service never searches for it.
// Gives the reason it cannot be used, or empty.
static std::wstring ResolveProgram(const std::wstring& given, std::wstring& program) {
    if (!CanQuoteProgram(given.c_str())) {
        return L"the program " + Shown(given) +
               L" holds a quotation mark (\"), which the wrapper refuses in a program's path.";
    }
    if (IsAbsolutePath(given)) {
        program = given;
        return FileProblem(L"program", given, CheckFile(given));
    }
    if (!IsBareName(given)) {
        return L"the program " + Shown(given) +
               L" is not a full path. A service starts in the system folder, so give the path "
               L"from the drive or share, such as C:\\Program Files\\Vendor\\program.exe.";
    }
    DWORD error = SearchProgram(given, program);
    if (error != NO_ERROR) {
        return L"no program " + Shown(given) + L" is found on the search path. " +
               WindowsError(error);
    }
    return FileProblem(L"program", program, CheckFile(program));
}

static std::wstring ResolveWrapper(const std::wstring& given, std::wstring& wrapper) {
    wrapper = given.empty() ? OwnFolder() + L"\\service-wrapper.exe" : given;
    if (!CanQuoteProgram(wrapper.c_str())) {
        return L"the wrapper's path " + Shown(wrapper) + L" holds a quotation mark (\").";
    }
    if (!IsAbsolutePath(wrapper)) {
        return L"the wrapper " + Shown(wrapper) + L" is not a full path.";
    }
    std::wstring problem = FileProblem(L"wrapper", wrapper, CheckFile(wrapper));
    if (!problem.empty() && given.empty()) {
        problem += L" It is looked for beside this program; name it with --wrapper.";
    }
    return problem;
}

// What the install sequence does not write yet; refused rather than
// dropped without a word.
static std::wstring NotWrittenYet(const ConfigOptions& options) {
    const std::pair<bool, const wchar_t*> kOptions[] = {
        {options.dependencies.has_value(), L"--depends-on"},
        {options.restartDelaysMs.has_value(), L"--restart-on-failure"},
        {options.resetPeriodSeconds.has_value(), L"--reset-failures-after"},
        {options.sidType.has_value(), L"--sid-type"},
        {options.requiredPrivileges.has_value(), L"--required-privileges"},
        {options.passwordStdin, L"--password-stdin"},
        {options.account && AccountKindOf(*options.account) == AccountKind::User,
         L"--account with a user account"},
    };
    for (const auto& option : kOptions) {
        if (option.first) {
            return std::wstring(L"this version cannot write ") + option.second + L" yet.";
        }
    }
    return L"";
}

int RunInstall(const std::wstring& name, const ConfigOptions& options) {
    std::wstring problem = NotWrittenYet(options);
    if (!problem.empty()) return Refuse(name, problem);
    std::wstring program;
    problem = ResolveProgram(*options.program, program);
    if (!problem.empty()) return Refuse(name, problem);
    std::wstring wrapper;
    problem = ResolveWrapper(options.wrapperPath.value_or(L""), wrapper);
    if (!problem.empty()) return Refuse(name, problem);

    ServiceConfig config = ComposeInstallConfig(name, options, wrapper, program).config;
    // The install sequence does not write recovery settings yet: a new
    // service has none, and the report says so.
    config.recovery = RecoveryPolicy{{}, 0};
    config.failureOnNonZeroExit.reset();
    InstallPlan plan;
    plan.name = name;
    plan.displayName = config.displayName;
    plan.commandLine = config.commandLine.text;
    plan.startType = config.startType;
    plan.delayedAutoStart = config.delayedAutoStart.value_or(false);
    plan.serviceStartName = ServiceStartName(config.account);
    plan.description = config.description.value_or(L"");
    plan.preshutdownTimeoutMs =
        config.preshutdownTimeoutMs.value_or(config.commandLine.stopTimeoutMs);

    problem = CompareSplit(plan.commandLine, config.commandLine.elements);
    if (!problem.empty()) {
        return Refuse(name, L"the command line " + plan.commandLine +
                                L" would not be read back as written: " + problem + L".");
    }

    // Made beforehand, so that little is left to go wrong once the service
    // exists: a failure reported then would be for a service that is installed.
    const std::wstring report = RenderInstallReport(config);
    std::optional<InstallFailure> failure = InstallService(plan);
    if (!failure) {
        PrintOut(report);
        return kExitDone;
    }
    PrintError(InstallFailureText(name, *failure, SystemMessage));
    return kExitFailed;
}
