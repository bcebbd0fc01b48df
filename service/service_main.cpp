#include "service/service_main.h"

#include <new>
#include <optional>
#include <string>

#include "child/run_child.h"
#include "child/wrapper_arguments.h"
#include "service/service_state.h"

// Chooses the name the manager passed (else the default) and registers the
// handler under it, falling back once to the default. Gives the chosen name,
// which stays the service's name even when only the fallback succeeded, or
// null when no handler could be registered and so no report can be made.
static LPCWSTR RegisterControlHandler(DWORD argc, LPWSTR* argv) {
    LPCWSTR candidate = g_state.serviceName.c_str();
    if (argc != 0 && argv && argv[0] && argv[0][0] != L'\0') candidate = argv[0];

    SERVICE_STATUS_HANDLE handle =
        RegisterServiceCtrlHandlerExW(candidate, ServiceControlHandler, /*lpContext=*/nullptr);
    if (!handle && g_state.serviceName != candidate) {
        handle = RegisterServiceCtrlHandlerExW(g_state.serviceName.c_str(), ServiceControlHandler,
                                               /*lpContext=*/nullptr);
    }
    if (!handle) return nullptr;
    std::lock_guard<std::mutex> hold(g_lock);
    g_state.statusHandle = handle;
    return candidate;
}

// Creates the stop event and makes the start-pending report. A stop that
// arrived before the event existed is carried by the event from the start.
static DWORD StartPending() {
    HANDLE event = CreateEventW(/*lpEventAttributes=*/nullptr, /*bManualReset=*/TRUE,
                                /*bInitialState=*/FALSE, /*lpName=*/nullptr);
    if (!event) return LastErrorOf();
    std::lock_guard<std::mutex> hold(g_lock);
    g_state.stopEvent = event;
    if (g_state.stopRequested) SetEvent(event);
    g_state.status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    g_state.status.dwControlsAccepted = kAcceptedControls;
    ReportState(SERVICE_START_PENDING, /*checkPoint=*/1, kStartWaitHintMs);
    return NO_ERROR;
}

// Reads the stop timeout and writes it to the service's configuration. Every
// exception raised here ends the run as a failure, not the process.
static DWORD ApplyStopTimeout(LPCWSTR text) {
    try {
        std::optional<DWORD> timeoutMs = ParseStopTimeout(text);
        if (!timeoutMs) return ERROR_BAD_ARGUMENTS;
        {
            std::lock_guard<std::mutex> hold(g_lock);
            g_state.stopTimeoutMs = *timeoutMs;
        }
        ApplyPreshutdownTimeout(*timeoutMs);
        return NO_ERROR;
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    } catch (...) {
        return ERROR_BAD_ARGUMENTS;
    }
}

// A run that ends before the child is started: the stopped report, then the
// element vector and the stop event are released.
static void EndFailedRun(DWORD exitCode, LPWSTR*& elements) {
    ReportStopped(exitCode);
    if (elements) {
        LocalFree(elements);
        elements = nullptr;
    }
    CloseStopEvent();
}

// Everything after registration. Memory running out anywhere here reaches
// the caller as std::bad_alloc, with elements still owned if it was.
static void RunService(LPCWSTR name, LPWSTR*& elements) {
    if (g_state.serviceName != name) g_state.serviceName = name;

    DWORD error = StartPending();
    if (error != NO_ERROR) return ReportStopped(error);

    std::optional<WrapperArguments> arguments = ParseWrapperArguments();
    if (!arguments) return EndFailedRun(ERROR_BAD_ARGUMENTS, elements);
    elements = arguments->elements;
    // A program that holds a quotation mark cannot be quoted for the child,
    // so it is refused like a missing one, before anything is configured.
    if (arguments->count < 3 || !CanQuoteProgram(elements[2])) {
        return EndFailedRun(ERROR_BAD_ARGUMENTS, elements);
    }

    error = ApplyStopTimeout(elements[1]);
    if (error != NO_ERROR) return EndFailedRun(error, elements);

    std::wstring commandLine = BuildChildCommandLine(elements, arguments->count);
    LocalFree(elements);
    elements = nullptr;

    RunChild(commandLine);
}

VOID WINAPI ServiceMain(DWORD dwNumServicesArgs, LPWSTR* lpServiceArgVectors) {
    {
        std::lock_guard<std::mutex> hold(g_lock);
        g_state.stopRequested = false;
        g_state.runEnded = false;
    }
    LPCWSTR name = RegisterControlHandler(dwNumServicesArgs, lpServiceArgVectors);
    if (!name) return;

    LPWSTR* elements = nullptr;
    try {
        RunService(name, elements);
    } catch (const std::bad_alloc&) {
        EndFailedRun(ERROR_NOT_ENOUGH_MEMORY, elements);
    }
}

void ApplyPreshutdownTimeout(DWORD timeoutMs) {
    SC_HANDLE manager = OpenSCManagerW(/*lpMachineName=*/nullptr, /*lpDatabaseName=*/nullptr,
                                       SC_MANAGER_CONNECT);
    if (!manager) return;
    SC_HANDLE service = OpenServiceW(manager, g_state.serviceName.c_str(), SERVICE_CHANGE_CONFIG);
    if (!service) {
        CloseServiceHandle(manager);
        return;
    }
    SERVICE_PRESHUTDOWN_INFO info = {timeoutMs};
    ChangeServiceConfig2W(service, SERVICE_CONFIG_PRESHUTDOWN_INFO, &info);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
}
