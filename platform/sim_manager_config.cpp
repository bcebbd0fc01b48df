// The simulated manager's configuration calls: a service's main settings
// (ChangeServiceConfigW, QueryServiceConfigW) and its optional ones by level
// (ChangeServiceConfig2W, QueryServiceConfig2W), read back packed into the
// caller's buffer as the platform packs them.
#include "platform/platform.h"

#include <cstring>

#include "platform/sim_manager_internal.h"

using sim::CallScope;
using sim::ServiceRecord;
using sim::g_sim;
using sim::g_simLock;

namespace sim {

bool RoomFor(CallScope& call, const void* buffer, DWORD size, DWORD needed, LPDWORD bytesNeeded) {
    if (!bytesNeeded) {
        Problem(std::string(call.name()) + " was given no place for the size it needs");
        call.FailLocked(RPC_X_NULL_REF_POINTER);
        return false;
    }
    if (buffer && size >= needed) return true;
    *bytesNeeded = needed;
    call.FailLocked(ERROR_INSUFFICIENT_BUFFER);
    return false;
}

DWORD StringBytes(const std::wstring& text) {
    return static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR));
}

DWORD MultiStringBytes(const std::vector<std::wstring>& list) {
    DWORD bytes = sizeof(WCHAR);
    for (const std::wstring& text : list) bytes += StringBytes(text);
    // An empty list is two nulls, as an empty string and the list's end.
    return list.empty() ? 2 * sizeof(WCHAR) : bytes;
}

LPWSTR PackString(LPBYTE buffer, DWORD& offset, const std::wstring& text) {
    auto* at = reinterpret_cast<LPWSTR>(buffer + offset);
    std::memcpy(at, text.c_str(), StringBytes(text));
    offset += StringBytes(text);
    return at;
}

LPWSTR PackMultiString(LPBYTE buffer, DWORD& offset, const std::vector<std::wstring>& list) {
    auto* at = reinterpret_cast<LPWSTR>(buffer + offset);
    for (const std::wstring& text : list) PackString(buffer, offset, text);
    if (list.empty()) PackString(buffer, offset, L"");
    PackString(buffer, offset, L"");
    return at;
}

std::vector<std::wstring> SplitMultiString(LPCWSTR list) {
    std::vector<std::wstring> strings;
    for (LPCWSTR at = list; at && *at; at += std::wcslen(at) + 1) strings.emplace_back(at);
    return strings;
}

}  // namespace sim

static DWORD Kept(DWORD given, DWORD current) {
    return given == SERVICE_NO_CHANGE ? current : given;
}

// SERVICE_NO_CHANGE and null pointers leave a setting as it is. A password
// is kept only as having been set: nothing of it reaches a journal.
BOOL ChangeServiceConfigW(SC_HANDLE hService, DWORD dwServiceType, DWORD dwStartType,
                          DWORD dwErrorControl, LPCWSTR lpBinaryPathName, LPCWSTR lpLoadOrderGroup,
                          LPDWORD lpdwTagId, LPCWSTR lpDependencies, LPCWSTR lpServiceStartName,
                          LPCWSTR lpPassword, LPCWSTR lpDisplayName) {
    CallScope call("ChangeServiceConfigW");
    if (call.Injected()) {
        call.Fail(call.InjectedError());
        return FALSE;
    }
    std::lock_guard<std::mutex> held(g_simLock);
    ServiceRecord* record = sim::ServiceFor(call, hService, SERVICE_CHANGE_CONFIG);
    if (!record) return FALSE;
    const DWORD serviceType = Kept(dwServiceType, record->serviceType);
    const DWORD startType = Kept(dwStartType, record->startType);
    const DWORD errorControl = Kept(dwErrorControl, record->errorControl);
    std::wstring displayName = record->displayName;
    if (lpDisplayName) displayName = *lpDisplayName ? lpDisplayName : record->name;
    DWORD error = NO_ERROR;
    if (record->markedForDelete) {
        error = ERROR_SERVICE_MARKED_FOR_DELETE;
    } else if (sim::CheckServiceValues(serviceType, startType, errorControl) ||
               (lpBinaryPathName && !*lpBinaryPathName)) {
        error = ERROR_INVALID_PARAMETER;
    } else if (lpDisplayName && sim::DisplayNameTaken(displayName, record)) {
        error = ERROR_DUPLICATE_SERVICE_NAME;
    }
    if (error) {
        call.FailLocked(error);
        return FALSE;
    }
    record->serviceType = serviceType;
    record->status.dwServiceType = serviceType;
    record->startType = startType;
    record->errorControl = errorControl;
    record->displayName = displayName;
    if (lpBinaryPathName) record->binaryPathName = lpBinaryPathName;
    if (lpLoadOrderGroup) record->loadOrderGroup = lpLoadOrderGroup;
    if (lpDependencies) record->dependencies = sim::SplitMultiString(lpDependencies);
    if (lpServiceStartName && *lpServiceStartName) record->serviceStartName = lpServiceStartName;
    if (lpPassword) record->passwordSet = *lpPassword != 0;
    if (lpdwTagId) *lpdwTagId = 0;
    return TRUE;
}

// The record first, then its strings, in the caller's buffer.
BOOL QueryServiceConfigW(SC_HANDLE hService, LPQUERY_SERVICE_CONFIGW lpServiceConfig,
                         DWORD cbBufSize, LPDWORD pcbBytesNeeded) {
    CallScope call("QueryServiceConfigW");
    if (call.Injected()) {
        call.Fail(call.InjectedError());
        return FALSE;
    }
    std::lock_guard<std::mutex> held(g_simLock);
    const ServiceRecord* record = sim::ServiceFor(call, hService, SERVICE_QUERY_CONFIG);
    if (!record) return FALSE;
    const DWORD needed = sizeof(QUERY_SERVICE_CONFIGW) + sim::StringBytes(record->binaryPathName) +
                         sim::StringBytes(record->loadOrderGroup) +
                         sim::MultiStringBytes(record->dependencies) +
                         sim::StringBytes(record->serviceStartName) +
                         sim::StringBytes(record->displayName);
    if (!sim::RoomFor(call, lpServiceConfig, cbBufSize, needed, pcbBytesNeeded)) return FALSE;
    auto* buffer = reinterpret_cast<LPBYTE>(lpServiceConfig);
    DWORD offset = sizeof(QUERY_SERVICE_CONFIGW);
    QUERY_SERVICE_CONFIGW config = {};
    config.dwServiceType = record->serviceType;
    config.dwStartType = record->startType;
    config.dwErrorControl = record->errorControl;
    config.lpBinaryPathName = sim::PackString(buffer, offset, record->binaryPathName);
    config.lpLoadOrderGroup = sim::PackString(buffer, offset, record->loadOrderGroup);
    config.lpDependencies = sim::PackMultiString(buffer, offset, record->dependencies);
    config.lpServiceStartName = sim::PackString(buffer, offset, record->serviceStartName);
    config.lpDisplayName = sim::PackString(buffer, offset, record->displayName);
    std::memcpy(buffer, &config, sizeof(config));
    return TRUE;
}

// ---- The optional settings, by level.

static bool KnownLevel(DWORD level) {
    return level >= SERVICE_CONFIG_DESCRIPTION && level <= SERVICE_CONFIG_PRESHUTDOWN_INFO;
}

// The privileges the platform knows by name; any other is refused.
static bool KnownPrivilege(const std::wstring& name) {
    static const wchar_t* const kNames[] = {
        L"SeCreateTokenPrivilege", L"SeAssignPrimaryTokenPrivilege", L"SeLockMemoryPrivilege",
        L"SeIncreaseQuotaPrivilege", L"SeUnsolicitedInputPrivilege", L"SeMachineAccountPrivilege",
        L"SeTcbPrivilege", L"SeSecurityPrivilege", L"SeTakeOwnershipPrivilege",
        L"SeLoadDriverPrivilege", L"SeSystemProfilePrivilege", L"SeSystemtimePrivilege",
        L"SeProfileSingleProcessPrivilege", L"SeIncreaseBasePriorityPrivilege",
        L"SeCreatePagefilePrivilege", L"SeCreatePermanentPrivilege", L"SeBackupPrivilege",
        L"SeRestorePrivilege", L"SeShutdownPrivilege", L"SeDebugPrivilege", L"SeAuditPrivilege",
        L"SeSystemEnvironmentPrivilege", L"SeChangeNotifyPrivilege", L"SeRemoteShutdownPrivilege",
        L"SeUndockPrivilege", L"SeSyncAgentPrivilege", L"SeEnableDelegationPrivilege",
        L"SeManageVolumePrivilege", L"SeImpersonatePrivilege", L"SeCreateGlobalPrivilege",
        L"SeTrustedCredManAccessPrivilege", L"SeRelabelPrivilege",
        L"SeIncreaseWorkingSetPrivilege", L"SeTimeZonePrivilege", L"SeCreateSymbolicLinkPrivilege",
    };
    for (const wchar_t* known : kNames) {
        if (sim::SameName(known, name)) return true;
    }
    return false;
}

// A null action list leaves the actions and the reset period as they are;
// null texts leave theirs. Restarting the service needs the right to start it.
static DWORD ChangeFailureActions(ServiceRecord& record, const SERVICE_FAILURE_ACTIONSW& info,
                                  DWORD access) {
    if (info.lpsaActions) {
        for (DWORD i = 0; i < info.cActions; ++i) {
            const SC_ACTION& action = info.lpsaActions[i];
            if (action.Type > SC_ACTION_RUN_COMMAND) return ERROR_INVALID_PARAMETER;
            if (action.Type == SC_ACTION_RESTART && !(access & SERVICE_START)) {
                return ERROR_ACCESS_DENIED;
            }
        }
        record.failureActions.assign(info.lpsaActions, info.lpsaActions + info.cActions);
        record.resetPeriodS = info.dwResetPeriod;
    }
    if (info.lpRebootMsg) record.rebootMessage = info.lpRebootMsg;
    if (info.lpCommand) record.failureCommand = info.lpCommand;
    return NO_ERROR;
}

static DWORD ChangeSidType(ServiceRecord& record, const SERVICE_SID_INFO& info) {
    DWORD type = info.dwServiceSidType;
    if (type != SERVICE_SID_TYPE_NONE && type != SERVICE_SID_TYPE_UNRESTRICTED &&
        type != SERVICE_SID_TYPE_RESTRICTED) {
        return ERROR_INVALID_PARAMETER;
    }
    record.serviceSidType = type;
    return NO_ERROR;
}

// A null list leaves the privileges as they are; a name the platform does
// not know refuses the whole list.
static DWORD ChangeRequiredPrivileges(ServiceRecord& record,
                                      const SERVICE_REQUIRED_PRIVILEGES_INFOW& info) {
    LPCWSTR list = info.pmszRequiredPrivileges;
    if (!list) return NO_ERROR;
    std::vector<std::wstring> privileges = sim::SplitMultiString(list);
    for (const std::wstring& name : privileges) {
        if (!KnownPrivilege(name)) return ERROR_NO_SUCH_PRIVILEGE;
    }
    record.requiredPrivileges = privileges;
    return NO_ERROR;
}

// Writes one level's record into the configuration, or gives the error
// that leaves it as it was.
static DWORD ChangeLevel(ServiceRecord& record, DWORD level, const void* info, DWORD access) {
    switch (level) {
    case SERVICE_CONFIG_DESCRIPTION: {
        // A null text leaves the description as it is; an empty one removes it.
        LPCWSTR text = static_cast<const SERVICE_DESCRIPTIONW*>(info)->lpDescription;
        if (text) record.description = text;
        return NO_ERROR;
    }
    case SERVICE_CONFIG_FAILURE_ACTIONS:
        return ChangeFailureActions(record, *static_cast<const SERVICE_FAILURE_ACTIONSW*>(info),
                                    access);
    case SERVICE_CONFIG_DELAYED_AUTO_START_INFO:
        record.delayedAutoStart =
            static_cast<const SERVICE_DELAYED_AUTO_START_INFO*>(info)->fDelayedAutostart != FALSE;
        return NO_ERROR;
    case SERVICE_CONFIG_FAILURE_ACTIONS_FLAG:
        record.failureActionsOnNonCrashFailures =
            static_cast<const SERVICE_FAILURE_ACTIONS_FLAG*>(info)->fFailureActionsOnNonCrashFailures !=
            FALSE;
        return NO_ERROR;
    case SERVICE_CONFIG_SERVICE_SID_INFO:
        return ChangeSidType(record, *static_cast<const SERVICE_SID_INFO*>(info));
    case SERVICE_CONFIG_REQUIRED_PRIVILEGES_INFO:
        return ChangeRequiredPrivileges(record,
                                        *static_cast<const SERVICE_REQUIRED_PRIVILEGES_INFOW*>(info));
    default: {  // SERVICE_CONFIG_PRESHUTDOWN_INFO
        DWORD timeoutMs = static_cast<const SERVICE_PRESHUTDOWN_INFO*>(info)->dwPreshutdownTimeout;
        g_sim.preshutdownWritten.emplace_back(record.name, timeoutMs);
        record.preshutdownTimeoutMs = timeoutMs;
        return NO_ERROR;
    }
    }
}

BOOL ChangeServiceConfig2W(SC_HANDLE hService, DWORD dwInfoLevel, LPVOID lpInfo) {
    CallScope call("ChangeServiceConfig2W");
    if (call.Injected()) {
        call.Fail(call.InjectedError());
        return FALSE;
    }
    std::lock_guard<std::mutex> held(g_simLock);
    ServiceRecord* record = sim::ServiceFor(call, hService, SERVICE_CHANGE_CONFIG);
    if (!record) return FALSE;
    DWORD error = NO_ERROR;
    if (!KnownLevel(dwInfoLevel) || g_sim.refusedChangeLevels.count(dwInfoLevel)) {
        error = ERROR_INVALID_LEVEL;
    } else if (!lpInfo) {
        sim::Problem("ChangeServiceConfig2W was given no record to write");
        error = ERROR_INVALID_PARAMETER;
    } else if (record->markedForDelete) {
        error = ERROR_SERVICE_MARKED_FOR_DELETE;
    } else {
        const DWORD access = sim::Find(hService, sim::Kind::Service)->access;
        error = ChangeLevel(*record, dwInfoLevel, lpInfo, access);
    }
    if (error) call.FailLocked(error);
    return error ? FALSE : TRUE;
}

// What a level's record and its strings take in the caller's buffer. Texts
// that were never set are null pointers, not empty strings.
static DWORD LevelBytes(const ServiceRecord& record, DWORD level) {
    auto optional = [](const std::wstring& text) { return text.empty() ? 0 : sim::StringBytes(text); };
    switch (level) {
    case SERVICE_CONFIG_DESCRIPTION:
        return sizeof(SERVICE_DESCRIPTIONW) + optional(record.description);
    case SERVICE_CONFIG_FAILURE_ACTIONS:
        return static_cast<DWORD>(sizeof(SERVICE_FAILURE_ACTIONSW) +
                                  record.failureActions.size() * sizeof(SC_ACTION) +
                                  optional(record.rebootMessage) + optional(record.failureCommand));
    case SERVICE_CONFIG_REQUIRED_PRIVILEGES_INFO:
        return sizeof(SERVICE_REQUIRED_PRIVILEGES_INFOW) +
               (record.requiredPrivileges.empty() ? 0
                                                  : sim::MultiStringBytes(record.requiredPrivileges));
    default:  // one DWORD or BOOL
        return sizeof(DWORD);
    }
}

static LPWSTR PackOptional(LPBYTE buffer, DWORD& offset, const std::wstring& text) {
    return text.empty() ? nullptr : sim::PackString(buffer, offset, text);
}

// The failure actions as the platform packs them: the record, its actions,
// then the two texts.
static void PackFailureActions(const ServiceRecord& record, LPBYTE buffer) {
    SERVICE_FAILURE_ACTIONSW info = {};
    DWORD offset = sizeof(info);
    info.dwResetPeriod = record.resetPeriodS;
    info.cActions = static_cast<DWORD>(record.failureActions.size());
    if (info.cActions) {
        info.lpsaActions = reinterpret_cast<SC_ACTION*>(buffer + offset);
        std::memcpy(info.lpsaActions, record.failureActions.data(), info.cActions * sizeof(SC_ACTION));
        offset += info.cActions * sizeof(SC_ACTION);
    }
    info.lpRebootMsg = PackOptional(buffer, offset, record.rebootMessage);
    info.lpCommand = PackOptional(buffer, offset, record.failureCommand);
    std::memcpy(buffer, &info, sizeof(info));
}

static void PackLevel(const ServiceRecord& record, DWORD level, LPBYTE buffer) {
    DWORD value = 0;
    switch (level) {
    case SERVICE_CONFIG_DESCRIPTION: {
        DWORD offset = sizeof(SERVICE_DESCRIPTIONW);
        SERVICE_DESCRIPTIONW info = {PackOptional(buffer, offset, record.description)};
        std::memcpy(buffer, &info, sizeof(info));
        return;
    }
    case SERVICE_CONFIG_FAILURE_ACTIONS:
        PackFailureActions(record, buffer);
        return;
    case SERVICE_CONFIG_REQUIRED_PRIVILEGES_INFO: {
        DWORD offset = sizeof(SERVICE_REQUIRED_PRIVILEGES_INFOW);
        SERVICE_REQUIRED_PRIVILEGES_INFOW info = {nullptr};
        if (!record.requiredPrivileges.empty()) {
            info.pmszRequiredPrivileges = sim::PackMultiString(buffer, offset, record.requiredPrivileges);
        }
        std::memcpy(buffer, &info, sizeof(info));
        return;
    }
    case SERVICE_CONFIG_DELAYED_AUTO_START_INFO: value = record.delayedAutoStart; break;
    case SERVICE_CONFIG_FAILURE_ACTIONS_FLAG: value = record.failureActionsOnNonCrashFailures; break;
    case SERVICE_CONFIG_SERVICE_SID_INFO: value = record.serviceSidType; break;
    default: value = record.preshutdownTimeoutMs; break;
    }
    std::memcpy(buffer, &value, sizeof(value));
}

BOOL QueryServiceConfig2W(SC_HANDLE hService, DWORD dwInfoLevel, LPBYTE lpBuffer, DWORD cbBufSize,
                          LPDWORD pcbBytesNeeded) {
    CallScope call("QueryServiceConfig2W");
    if (call.Injected()) {
        call.Fail(call.InjectedError());
        return FALSE;
    }
    std::lock_guard<std::mutex> held(g_simLock);
    const ServiceRecord* record = sim::ServiceFor(call, hService, SERVICE_QUERY_CONFIG);
    if (!record) return FALSE;
    if (!KnownLevel(dwInfoLevel) || g_sim.refusedQueryLevels.count(dwInfoLevel)) {
        call.FailLocked(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    const DWORD needed = LevelBytes(*record, dwInfoLevel);
    if (!sim::RoomFor(call, lpBuffer, cbBufSize, needed, pcbBytesNeeded)) return FALSE;
    PackLevel(*record, dwInfoLevel, lpBuffer);
    return TRUE;
}
