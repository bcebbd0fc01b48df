#include "setup/manager/service_reading.h"

#include <cstring>
#include <functional>

#include "service/service_state.h"

DWORD ReadStatus(SC_HANDLE service, SERVICE_STATUS_PROCESS& status) {
    DWORD needed = 0;
    if (QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(&status),
                             sizeof(status), &needed)) {
        return NO_ERROR;
    }
    return LastErrorOf();
}

typedef std::function<BOOL(LPBYTE buffer, DWORD size, LPDWORD needed)> SizedQuery;

// The query calls fill the caller's buffer or say how large it must be. By
// the time they are asked again, the setting may have grown (another
// program changed it), so the asking is repeated a few times.
static DWORD QueryGrowing(const SizedQuery& query, std::vector<BYTE>& buffer) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD needed = 0;
        if (query(buffer.data(), static_cast<DWORD>(buffer.size()), &needed)) return NO_ERROR;
        const DWORD error = LastErrorOf();
        if (error != ERROR_INSUFFICIENT_BUFFER || needed <= buffer.size()) return error;
        buffer.resize(needed);
    }
    return ERROR_INSUFFICIENT_BUFFER;
}

// Enough for most records at the first try; a longer one is asked for again.
constexpr std::size_t kFirstBufferBytes = 512;

static DWORD QueryLevel(SC_HANDLE service, DWORD level, std::vector<BYTE>& buffer) {
    buffer.assign(kFirstBufferBytes, 0);
    return QueryGrowing(
        [&](LPBYTE data, DWORD size, LPDWORD needed) {
            return QueryServiceConfig2W(service, level, data, size, needed);
        },
        buffer);
}

// A level that holds one DWORD or BOOL.
static std::optional<DWORD> QueryValueLevel(SC_HANDLE service, DWORD level,
                                            std::vector<BYTE>& buffer) {
    if (QueryLevel(service, level, buffer) != NO_ERROR) return std::nullopt;
    DWORD value = 0;
    std::memcpy(&value, buffer.data(), sizeof(value));
    return value;
}

static RecoveryPolicy RecoveryOf(const SERVICE_FAILURE_ACTIONSW& info) {
    RecoveryPolicy policy{{}, info.dwResetPeriod};
    for (DWORD i = 0; info.lpsaActions && i < info.cActions; ++i) {
        const SC_ACTION& action = info.lpsaActions[i];
        policy.actions.push_back({static_cast<RecoveryActionType>(action.Type), action.Delay});
    }
    return policy;
}

// The optional settings, each none where the manager does not report it
// (Wine's answers ERROR_INVALID_LEVEL for several).
static void ReadLevels(SC_HANDLE service, StoredService& stored) {
    std::vector<BYTE> buffer;
    if (QueryLevel(service, SERVICE_CONFIG_DESCRIPTION, buffer) == NO_ERROR) {
        LPCWSTR text = reinterpret_cast<SERVICE_DESCRIPTIONW*>(buffer.data())->lpDescription;
        stored.description = text ? text : L"";
    }
    if (QueryLevel(service, SERVICE_CONFIG_FAILURE_ACTIONS, buffer) == NO_ERROR) {
        stored.failureActions =
            RecoveryOf(*reinterpret_cast<SERVICE_FAILURE_ACTIONSW*>(buffer.data()));
    }
    if (auto flag = QueryValueLevel(service, SERVICE_CONFIG_DELAYED_AUTO_START_INFO, buffer)) {
        stored.delayedAutoStart = *flag != FALSE;
    }
    if (auto flag = QueryValueLevel(service, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, buffer)) {
        stored.failureActionsOnNonCrashFailures = *flag != FALSE;
    }
    stored.serviceSidType = QueryValueLevel(service, SERVICE_CONFIG_SERVICE_SID_INFO, buffer);
    if (QueryLevel(service, SERVICE_CONFIG_REQUIRED_PRIVILEGES_INFO, buffer) == NO_ERROR) {
        stored.requiredPrivileges = SplitMultiString(
            reinterpret_cast<SERVICE_REQUIRED_PRIVILEGES_INFOW*>(buffer.data())
                ->pmszRequiredPrivileges);
    }
    stored.preshutdownTimeoutMs =
        QueryValueLevel(service, SERVICE_CONFIG_PRESHUTDOWN_INFO, buffer);
}

DWORD ReadStoredService(SC_HANDLE service, const std::wstring& name, StoredService& stored) {
    std::vector<BYTE> buffer(kFirstBufferBytes);
    const DWORD error = QueryGrowing(
        [&](LPBYTE data, DWORD size, LPDWORD needed) {
            return QueryServiceConfigW(service, reinterpret_cast<QUERY_SERVICE_CONFIGW*>(data),
                                       size, needed);
        },
        buffer);
    if (error != NO_ERROR) return error;
    const auto& config = *reinterpret_cast<const QUERY_SERVICE_CONFIGW*>(buffer.data());
    stored = StoredService{};
    stored.name = name;
    stored.binaryPathName = config.lpBinaryPathName ? config.lpBinaryPathName : L"";
    stored.displayName = config.lpDisplayName ? config.lpDisplayName : L"";
    stored.startType = config.dwStartType;
    stored.serviceStartName = config.lpServiceStartName ? config.lpServiceStartName : L"";
    stored.dependencies = SplitMultiString(config.lpDependencies);
    ReadLevels(service, stored);
    return NO_ERROR;
}

std::optional<StepFailure> OpenAndReadService(const std::wstring& name, DWORD access,
                                              const wchar_t* openProblem, OpenedService& opened) {
    opened.statusError = NO_ERROR;
    if (auto failure = OpenServiceByName(name, access, opened.handles, openProblem)) {
        return failure;
    }
    if (DWORD error = ReadStoredService(opened.handles.service.handle, name, opened.stored)) {
        CloseServiceHandles(opened.handles);
        return StepFailure{L"cannot read its configuration.", error};
    }
    opened.statusError = ReadStatus(opened.handles.service.handle, opened.status);
    return std::nullopt;
}

bool MayBeRunning(const OpenedService& opened) {
    return opened.statusError != NO_ERROR || opened.status.dwCurrentState != SERVICE_STOPPED;
}
