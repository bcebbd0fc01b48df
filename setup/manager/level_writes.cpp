// One setting written at a time: the ChangeServiceConfig2W levels, what a
// failed step is called, recovery settings left out, display names taken,
// an account's password and its right to log on as a service.
#include "setup/manager/level_writes.h"

#include "service/service_state.h"
#include "setup/model/option_values.h"

PreparedConfig Prepare(const ServiceConfig& config) {
    PreparedConfig prepared{&config, JoinMultiString(config.dependencies), {}, L""};
    if (config.recovery) {
        for (const RecoveryAction& action : config.recovery->actions) {
            prepared.actions.push_back(
                SC_ACTION{static_cast<SC_ACTION_TYPE>(action.type), action.delayMs});
        }
    }
    // Never an empty vector's null data: a null list leaves the actions as they are.
    prepared.actions.reserve(1);
    if (config.requiredPrivileges) prepared.privileges = JoinMultiString(*config.requiredPrivileges);
    return prepared;
}

static bool IsRecovery(ConfigWrite write) {
    return write == ConfigWrite::FailureActions || write == ConfigWrite::FailureActionsFlag;
}

bool HoldsLevel(const ServiceConfig& config, ConfigWrite write) {
    switch (write) {
    case ConfigWrite::Description: return config.description.has_value();
    case ConfigWrite::DelayedAutoStartInfo: return config.delayedAutoStart.has_value();
    case ConfigWrite::PreshutdownInfo: return config.preshutdownTimeoutMs.has_value();
    case ConfigWrite::FailureActionsFlag: return config.failureOnNonZeroExit.has_value();
    case ConfigWrite::FailureActions: return config.recovery.has_value();
    case ConfigWrite::ServiceSidInfo: return config.sidType.has_value();
    case ConfigWrite::RequiredPrivilegesInfo: return config.requiredPrivileges.has_value();
    case ConfigWrite::ChangeServiceConfig: return true;
    }
    return false;
}

// The levels that hold one flag or number.
static bool IsValueLevel(ConfigWrite write) {
    return write == ConfigWrite::DelayedAutoStartInfo || write == ConfigWrite::PreshutdownInfo ||
           write == ConfigWrite::FailureActionsFlag || write == ConfigWrite::ServiceSidInfo;
}

static BOOL WriteValueLevel(SC_HANDLE service, ConfigWrite write, const ServiceConfig& config) {
    switch (write) {
    case ConfigWrite::DelayedAutoStartInfo: {
        SERVICE_DELAYED_AUTO_START_INFO info = {*config.delayedAutoStart ? TRUE : FALSE};
        return ChangeServiceConfig2W(service, SERVICE_CONFIG_DELAYED_AUTO_START_INFO, &info);
    }
    case ConfigWrite::PreshutdownInfo: {
        SERVICE_PRESHUTDOWN_INFO info = {*config.preshutdownTimeoutMs};
        return ChangeServiceConfig2W(service, SERVICE_CONFIG_PRESHUTDOWN_INFO, &info);
    }
    case ConfigWrite::FailureActionsFlag: {
        SERVICE_FAILURE_ACTIONS_FLAG info = {*config.failureOnNonZeroExit ? TRUE : FALSE};
        return ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &info);
    }
    case ConfigWrite::ServiceSidInfo: {
        SERVICE_SID_INFO info = {ServiceSidTypeValue(*config.sidType)};
        return ChangeServiceConfig2W(service, SERVICE_CONFIG_SERVICE_SID_INFO, &info);
    }
    default: return FALSE;
    }
}

// The levels that hold a text or a list, as prepared.
static BOOL WriteListLevel(SC_HANDLE service, ConfigWrite write, const PreparedConfig& prepared) {
    const ServiceConfig& config = *prepared.config;
    switch (write) {
    case ConfigWrite::Description: {
        // The record's field is not const, but the call only reads it.
        SERVICE_DESCRIPTIONW info = {const_cast<LPWSTR>(config.description->c_str())};
        return ChangeServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, &info);
    }
    case ConfigWrite::FailureActions: {
        // Null texts leave the reboot message and the command as they are.
        SERVICE_FAILURE_ACTIONSW info = {config.recovery->resetPeriodSeconds, nullptr, nullptr,
                                         static_cast<DWORD>(prepared.actions.size()),
                                         const_cast<SC_ACTION*>(prepared.actions.data())};
        return ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, &info);
    }
    case ConfigWrite::RequiredPrivilegesInfo: {
        SERVICE_REQUIRED_PRIVILEGES_INFOW info = {const_cast<LPWSTR>(prepared.privileges.c_str())};
        return ChangeServiceConfig2W(service, SERVICE_CONFIG_REQUIRED_PRIVILEGES_INFO, &info);
    }
    default: return FALSE;
    }
}

DWORD WriteLevel(SC_HANDLE service, ConfigWrite write, const PreparedConfig& prepared) {
    if (write == ConfigWrite::ChangeServiceConfig) return ERROR_INVALID_PARAMETER;
    const BOOL written = IsValueLevel(write) ? WriteValueLevel(service, write, *prepared.config)
                                            : WriteListLevel(service, write, prepared);
    return written ? NO_ERROR : LastErrorOf();
}

const wchar_t* StepText(ConfigWrite write, DWORD error) {
    const bool unknownLevel = error == ERROR_INVALID_LEVEL;
    switch (write) {
    case ConfigWrite::ChangeServiceConfig: return L"cannot change its configuration";
    case ConfigWrite::Description: return L"cannot set the description";
    case ConfigWrite::DelayedAutoStartInfo: return L"cannot set the delayed automatic start";
    case ConfigWrite::PreshutdownInfo: return L"cannot set the pre-shutdown timeout";
    case ConfigWrite::FailureActionsFlag:
        return unknownLevel ? L"the service control manager does not keep the recovery "
                              L"settings' flag that makes a non-zero exit code count as a failure"
                            : L"cannot make a non-zero exit code count as a failure";
    case ConfigWrite::FailureActions:
        return unknownLevel ? L"the service control manager does not keep recovery settings"
                            : L"cannot set the recovery settings";
    case ConfigWrite::ServiceSidInfo:
        return unknownLevel ? L"the service control manager does not keep a SID type"
                            : L"cannot set the SID type";
    case ConfigWrite::RequiredPrivilegesInfo:
        return unknownLevel ? L"the service control manager does not keep required privileges"
                            : L"cannot set the required privileges";
    }
    return L"cannot change the service";
}

bool LeaveOutRecovery(ConfigWrite write, DWORD error, bool recoveryGiven,
                      std::vector<ConfigWrite>& leftOut) {
    if (error != ERROR_INVALID_LEVEL || !IsRecovery(write) || recoveryGiven) return false;
    leftOut.push_back(write);
    return true;
}

void NoteLeftOut(const std::vector<ConfigWrite>& leftOut, WriteNotes& notes) {
    if (leftOut.empty()) return;
    notes.notWritten.insert(notes.notWritten.end(), leftOut.begin(), leftOut.end());
    notes.warnings.push_back(kRecoveryNotKeptWarning);
}

// The name of the service that has this display name, as its display name
// or else as its own name; empty if none is found.
static std::wstring DisplayNameOwner(SC_HANDLE manager, const std::wstring& displayName) {
    std::wstring owner(kMaxServiceNameLength + 1, L'\0');
    DWORD length = static_cast<DWORD>(owner.size());
    if (GetServiceKeyNameW(manager, displayName.c_str(), &owner[0], &length)) {
        owner.resize(length);
        return owner;
    }
    std::wstring ignored(kMaxServiceNameLength + 1, L'\0');
    length = static_cast<DWORD>(ignored.size());
    if (GetServiceDisplayNameW(manager, displayName.c_str(), &ignored[0], &length) ||
        GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        return displayName;
    }
    return L"";
}

std::optional<TakenDisplayName> TakenBy(const ScHandle& manager, DWORD error,
                                        const std::wstring& displayName) {
    if (error != ERROR_DUPLICATE_SERVICE_NAME) return std::nullopt;
    return TakenDisplayName{displayName,
                            manager.handle ? DisplayNameOwner(manager.handle, displayName) : L""};
}

LPCWSTR PasswordFor(const std::wstring& account, LPCWSTR password) {
    if (password) return password;
    const AccountKind kind = AccountKindOf(account);
    const bool builtIn = kind == AccountKind::LocalSystem || kind == AccountKind::LocalService ||
                         kind == AccountKind::NetworkService;
    return builtIn ? L"" : nullptr;
}

DWORD GrantIfUser(const std::wstring& account, LogonRightGrant grant, WriteNotes& notes) {
    if (!grant || AccountKindOf(account) != AccountKind::User) return NO_ERROR;
    bool granted = false;
    const DWORD error = grant(account, granted);
    if (error == NO_ERROR) notes.logonRightGranted = granted;
    return error;
}
