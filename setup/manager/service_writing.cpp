// The whole writes of install, apply and set, each all or nothing: a new
// service is created with every setting or deleted again, and changes
// that fail part-way are written back in reverse order.
#include "setup/manager/service_writing.h"

#include <cstring>
#include <iterator>

#include "service/service_state.h"
#include "setup/manager/level_writes.h"

// The levels in the order they are written: the recovery settings' flag
// before the actions, so that a manager that cannot keep the flag fails
// before any restart action is in place.
const ConfigWrite kLevelOrder[] = {
    ConfigWrite::Description,        ConfigWrite::DelayedAutoStartInfo,
    ConfigWrite::PreshutdownInfo,    ConfigWrite::FailureActionsFlag,
    ConfigWrite::FailureActions,     ConfigWrite::ServiceSidInfo,
    ConfigWrite::RequiredPrivilegesInfo,
};

static const wchar_t kGrantStep[] =
    L"cannot give its account the right to log on as a service (SeServiceLogonRight)";

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
                  "service", "logDir", "logSizeBytes", "logKeep", "logTimestamps", "workingDir",
                  "env", "envFile", "stopSignal"});
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
    // Another account written took the user account's password with it.
    failure.passwordLost = !made.empty() && made.front() == ConfigWrite::ChangeServiceConfig &&
                           ChangesField(changes, {"account"}) &&
                           AccountKindOf(current.config->account) == AccountKind::User;
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
