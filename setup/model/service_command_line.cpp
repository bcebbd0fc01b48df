#include "setup/model/service_command_line.h"

#include "child/wrapper_arguments.h"
#include "setup/model/text.h"

std::wstring ComposeCommandLineText(const std::wstring& wrapperPath, DWORD stopTimeoutMs,
                                       const std::wstring& program,
                                       const std::vector<std::wstring>& arguments) {
    std::wstring line = L"\"" + wrapperPath + L"\" " + std::to_wstring(stopTimeoutMs) + L" ";
    AppendQuotedArgument(line, program.c_str());
    for (const std::wstring& argument : arguments) {
        line += L' ';
        AppendQuotedArgument(line, argument.c_str());
    }
    return line;
}

std::optional<std::vector<std::wstring>> SplitCommandLineElements(const std::wstring& line) {
    if (line.empty()) return std::vector<std::wstring>();
    int count = 0;
    LPWSTR* elements = CommandLineToArgvW(line.c_str(), &count);
    if (!elements) return std::nullopt;
    std::vector<std::wstring> split;
    try {
        split.assign(elements, elements + count);
    } catch (...) {
        LocalFree(elements);
        throw;
    }
    LocalFree(elements);
    return split;
}

std::wstring CompareSplit(const std::wstring& line, const std::vector<std::wstring>& expected) {
    std::optional<std::vector<std::wstring>> split = SplitCommandLineElements(line);
    if (!split) return L"the command line cannot be split into its elements";
    for (std::size_t i = 0; i < expected.size() || i < split->size(); ++i) {
        if (i >= split->size()) {
            return L"element " + std::to_wstring(i) + L" " + Bracketed(expected[i]) +
                   L" is missing";
        }
        if (i >= expected.size()) {
            return L"an element " + Bracketed((*split)[i]) + L" is read that was not given";
        }
        if ((*split)[i] != expected[i]) {
            return L"element " + std::to_wstring(i) + L" is read as " + Bracketed((*split)[i]) +
                   L" instead of " + Bracketed(expected[i]);
        }
    }
    return L"";
}

static bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

bool IsAbsolutePath(const std::wstring& path) {
    if (path.size() >= 3 && path[1] == L':' && IsSeparator(path[2])) {
        wchar_t drive = path[0];
        return (drive >= L'A' && drive <= L'Z') || (drive >= L'a' && drive <= L'z');
    }
    return path.size() >= 3 && IsSeparator(path[0]) && IsSeparator(path[1]);
}

bool IsBareName(const std::wstring& path) {
    return !path.empty() && path.find_first_of(L"\\/:") == std::wstring::npos;
}

std::wstring ManagerProgramPath(const std::wstring& line) {
    if (!line.empty() && line[0] == L'"') {
        std::size_t close = line.find(L'"', 1);
        return line.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1);
    }
    const std::wstring lower = LowerAscii(line);
    for (std::size_t exe = lower.find(L".exe"); exe != std::wstring::npos;
         exe = lower.find(L".exe", exe + 1)) {
        std::size_t end = exe + 4;
        if (end == line.size() || line[end] == L' ' || line[end] == L'\t') {
            return line.substr(0, end);
        }
    }
    return line.substr(0, line.find_first_of(L" \t"));
}

bool IsWrapperPath(const std::wstring& path) {
    return SameIgnoringCase(FileNameOf(path), L"service-wrapper.exe");
}

ServiceCommandLine DecodeServiceCommandLine(const std::wstring& text) {
    ServiceCommandLine decoded{text, false, {}, L"", false, false, L"", 0, L"", {}, std::nullopt};
    decoded.managerProgram = ManagerProgramPath(text);
    decoded.wrapped = IsWrapperPath(decoded.managerProgram);
    std::optional<std::vector<std::wstring>> elements = SplitCommandLineElements(text);
    if (!elements) return decoded;
    decoded.split = true;
    decoded.elements = *elements;
    const std::vector<std::wstring>& e = decoded.elements;
    if (!decoded.wrapped || e.size() < 3 || e[0] != decoded.managerProgram) return decoded;
    std::optional<DWORD> stopTimeoutMs = ParseStopTimeout(e[1].c_str());
    if (!stopTimeoutMs) return decoded;
    ChildDecode child = DecodeChildElements(std::vector<std::wstring>(e.begin() + 2, e.end()));
    if (!child.ok) return decoded;
    decoded.decoded = true;
    decoded.wrapperPath = e[0];
    decoded.stopTimeoutMs = *stopTimeoutMs;
    decoded.program = child.program;
    decoded.arguments = child.arguments;
    decoded.launcher = child.launcher;
    return decoded;
}

ServiceCommandLine ComposeCommandLine(const std::wstring& wrapperPath, DWORD stopTimeoutMs,
                                       const std::wstring& program,
                                       const std::vector<std::wstring>& arguments,
                                       const std::optional<LauncherPart>& launcher) {
    ServiceCommandLine line{};
    const std::vector<std::wstring> child = ChildElements(launcher, program, arguments);
    line.text = ComposeCommandLineText(wrapperPath, stopTimeoutMs, child[0],
                                          std::vector<std::wstring>(child.begin() + 1, child.end()));
    line.split = true;
    line.elements = {wrapperPath, std::to_wstring(stopTimeoutMs)};
    line.elements.insert(line.elements.end(), child.begin(), child.end());
    line.managerProgram = wrapperPath;
    line.wrapped = IsWrapperPath(wrapperPath);
    line.decoded = true;
    line.wrapperPath = wrapperPath;
    line.stopTimeoutMs = stopTimeoutMs;
    line.program = program;
    line.arguments = arguments;
    line.launcher = launcher;
    return line;
}

std::vector<std::wstring> FilesOfService(const ServiceCommandLine& line) {
    std::vector<std::wstring> files;
    if (!line.managerProgram.empty()) files.push_back(line.managerProgram);
    if (!line.decoded) return files;
    files.push_back(line.program);
    if (!line.launcher) return files;
    files.push_back(line.launcher->path);
    if (!line.launcher->options.envFile.empty()) files.push_back(line.launcher->options.envFile);
    return files;
}
