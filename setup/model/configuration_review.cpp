#include "setup/model/configuration_review.h"

#include "child/wrapper_arguments.h"
#include "setup/model/launcher_part.h"
#include "setup/model/program_search.h"
#include "setup/model/service_command_line.h"
#include "setup/model/text.h"

bool HoldsEnvironmentReference(const std::wstring& text) {
    std::size_t open = text.find(L'%');
    while (open != std::wstring::npos) {
        std::size_t close = text.find(L'%', open + 1);
        if (close == std::wstring::npos) return false;
        if (close > open + 1) return true;
        open = close;  // %% names nothing; the second mark may open a name
    }
    return false;
}

// Unquoted, the manager reads the path up to each blank in turn, trying
// "C:\Program.exe" before "C:\Program Files\...": a blank before the end of
// the first ".exe" is the unquoted-path weakness.
static bool UnquotedPathWithBlank(const std::wstring& line) {
    if (line.empty() || line[0] == L'"') return false;
    std::size_t exe = LowerAscii(line).find(L".exe");
    if (exe == std::wstring::npos) return false;
    return line.find_first_of(L" \t") < exe;
}

// A path without an extension runs the .exe of that name.
static bool ProgramExists(const std::wstring& path, FileExistsFunction fileExists) {
    const std::wstring run = WithRunExtension(path);
    return fileExists(path) || (run != path && fileExists(run));
}

static bool IsPlainNumber(const std::wstring& text) {
    return !text.empty() && text.find_first_not_of(L"0123456789") == std::wstring::npos;
}

// The wrapper's own file, or the program: a full path to a file that exists.
// A path with %NAME% references is expanded by the manager; it is left to it.
static void ReviewFile(const wchar_t* what, const std::wstring& path, FileExistsFunction fileExists,
                      ConfigurationReview& review) {
    if (HoldsEnvironmentReference(path)) return;
    if (!IsAbsolutePath(path)) {
        review.warnings.push_back(
            std::wstring(L"The ") + what + L" " + Bracketed(path) +
            L" is not a full path: Windows searches for it each time the service starts, in "
            L"folders where another file of that name may be found first.");
    } else if (!ProgramExists(path, fileExists)) {
        review.warnings.push_back(std::wstring(L"The ") + what + L" " + Bracketed(path) +
                                  L" does not exist.");
    }
}

// The wrapper's child: the program, or the launcher and the program it
// starts, each a file that must be there when the service starts.
static void ReviewChild(const std::vector<std::wstring>& elements, FileExistsFunction fileExists,
                        ConfigurationReview& review) {
    if (!IsLauncherPath(elements[2])) {
        ReviewFile(L"program", elements[2], fileExists, review);
        return;
    }
    ReviewFile(L"launcher", elements[2], fileExists, review);
    const ChildDecode child =
        DecodeChildElements(std::vector<std::wstring>(elements.begin() + 2, elements.end()));
    if (!child.ok) {
        review.warnings.push_back(L"The launcher would refuse its options: " +
                                  Printable(child.error) +
                                  L". It would stop at once with exit code 87 at each start.");
        return;
    }
    if (child.launcher) ReviewFile(L"program", child.program, fileExists, review);
}

// Element 1 as the wrapper reads it into the stop timeout.
static void ReviewStopTimeoutElement(const std::wstring& element, ConfigurationReview& review) {
    review.stopTimeoutMs = ParseStopTimeout(element.c_str());
    if (review.stopTimeoutMs && !IsPlainNumber(element)) {
        review.notes.push_back(L"Element 1 " + Bracketed(element) +
                               L" is not a plain number: the wrapper reads it as " +
                               std::to_wstring(*review.stopTimeoutMs) +
                               L" ms, passing over blanks and a sign before the digits and "
                               L"ignoring what follows them.");
    }
    if (!review.stopTimeoutMs) {
        review.warnings.push_back(
            L"Element 1 " + Bracketed(element) +
            L" is not a stop timeout the wrapper accepts (milliseconds, 0 to 4294967295): it "
            L"would stop at once with exit code 160.");
    }
}

static void ReviewWrapperElements(const ServiceConfig& config, FileExistsFunction fileExists,
                                  ConfigurationReview& review) {
    const std::vector<std::wstring>& elements = config.commandLine.elements;
    if (elements.size() < 3) {
        review.warnings.push_back(
            L"The command line has " + std::to_wstring(elements.size()) +
            L" element(s); the wrapper needs at least three (itself, the stop timeout and the "
            L"program) and would stop at once with exit code 160.");
        return;
    }
    ReviewStopTimeoutElement(elements[1], review);
    if (!CanQuoteProgram(elements[2].c_str())) {
        review.warnings.push_back(
            L"The program " + Bracketed(elements[2]) +
            L" holds a quotation mark, which the wrapper refuses: it would stop at once with "
            L"exit code 160.");
    } else {
        ReviewChild(elements, fileExists, review);
    }
    if (review.stopTimeoutMs && config.preshutdownTimeoutMs &&
        *config.preshutdownTimeoutMs != *review.stopTimeoutMs) {
        review.warnings.push_back(
            L"The pre-shutdown timeout is " + std::to_wstring(*config.preshutdownTimeoutMs) +
            L" ms but the stop timeout is " + std::to_wstring(*review.stopTimeoutMs) +
            L" ms; they should be equal, so that at shutdown Windows waits as long as the "
            L"wrapper gives the program, and no longer. (The wrapper sets it again each time it "
            L"starts.)");
    }
}

// Unquoted with a blank, the manager starts the whole path but the
// wrapper's own splitting ends its first element at the blank.
static void ReviewWrapper(const ServiceConfig& config, FileExistsFunction fileExists,
                          ConfigurationReview& review) {
    const ServiceCommandLine& line = config.commandLine;
    ReviewFile(L"wrapper", line.managerProgram, fileExists, review);
    if (line.elements[0] == line.managerProgram) {
        ReviewWrapperElements(config, fileExists, review);
        return;
    }
    review.warnings.push_back(
        L"The wrapper reads its own path only up to the first blank, as its splitting reads an "
        L"unquoted first element: it takes " + Bracketed(line.elements[0]) + L" for itself and " +
        Bracketed(line.elements.size() > 1 ? line.elements[1] : L"") +
        L" for the stop timeout, so it will most likely stop at once with exit code 160. Put "
        L"the path in quotation marks, as install and apply write it.");
}

ConfigurationReview ReviewConfiguration(const ServiceConfig& config,
                                        FileExistsFunction fileExists) {
    ConfigurationReview review{false, std::nullopt, {}, {}};
    const ServiceCommandLine& line = config.commandLine;
    const std::vector<std::wstring>& elements = line.elements;
    if (UnquotedPathWithBlank(line.text)) {
        review.warnings.push_back(
            L"The program's path at the start of the command line is not in quotation marks "
            L"and holds a blank: Windows tries each part up to a blank as a program of its own "
            L"(C:\\Program.exe for C:\\Program Files\\...), so a file placed there would run "
            L"instead, under the service's account.");
    }
    if (!line.split) {
        review.warnings.push_back(L"The command line cannot be split into its elements.");
        return review;
    }
    if (elements.empty()) {
        review.warnings.push_back(L"The command line is empty.");
        return review;
    }
    review.wrapped = line.wrapped;
    if (review.wrapped) {
        ReviewWrapper(config, fileExists, review);
    } else {
        review.notes.push_back(L"This is not a wrapped service: the program it starts " +
                               Bracketed(line.managerProgram) + L" is not service-wrapper.exe.");
    }
    for (std::size_t i = 0; i < elements.size(); ++i) {
        if (!HoldsEnvironmentReference(elements[i])) continue;
        review.notes.push_back(L"Element " + std::to_wstring(i) +
                               L" holds a %NAME% reference: the manager replaces it with the "
                               L"variable's value before the program reads its command line.");
    }
    if (review.wrapped && !config.preshutdownTimeoutMs) {
        review.notes.push_back(L"The pre-shutdown timeout could not be read.");
    }
    return review;
}

// With the launcher as the wrapper's child, the program is the element
// after the launcher's options and their --.
std::vector<const wchar_t*> ElementRoles(const std::vector<std::wstring>& elements, bool wrapped) {
    std::vector<const wchar_t*> roles(elements.size(), L"argument");
    if (!wrapped) {
        if (!roles.empty()) roles[0] = L"program";
        return roles;
    }
    const wchar_t* const kFirst[] = {L"wrapper", L"stop timeout", L"program"};
    for (std::size_t i = 0; i < elements.size() && i < 3; ++i) roles[i] = kFirst[i];
    if (elements.size() < 3 || !IsLauncherPath(elements[2])) return roles;
    roles[2] = L"launcher";
    std::size_t i = 3;
    for (; i < elements.size() && elements[i] != L"--"; ++i) roles[i] = L"option";
    if (i < elements.size()) roles[i] = L"options end";
    if (i + 1 < elements.size()) roles[i + 1] = L"program";
    return roles;
}

std::wstring FormatElements(const std::vector<std::wstring>& elements, bool wrapped) {
    std::wstring text;
    const std::vector<const wchar_t*> roles = ElementRoles(elements, wrapped);
    for (std::size_t i = 0; i < elements.size(); ++i) {
        std::wstring role = roles[i];
        role.resize(14, L' ');
        text += L"  " + std::to_wstring(i) + (i < 10 ? L"  " : L" ") + role +
                Bracketed(elements[i]);
        // What the program reads there is the variable's value, not this.
        if (HoldsEnvironmentReference(elements[i])) {
            text += L"  (the manager replaces the %NAME% reference at start)";
        }
        text += L"\n";
    }
    return text;
}

std::wstring ExplainWrapperExitCode(DWORD exitCode, const wchar_t* child) {
    switch (exitCode) {
    case NO_ERROR: return L"clean: the program ended by itself, or was stopped";
    case ERROR_BAD_ARGUMENTS: return L"the wrapper refused its command line";
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return std::wstring(child) + L" was not found";
    case ERROR_ACCESS_DENIED: return std::wstring(child) + L" could not be started: access denied";
    case ERROR_NOT_ENOUGH_MEMORY: return L"the wrapper ran out of memory";
    default: return L"";
    }
}
