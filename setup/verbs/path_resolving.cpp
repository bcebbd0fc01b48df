// Where the program and the wrapper a service is given are, as the service
// will find them: full paths, bare names resolved where a service looks,
// and paths with %NAME% references judged with them replaced.
#include "child/wrapper_arguments.h"
#include "setup/files.h"
#include "setup/model/configuration_review.h"
#include "setup/model/environment_references.h"
#include "setup/model/service_command_line.h"
#include "setup/model/text.h"
#include "setup/system_variables.h"
#include "setup/verbs/config_verbs.h"
#include "setup/windows_messages.h"

// Why an existing file of that path cannot be used, or nothing.
static CheckProblem FileProblem(const wchar_t* what, const std::wstring& path, DWORD error) {
    if (error == NO_ERROR) return {};
    if (error == ERROR_DIRECTORY) {
        return {std::wstring(L"the ") + what + L" " + Bracketed(path) + L" is a folder.", error};
    }
    return {std::wstring(L"the ") + what + L" " + Bracketed(path) + L" cannot be found. " +
                WindowsError(error),
            error};
}

// A path written with %NAME% references is judged as the manager will
// start it, the references replaced with the system's variables; it is
// written as given, so that it follows them.
static CheckProblem ReferencedFileProblem(const wchar_t* what, const std::wstring& given,
                                          std::vector<std::wstring>& notes) {
    const Expansion expansion = ExpandReferences(given, SystemVariables());
    const std::wstring problem = ReferencedPathProblem(what, given, expansion);
    if (!problem.empty()) return {problem};
    CheckProblem missing = FileProblem(what, expansion.text, CheckFile(expansion.text));
    if (!missing.why.empty()) {
        missing.why = std::wstring(L"the ") + what + L" " + Bracketed(given) + L" is " +
                      Bracketed(expansion.text) + L" once its %NAME% references are replaced; " +
                      missing.why;
        return missing;
    }
    notes.push_back(std::wstring(L"The ") + what + L" " + Bracketed(given) +
                    L" is written as given: the service control manager replaces its %NAME% "
                    L"references with the system's variables each time the service starts. "
                    L"Today it is " + Bracketed(expansion.text) + L".");
    return {};
}

// The path the manager will start for one written with references.
static std::wstring StartedPath(const std::wstring& path) {
    return ExpandReferences(path, SystemVariables()).text;
}

CheckProblem ResolveProgram(const std::wstring& given, const std::wstring& wrapper,
                            std::wstring& program, CheckFindings& checks) {
    if (!CanQuoteProgram(given.c_str())) {
        return {L"the program " + Bracketed(given) +
                L" holds a quotation mark (\"), which the wrapper refuses in a program's path."};
    }
    if (HoldsEnvironmentReference(given)) {
        program = given;
        return ReferencedFileProblem(L"program", given, checks.notes);
    }
    if (IsAbsolutePath(given)) {
        program = given;
        return FileProblem(L"program", given, CheckFile(given));
    }
    if (!IsBareName(given)) {
        return {L"the program " + Bracketed(given) +
                L" is not a full path. A service starts in the system folder, so give the path "
                L"from the drive or share, such as C:\\Program Files\\Vendor\\program.exe."};
    }
    const std::optional<FoundProgram> found =
        FindProgram(given, ServiceSearchFoldersFor(StartedPath(wrapper)), FileExists);
    if (!found) {
        return {L"no program " + Bracketed(given) + L" is found on the search path a service "
                L"has: the wrapper's folder, the system folders, then the machine's PATH (not "
                L"the current folder). Give its full path.",
                ERROR_FILE_NOT_FOUND};
    }
    program = found->path;
    checks.notes.push_back(FoundProgramNote(given, *found));
    return {};
}

CheckProblem ResolveWrapper(const std::wstring& given, std::wstring& wrapper,
                            CheckFindings& checks) {
    wrapper = given.empty() ? OwnFolder() + L"\\service-wrapper.exe" : given;
    if (!CanQuoteProgram(wrapper.c_str())) {
        return {L"the wrapper's path " + Bracketed(wrapper) + L" holds a quotation mark (\")."};
    }
    if (HoldsEnvironmentReference(wrapper)) {
        return ReferencedFileProblem(L"wrapper", wrapper, checks.notes);
    }
    if (!IsAbsolutePath(wrapper)) {
        return {L"the wrapper " + Bracketed(wrapper) + L" is not a full path."};
    }
    CheckProblem problem = FileProblem(L"wrapper", wrapper, CheckFile(wrapper));
    if (!problem.why.empty() && given.empty()) {
        problem.why += L" It is looked for beside this program; name it with --wrapper.";
    }
    return problem;
}
