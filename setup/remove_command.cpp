// remove: stop the service if it runs, following the stop to its end, then
// delete it.
#include "child/run_child.h"
#include "setup/commands.h"
#include "setup/console.h"

// How often the stop is checked on; the wrapper reports once a second.
constexpr DWORD kFollowIntervalMs = 50;
// Beyond the wait hints and the wrapper's termination wait: its grace
// period runs in whole seconds, and a loaded machine is slow to report.
constexpr DWORD kFollowMarginMs = kPollIntervalMs + 2000;

static std::wstring PendingLine(DWORD checkPoint, DWORD waitHintMs) {
    return L"  stop pending: checkpoint " + std::to_wstring(checkPoint) + L", wait hint " +
           std::to_wstring(waitHintMs) + L" ms\n";
}

static bool QueryStatus(SC_HANDLE service, SERVICE_STATUS_PROCESS& status) {
    DWORD needed = 0;
    return QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(&status),
                                sizeof(status), &needed) != FALSE;
}

// Asks for the stop unless one is under way, then prints each stop-pending
// report as it comes until the service has stopped. It may take as long as
// the longest wait hint it gave, plus the wrapper's wait after terminating
// its program. Gives the failure in words, or empty.
static std::wstring StopAndFollow(SC_HANDLE service, SERVICE_STATUS_PROCESS status) {
    const ULONGLONG began = GetTickCount64();
    DWORD lastCheckPoint = 0;
    DWORD lastWaitHint = 0;
    DWORD longestWaitHintMs = 0;
    bool printed = false;
    if (status.dwCurrentState != SERVICE_STOP_PENDING) {
        SERVICE_STATUS answer = {};
        if (ControlService(service, SERVICE_CONTROL_STOP, &answer)) {
            status.dwCurrentState = answer.dwCurrentState;
            status.dwCheckPoint = answer.dwCheckPoint;
            status.dwWaitHint = answer.dwWaitHint;
        } else {
            // Stopped in the meantime: nothing left to follow.
            DWORD error = GetLastError();
            if (error != ERROR_SERVICE_NOT_ACTIVE) return L"cannot stop it. " + WindowsError(error);
            status.dwCurrentState = SERVICE_STOPPED;
        }
    }
    for (;;) {
        if (status.dwCurrentState == SERVICE_STOPPED) return L"";
        if (status.dwCurrentState == SERVICE_STOP_PENDING &&
            (!printed || status.dwCheckPoint != lastCheckPoint ||
             status.dwWaitHint != lastWaitHint)) {
            PrintOut(PendingLine(status.dwCheckPoint, status.dwWaitHint));
            printed = true;
            lastCheckPoint = status.dwCheckPoint;
            lastWaitHint = status.dwWaitHint;
        }
        if (status.dwWaitHint > longestWaitHintMs) longestWaitHintMs = status.dwWaitHint;
        const ULONGLONG boundMs = ULONGLONG(longestWaitHintMs) + kTerminateWaitMs + kFollowMarginMs;
        if (GetTickCount64() - began > boundMs) {
            return L"it did not stop within " + std::to_wstring(boundMs / 1000) +
                   L" seconds, as long as its wait hints and the wrapper's termination allow.";
        }
        Sleep(kFollowIntervalMs);
        if (!QueryStatus(service, status)) {
            return L"cannot follow its stop. " + WindowsError(GetLastError());
        }
    }
}

static int Fail(const std::wstring& name, const std::wstring& why) {
    PrintError(L"Cannot remove the service " + name + L": " + why + L"\n");
    return kExitFailed;
}

int RunRemove(const std::wstring& name) {
    SC_HANDLE manager =
        OpenSCManagerW(/*lpMachineName=*/nullptr, /*lpDatabaseName=*/nullptr, SC_MANAGER_CONNECT);
    if (!manager) {
        return Fail(name,
                    L"cannot open the service control manager. " + WindowsError(GetLastError()));
    }
    SC_HANDLE service =
        OpenServiceW(manager, name.c_str(), SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE);
    if (!service) {
        DWORD error = GetLastError();
        CloseServiceHandle(manager);
        return Fail(name, error == ERROR_SERVICE_DOES_NOT_EXIST
                              ? L"there is no service of that name. " + WindowsError(error)
                              : L"cannot open the service. " + WindowsError(error));
    }
    std::wstring problem;
    SERVICE_STATUS_PROCESS status = {};
    if (!QueryStatus(service, status)) {
        problem = L"cannot read its state. " + WindowsError(GetLastError());
    } else if (status.dwCurrentState != SERVICE_STOPPED) {
        PrintOut(L"Stopping the service " + name + L"...\n");
        problem = StopAndFollow(service, status);
        if (problem.empty() && QueryStatus(service, status)) {
            PrintOut(L"  stopped, exit code " + std::to_wstring(status.dwWin32ExitCode) + L" (" +
                     SystemMessage(status.dwWin32ExitCode) + L")\n");
        }
        if (!problem.empty()) problem += L" It was not deleted.";
    }
    std::wstring done;
    if (problem.empty()) {
        if (DeleteService(service)) {
            done = L"Removed the service " + name + L".\n";
        } else if (GetLastError() == ERROR_SERVICE_MARKED_FOR_DELETE) {
            done = L"The service " + name +
                   L" was already deleted; Windows removes it once every "
                   L"program that has it open lets go of it.\n";
        } else {
            problem = L"cannot delete it. " + WindowsError(GetLastError());
        }
    }
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    if (!problem.empty()) return Fail(name, problem);
    PrintOut(done);
    return kExitDone;
}
