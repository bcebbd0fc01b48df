#include "setup/model/launcher_text.h"

#include "setup/model/config_json.h"
#include "setup/model/config_text.h"
#include "setup/model/text.h"

using nlohmann::json;

static json OrNull(const std::wstring& text) {
    return text.empty() ? json(nullptr) : JsonText(text);
}

static const wchar_t* SignalWord(StopSignal signal) {
    return signal == StopSignal::kNone ? L"none" : L"ctrl-c";
}

json LauncherJson(const ServiceCommandLine& line) {
    if (!line.decoded || !line.launcher) return nullptr;
    const LauncherOptions& o = line.launcher->options;
    return {{"path", JsonText(line.launcher->path)},
            {"service", OrNull(o.serviceName)},
            {"logDir", OrNull(o.logDir)},
            {"logSizeBytes", o.logSizeBytes},
            {"logKeep", o.logKeep},
            {"logTimestamps", o.logTimestamps},
            {"workingDir", OrNull(o.workingDir)},
            {"env", JsonTexts(o.env)},
            {"envFile", OrNull(o.envFile)},
            {"stopSignal", JsonText(SignalWord(o.stopSignal))}};
}

static std::wstring OrWords(const std::wstring& path, const wchar_t* none) {
    return path.empty() ? std::wstring(none) : Bracketed(path);
}

std::wstring LauncherText(const ServiceCommandLine& line) {
    if (!line.decoded) return L"";
    if (!line.launcher) {
        return ListingLine(L"launcher",
                           L"none (--direct): the program is the wrapper's own child");
    }
    const LauncherOptions& o = line.launcher->options;
    std::wstring text = ListingLine(L"launcher", Bracketed(line.launcher->path));
    text += ListingLine(L"log folder", OrWords(o.logDir, L"none: the output goes to NUL"));
    text += ListingLine(L"log size", std::to_wstring(o.logSizeBytes) + L" bytes, " +
                                         std::to_wstring(o.logKeep) + L" old files kept");
    text += ListingLine(L"log timestamps", o.logTimestamps ? L"yes" : L"no");
    text += ListingLine(L"working folder", OrWords(o.workingDir, L"the program's own folder"));
    text += ListingLine(L"environment", ListText(o.env));
    text += ListingLine(L"env file", OrWords(o.envFile, L"(none)"));
    text += ListingLine(L"stop signal", SignalWord(o.stopSignal));
    return text;
}

static void AddLauncherChange(std::vector<ConfigChange>& changes, const char* field,
                              const wchar_t* label, const std::wstring& oldText,
                              const std::wstring& newText, json oldValue, json newValue) {
    changes.push_back(ConfigChange{field, label, oldText, newText, oldValue, newValue,
                                   ConfigWrite::ChangeServiceConfig, true});
}

static void ComparePath(std::vector<ConfigChange>& changes, const char* field,
                        const wchar_t* label, const std::wstring& was, const std::wstring& becomes,
                        const wchar_t* none) {
    // Windows names files without regard to case: the same folder, spelt
    // as another name of the service spells it, is no change.
    if (!SameIgnoringCase(was, becomes)) {
        AddLauncherChange(changes, field, label, OrWords(was, none), OrWords(becomes, none),
                          OrNull(was), OrNull(becomes));
    }
}

static void CompareSettings(const LauncherOptions& a, const LauncherOptions& b,
                            std::vector<ConfigChange>& changes) {
    // The service whose stop it watches: a line copied from another service
    // watches that one until the launcher starts again. Names match in any case.
    if (!SameIgnoringCase(a.serviceName, b.serviceName)) {
        AddLauncherChange(changes, "service", L"watched service", OrWords(a.serviceName, L"none"),
                          OrWords(b.serviceName, L"none"), OrNull(a.serviceName),
                          OrNull(b.serviceName));
    }
    ComparePath(changes, "logDir", L"log folder", a.logDir, b.logDir, L"none");
    if (a.logSizeBytes != b.logSizeBytes) {
        AddLauncherChange(changes, "logSizeBytes", L"log size",
                          std::to_wstring(a.logSizeBytes) + L" bytes",
                          std::to_wstring(b.logSizeBytes) + L" bytes", a.logSizeBytes,
                          b.logSizeBytes);
    }
    if (a.logKeep != b.logKeep) {
        AddLauncherChange(changes, "logKeep", L"old log files kept", std::to_wstring(a.logKeep),
                          std::to_wstring(b.logKeep), a.logKeep, b.logKeep);
    }
    if (a.logTimestamps != b.logTimestamps) {
        AddLauncherChange(changes, "logTimestamps", L"log timestamps",
                          a.logTimestamps ? L"yes" : L"no", b.logTimestamps ? L"yes" : L"no",
                          a.logTimestamps, b.logTimestamps);
    }
    ComparePath(changes, "workingDir", L"working folder", a.workingDir, b.workingDir,
                L"the program's own folder");
    if (a.env != b.env) {
        AddLauncherChange(changes, "env", L"environment", ListText(a.env), ListText(b.env),
                          JsonTexts(a.env), JsonTexts(b.env));
    }
    ComparePath(changes, "envFile", L"env file", a.envFile, b.envFile, L"(none)");
    if (a.stopSignal != b.stopSignal) {
        AddLauncherChange(changes, "stopSignal", L"stop signal", SignalWord(a.stopSignal),
                          SignalWord(b.stopSignal), JsonText(SignalWord(a.stopSignal)),
                          JsonText(SignalWord(b.stopSignal)));
    }
}

void CompareLaunchers(const ServiceCommandLine& was, const ServiceCommandLine& becomes,
                      std::vector<ConfigChange>& changes) {
    const std::wstring wasPath = was.launcher ? was.launcher->path : L"";
    const std::wstring becomesPath = becomes.launcher ? becomes.launcher->path : L"";
    const wchar_t* direct = L"none (--direct)";
    if (!SameIgnoringCase(wasPath, becomesPath)) {
        AddLauncherChange(changes, "launcher", L"launcher", OrWords(wasPath, direct),
                          OrWords(becomesPath, direct), OrNull(wasPath), OrNull(becomesPath));
    }
    if (was.launcher && becomes.launcher) {
        CompareSettings(was.launcher->options, becomes.launcher->options, changes);
    }
}
