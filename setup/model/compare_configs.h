// Two records compared field by field: what apply and set change, and how.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "setup/model/service_config.h"

// The write that carries a field: ChangeServiceConfigW (command line,
// display name, start type, account, dependencies), or one level of
// ChangeServiceConfig2W.
enum class ConfigWrite {
    ChangeServiceConfig,
    Description,           // SERVICE_CONFIG_DESCRIPTION
    DelayedAutoStartInfo,  // SERVICE_CONFIG_DELAYED_AUTO_START_INFO
    PreshutdownInfo,       // SERVICE_CONFIG_PRESHUTDOWN_INFO
    FailureActions,        // SERVICE_CONFIG_FAILURE_ACTIONS
    FailureActionsFlag,    // SERVICE_CONFIG_FAILURE_ACTIONS_FLAG
    ServiceSidInfo,        // SERVICE_CONFIG_SERVICE_SID_INFO
    RequiredPrivilegesInfo,  // SERVICE_CONFIG_REQUIRED_PRIVILEGES_INFO
};

struct ConfigChange {
    const char* field;     // as in the record's JSON: "stopTimeoutMs"
    const wchar_t* label;  // in words: "stop timeout"
    std::wstring oldText;  // for the text output; "unknown" where it could not be read
    std::wstring newText;
    nlohmann::json oldValue;  // as in the record's JSON; null where it could not be read
    nlohmann::json newValue;
    ConfigWrite write;
    bool needsRestart;  // takes effect only when a running service starts again
};

// One change per field that differs, in the record's order. The command
// line is compared element by element (wrapperPath, stopTimeoutMs, program,
// arguments); equal elements in text that install would not write (other
// quoting) are one "commandLine" change, as is any change to a command line
// that cannot be decoded. A field the current side could not report is
// compared only when the desired side asks for it by name (recovery, and
// the delayed start only when it is asked for). None: nothing to change.
std::vector<ConfigChange> CompareConfigs(const ServiceConfig& current,
                                         const DesiredConfig& desired);

// A new password for the user account: never compared, since the manager
// never gives one back, and never shown: "password: (changed)", with null
// old and new values in JSON. It goes with the main write, and the service
// logs on with it at its next start.
extern const char kPasswordField[];
ConfigChange PasswordChange();

bool NeedsRestart(const std::vector<ConfigChange>& changes);

// The labels of the changes that wait for a restart: "stop timeout, program".
std::wstring WaitingFieldsText(const std::vector<ConfigChange>& changes);

// Whether a change of this write is in the list.
bool ChangesWrite(const std::vector<ConfigChange>& changes, ConfigWrite write);
