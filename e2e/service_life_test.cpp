// One life of the wrapper as the service control manager sees it: every
// report, the configuration it writes, and what becomes of the child.
#include "e2e/wrapper_service_fixture.h"

#include <algorithm>

namespace {

const char* const kStartPending = "START_PENDING accepted=0x105 exit=0 cp=1 hint=10000";

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

    const ULONGLONG sentMs = GetTickCount64();
    ASSERT_EQ(Control(SERVICE_CONTROL_STOP), DWORD(ERROR_SUCCESS));
    ASSERT_TRUE(WaitForState(SERVICE_STOPPED, 20000)) << Seen();

    // Polls at 1, 2 and 3 seconds find the child running; the third uses up
    // the grace period and the child is terminated. Reports are timed as they
    // arrive, and the first may arrive late (after Control returns): the
    // least times are counted from the stop's sending, which came before it
    // was made.
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
        EXPECT_GE(progress->atMs - sentMs, (checkPoint - 1) * 1000u - 100) << "checkpoint " << checkPoint;
        EXPECT_LE(progress->atMs - previous->atMs, 3000u) << "checkpoint " << checkPoint;
        previous = progress;
    }
    EXPECT_GE(stopped->atMs - sentMs, 2900u);
    EXPECT_LE(stopped->atMs - stopRequested->atMs, 9000u);

    // Left alone, this child never ends: exit code 0 is the termination's.
    EXPECT_EQ(ExitCodeOnceEnded(process_, 5000), 0u);
}

TEST_F(StopSequence, TerminatesAtOnceWhenTheStopTimeoutIsZero) {
    ASSERT_NO_FATAL_FAILURE(StartAroundRunningChild(L"0"));
    DWORD preshutdownMs = kMarkerPreshutdownMs;
    EXPECT_TRUE(ReadPreshutdownTimeout(manager_, name_, preshutdownMs));
    EXPECT_EQ(preshutdownMs, 0u);

    const ULONGLONG stopSentMs = GetTickCount64();
    ASSERT_EQ(Control(SERVICE_CONTROL_STOP), DWORD(ERROR_SUCCESS));
    ASSERT_TRUE(WaitForState(SERVICE_STOPPED, 10000)) << Seen();

    const std::vector<Report>& reports = ServiceReports();
    EXPECT_EQ(Summaries(reports), (std::vector<std::string>{kStartPending, kRunning,
                                                            StopPending(1, 0), kStoppedClean}));
    const Report* stopRequested = Find(reports, SERVICE_STOP_PENDING, 1);
    const Report* stopped = Find(reports, SERVICE_STOPPED, 0);
    ASSERT_TRUE(stopRequested && stopped);
    // Timed from the stop sent: on a busy machine the stop-pending report,
    // made milliseconds before the stopped one, can be delivered after it.
    EXPECT_LT(stopped->atMs - stopSentMs, 5000u);
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

// Holds the processes a case opens, to read their exit codes after their
// pids are gone.
class ChildOutcome : public WrapperService {
protected:
    HANDLE Hold(HANDLE process) {
        if (process) held_.push_back(process);
        return process;
    }
    void CloseHeld() {
        for (HANDLE process : held_) CloseHandle(process);
        held_.clear();
    }
    void TearDown() override {
        CloseHeld();
        WrapperService::TearDown();
    }
    std::vector<HANDLE> held_;
};

using ChildFailure = ChildOutcome;

// How the child ends its life: what the manager is told depends on whether
// a stop had been asked for by then.
TEST_F(ChildFailure, IsReportedWithTheChildsCodeUnlessAStopCameFirst) {
    enum class Ending { Exits, TerminatedFromOutside, ExitsDuringTheStop };
    struct EndingCase {
        const char* what;
        Ending ending;
        DWORD childExitCode;
        DWORD exitCode;  // of the service, and its service-specific code
        DWORD serviceSpecificExitCode;
    };
    const EndingCase kCases[] = {
        {"exits with 7 while the service runs", Ending::Exits, 7, 1066, 7},
        {"exits as a crash does", Ending::Exits, 0xC0000005, 1066, 0xC0000005},
        {"ended from outside with 1", Ending::TerminatedFromOutside, 1, 1066, 1},
        {"exits with 3 within the grace period of a stop", Ending::ExitsDuringTheStop, 3, 0, 0},
    };
    const DWORD stopTimeoutMs = 10000;
    for (const EndingCase& c : kCases) {
        SCOPED_TRACE(c.what);
        const bool fromOutside = c.ending == Ending::TerminatedFromOutside;
        Install({std::to_wstring(stopTimeoutMs),
                 PrepareChild(fromOutside ? "run-forever" : "run-until-released")});
        Start();
        ASSERT_TRUE(WaitForState(SERVICE_RUNNING, 15000)) << Seen();
        HANDLE wrapper = Hold(OpenWrapperProcess());
        ChildRecord record;
        ASSERT_TRUE(WaitForRecord(record, 10000)) << Seen();
        HANDLE child = Hold(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION |
                                            PROCESS_TERMINATE,
                                        FALSE, record.pid));
        ASSERT_TRUE(wrapper && child);

        std::vector<std::string> expected = {kStartPending, kRunning};
        if (c.ending == Ending::ExitsDuringTheStop) {
            ASSERT_EQ(Control(SERVICE_CONTROL_STOP), DWORD(ERROR_SUCCESS));
            expected.push_back(StopPending(1, stopTimeoutMs));
        }
        if (fromOutside) {
            ASSERT_TRUE(TerminateProcess(child, c.childExitCode)) << GetLastError();
        } else {
            ReleaseChild(c.childExitCode);
        }
        ASSERT_TRUE(WaitForState(SERVICE_STOPPED, 15000)) << Seen();

        Report stopped = {};
        stopped.status.dwCurrentState = SERVICE_STOPPED;
        stopped.status.dwWin32ExitCode = c.exitCode;
        stopped.status.dwServiceSpecificExitCode = c.serviceSpecificExitCode;
        expected.push_back(Summary(stopped));
        std::vector<std::string> seen = Summaries(ServiceReports());
        // On a loaded machine a progress report may come before the child's end.
        seen.erase(std::remove_if(seen.begin(), seen.end(),
                                  [&](const std::string& summary) {
                                      return summary.rfind("STOP_PENDING", 0) == 0 &&
                                             summary != StopPending(1, stopTimeoutMs);
                                  }),
                   seen.end());
        EXPECT_EQ(seen, expected);
        SERVICE_STATUS_PROCESS now = QueryStatus(manager_, name_);
        EXPECT_EQ(now.dwCurrentState, DWORD(SERVICE_STOPPED));
        EXPECT_EQ(now.dwWin32ExitCode, c.exitCode);
        EXPECT_EQ(now.dwServiceSpecificExitCode, c.serviceSpecificExitCode);
        EXPECT_EQ(ExitCodeOnceEnded(child, 5000), c.childExitCode);
        EXPECT_EQ(ExitCodeOnceEnded(wrapper, 10000), 0u) << "wrapper's exit code";
        CloseHeld();
    }
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
