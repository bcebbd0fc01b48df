#include "launcher/launcher_options.h"

#include <string>

#include "launcher/environment.h"

LauncherOptions DefaultLauncherOptions() {
    LauncherOptions options{};
    options.logSizeBytes = kDefaultLogSizeBytes;
    options.logKeep = kDefaultLogKeep;
    options.logTimestamps = false;
    options.stopSignal = StopSignal::kCtrlC;
    return options;
}

std::wstring ProgramFolder(const std::wstring& programPath) {
    const std::size_t slash = programPath.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return L".";
    const bool driveRoot = slash > 0 && programPath[slash - 1] == L':';
    return programPath.substr(0, driveRoot ? slash + 1 : slash);
}

// ASCII digits only: the runtime's conversions also take signs, blanks and
// other scripts' digits, none of which a size typed for a log should carry.
static std::optional<unsigned long long> ParseDecimal(const std::wstring& digits) {
    if (digits.empty()) return std::nullopt;
    unsigned long long value = 0;
    for (const wchar_t c : digits) {
        if (c < L'0' || c > L'9') return std::nullopt;
        const unsigned digit = static_cast<unsigned>(c - L'0');
        if (value > (~0ULL - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

std::optional<unsigned long long> ParseByteSize(const std::wstring& text) {
    if (text.empty()) return std::nullopt;
    unsigned shift = 0;
    switch (text.back()) {
    case L'K': case L'k': shift = 10; break;
    case L'M': case L'm': shift = 20; break;
    case L'G': case L'g': shift = 30; break;
    default: break;
    }
    const std::optional<unsigned long long> value =
        ParseDecimal(shift ? text.substr(0, text.size() - 1) : text);
    if (!value || *value > (~0ULL >> shift)) return std::nullopt;
    return *value << shift;
}

// Each option's reading of its value: an error in plain words, or empty.
static std::wstring NeedsText(const wchar_t* name, const std::wstring& value) {
    return value.empty() ? std::wstring(name) + L" needs a value that is not empty" : L"";
}
static std::wstring ReadService(LauncherOptions& o, const std::wstring& value) {
    o.serviceName = value;
    return NeedsText(L"--service", value);
}
static std::wstring ReadLogDir(LauncherOptions& o, const std::wstring& value) {
    o.logDir = value;
    return NeedsText(L"--log-dir", value);
}
static std::wstring ReadLogSize(LauncherOptions& o, const std::wstring& value) {
    const std::optional<unsigned long long> bytes = ParseByteSize(value);
    if (!bytes || *bytes == 0) {
        return L"--log-size takes a number of bytes above 0, with an optional K, M or G: " + value;
    }
    o.logSizeBytes = *bytes;
    return L"";
}
static std::wstring ReadLogKeep(LauncherOptions& o, const std::wstring& value) {
    const std::optional<unsigned long long> keep = value.size() <= 3 ? ParseDecimal(value) : std::nullopt;
    if (!keep) return L"--log-keep takes a number from 0 to 999: " + value;
    o.logKeep = static_cast<unsigned>(*keep);
    return L"";
}
static std::wstring ReadLogTimestamps(LauncherOptions& o, const std::wstring&) {
    o.logTimestamps = true;
    return L"";
}
static std::wstring ReadWorkingDir(LauncherOptions& o, const std::wstring& value) {
    o.workingDir = value;
    return NeedsText(L"--working-dir", value);
}
static std::wstring ReadEnv(LauncherOptions& o, const std::wstring& value) {
    const std::size_t equals = value.find(L'=');
    if (equals == std::wstring::npos || equals == 0) return L"--env takes NAME=VALUE: " + value;
    if (NameHasBlankAround(value)) {
        return L"--env takes NAME=VALUE with nothing around the name: " + value;
    }
    o.env.push_back(value);
    return L"";
}
static std::wstring ReadEnvFile(LauncherOptions& o, const std::wstring& value) {
    o.envFile = value;
    return NeedsText(L"--env-file", value);
}
static std::wstring ReadStopSignal(LauncherOptions& o, const std::wstring& value) {
    if (value == L"ctrl-c") {
        o.stopSignal = StopSignal::kCtrlC;
    } else if (value == L"none") {
        o.stopSignal = StopSignal::kNone;
    } else {
        return L"--stop-signal takes ctrl-c or none: " + value;
    }
    return L"";
}

struct OptionRule {
    const wchar_t* name;
    bool takesValue;
    bool repeatable;
    std::wstring (*read)(LauncherOptions&, const std::wstring&);
};
const OptionRule kOptionRules[] = {
    {L"--service", true, false, ReadService},
    {L"--log-dir", true, false, ReadLogDir},
    {L"--log-size", true, false, ReadLogSize},
    {L"--log-keep", true, false, ReadLogKeep},
    {L"--log-timestamps", false, false, ReadLogTimestamps},
    {L"--working-dir", true, false, ReadWorkingDir},
    {L"--env", true, true, ReadEnv},
    {L"--env-file", true, false, ReadEnvFile},
    {L"--stop-signal", true, false, ReadStopSignal},
};

static const OptionRule* FindOption(const std::wstring& name) {
    for (const OptionRule& rule : kOptionRules) {
        if (name == rule.name) return &rule;
    }
    return nullptr;
}

static LauncherParse Refuse(std::wstring error) {
    return LauncherParse{false, DefaultLauncherOptions(), std::move(error)};
}

LauncherParse ParseLauncherOptions(const std::vector<std::wstring>& elements) {
    LauncherParse parse{true, DefaultLauncherOptions(), L""};
    std::vector<const OptionRule*> seen;
    std::size_t i = 0;
    for (; i < elements.size() && elements[i] != L"--"; ++i) {
        const OptionRule* rule = FindOption(elements[i]);
        if (!rule) return Refuse(L"unknown option, or a program not preceded by --: " + elements[i]);
        for (const OptionRule* earlier : seen) {
            if (earlier == rule && !rule->repeatable) return Refuse(elements[i] + L" is given twice");
        }
        seen.push_back(rule);
        if (rule->takesValue && i + 1 == elements.size()) return Refuse(elements[i] + L" needs a value");
        const std::wstring error = rule->read(parse.options, rule->takesValue ? elements[++i] : L"");
        if (!error.empty()) return Refuse(error);
    }
    if (i == elements.size()) return Refuse(L"-- and the program to run are missing");
    if (i + 1 == elements.size() || elements[i + 1].empty()) return Refuse(L"no program follows --");
    parse.options.program = elements[i + 1];
    parse.options.arguments.assign(elements.begin() + static_cast<std::ptrdiff_t>(i) + 2, elements.end());
    return parse;
}

std::vector<std::wstring> ComposeLauncherElements(const LauncherOptions& options) {
    std::vector<std::wstring> elements;
    const auto add = [&elements](const wchar_t* name, const std::wstring& value) {
        elements.push_back(name);
        elements.push_back(value);
    };
    if (!options.serviceName.empty()) add(L"--service", options.serviceName);
    if (!options.logDir.empty()) add(L"--log-dir", options.logDir);
    if (options.logSizeBytes != kDefaultLogSizeBytes) add(L"--log-size", std::to_wstring(options.logSizeBytes));
    if (options.logKeep != kDefaultLogKeep) add(L"--log-keep", std::to_wstring(options.logKeep));
    if (options.logTimestamps) elements.push_back(L"--log-timestamps");
    if (!options.workingDir.empty()) add(L"--working-dir", options.workingDir);
    for (const std::wstring& pair : options.env) add(L"--env", pair);
    if (!options.envFile.empty()) add(L"--env-file", options.envFile);
    if (options.stopSignal == StopSignal::kNone) add(L"--stop-signal", L"none");
    elements.push_back(L"--");
    elements.push_back(options.program);
    elements.insert(elements.end(), options.arguments.begin(), options.arguments.end());
    return elements;
}
