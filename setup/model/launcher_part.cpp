#include "setup/model/launcher_part.h"

#include "setup/model/launch_values.h"
#include "setup/model/text.h"

static const wchar_t kLauncherFile[] = L"service-wrapper-launcher.exe";

bool IsLauncherPath(const std::wstring& path) {
    return SameIgnoringCase(FileNameOf(path), kLauncherFile);
}

std::wstring LauncherPathBeside(const std::wstring& wrapperPath) {
    const std::size_t slash = wrapperPath.find_last_of(L"\\/");
    return (slash == std::wstring::npos ? L"" : wrapperPath.substr(0, slash + 1)) + kLauncherFile;
}

std::vector<std::wstring> ChildElements(const std::optional<LauncherPart>& launcher,
                                        const std::wstring& program,
                                        const std::vector<std::wstring>& arguments) {
    std::vector<std::wstring> elements;
    if (!launcher) {
        elements.push_back(program);
        elements.insert(elements.end(), arguments.begin(), arguments.end());
        return elements;
    }
    LauncherOptions options = launcher->options;
    options.program = program;
    options.arguments = arguments;
    elements.push_back(launcher->path);
    const std::vector<std::wstring> rest = ComposeLauncherElements(options);
    elements.insert(elements.end(), rest.begin(), rest.end());
    return elements;
}

ChildDecode DecodeChildElements(const std::vector<std::wstring>& elements) {
    ChildDecode decoded{true, std::nullopt, L"", {}, L""};
    if (elements.empty()) return decoded;
    if (!IsLauncherPath(elements[0])) {
        decoded.program = elements[0];
        decoded.arguments.assign(elements.begin() + 1, elements.end());
        return decoded;
    }
    LauncherParse parse =
        ParseLauncherOptions(std::vector<std::wstring>(elements.begin() + 1, elements.end()));
    if (!parse.ok) return ChildDecode{false, std::nullopt, L"", {}, parse.error};
    decoded.program = parse.options.program;
    decoded.arguments = parse.options.arguments;
    parse.options.program.clear();
    parse.options.arguments.clear();
    decoded.launcher = LauncherPart{elements[0], parse.options};
    return decoded;
}

// An option that turns something off or names none (--no-log-timestamps,
// --log-dir none, --unset-env, ...) asks for nothing a service without the
// launcher lacks.
bool GivesLauncherOption(const LaunchOptions& given) {
    const auto named = [](const std::optional<std::wstring>& path) { return path && !path->empty(); };
    return named(given.logDir) || given.logSizeBytes || given.logKeep ||
           given.logTimestamps.value_or(false) || named(given.workingDir) || !given.env.empty() ||
           named(given.envFile) || given.stopSignal == StopSignal::kCtrlC;
}

static void TakeGivenSettings(const LaunchOptions& given, LauncherOptions& options) {
    if (given.logDir) options.logDir = *given.logDir;
    if (given.logSizeBytes) options.logSizeBytes = *given.logSizeBytes;
    if (given.logKeep) options.logKeep = *given.logKeep;
    if (given.logTimestamps) options.logTimestamps = *given.logTimestamps;
    if (given.workingDir) options.workingDir = *given.workingDir;
    if (given.envFile) options.envFile = *given.envFile;
    if (given.stopSignal) options.stopSignal = *given.stopSignal;
}

// In place of the first variable of that name in any case, the others of
// it dropped (the launcher would give the program the last one), or added.
static void SetEnv(std::vector<std::wstring>& env, const std::wstring& entry) {
    std::vector<std::wstring> kept;
    bool placed = false;
    for (const std::wstring& existing : env) {
        if (!SameIgnoringCase(EnvName(existing), EnvName(entry))) {
            kept.push_back(existing);
        } else if (!placed) {
            kept.push_back(entry);
            placed = true;
        }
    }
    if (!placed) kept.push_back(entry);
    env = kept;
}

static LauncherPart DefaultPart(const std::wstring& serviceName, const std::wstring& wrapperPath,
                                const std::wstring& defaultLogDir) {
    LauncherPart part{LauncherPathBeside(wrapperPath), DefaultLauncherOptions()};
    part.options.serviceName = serviceName;
    part.options.logDir = defaultLogDir;
    return part;
}

std::optional<LauncherPart> ComposeInstallLauncher(const std::wstring& serviceName,
                                                   const LaunchOptions& given,
                                                   const std::wstring& wrapperPath,
                                                   const std::wstring& defaultLogDir) {
    if (given.direct) return std::nullopt;
    LauncherPart part = DefaultPart(serviceName, wrapperPath, defaultLogDir);
    TakeGivenSettings(given, part.options);
    for (const std::wstring& entry : given.env) SetEnv(part.options.env, entry);
    return part;
}

static void UnsetEnv(std::vector<std::wstring>& env, const std::wstring& name) {
    std::vector<std::wstring> kept;
    for (const std::wstring& existing : env) {
        if (!SameIgnoringCase(EnvName(existing), name)) kept.push_back(existing);
    }
    env = kept;
}

std::optional<LauncherPart> ComposeSetLauncher(const std::optional<LauncherPart>& current,
                                               const std::wstring& serviceName,
                                               const LaunchOptions& given,
                                               const std::wstring& wrapperPath,
                                               const std::wstring& defaultLogDir) {
    if (given.direct || (!current && !GivesLauncherOption(given))) return std::nullopt;
    LauncherPart part = current ? *current : DefaultPart(serviceName, wrapperPath, defaultLogDir);
    part.path = LauncherPathBeside(wrapperPath);
    // It watches its own service, whatever a line written by hand named.
    if (!SameIgnoringCase(part.options.serviceName, serviceName)) part.options.serviceName = serviceName;
    TakeGivenSettings(given, part.options);
    for (const std::wstring& name : given.unsetEnv) UnsetEnv(part.options.env, name);
    for (const std::wstring& entry : given.env) SetEnv(part.options.env, entry);
    return part;
}
