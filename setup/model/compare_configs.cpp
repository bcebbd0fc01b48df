#include "setup/model/compare_configs.h"

#include "setup/model/config_json.h"
#include "setup/model/config_text.h"
#include "setup/model/launcher_text.h"
#include "setup/model/option_values.h"
#include "setup/model/text.h"

using nlohmann::json;

namespace {

struct FieldValue {
    std::wstring text;
    json value;
};

}  // namespace

static void Add(std::vector<ConfigChange>& changes, const char* field, const wchar_t* label,
                FieldValue was, FieldValue becomes, ConfigWrite write, bool needsRestart) {
    changes.push_back(ConfigChange{field, label, was.text, becomes.text, was.value, becomes.value,
                                   write, needsRestart});
}

static FieldValue Text(const std::wstring& text) {
    return {Bracketed(text), JsonText(text)};
}

static FieldValue Ms(std::optional<DWORD> ms) {
    if (!ms) return {L"unknown", nullptr};
    return {std::to_wstring(*ms) + L" ms", *ms};
}

static FieldValue Flag(std::optional<bool> flag) {
    if (!flag) return {L"unknown", nullptr};
    return {*flag ? L"yes" : L"no", *flag};
}

static FieldValue Texts(const std::optional<std::vector<std::wstring>>& texts) {
    if (!texts) return {L"unknown", nullptr};
    return {ListText(*texts), JsonTexts(*texts)};
}

static void CompareCommandLine(const ServiceCommandLine& was, const ServiceCommandLine& becomes,
                               std::vector<ConfigChange>& changes) {
    const ConfigWrite write = ConfigWrite::ChangeServiceConfig;
    if (!was.decoded) {
        if (was.text != becomes.text) {
            Add(changes, "commandLine", L"command line", Text(was.text), Text(becomes.text), write,
                true);
        }
        return;
    }
    const std::size_t before = changes.size();
    // Windows names files without regard to case: a path spelt otherwise is
    // rewritten below, with nothing to restart for.
    if (!SameIgnoringCase(was.wrapperPath, becomes.wrapperPath)) {
        Add(changes, "wrapperPath", L"wrapper", Text(was.wrapperPath), Text(becomes.wrapperPath),
            write, true);
    }
    if (was.stopTimeoutMs != becomes.stopTimeoutMs) {
        Add(changes, "stopTimeoutMs", L"stop timeout", Ms(was.stopTimeoutMs),
            Ms(becomes.stopTimeoutMs), write, true);
    }
    if (!SameIgnoringCase(was.program, becomes.program)) {
        Add(changes, "program", L"program", Text(was.program), Text(becomes.program), write, true);
    }
    if (was.arguments != becomes.arguments) {
        Add(changes, "arguments", L"arguments", Texts(was.arguments), Texts(becomes.arguments),
            write, true);
    }
    CompareLaunchers(was, becomes, changes);
    // The same elements in other quoting: the wrapper reads the same, so a
    // running service is not affected.
    if (changes.size() == before && was.text != becomes.text) {
        Add(changes, "commandLine", L"command line", Text(was.text), Text(becomes.text), write,
            false);
    }
}

// The manager heeds the delayed flag only for an automatic start; for any
// other the flag is left as it is. Unread, it is written only when asked for.
static bool DelayedDiffers(const ServiceConfig& current, const ServiceConfig& desired) {
    if (desired.startType != SERVICE_AUTO_START || !desired.delayedAutoStart) return false;
    if (!current.delayedAutoStart) return *desired.delayedAutoStart;
    return *current.delayedAutoStart != *desired.delayedAutoStart;
}

static void CompareRecovery(const ServiceConfig& current, const DesiredConfig& desired,
                            std::vector<ConfigChange>& changes) {
    const ServiceConfig& want = desired.config;
    const bool compare = desired.recoveryGiven;
    if (want.recovery && (current.recovery || compare) &&
        !(current.recovery && SameRecovery(*current.recovery, *want.recovery))) {
        Add(changes, "recovery", L"recovery",
            {RecoveryText(current.recovery), RecoveryJson(current.recovery)},
            {RecoveryText(want.recovery), RecoveryJson(want.recovery)}, ConfigWrite::FailureActions,
            false);
    }
    if (want.failureOnNonZeroExit && (current.failureOnNonZeroExit || compare) &&
        current.failureOnNonZeroExit != want.failureOnNonZeroExit) {
        Add(changes, "failureOnNonZeroExit", L"non-zero exit counts as a failure",
            Flag(current.failureOnNonZeroExit), Flag(want.failureOnNonZeroExit),
            ConfigWrite::FailureActionsFlag, false);
    }
}

static void CompareNames(const ServiceConfig& current, const ServiceConfig& want,
                         std::vector<ConfigChange>& changes) {
    if (current.displayName != want.displayName) {
        Add(changes, "displayName", L"display name", Text(current.displayName),
            Text(want.displayName), ConfigWrite::ChangeServiceConfig, false);
    }
    if (want.description && current.description != want.description) {
        Add(changes, "description", L"description",
            {current.description ? Bracketed(*current.description) : L"unknown",
             JsonOptionalText(current.description)},
            Text(*want.description), ConfigWrite::Description, false);
    }
}

// When it starts, as whom, and how long a shutdown waits for it.
static void CompareHowItRuns(const ServiceConfig& current, const ServiceConfig& want,
                             std::vector<ConfigChange>& changes) {
    const ConfigWrite config = ConfigWrite::ChangeServiceConfig;
    if (current.startType != want.startType) {
        Add(changes, "startType", L"start type",
            {StartTypeName(current.startType, false), StartTypeJson(current.startType)},
            {StartTypeName(want.startType, false), StartTypeJson(want.startType)}, config, false);
    }
    if (DelayedDiffers(current, want)) {
        Add(changes, "delayedAutoStart", L"delayed automatic start", Flag(current.delayedAutoStart),
            Flag(want.delayedAutoStart), ConfigWrite::DelayedAutoStartInfo, false);
    }
    if (!SameAccount(current.account, want.account)) {
        Add(changes, "account", L"account", {current.account, JsonText(current.account)},
            {want.account, JsonText(want.account)}, config, true);
    }
    if (want.preshutdownTimeoutMs && current.preshutdownTimeoutMs != want.preshutdownTimeoutMs) {
        Add(changes, "preshutdownTimeoutMs", L"pre-shutdown timeout",
            Ms(current.preshutdownTimeoutMs), Ms(want.preshutdownTimeoutMs),
            ConfigWrite::PreshutdownInfo, false);
    }
}

// What it needs to run: the services before it, its SID and its privileges.
static void CompareWhatItNeeds(const ServiceConfig& current, const ServiceConfig& want,
                               std::vector<ConfigChange>& changes) {
    if (!SameNames(current.dependencies, want.dependencies)) {
        Add(changes, "dependencies", L"dependencies", Texts(current.dependencies),
            Texts(want.dependencies), ConfigWrite::ChangeServiceConfig, false);
    }
    if (want.sidType && current.sidType != want.sidType) {
        Add(changes, "sidType", L"SID type",
            {current.sidType ? SidTypeName(*current.sidType) : L"unknown",
             SidTypeJson(current.sidType)},
            {SidTypeName(*want.sidType), SidTypeJson(want.sidType)}, ConfigWrite::ServiceSidInfo,
            true);
    }
    if (want.requiredPrivileges &&
        !(current.requiredPrivileges &&
          SameNames(*current.requiredPrivileges, *want.requiredPrivileges))) {
        Add(changes, "requiredPrivileges", L"required privileges",
            Texts(current.requiredPrivileges), Texts(want.requiredPrivileges),
            ConfigWrite::RequiredPrivilegesInfo, true);
    }
}

std::vector<ConfigChange> CompareConfigs(const ServiceConfig& current,
                                         const DesiredConfig& desired) {
    std::vector<ConfigChange> changes;
    CompareCommandLine(current.commandLine, desired.config.commandLine, changes);
    CompareNames(current, desired.config, changes);
    CompareHowItRuns(current, desired.config, changes);
    CompareRecovery(current, desired, changes);
    CompareWhatItNeeds(current, desired.config, changes);
    return changes;
}

const char kPasswordField[] = "password";

ConfigChange PasswordChange() {
    return ConfigChange{kPasswordField, L"password", L"", L"(changed)", nullptr, nullptr,
                        ConfigWrite::ChangeServiceConfig, true};
}

bool NeedsRestart(const std::vector<ConfigChange>& changes) {
    for (const ConfigChange& change : changes) {
        if (change.needsRestart) return true;
    }
    return false;
}

std::wstring WaitingFieldsText(const std::vector<ConfigChange>& changes) {
    std::wstring text;
    for (const ConfigChange& change : changes) {
        if (change.needsRestart) text += (text.empty() ? L"" : L", ") + std::wstring(change.label);
    }
    return text;
}

bool ChangesWrite(const std::vector<ConfigChange>& changes, ConfigWrite write) {
    for (const ConfigChange& change : changes) {
        if (change.write == write) return true;
    }
    return false;
}
