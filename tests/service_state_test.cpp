#include "service/service_state.h"

#include <cstring>

#include "service_run.h"

namespace {

class Reports : public ServiceRun {
protected:
    void SetUp() override {
        ServiceRun::SetUp();
        g_state.statusHandle = RegisterServiceCtrlHandlerExW(L"Updater", ServiceControlHandler, nullptr);
    }
};

TEST_F(Reports, RecordStartsAsAnOwnProcessServiceWithTheDefaults) {
    EXPECT_EQ(120000u, g_state.stopTimeoutMs);
    EXPECT_EQ(38u, g_state.serviceName.size());
    EXPECT_EQ(L"morvi-firmware-updater-service-wrapper", g_state.serviceName);
    EXPECT_TRUE(SameRecords({Status(0, 0, 0, 0, 0)}, {g_state.status}));
    EXPECT_EQ(nullptr, g_state.stopEvent);
    EXPECT_EQ(nullptr, g_state.childProcess.hProcess);
}

TEST_F(Reports, ReportStateWritesOnlyItsOwnFieldsAndSendsTheRecord) {
    g_state.status.dwControlsAccepted = kAccepted;
    g_state.status.dwWin32ExitCode = 5;
    g_state.status.dwServiceSpecificExitCode = 9;
    ReportState(SERVICE_STOP_PENDING, 7, 2500);
    EXPECT_TRUE(SameRecords({Status(SERVICE_STOP_PENDING, kAccepted, 0, 7, 2500)}, ReportedRecords()));
}

TEST_F(Reports, StoppedReportCarriesItsExitCodeAndSilencesTheHandler) {
    g_state.status.dwControlsAccepted = kAccepted;
    g_state.status.dwCheckPoint = 4;
    g_state.status.dwWaitHint = 3000;
    ReportStopped(ERROR_BAD_ARGUMENTS);
    EXPECT_TRUE(g_state.runEnded);
    EXPECT_EQ(NO_ERROR, ServiceControlHandler(SERVICE_CONTROL_STOP, 0, nullptr, nullptr));
    EXPECT_TRUE(SameRecords({Stopped(ERROR_BAD_ARGUMENTS)}, ReportedRecords()));
}

TEST_F(Reports, FailureWithoutAnErrorCodeIsStillReportedAsAFailure) {
    SetLastError(NO_ERROR);
    EXPECT_NE(NO_ERROR, LastErrorOf());
    SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(ERROR_ACCESS_DENIED, LastErrorOf());
}

}  // namespace
