#include "setup/model/config_json.h"

#include "setup/model/launcher_text.h"

#include "setup/model/option_values.h"
#include "setup/model/text.h"

using nlohmann::json;

json JsonText(const std::wstring& text) {
    return ToUtf8(text);
}

json JsonTexts(const std::vector<std::wstring>& texts) {
    json array = json::array();
    for (const std::wstring& text : texts) array.push_back(ToUtf8(text));
    return array;
}

json JsonOptionalText(const std::optional<std::wstring>& text) {
    return text ? JsonText(*text) : json(nullptr);
}

json JsonOptionalTexts(const std::optional<std::vector<std::wstring>>& texts) {
    return texts ? JsonTexts(*texts) : json(nullptr);
}

template <typename T>
static json JsonOptional(const std::optional<T>& value) {
    return value ? json(*value) : json(nullptr);
}

json StartTypeJson(DWORD startType) {
    return ToUtf8(StartTypeName(startType, /*delayedAutoStart=*/false));
}

json AccountKindJson(AccountKind kind) {
    switch (kind) {
    case AccountKind::LocalSystem: return "localSystem";
    case AccountKind::LocalService: return "localService";
    case AccountKind::NetworkService: return "networkService";
    case AccountKind::Virtual: return "virtual";
    case AccountKind::GroupManaged: return "groupManaged";
    case AccountKind::User: return "user";
    }
    return "unknown";
}

static const char* ActionTypeWord(RecoveryActionType type) {
    switch (type) {
    case RecoveryActionType::None: return "none";
    case RecoveryActionType::Restart: return "restart";
    case RecoveryActionType::Reboot: return "reboot";
    case RecoveryActionType::RunCommand: return "runCommand";
    }
    return "unknown";
}

json RecoveryJson(const std::optional<RecoveryPolicy>& recovery) {
    if (!recovery) return nullptr;
    json actions = json::array();
    for (const RecoveryAction& action : recovery->actions) {
        actions.push_back({{"type", ActionTypeWord(action.type)}, {"delayMs", action.delayMs}});
    }
    return {{"actions", actions}, {"resetPeriodSeconds", recovery->resetPeriodSeconds}};
}

json SidTypeJson(const std::optional<SidType>& sidType) {
    return sidType ? json(ToUtf8(SidTypeName(*sidType))) : json(nullptr);
}

json ConfigJson(const ServiceConfig& config) {
    const ServiceCommandLine& line = config.commandLine;
    json document = {
        {"name", JsonText(config.name)},
        {"commandLine", JsonText(line.text)},
        {"elements", JsonTexts(line.elements)},
        {"wrapped", line.wrapped},
        {"wrapperPath", line.decoded ? JsonText(line.wrapperPath) : json(nullptr)},
        {"stopTimeoutMs", line.decoded ? json(line.stopTimeoutMs) : json(nullptr)},
        {"program", line.decoded ? JsonText(line.program) : json(nullptr)},
        {"arguments", line.decoded ? JsonTexts(line.arguments) : json(nullptr)},
        {"displayName", JsonText(config.displayName)},
        {"description", JsonOptionalText(config.description)},
        {"startType", StartTypeJson(config.startType)},
        {"delayedAutoStart", JsonOptional(config.delayedAutoStart)},
        {"account", JsonText(config.account)},
        {"accountKind", AccountKindJson(AccountKindOf(config.account))},
        {"preshutdownTimeoutMs", JsonOptional(config.preshutdownTimeoutMs)},
        {"recovery", RecoveryJson(config.recovery)},
        {"failureOnNonZeroExit", JsonOptional(config.failureOnNonZeroExit)},
        {"dependencies", config.dependenciesUnread ? json(nullptr) : JsonTexts(config.dependencies)},
        {"sidType", SidTypeJson(config.sidType)},
        {"requiredPrivileges", JsonOptionalTexts(config.requiredPrivileges)},
        {"direct", line.decoded ? json(!line.launcher) : json(nullptr)},
        {"launcher", LauncherJson(line)},
    };
    return document;
}

json StatusJson(const StatusReport& status, const std::wstring& exitCodeText) {
    return {
        {"state", ToUtf8(StateWord(status.currentState))},
        {"pid", status.processId},
        {"exitCode", status.win32ExitCode},
        {"serviceSpecificExitCode", status.serviceSpecificExitCode},
        {"exitCodeText", ToUtf8(exitCodeText)},
    };
}

json ErrorJson(const std::wstring& message, std::optional<DWORD> code, const std::wstring& text) {
    return {{"error",
             {{"message", ToUtf8(message)},
              {"code", code ? json(*code) : json(nullptr)},
              {"text", code ? JsonText(text) : json(nullptr)}}}};
}

std::string JsonDocument(const json& document) {
    return document.dump(2, ' ', /*ensure_ascii=*/false, json::error_handler_t::replace) + "\n";
}
