// install: every check before anything is created, then the install
// sequence, then a report of what was written.
#include "child/wrapper_arguments.h"
#include "setup/commands.h"
#include "setup/model/configuration_review.h"
#include "setup/console.h"
#include "setup/files.h"
#include "setup/install_service.h"
#include "setup/model/service_command_line.h"

static std::wstring Shown(const std::wstring& path) {
    return L"[" + path + L"]";
}

static int Refuse(const InstallOptions& options, const std::wstring& why) {
    PrintError(L"Cannot install " + options.name + L": " + why + L"\nNothing was installed.\n");
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

static std::wstring InstalledReport(const InstallOptions& options, const InstallPlan& plan,
                                    const std::vector<std::wstring>& elements) {
    std::wstring text = L"Installed the service " + plan.name + L".\n";
    text += L"  display name  " + plan.displayName + L"\n";
    text += std::wstring(L"  start         ") +
            StartTypeName(plan.startType, plan.delayedAutoStart) + L"\n";
    text += L"  account       " + options.account + L"\n";
    text += L"  stop timeout  " + std::to_wstring(options.stopTimeoutMs) +
            L" ms, also the pre-shutdown timeout\n";
    text += L"  description   " + (plan.description.empty() ? L"(none)" : plan.description) + L"\n";
    text += L"The command line, as stored:\n  " + plan.commandLine + L"\n";
    text +=
        L"Its elements, as the wrapper reads them:\n" + FormatElements(elements, /*wrapped=*/true);
    for (std::size_t i = 0; i < elements.size(); ++i) {
        if (!HoldsEnvironmentReference(elements[i])) continue;
        text += L"Note: element " + std::to_wstring(i) +
                L" holds a %NAME% reference, which the manager replaces with the variable's "
                L"value when it starts the service.\n";
    }
    text += L"Start it with: sc.exe start \"" + plan.name + L"\"\n";
    return text;
}

int RunInstall(const InstallOptions& options) {
    std::wstring program;
    std::wstring problem = ResolveProgram(options.program, program);
    if (!problem.empty()) return Refuse(options, problem);
    std::wstring wrapper;
    problem = ResolveWrapper(options.wrapperPath, wrapper);
    if (!problem.empty()) return Refuse(options, problem);

    InstallPlan plan;
    plan.name = options.name;
    plan.displayName = options.displayName.empty() ? options.name : options.displayName;
    plan.commandLine =
        ComposeServiceCommandLine(wrapper, options.stopTimeoutMs, program, options.arguments);
    plan.startType = options.startType;
    plan.delayedAutoStart = options.delayedAutoStart;
    plan.serviceStartName = ServiceStartName(options.account);
    plan.description =
        options.description ? *options.description : L"Runs " + program + L" as a service.";
    plan.preshutdownTimeoutMs = options.stopTimeoutMs;

    std::vector<std::wstring> elements = {wrapper, std::to_wstring(options.stopTimeoutMs), program};
    elements.insert(elements.end(), options.arguments.begin(), options.arguments.end());
    problem = CompareSplit(plan.commandLine, elements);
    if (!problem.empty()) {
        return Refuse(options, L"the command line " + plan.commandLine +
                                   L" would not be read back as written: " + problem + L".");
    }

    // Made beforehand, so that little is left to go wrong once the service
    // exists: a failure reported then would be for a service that is installed.
    const std::wstring report = InstalledReport(options, plan, elements);
    std::optional<InstallFailure> failure = InstallService(plan);
    if (!failure) {
        PrintOut(report);
        return kExitDone;
    }
    std::wstring text = L"Cannot install " + plan.name + L": " + failure->step + L". " +
                        WindowsError(failure->error) + L"\n";
    if (failure->leftBehind) {
        text += L"The service was created but could not be deleted again. " +
                WindowsError(failure->removeError) +
                L"\nRemove it with: service-wrapper-setup remove \"" + plan.name + L"\"\n";
    } else if (failure->created) {
        text += L"The service was deleted again; nothing is left installed.\n";
    } else {
        text += L"Nothing was installed.\n";
    }
    PrintError(text);
    return kExitFailed;
}
