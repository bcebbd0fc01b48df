// The text form of the model: show's listing, install's report and a
// status line. Made from the records alone, so that the text and the JSON
// say the same.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "setup/model/config_json.h"
#include "setup/model/configuration_review.h"
#include "setup/model/service_config.h"

// One line of show's listing and install's report: "  label           value\n".
std::wstring ListingLine(const wchar_t* label, const std::wstring& value);

// "[a] [b]", or "(none)".
std::wstring ListText(const std::vector<std::wstring>& texts);

// One line: "restart after 10000 ms, 30000 ms, then 60000 ms for every later
// failure; failures counted anew after 86400 s", "none", or "unknown".
std::wstring RecoveryText(const std::optional<RecoveryPolicy>& recovery);

// show's recovery lines, none of them a warning: each action with its
// delay, the reset period and whether a non-zero exit code counts as a
// failure; or that none is set, so Windows will not restart the service
// after a failure; or that the manager cannot report them.
std::vector<std::wstring> RecoveryLines(const ServiceConfig& config);

// What a stop does with this timeout: "A stop gives the program 30000 ms to
// end by itself, then ends it."
std::wstring StopBehaviourLine(DWORD stopTimeoutMs);

// The account with its kind: "NT SERVICE\MyUpdater (the service's virtual account)".
std::wstring AccountText(const std::wstring& account);

// show's listing: the configuration, the state when known (with the last
// exit code explained by the caller), the command line and its elements,
// then the review's notes and warnings.
std::wstring RenderShowText(const ServiceConfig& config, const std::optional<StatusReport>& status,
                            const std::wstring& exitCodeText, const ConfigurationReview& review);

// install's report of what it wrote, made before the service is created.
std::wstring RenderInstallReport(const ServiceConfig& config);

// status's one line: "MyUpdater: running, pid 4242." or "MyUpdater: stopped; last exit code ...".
std::wstring StatusLine(const std::wstring& name, const StatusReport& status,
                        const std::wstring& exitCodeText);
