// The simulated manager's side of a service's life: a scripted service
// followed on the virtual clock as the setup program follows one, and
// starts and controls refused as Windows refuses them.
#include <functional>
#include <tuple>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "tests/sim_manager_fixture.h"

namespace {

using sim_test::Outcome;
using sim_test::SimulatedManager;

SERVICE_STATUS_PROCESS StatusOf(SC_HANDLE service) {
    SERVICE_STATUS_PROCESS status = {};
    DWORD needed = 0;
    EXPECT_TRUE(QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO,
                                     reinterpret_cast<LPBYTE>(&status), sizeof(status), &needed));
    return status;
}

// A status as first seen: state, checkpoint, exit code, virtual time.
using Seen = std::tuple<DWORD, DWORD, DWORD, ULONGLONG>;

// The follow loop the setup program runs: sleep, query, until the state
// settles or the bound passes. Gives each change as first seen.
std::vector<Seen> Follow(SC_HANDLE service, DWORD settled, ULONGLONG boundMs) {
    std::vector<Seen> seen;
    const ULONGLONG began = GetTickCount64();
    for (;;) {
        SERVICE_STATUS_PROCESS s = StatusOf(service);
        if (seen.empty() || std::get<0>(seen.back()) != s.dwCurrentState ||
            std::get<1>(seen.back()) != s.dwCheckPoint) {
            seen.emplace_back(s.dwCurrentState, s.dwCheckPoint, s.dwWin32ExitCode, GetTickCount64());
        }
        if (s.dwCurrentState == settled || GetTickCount64() - began > boundMs) return seen;
        Sleep(250);
    }
}

TEST_F(SimulatedManager, AScriptedLifeIsSeenThroughAFollowLoop) {
    sim::ServiceScript script;
    script.start = {{0, SERVICE_START_PENDING, 1, 3000}, {1000, SERVICE_START_PENDING, 2, 3000},
                    {2600, SERVICE_RUNNING}};
    script.stop = {{0, SERVICE_STOP_PENDING, 1, 5000}, {2000, SERVICE_STOP_PENDING, 2, 5000},
                   {3100, SERVICE_STOPPED, 0, 0, ERROR_SERVICE_SPECIFIC_ERROR, 42}};
    script.processId = 4242;
    sim::ScriptService(L"svc", script);  // before it exists, in any letter case
    CloseServiceHandle(Create(L"Svc"));
    SC_HANDLE service = OpenServiceW(manager_, L"Svc", GENERIC_ALL);
    EXPECT_EQ(StatusOf(service).dwWin32ExitCode, ERROR_SERVICE_NEVER_STARTED);

    ASSERT_TRUE(StartServiceW(service, 0, nullptr));
    EXPECT_EQ(Follow(service, SERVICE_RUNNING, 10000),
              (std::vector<Seen>{Seen(SERVICE_START_PENDING, 1, 0, 0),
                                 Seen(SERVICE_START_PENDING, 2, 0, 1000),
                                 Seen(SERVICE_RUNNING, 0, 0, 2750)}));
    EXPECT_EQ(StatusOf(service).dwProcessId, 4242u);
    EXPECT_EQ(StatusOf(service).dwControlsAccepted, DWORD(SERVICE_ACCEPT_STOP));
    EXPECT_EQ(Outcome(StartServiceW(service, 0, nullptr)), ERROR_SERVICE_ALREADY_RUNNING);

    SERVICE_STATUS answer = {};
    ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &answer));
    EXPECT_EQ(answer.dwCurrentState, SERVICE_STOP_PENDING);
    EXPECT_EQ(answer.dwWaitHint, 5000u);
    EXPECT_EQ(Follow(service, SERVICE_STOPPED, 10000),
              (std::vector<Seen>{Seen(SERVICE_STOP_PENDING, 1, 0, 2750),
                                 Seen(SERVICE_STOP_PENDING, 2, 0, 4750),
                                 Seen(SERVICE_STOPPED, 0, ERROR_SERVICE_SPECIFIC_ERROR, 6000)}));
    const SERVICE_STATUS_PROCESS stopped = StatusOf(service);
    EXPECT_EQ(stopped.dwServiceSpecificExitCode, 42u);
    EXPECT_EQ(stopped.dwProcessId, 0u);
    EXPECT_EQ(stopped.dwControlsAccepted, 0u);

    // Stopping a stopped service fails, and says how it stands.
    answer = {};
    EXPECT_EQ(Outcome(ControlService(service, SERVICE_CONTROL_STOP, &answer)), ERROR_SERVICE_NOT_ACTIVE);
    EXPECT_EQ(answer.dwCurrentState, SERVICE_STOPPED);
    EXPECT_EQ(answer.dwWin32ExitCode, ERROR_SERVICE_SPECIFIC_ERROR);
    CloseServiceHandle(service);
}

TEST_F(SimulatedManager, StartAndStopAreRefusedAsWindowsRefusesThem) {
    struct Refusal {
        const char* what;
        std::function<void(SC_HANDLE service, sim::ServiceScript& script)> arrange;
        DWORD control;  // 0: StartServiceW
        DWORD error;
        DWORD stateAfter;  // also written back by the refusals that concern the state
    };
    auto running = [](SC_HANDLE s, sim::ServiceScript& script) {
        sim::ScriptService(L"Svc", script);
        StartServiceW(s, 0, nullptr);
    };
    const Refusal kRefusals[] = {
        {"start one whose account cannot log on",
         [](SC_HANDLE, sim::ServiceScript& script) { script.startError = ERROR_SERVICE_LOGON_FAILED; },
         0, ERROR_SERVICE_LOGON_FAILED, SERVICE_STOPPED},
        {"start one marked for deletion", [](SC_HANDLE s, sim::ServiceScript&) { DeleteService(s); },
         0, ERROR_SERVICE_MARKED_FOR_DELETE, SERVICE_STOPPED},
        {"stop one that refuses", [&](SC_HANDLE s, sim::ServiceScript& script) {
             script.stopError = ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
             running(s, script);
         },
         SERVICE_CONTROL_STOP, ERROR_SERVICE_CANNOT_ACCEPT_CTRL, SERVICE_RUNNING},
        {"stop one that does not accept it", [&](SC_HANDLE s, sim::ServiceScript& script) {
             script.controlsAccepted = 0;
             running(s, script);
         },
         SERVICE_CONTROL_STOP, ERROR_INVALID_SERVICE_CONTROL, SERVICE_RUNNING},
        {"stop one still starting", [&](SC_HANDLE s, sim::ServiceScript& script) {
             script.start = {{0, SERVICE_START_PENDING, 1, 3000}};
             script.controlsAccepted = 0;
             running(s, script);
         },
         SERVICE_CONTROL_STOP, ERROR_SERVICE_CANNOT_ACCEPT_CTRL, SERVICE_START_PENDING},
        {"stop one already stopping", [&](SC_HANDLE s, sim::ServiceScript& script) {
             script.stop = {{0, SERVICE_STOP_PENDING, 1, 3000}};  // and never stops
             running(s, script);
             SERVICE_STATUS first;
             ControlService(s, SERVICE_CONTROL_STOP, &first);
         },
         SERVICE_CONTROL_STOP, ERROR_SERVICE_CANNOT_ACCEPT_CTRL, SERVICE_STOP_PENDING},
        {"stop one another running service depends on", [&](SC_HANDLE s, sim::ServiceScript& script) {
             running(s, script);
             sim::ServiceRecord dependent;
             dependent.name = L"Dependent";
             dependent.dependencies = {L"SVC"};
             dependent.status.dwCurrentState = SERVICE_RUNNING;
             sim::AddService(dependent);
         },
         SERVICE_CONTROL_STOP, ERROR_DEPENDENT_SERVICES_RUNNING, SERVICE_RUNNING},
    };
    for (const Refusal& r : kRefusals) {
        SCOPED_TRACE(r.what);
        sim::Reset();
        manager_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        CloseServiceHandle(Create(L"Svc"));
        SC_HANDLE service = OpenServiceW(manager_, L"Svc", MAXIMUM_ALLOWED);
        sim::ServiceScript script;
        r.arrange(service, script);
        sim::ScriptService(L"Svc", script);
        SERVICE_STATUS answer = {};
        EXPECT_EQ(Outcome(r.control ? ControlService(service, r.control, &answer)
                                    : StartServiceW(service, 0, nullptr)),
                  r.error);
        EXPECT_EQ(StatusOf(service).dwCurrentState, r.stateAfter);
        const bool concernsState = r.error == ERROR_INVALID_SERVICE_CONTROL ||
                                   r.error == ERROR_SERVICE_CANNOT_ACCEPT_CTRL ||
                                   r.error == ERROR_SERVICE_NOT_ACTIVE;
        EXPECT_EQ(answer.dwCurrentState, concernsState ? r.stateAfter : 0u);
        CloseServiceHandle(service);
    }
}

}  // namespace
