// One life of the wrapper as the service control manager sees it: every
// report, the configuration it writes, and what becomes of the child.
#include "e2e/wrapper_service_fixture.h"

namespace {

const char* const kStartPending = "START_PENDING accepted=0x105 exit=0 cp=1 hint=10000";
const char* const kRunning = "RUNNING accepted=0x105 exit=0 cp=0 hint=0";
const char* const kStoppedClean = "STOPPED exit=0 cp=0 hint=0";

std::string StopPending(DWORD checkPoint, DWORD hintMs) {
    return "STOP_PENDING accepted=0x105 exit=0 cp=" + std::to_string(checkPoint) +
           " hint=" + std::to_string(hintMs);
}

const Report* Find(const std::vector<Report>& reports, DWORD state, DWORD checkPoint) {
    for (const Report& report : reports) {
        if (report.status.dwCurrentState == state && report.status.dwCheckPoint == checkPoint) {
            return &report;
        }
    }
    return nullptr;
}

// The child as a handle of our own, so that its end can be seen even after
// its pid is gone.
HANDLE OpenChild(const ChildRecord& record) {
    return OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, record.pid);
}

}  // namespace

// Runs the wrapper around a child that only termination ends, and holds the
// child's process once it is running.
class RunningChild : public WrapperService {
protected:
    void StartAroundRunningChild(const std::wstring& stopTimeout) {
        Install({stopTimeout, PrepareChild("run-forever")});
        Start();
        ASSERT_TRUE(WaitForState(SERVICE_RUNNING, 15000)) << Seen();
        ChildRecord record;
        ASSERT_TRUE(WaitForRecord(record, 10000));
        process_ = OpenChild(record);
        ASSERT_NE(process_, nullptr);
    }
    void TearDown() override {
        if (process_) CloseHandle(process_);
        WrapperService::TearDown();
    }
    HANDLE process_ = nullptr;
};

using StopSequence = RunningChild;
using ChildEnd = WrapperService;
using Controls = RunningChild;
using StopTimeout = WrapperService;

TEST_F(StopSequence, TerminatesChildThatIgnoresTheStopOnceTheGraceRunsOut) {
    const DWORD stopTimeoutMs = 2500;
    ASSERT_NO_FATAL_FAILURE(StartAroundRunningChild(std::to_wstring(stopTimeoutMs)));

    ASSERT_EQ(Control(SERVICE_CONTROL_STOP), DWORD(ERROR_SUCCESS));
    ASSERT_TRUE(WaitForState(SERVICE_STOPPED, 20000)) << Seen();

    // Polls at 1, 2 and 3 seconds find the child running; the third uses up
    // the grace period and the child is terminated.
    const std::vector<Report>& reports = ServiceReports();
    EXPECT_EQ(Summaries(reports), (std::vector<std::string>{
                                      kStartPending, kRunning, StopPending(1, stopTimeoutMs),
                                      StopPending(2, stopTimeoutMs), StopPending(3, stopTimeoutMs),
                                      StopPending(4, stopTimeoutMs), kStoppedClean}));
    const Report* stopRequested = Find(reports, SERVICE_STOP_PENDING, 1);
    const Report* stopped = Find(reports, SERVICE_STOPPED, 0);
    ASSERT_TRUE(stopRequested && stopped);
    const Report* previous = stopRequested;
    for (DWORD checkPoint = 2; checkPoint <= 4; ++checkPoint) {
        const Report* progress = Find(reports, SERVICE_STOP_PENDING, checkPoint);
        if (!progress) continue;
        ULONGLONG gapMs = progress->atMs - previous->atMs;
        EXPECT_GE(gapMs, 500u) << "checkpoint " << checkPoint;
        EXPECT_LE(gapMs, 3000u) << "checkpoint " << checkPoint;
        previous = progress;
    }
    ULONGLONG stopMs = stopped->atMs - stopRequested->atMs;
    EXPECT_GE(stopMs, 2400u);
    EXPECT_LE(stopMs, 9000u);

    // Left alone, this child never ends: exit code 0 is the termination's.
    EXPECT_EQ(ExitCodeOnceEnded(process_, 5000), 0u);
}

TEST_F(StopSequence, TerminatesAtOnceWhenTheStopTimeoutIsZero) {
    ASSERT_NO_FATAL_FAILURE(StartAroundRunningChild(L"0"));
    DWORD preshutdownMs = kMarkerPreshutdownMs;
    EXPECT_TRUE(ReadPreshutdownTimeout(manager_, name_, preshutdownMs));
    EXPECT_EQ(preshutdownMs, 0u);

    ASSERT_EQ(Control(SERVICE_CONTROL_STOP), DWORD(ERROR_SUCCESS));
    ASSERT_TRUE(WaitForState(SERVICE_STOPPED, 10000)) << Seen();

    const std::vector<Report>& reports = ServiceReports();
    EXPECT_EQ(Summaries(reports), (std::vector<std::string>{kStartPending, kRunning,
                                                            StopPending(1, 0), kStoppedClean}));
    const Report* stopRequested = Find(reports, SERVICE_STOP_PENDING, 1);
    const Report* stopped = Find(reports, SERVICE_STOPPED, 0);
    ASSERT_TRUE(stopRequested && stopped);
    EXPECT_LT(stopped->atMs - stopRequested->atMs, 5000u);
    EXPECT_EQ(ExitCodeOnceEnded(process_, 5000), 0u);
}

TEST_F(ChildEnd, StopsWithTheChildWithoutAStopPendingReport) {
    std::wstring child = PrepareChild("exit-after 1500");
    Install({L"2500", child});
    Start();
    ASSERT_TRUE(WaitForState(SERVICE_STOPPED, 20000)) << Seen();

    EXPECT_EQ(Summaries(ServiceReports()),
              (std::vector<std::string>{kStartPending, kRunning, kStoppedClean}));
    const Report* running = Find(ServiceReports(), SERVICE_RUNNING, 0);
    const Report* stopped = Find(ServiceReports(), SERVICE_STOPPED, 0);
    ASSERT_TRUE(running && stopped);
    // The service lives as long as the child, not shorter.
    EXPECT_GE(stopped->atMs - running->atMs, 1000u);
}

// Interrogation and a user control must leave no trace: the next report after
// running is the stop's own.
TEST_F(Controls, InterrogateAndUserControlsChangeNothing) {
    ASSERT_NO_FATAL_FAILURE(StartAroundRunningChild(L"0"));

    EXPECT_EQ(Control(SERVICE_CONTROL_INTERROGATE), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(Control(128), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(Control(SERVICE_CONTROL_INTERROGATE), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(QueryStatus(manager_, name_).dwCurrentState, DWORD(SERVICE_RUNNING));
    EXPECT_EQ(WaitForSingleObject(process_, 0), DWORD(WAIT_TIMEOUT)) << "child ended";

    ASSERT_EQ(Control(SERVICE_CONTROL_STOP), DWORD(ERROR_SUCCESS));
    ASSERT_TRUE(WaitForState(SERVICE_STOPPED, 10000));
    EXPECT_EQ(
        Summaries(ServiceReports()),
        (std::vector<std::string>{kStartPending, kRunning, StopPending(1, 0), kStoppedClean}));
}

// The timeout is read as the runtime's wcstoul reads it, and lands in the
// configuration of the service the manager started, under its own name.
TEST_F(StopTimeout, IsWrittenAsThePreshutdownTimeout) {
    struct TimeoutCase {
        const wchar_t* text;
        DWORD ms;
    };
    const TimeoutCase kCases[] = {
        {L"2500", 2500},
        {L"5000ms", 5000},
        {L"  42", 42},
        {L"+7", 7},
        {L"4294967295", 4294967295u},
        {L"-1", 4294967295u},
    };
    std::wstring child = PrepareChild("exit-now");
    for (const TimeoutCase& c : kCases) {
        SCOPED_TRACE(Narrow(c.text));
        Install({c.text, child});
        Start();
        ASSERT_TRUE(WaitForState(SERVICE_STOPPED, 15000)) << Seen();
        EXPECT_EQ(Summaries(ServiceReports()),
                  (std::vector<std::string>{kStartPending, kRunning, kStoppedClean}));
        DWORD preshutdownMs = kMarkerPreshutdownMs;
        EXPECT_TRUE(ReadPreshutdownTimeout(manager_, name_, preshutdownMs));
        EXPECT_EQ(preshutdownMs, c.ms);
    }
}
