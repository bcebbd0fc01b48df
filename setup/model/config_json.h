// The JSON form of the model, for --json: the record, a list of changes,
// a service's status and a failure. Field names in lowerCamelCase, text in
// UTF-8, exactly as stored (control characters included). Fields are only
// ever added, never renamed.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/platform.h"
#include "setup/model/service_config.h"
#include "setup/model/service_status.h"

nlohmann::json JsonText(const std::wstring& text);
nlohmann::json JsonTexts(const std::vector<std::wstring>& texts);

// null where the record has none (could not be read, or not managed).
nlohmann::json JsonOptionalText(const std::optional<std::wstring>& text);
nlohmann::json JsonOptionalTexts(const std::optional<std::vector<std::wstring>>& texts);

// "auto", "demand", "disabled", "boot", "system" or "unknown".
nlohmann::json StartTypeJson(DWORD startType);
// "localSystem", "localService", "networkService", "virtual", "groupManaged", "user".
nlohmann::json AccountKindJson(AccountKind kind);
// {"actions": [{"type": "restart", "delayMs": 10000}, ...], "resetPeriodSeconds": 86400}
nlohmann::json RecoveryJson(const std::optional<RecoveryPolicy>& recovery);
nlohmann::json SidTypeJson(const std::optional<SidType>& sidType);

// The whole record. The command line both as stored ("commandLine") and as
// the wrapper reads it ("elements"), and decoded: "wrapperPath",
// "stopTimeoutMs", "program" and "arguments", null where it cannot be.
nlohmann::json ConfigJson(const ServiceConfig& config);

// {"state", "pid", "exitCode", "serviceSpecificExitCode", "exitCodeText"};
// the text is the explanation the text output gives.
nlohmann::json StatusJson(const StatusReport& status, const std::wstring& exitCodeText);

// {"error": {"message", "code", "text"}}: the whole sentence, the Windows
// error (null for a mistake in the command line) and the platform's text.
nlohmann::json ErrorJson(const std::wstring& message, std::optional<DWORD> code,
                         const std::wstring& text);

// One document as printed: indented, UTF-8, with a line end.
std::string JsonDocument(const nlohmann::json& document);
