// The least a Windows service can be: it reports start-pending, then running,
// and on a stop request reports stopped. Its figures are the manager's own
// cost of starting, watching and stopping a service process, which no
// wrapper can go below.
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

// Dispatcher thread: only signals; the stopped report comes from the service
// thread, as it must not be made under the manager's lock that this runs in.
static DWORD WINAPI Handler(DWORD dwControl, DWORD, LPVOID, LPVOID) {
    if (dwControl == SERVICE_CONTROL_STOP) SetEvent(g_stopEvent);
    return NO_ERROR;
}

static VOID WINAPI ServiceMain(DWORD dwNumServicesArgs, LPWSTR* lpServiceArgVectors) {
    LPCWSTR name = dwNumServicesArgs ? lpServiceArgVectors[0] : L"";
    g_statusHandle = RegisterServiceCtrlHandlerExW(name, Handler, /*lpContext=*/nullptr);
    if (!g_statusHandle) return;
    g_stopEvent = CreateEventW(nullptr, /*bManualReset=*/TRUE, /*bInitialState=*/FALSE, nullptr);
    if (!g_stopEvent) return Report(SERVICE_STOPPED, 0, GetLastError());
    Report(SERVICE_START_PENDING, 1);
    Report(SERVICE_RUNNING, 0);
    WaitForSingleObject(g_stopEvent, INFINITE);
    CloseHandle(g_stopEvent);
    Report(SERVICE_STOPPED, 0);
}

extern "C" int wmain() {
    SERVICE_TABLE_ENTRYW table[] = {{const_cast<LPWSTR>(L""), ServiceMain}, {nullptr, nullptr}};
    StartServiceCtrlDispatcherW(table);
    return 0;
}
