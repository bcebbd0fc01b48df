#include "setup/manager/service_writing.h"

#include "setup/manager/service_handles.h"

#include <cstring>
#include <iterator>

#include "service/service_state.h"
#include "setup/model/option_values.h"

namespace {

// What the writes of one record hand to the manager, made before the first
// write: between a write and its undoing nothing is allocated, so nothing
// can throw and leave a service half written.
struct PreparedConfig {
    const ServiceConfig* config;
    std::wstring dependencies;  // double-null-terminated
    std::vector<SC_ACTION> actions;
    std::wstring privileges;  // double-null-terminated
};

}  // namespace

static PreparedConfig Prepare(const ServiceConfig& config) {
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

// The levels in the order they are written: the recovery settings' flag
// before the actions, so that a manager that cannot keep the flag fails
// before any restart action is in place.
const ConfigWrite kLevelOrder[] = {
    ConfigWrite::Description,        ConfigWrite::DelayedAutoStartInfo,
    ConfigWrite::PreshutdownInfo,    ConfigWrite::FailureActionsFlag,
    ConfigWrite::FailureActions,     ConfigWrite::ServiceSidInfo,
    ConfigWrite::RequiredPrivilegesInfo,
};

static bool IsRecovery(ConfigWrite write) {
    return write == ConfigWrite::FailureActions || write == ConfigWrite::FailureActionsFlag;
}

// Whether the record holds a value for the level; one it does not hold
// (the manager could not report it) cannot be written.
static bool HoldsLevel(const ServiceConfig& config, ConfigWrite write) {
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

// One ChangeServiceConfig2W level from the record, which must hold it.
// Gives NO_ERROR or the error.
static DWORD WriteLevel(SC_HANDLE service, ConfigWrite write, const PreparedConfig& prepared) {
    if (write == ConfigWrite::ChangeServiceConfig) return ERROR_INVALID_PARAMETER;
    const BOOL written = IsValueLevel(write) ? WriteValueLevel(service, write, *prepared.config)
                                            : WriteListLevel(service, write, prepared);
    return written ? NO_ERROR : LastErrorOf();
}

// What could not be done, in words.
static const wchar_t* StepText(ConfigWrite write, DWORD error) {
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

// Where the manager cannot keep the recovery settings that were not asked
// for by name: both levels are left out, since the actions alone would not
// restart a service that reports a failure by its exit code, and the
// caller is told once.
static bool LeaveOutRecovery(ConfigWrite write, DWORD error, bool recoveryGiven,
                             std::vector<ConfigWrite>& leftOut) {
    if (error != ERROR_INVALID_LEVEL || !IsRecovery(write) || recoveryGiven) return false;
    leftOut.push_back(write);
    return true;
}

static void NoteLeftOut(const std::vector<ConfigWrite>& leftOut, WriteNotes& notes) {
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

static std::optional<TakenDisplayName> TakenBy(const ScHandle& manager, DWORD error,
                                               const std::wstring& displayName) {
    if (error != ERROR_DUPLICATE_SERVICE_NAME) return std::nullopt;
    return TakenDisplayName{displayName,
                            manager.handle ? DisplayNameOwner(manager.handle, displayName) : L""};
}

// The password the manager takes with an account that has none of its own
// to give: an empty one for the built-in accounts, none at all for a
// virtual or group managed account.
static LPCWSTR PasswordFor(const std::wstring& account, LPCWSTR password) {
    if (password) return password;
    const AccountKind kind = AccountKindOf(account);
    const bool builtIn = kind == AccountKind::LocalSystem || kind == AccountKind::LocalService ||
                         kind == AccountKind::NetworkService;
    return builtIn ? L"" : nullptr;
}

static const wchar_t kGrantStep[] =
    L"cannot give its account the right to log on as a service (SeServiceLogonRight)";

// A user account cannot start the service without the right to log on as
// one; the built-in and virtual accounts have it already.
static DWORD GrantIfUser(const std::wstring& account, LogonRightGrant grant, WriteNotes& notes) {
    if (!grant || AccountKindOf(account) != AccountKind::User) return NO_ERROR;
    bool granted = false;
    const DWORD error = grant(account, granted);
    if (error == NO_ERROR) notes.logonRightGranted = granted;
    return error;
}

// Whether the record's level is written when a service is created with it:
// what a new service does not have already, and what was given.
static bool InstallWrites(const ServiceConfig& config, ConfigWrite write) {
    switch (write) {
    case ConfigWrite::Description: return config.description && !config.description->empty();
    case ConfigWrite::DelayedAutoStartInfo:
        return config.startType == SERVICE_AUTO_START && config.delayedAutoStart.value_or(false);
    case ConfigWrite::FailureActionsFlag: return config.failureOnNonZeroExit.value_or(false);
    case ConfigWrite::FailureActions: return config.recovery && !config.recovery->actions.empty();
    default: return HoldsLevel(config, write);
    }
}

// The levels CreateServiceW has no parameter for. Gives the step that
// failed, or nothing.
static std::optional<InstallFailure> Configure(SC_HANDLE service, const DesiredConfig& desired,
                                               const PreparedConfig& prepared,
                                               std::vector<ConfigWrite>& leftOut) {
    for (ConfigWrite write : kLevelOrder) {
        if (!InstallWrites(desired.config, write)) continue;
        // The actions alone are no use once the flag could not be kept.
        if (write == ConfigWrite::FailureActions && !leftOut.empty()) {
            leftOut.push_back(write);
            continue;
        }
        const DWORD error = WriteLevel(service, write, prepared);
        if (error == NO_ERROR || LeaveOutRecovery(write, error, desired.recoveryGiven, leftOut)) {
            continue;
        }
        return InstallFailure{StepText(write, error), error, true, false, NO_ERROR};
    }
    return std::nullopt;
}

std::optional<InstallFailure> CreateConfiguredService(const DesiredConfig& desired,
                                                      LPCWSTR password, WriteNotes& notes,
                                                      LogonRightGrant grant) {
    const ServiceConfig& config = desired.config;
    const PreparedConfig prepared = Prepare(config);
    std::vector<ConfigWrite> leftOut;
    leftOut.reserve(std::size(kLevelOrder));
    ScHandle manager;
    DWORD error = OpenManager(SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE, manager);
    if (error != NO_ERROR) {
        return InstallFailure{L"cannot open the service control manager to create a service",
                              error, false, false, NO_ERROR};
    }
    ScHandle service(CreateServiceW(
        manager.handle, config.name.c_str(), config.displayName.c_str(),
        kChangeAccess | DELETE, SERVICE_WIN32_OWN_PROCESS, config.startType, SERVICE_ERROR_NORMAL,
        config.commandLine.text.c_str(), /*lpLoadOrderGroup=*/nullptr, /*lpdwTagId=*/nullptr,
        config.dependencies.empty() ? nullptr : prepared.dependencies.c_str(),
        ServiceStartName(config.account), PasswordFor(config.account, password)));
    if (!service.handle) {
        error = LastErrorOf();
        InstallFailure failure{L"cannot create the service", error, false, false, NO_ERROR};
        failure.takenDisplayName = TakenBy(manager, error, config.displayName);
        return failure;
    }
    std::optional<InstallFailure> failure =
        Configure(service.handle, desired, prepared, leftOut);
    if (!failure) {
        error = GrantIfUser(config.account, grant, notes);
        if (error != NO_ERROR) failure = InstallFailure{kGrantStep, error, true, false, NO_ERROR};
    }
    if (failure && !DeleteService(service.handle)) {
        failure->leftBehind = true;
        failure->removeError = LastErrorOf();
    }
    if (!failure) NoteLeftOut(leftOut, notes);
    return failure;
}

static bool ChangesField(const std::vector<ConfigChange>& changes,
                         std::initializer_list<const char*> fields) {
    for (const ConfigChange& change : changes) {
        for (const char* field : fields) {
            if (std::strcmp(change.field, field) == 0) return true;
        }
    }
    return false;
}

// ChangeServiceConfigW with the fields among the changes taken from the
// record, and SERVICE_NO_CHANGE or null for the rest. The same call with
// the current record writes them back.
static DWORD WriteMainSettings(SC_HANDLE service, const std::vector<ConfigChange>& changes,
                               const PreparedConfig& prepared, LPCWSTR password) {
    const ServiceConfig& config = *prepared.config;
    const bool commandLine = ChangesField(
        changes, {"commandLine", "wrapperPath", "stopTimeoutMs", "program", "arguments", "launcher",
                  "logDir", "logSizeBytes", "logKeep", "logTimestamps", "workingDir", "env",
                  "envFile", "stopSignal"});
    const bool account = ChangesField(changes, {"account"});
    // LocalSystem by name: a null account would leave the account as it is.
    LPCWSTR startName = account ? config.account.c_str() : nullptr;
    LPCWSTR newPassword = account ? PasswordFor(config.account, password) : password;
    if (ChangeServiceConfigW(
            service, SERVICE_NO_CHANGE,
            ChangesField(changes, {"startType"}) ? config.startType : SERVICE_NO_CHANGE,
            SERVICE_NO_CHANGE, commandLine ? config.commandLine.text.c_str() : nullptr,
            /*lpLoadOrderGroup=*/nullptr, /*lpdwTagId=*/nullptr,
            ChangesField(changes, {"dependencies"}) ? prepared.dependencies.c_str() : nullptr,
            startName, newPassword,
            ChangesField(changes, {"displayName"}) ? config.displayName.c_str() : nullptr)) {
        return NO_ERROR;
    }
    return LastErrorOf();
}

static bool Writes(const std::vector<ConfigChange>& changes, ConfigWrite write, LPCWSTR password) {
    return ChangesWrite(changes, write) || (write == ConfigWrite::ChangeServiceConfig && password);
}

// Writes back, in reverse order, what was made, from the current record.
static void WriteBack(SC_HANDLE service, const std::vector<ConfigChange>& changes,
                      const std::vector<ConfigWrite>& made, const PreparedConfig& current,
                      ChangeFailure& failure) {
    for (auto write = made.rbegin(); write != made.rend(); ++write) {
        if (!HoldsLevel(*current.config, *write)) {
            failure.unrestored.push_back({*write, NO_ERROR});
            continue;
        }
        const DWORD error = *write == ConfigWrite::ChangeServiceConfig
                                ? WriteMainSettings(service, changes, current, nullptr)
                                : WriteLevel(service, *write, current);
        if (error == NO_ERROR) {
            failure.restored.push_back(*write);
        } else {
            failure.unrestored.push_back({*write, error});
        }
    }
}

// For a display name taken already, which service has it.
static std::optional<TakenDisplayName> TakenDisplayNameOf(DWORD error,
                                                          const std::wstring& displayName) {
    if (error != ERROR_DUPLICATE_SERVICE_NAME) return std::nullopt;
    ScHandle manager;
    OpenManager(SC_MANAGER_CONNECT, manager);
    return TakenBy(manager, error, displayName);
}

std::optional<ChangeFailure> WriteChanges(SC_HANDLE service, const ServiceConfig& current,
                                          const DesiredConfig& desired,
                                          const std::vector<ConfigChange>& changes,
                                          LPCWSTR password, WriteNotes& notes,
                                          LogonRightGrant grant) {
    const PreparedConfig to = Prepare(desired.config);
    const PreparedConfig back = Prepare(current);
    std::vector<ConfigWrite> order = {ConfigWrite::ChangeServiceConfig};
    order.insert(order.end(), std::begin(kLevelOrder), std::end(kLevelOrder));
    std::vector<ConfigWrite> made, leftOut;
    made.reserve(order.size());
    leftOut.reserve(order.size());
    for (ConfigWrite write : order) {
        if (!Writes(changes, write, password)) continue;
        if (write == ConfigWrite::FailureActions && !leftOut.empty()) {
            leftOut.push_back(write);
            continue;
        }
        const DWORD error = write == ConfigWrite::ChangeServiceConfig
                                ? WriteMainSettings(service, changes, to, password)
                                : WriteLevel(service, write, to);
        if (error == NO_ERROR) {
            made.push_back(write);
            continue;
        }
        if (LeaveOutRecovery(write, error, desired.recoveryGiven, leftOut)) continue;
        ChangeFailure failure{StepText(write, error), error, {}, {}};
        failure.takenDisplayName = TakenDisplayNameOf(error, desired.config.displayName);
        WriteBack(service, changes, made, back, failure);
        return failure;
    }
    if (password || ChangesField(changes, {"account"})) {
        const DWORD error = GrantIfUser(desired.config.account, grant, notes);
        if (error != NO_ERROR) {
            ChangeFailure failure{kGrantStep, error, {}, {}};
            WriteBack(service, changes, made, back, failure);
            return failure;
        }
    }
    NoteLeftOut(leftOut, notes);
    return std::nullopt;
}
