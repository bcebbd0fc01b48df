// The least a service can do to run a child for as long as it runs: the
// minimal service, plus the child started with CreateProcessW before the
// running report and terminated at the stop. Its command line is its own
// path and then the child's command line as it is passed on.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

static SERVICE_STATUS_HANDLE g_statusHandle;
static HANDLE g_stopEvent;

static void Report(DWORD state, DWORD checkPoint, DWORD exitCode = NO_ERROR) {
    SERVICE_STATUS status = {};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_STOPPED ? 0 : SERVICE_ACCEPT_STOP;
    status.dwWin32ExitCode = exitCode;
    status.dwCheckPoint = checkPoint;
    status.dwWaitHint = state == SERVICE_START_PENDING ? 10000 : 0;
    SetServiceStatus(g_statusHandle, &status);
}

static DWORD WINAPI Handler(DWORD dwControl, DWORD, LPVOID, LPVOID) {
    if (dwControl == SERVICE_CONTROL_STOP) SetEvent(g_stopEvent);
    return NO_ERROR;
}

// What follows the first element, copied, since CreateProcessW may write into
// its buffer; null if no memory is left. The platform reads the first element
// up to the next quotation mark if it opens with one, else up to the first
// blank; splitting it needs nothing from shell32.
static LPWSTR ChildCommandLine() {
    LPCWSTR p = GetCommandLineW();
    if (*p == L'"') {
        for (++p; *p && *p != L'"'; ++p) {
        }
        if (*p) ++p;
    } else {
        while (*p && *p != L' ' && *p != L'\t') ++p;
    }
    while (*p == L' ' || *p == L'\t') ++p;
    const int length = lstrlenW(p) + 1;
    auto* copy = static_cast<LPWSTR>(LocalAlloc(LMEM_FIXED, length * sizeof(wchar_t)));
    if (copy) lstrcpynW(copy, p, length);
    return copy;
}

static VOID WINAPI ServiceMain(DWORD dwNumServicesArgs, LPWSTR* lpServiceArgVectors) {
    LPCWSTR name = dwNumServicesArgs ? lpServiceArgVectors[0] : L"";
    g_statusHandle = RegisterServiceCtrlHandlerExW(name, Handler, /*lpContext=*/nullptr);
    if (!g_statusHandle) return;
    g_stopEvent = CreateEventW(nullptr, /*bManualReset=*/TRUE, /*bInitialState=*/FALSE, nullptr);
    if (!g_stopEvent) return Report(SERVICE_STOPPED, 0, GetLastError());
    Report(SERVICE_START_PENDING, 1);

    STARTUPINFOW startupInfo = {};
    startupInfo.cb = sizeof(startupInfo);
    PROCESS_INFORMATION child = {};
    LPWSTR commandLine = ChildCommandLine();
    if (!commandLine) return Report(SERVICE_STOPPED, 0, ERROR_NOT_ENOUGH_MEMORY);
    if (!CreateProcessW(nullptr, commandLine, nullptr, nullptr, /*bInheritHandles=*/FALSE, 0,
                        nullptr, nullptr, &startupInfo, &child)) {
        return Report(SERVICE_STOPPED, 0, GetLastError());
    }
    LocalFree(commandLine);
    Report(SERVICE_RUNNING, 0);
    WaitForSingleObject(g_stopEvent, INFINITE);
    TerminateProcess(child.hProcess, 0);
    WaitForSingleObject(child.hProcess, 10000);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    CloseHandle(g_stopEvent);
    Report(SERVICE_STOPPED, 0);
}

extern "C" int wmain() {
    SERVICE_TABLE_ENTRYW table[] = {{const_cast<LPWSTR>(L""), ServiceMain}, {nullptr, nullptr}};
    StartServiceCtrlDispatcherW(table);
    return 0;
}
