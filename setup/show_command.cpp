// show: a service's state and configuration read back, its command line
// decoded as the wrapper will read it, and the judging of it.
#include <vector>

#include "setup/commands.h"
#include "setup/model/config_text.h"
#include "setup/model/configuration_review.h"
#include "setup/model/exit_codes.h"
#include "setup/console.h"
#include "setup/files.h"
#include "setup/model/service_command_line.h"

namespace {

// What show reads. The configuration record points into its buffer.
struct ServiceFacts {
    std::vector<BYTE> configBuffer;
    const QUERY_SERVICE_CONFIGW* config;
    SERVICE_STATUS_PROCESS status;
    std::optional<std::wstring> description;
    std::optional<DWORD> preshutdownTimeoutMs;
    std::optional<bool> delayedAutoStart;  // none where the platform does not keep it
    std::optional<RecoveryPolicy> recovery;
    std::optional<bool> failureOnNonZeroExit;
};

}  // namespace

// The Query calls take a buffer, say how large it must be, and are called
// again with one that large. Gives NO_ERROR or the error.
static DWORD QueryConfig(SC_HANDLE service, ServiceFacts& facts) {
    DWORD needed = 0;
    facts.configBuffer.resize(sizeof(QUERY_SERVICE_CONFIGW));
    for (int attempt = 0; attempt < 3; ++attempt) {
        auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(facts.configBuffer.data());
        if (QueryServiceConfigW(service, config, static_cast<DWORD>(facts.configBuffer.size()),
                                &needed)) {
            facts.config = config;
            return NO_ERROR;
        }
        DWORD error = GetLastError();
        if (error != ERROR_INSUFFICIENT_BUFFER) return error;
        facts.configBuffer.resize(needed);
    }
    return ERROR_INSUFFICIENT_BUFFER;
}

// The optional settings: a failure leaves the field empty.
static void QueryConfig2(SC_HANDLE service, ServiceFacts& facts) {
    DWORD needed = 0;
    std::vector<BYTE> buffer(sizeof(SERVICE_DESCRIPTIONW));
    bool described = QueryServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, buffer.data(),
                                          static_cast<DWORD>(buffer.size()), &needed);
    if (!described && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        buffer.resize(needed);
        described = QueryServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, buffer.data(),
                                         static_cast<DWORD>(buffer.size()), &needed);
    }
    if (described) {
        auto* description = reinterpret_cast<SERVICE_DESCRIPTIONW*>(buffer.data());
        facts.description = description->lpDescription ? description->lpDescription : L"";
    }
    SERVICE_PRESHUTDOWN_INFO preshutdown = {};
    if (QueryServiceConfig2W(service, SERVICE_CONFIG_PRESHUTDOWN_INFO,
                             reinterpret_cast<LPBYTE>(&preshutdown), sizeof(preshutdown),
                             &needed)) {
        facts.preshutdownTimeoutMs = preshutdown.dwPreshutdownTimeout;
    }
    SERVICE_DELAYED_AUTO_START_INFO delayed = {};
    if (QueryServiceConfig2W(service, SERVICE_CONFIG_DELAYED_AUTO_START_INFO,
                             reinterpret_cast<LPBYTE>(&delayed), sizeof(delayed), &needed)) {
        facts.delayedAutoStart = delayed.fDelayedAutostart != FALSE;
    }
}

// The recovery settings; Wine's manager answers ERROR_INVALID_LEVEL for
// both, and they stay unknown.
static void QueryRecovery(SC_HANDLE service, ServiceFacts& facts) {
    DWORD needed = 0;
    std::vector<BYTE> buffer(sizeof(SERVICE_FAILURE_ACTIONSW));
    bool read = QueryServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, buffer.data(),
                                     static_cast<DWORD>(buffer.size()), &needed);
    if (!read && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        buffer.resize(needed);
        read = QueryServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, buffer.data(),
                                    static_cast<DWORD>(buffer.size()), &needed);
    }
    if (read) {
        auto* actions = reinterpret_cast<SERVICE_FAILURE_ACTIONSW*>(buffer.data());
        RecoveryPolicy policy{{}, actions->dwResetPeriod};
        for (DWORD i = 0; actions->lpsaActions && i < actions->cActions; ++i) {
            const SC_ACTION& action = actions->lpsaActions[i];
            policy.actions.push_back({static_cast<RecoveryActionType>(action.Type), action.Delay});
        }
        facts.recovery = policy;
    }
    SERVICE_FAILURE_ACTIONS_FLAG flag = {};
    if (QueryServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG,
                             reinterpret_cast<LPBYTE>(&flag), sizeof(flag), &needed)) {
        facts.failureOnNonZeroExit = flag.fFailureActionsOnNonCrashFailures != FALSE;
    }
}

// Opens the service and reads everything; gives the failure in words, or empty.
static std::wstring ReadFacts(const std::wstring& name, ServiceFacts& facts) {
    SC_HANDLE manager =
        OpenSCManagerW(/*lpMachineName=*/nullptr, /*lpDatabaseName=*/nullptr, SC_MANAGER_CONNECT);
    if (!manager) {
        return L"cannot open the service control manager. " + WindowsError(GetLastError());
    }
    SC_HANDLE service =
        OpenServiceW(manager, name.c_str(), SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS);
    if (!service) {
        DWORD error = GetLastError();
        CloseServiceHandle(manager);
        if (error == ERROR_SERVICE_DOES_NOT_EXIST) {
            return L"there is no service of that name. " + WindowsError(error);
        }
        return L"cannot open the service. " + WindowsError(error);
    }
    std::wstring problem;
    DWORD error = QueryConfig(service, facts);
    DWORD needed = 0;
    if (error != NO_ERROR) {
        problem = L"cannot read its configuration. " + WindowsError(error);
    } else if (!QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO,
                                     reinterpret_cast<LPBYTE>(&facts.status), sizeof(facts.status),
                                     &needed)) {
        problem = L"cannot read its state. " + WindowsError(GetLastError());
    } else {
        QueryConfig2(service, facts);
        QueryRecovery(service, facts);
    }
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return problem;
}

static ServiceConfig Decode(const std::wstring& name, const ServiceFacts& facts) {
    const QUERY_SERVICE_CONFIGW& config = *facts.config;
    StoredService stored{};
    stored.name = name;
    stored.binaryPathName = config.lpBinaryPathName ? config.lpBinaryPathName : L"";
    stored.displayName = config.lpDisplayName ? config.lpDisplayName : L"";
    stored.startType = config.dwStartType;
    stored.serviceStartName = config.lpServiceStartName ? config.lpServiceStartName : L"";
    stored.dependencies = SplitMultiString(config.lpDependencies);
    stored.description = facts.description;
    stored.delayedAutoStart = facts.delayedAutoStart;
    stored.preshutdownTimeoutMs = facts.preshutdownTimeoutMs;
    stored.failureActions = facts.recovery;
    stored.failureActionsOnNonCrashFailures = facts.failureOnNonZeroExit;
    return DecodeStoredService(stored);
}

int RunShow(const std::wstring& name) {
    ServiceFacts facts{};
    std::wstring problem = ReadFacts(name, facts);
    if (!problem.empty()) {
        PrintError(L"Cannot show the service " + name + L": " + problem + L"\n");
        return kExitFailed;
    }
    const ServiceConfig config = Decode(name, facts);
    const ConfigurationReview review = ReviewConfiguration(config, FileExists);
    const SERVICE_STATUS_PROCESS& s = facts.status;
    const StatusReport status{s.dwCurrentState, s.dwProcessId, s.dwWin32ExitCode,
                              s.dwServiceSpecificExitCode};
    const std::wstring program = config.commandLine.decoded ? config.commandLine.program : L"";
    const std::wstring exitCodeText =
        ExplainExitCode(status.win32ExitCode, status.serviceSpecificExitCode, review.wrapped,
                        program, MessageLookups{SystemMessage, NtStatusMessage});
    PrintOut(RenderShowText(config, status, exitCodeText, review));
    return review.warnings.empty() ? kExitDone : kExitWarned;
}
