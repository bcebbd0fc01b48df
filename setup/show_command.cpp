// show: a service's state and configuration read back, its command line
// decoded as the wrapper will read it, and the judging of it.
#include <vector>

#include "setup/commands.h"
#include "setup/model/configuration_review.h"
#include "setup/console.h"
#include "setup/files.h"
#include "setup/model/service_command_line.h"

namespace {

// What show reads. The configuration record points into its buffer.
struct ServiceFacts {
    std::vector<BYTE> configBuffer;
    const QUERY_SERVICE_CONFIGW* config;
    SERVICE_STATUS_PROCESS status;
    std::wstring description;
    std::optional<DWORD> preshutdownTimeoutMs;
    std::optional<bool> delayedAutoStart;  // none where the platform does not keep it
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
        if (description->lpDescription) facts.description = description->lpDescription;
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
    }
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return problem;
}

static const wchar_t* StateWord(DWORD state) {
    switch (state) {
    case SERVICE_STOPPED: return L"stopped";
    case SERVICE_START_PENDING: return L"starting";
    case SERVICE_STOP_PENDING: return L"stopping";
    case SERVICE_RUNNING: return L"running";
    case SERVICE_CONTINUE_PENDING: return L"continuing";
    case SERVICE_PAUSE_PENDING: return L"pausing";
    case SERVICE_PAUSED: return L"paused";
    default: return L"in an unknown state";
    }
}

static std::wstring ExitCodeText(const SERVICE_STATUS_PROCESS& status, bool wrapped) {
    DWORD code = status.dwWin32ExitCode;
    std::wstring text = std::to_wstring(code) + L": ";
    if (code == ERROR_SERVICE_SPECIFIC_ERROR) {
        return text + L"the service's own code " +
               std::to_wstring(status.dwServiceSpecificExitCode);
    }
    std::wstring meaning = wrapped ? ExplainWrapperExitCode(code) : L"";
    if (meaning.empty()) meaning = SystemMessage(code);
    return text + meaning;
}

static std::wstring OrNone(LPCWSTR text) {
    return text && *text ? text : L"(none)";
}

int RunShow(const std::wstring& name) {
    ServiceFacts facts{};
    std::wstring problem = ReadFacts(name, facts);
    if (!problem.empty()) {
        PrintError(L"Cannot show the service " + name + L": " + problem + L"\n");
        return kExitFailed;
    }
    const QUERY_SERVICE_CONFIGW& config = *facts.config;
    ServiceConfiguration configuration;
    configuration.commandLine = config.lpBinaryPathName ? config.lpBinaryPathName : L"";
    std::optional<std::vector<std::wstring>> elements =
        SplitCommandLineElements(configuration.commandLine);
    if (elements) configuration.elements = *elements;
    configuration.preshutdownTimeoutMs = facts.preshutdownTimeoutMs;
    ConfigurationReview review = ReviewConfiguration(configuration, FileExists);

    const SERVICE_STATUS_PROCESS& status = facts.status;
    std::wstring text = L"Service " + name + L"\n";
    text += L"  display name    " + OrNone(config.lpDisplayName) + L"\n";
    text += L"  description     " + OrNone(facts.description.c_str()) + L"\n";
    text += std::wstring(L"  state           ") + StateWord(status.dwCurrentState);
    if (status.dwProcessId != 0) text += L", pid " + std::to_wstring(status.dwProcessId);
    text += L"\n  last exit code  " + ExitCodeText(status, review.wrapped) + L"\n";
    text += std::wstring(L"  start           ") +
            StartTypeName(config.dwStartType, facts.delayedAutoStart.value_or(false)) + L"\n";
    text += L"  account         " +
            std::wstring(config.lpServiceStartName ? config.lpServiceStartName : L"LocalSystem") +
            L"\n";
    if (review.wrapped && review.stopTimeoutMs) {
        text += L"  stop timeout    " + std::to_wstring(*review.stopTimeoutMs) + L" ms\n";
    }
    if (facts.preshutdownTimeoutMs) {
        text += L"  pre-shutdown    " + std::to_wstring(*facts.preshutdownTimeoutMs) + L" ms\n";
    }
    text += L"The command line, as stored:\n  " + configuration.commandLine + L"\n";
    text += review.wrapped ? L"Its elements, as the wrapper reads them:\n"
                           : L"Its elements, as CommandLineToArgvW reads them:\n";
    text += FormatElements(configuration.elements, review.wrapped);
    for (const std::wstring& note : review.notes) text += L"Note: " + note + L"\n";
    for (const std::wstring& warning : review.warnings) text += L"Warning: " + warning + L"\n";
    PrintOut(text);
    return review.warnings.empty() ? kExitDone : kExitWarned;
}
