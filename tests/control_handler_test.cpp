#include "service/service_state.h"

#include "service_run.h"

namespace {

class Handler : public ServiceRun {
protected:
    void SetUp() override {
        ServiceRun::SetUp();
        g_state.statusHandle = RegisterServiceCtrlHandlerExW(L"Updater", ServiceControlHandler, nullptr);
        g_state.status.dwControlsAccepted = kAccepted;
        g_state.stopTimeoutMs = 2500;
    }
    void TearDown() override {
        if (g_state.stopEvent) CloseHandle(g_state.stopEvent);
    }
    static bool EventSignalled() { return WaitForSingleObject(g_state.stopEvent, 0) == WAIT_OBJECT_0; }
    static std::vector<std::string> CallNames() {
        std::vector<std::string> names;
        for (const sim::Call& c : sim::Calls()) names.emplace_back(c.name);
        return names;
    }
};

TEST_F(Handler, StopShutdownAndPreshutdownReportStopPendingThenSignal) {
    for (DWORD control : {SERVICE_CONTROL_STOP, SERVICE_CONTROL_SHUTDOWN, SERVICE_CONTROL_PRESHUTDOWN}) {
        SCOPED_TRACE(control);
        ResetWorld();
        SetUp();
        g_state.stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        g_state.status.dwCurrentState = SERVICE_RUNNING;
        g_state.status.dwWin32ExitCode = 0;

        EXPECT_EQ(NO_ERROR, ServiceControlHandler(control, 0, nullptr, nullptr));
        EXPECT_TRUE(SameRecords({StopPending(1, 2500)}, ReportedRecords()));
        EXPECT_TRUE(EventSignalled());
        std::vector<std::string> calls = CallNames();
        // The report goes out before the service thread can wake.
        EXPECT_EQ((std::vector<std::string>{"RegisterServiceCtrlHandlerExW", "CreateEventW",
                                            "SetServiceStatus", "SetEvent", "WaitForSingleObject"}),
                  calls);
        CloseHandle(g_state.stopEvent);
        g_state.stopEvent = nullptr;
    }
}

TEST_F(Handler, EveryOtherControlIsAnsweredAndIgnored) {
    g_state.stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const DWORD others[] = {SERVICE_CONTROL_INTERROGATE, SERVICE_CONTROL_PAUSE,
                            SERVICE_CONTROL_CONTINUE, SERVICE_CONTROL_PARAMCHANGE, 128, 255, 0};
    for (DWORD control : others) {
        EXPECT_EQ(NO_ERROR, ServiceControlHandler(control, 7, &g_state, &g_state));
    }
    EXPECT_TRUE(sim::Reports().empty());
    EXPECT_FALSE(EventSignalled());
    EXPECT_FALSE(g_state.stopRequested);
}

TEST_F(Handler, StopBeforeTheEventExistsIsReportedAndRemembered) {
    g_state.status.dwControlsAccepted = 0;
    g_state.stopTimeoutMs = kDefaultStopTimeoutMs;
    EXPECT_EQ(NO_ERROR, ServiceControlHandler(SERVICE_CONTROL_SHUTDOWN, 0, nullptr, nullptr));
    EXPECT_TRUE(SameRecords({Status(SERVICE_STOP_PENDING, 0, 0, 1, 120000)}, ReportedRecords()));
    EXPECT_TRUE(g_state.stopRequested);
}

TEST_F(Handler, RepeatedStopReportsCheckpointOneEachTime) {
    g_state.stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    g_state.status.dwCheckPoint = 5;
    ServiceControlHandler(SERVICE_CONTROL_STOP, 0, nullptr, nullptr);
    ServiceControlHandler(SERVICE_CONTROL_PRESHUTDOWN, 0, nullptr, nullptr);
    EXPECT_TRUE(SameRecords({StopPending(1, 2500), StopPending(1, 2500)}, ReportedRecords()));
    EXPECT_TRUE(EventSignalled());
}

TEST_F(Handler, ControlAfterTheRunEndedMakesNoReport) {
    g_state.stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    g_state.runEnded = true;
    EXPECT_EQ(NO_ERROR, ServiceControlHandler(SERVICE_CONTROL_STOP, 0, nullptr, nullptr));
    EXPECT_TRUE(sim::Reports().empty());
    EXPECT_FALSE(EventSignalled());
}

}  // namespace
