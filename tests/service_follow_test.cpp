// Starting and stopping a service and following it, on the simulated
// manager's virtual clock: scripted lives, each report at a chosen time.
#include "setup/manager/service_follow.h"

#include <algorithm>
#include <functional>
#include <tuple>

#include <gtest/gtest.h>

#include "tests/sim_manager_fixture.h"

namespace {

// A pending report as handed on: state, checkpoint, wait hint, and the
// virtual time (from the call) at which it was handed on.
using Pending = std::tuple<DWORD, DWORD, DWORD, ULONGLONG>;

constexpr DWORD kStarting = SERVICE_START_PENDING;
constexpr DWORD kStopping = SERVICE_STOP_PENDING;
constexpr DWORD kRunning = SERVICE_RUNNING;
constexpr DWORD kStopped = SERVICE_STOPPED;

// One life: how the service stands and behaves, and what the follow must
// make of it.
struct Life {
    const char* what;
    DWORD stateBefore;  // SERVICE_STOPPED or SERVICE_RUNNING, as added
    sim::ServiceScript script;
    std::function<void(SC_HANDLE service)> before;  // done to it first, may be empty
    bool ended;
    DWORD state;
    DWORD error;
    const wchar_t* problem;  // a phrase of it; empty: none
    std::vector<Pending> pending;
    ULONGLONG returnsAtMs;  // virtual time the call returns, to within a poll
    int asks;  // StartServiceW (a start) or ControlService (a stop) calls, before included
};

// A running service that depends on the one followed, so that its stop is refused.
void AddRunningDependent(SC_HANDLE) {
    sim::ServiceRecord dependent;
    dependent.name = L"Dependent";
    dependent.dependencies = {L"svc"};
    dependent.status.dwCurrentState = kRunning;
    sim::AddService(dependent);
}

sim::ServiceScript Script(std::vector<sim::StatusReport> start, std::vector<sim::StatusReport> stop,
                          DWORD startError = NO_ERROR, DWORD stopError = NO_ERROR) {
    sim::ServiceScript script;
    script.start = start;
    script.stop = stop;
    script.startError = startError;
    script.stopError = stopError;
    return script;
}

// The stop crossed the service's own stopped report, and the manager lost
// the answer: it stops all the same (or, with no stop scripted, runs on).
sim::ServiceScript AnswerLost(std::vector<sim::StatusReport> stop) {
    sim::ServiceScript script = Script({}, stop);
    script.stopAnswerError = ERROR_BROKEN_PIPE;
    return script;
}

// The wrapper's stop: checkpoint 1 at once, one more each second, each with
// the stop timeout as wait hint, then stopped at stoppedAtMs.
std::vector<sim::StatusReport> WrapperStop(DWORD timeoutMs, DWORD stoppedAtMs) {
    std::vector<sim::StatusReport> reports;
    for (DWORD at = 0, checkPoint = 1; at <= timeoutMs && at < stoppedAtMs; at += 1000) {
        reports.push_back({at, kStopping, checkPoint++, timeoutMs});
    }
    reports.push_back({stoppedAtMs, SERVICE_STOPPED});
    return reports;
}

class Follow : public sim_test::SimulatedManager {
protected:
    // Puts the service in as the life says, calls follow on it, and checks
    // the result against the life.
    void Live(const Life& life,
              const std::function<FollowResult(SC_HANDLE, const PendingReportSink&)>& follow,
              const char* ask) {
        SCOPED_TRACE(life.what);
        sim::Reset();
        manager_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        sim::ServiceRecord record;
        record.name = L"Svc";
        record.status.dwCurrentState = life.stateBefore;
        if (life.stateBefore != SERVICE_STOPPED) {
            record.status.dwControlsAccepted = life.script.controlsAccepted;
            record.status.dwProcessId = 88;
        }
        sim::AddService(record);
        sim::ScriptService(L"Svc", life.script);
        SC_HANDLE service = OpenServiceW(manager_, L"Svc",
                                         SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS);
        if (life.before) life.before(service);
        const ULONGLONG began = GetTickCount64();
        std::vector<Pending> pending;
        FollowResult result = follow(service, [&](const SERVICE_STATUS_PROCESS& s) {
            pending.emplace_back(s.dwCurrentState, s.dwCheckPoint, s.dwWaitHint,
                                 GetTickCount64() - began);
        });
        const ULONGLONG tookMs = GetTickCount64() - began;
        EXPECT_EQ(result.ended, life.ended);
        EXPECT_EQ(result.status.dwCurrentState, life.state);
        EXPECT_EQ(result.error, life.error);
        if (*life.problem) {
            EXPECT_NE(result.problem.find(life.problem), std::wstring::npos)
                << testing::PrintToString(result.problem);
        } else {
            EXPECT_EQ(result.problem, L"");
        }
        EXPECT_EQ(pending, life.pending);
        EXPECT_GE(tookMs, life.returnsAtMs);
        EXPECT_LE(tookMs, life.returnsAtMs + 100);
        EXPECT_EQ(CallsNamed(ask), life.asks);
        CloseServiceHandle(service);
    }

    int CallsNamed(const char* name) {
        const std::vector<sim::Call> calls = sim::Calls();
        return static_cast<int>(std::count_if(calls.begin(), calls.end(), [&](const sim::Call& c) {
            return std::string(c.name) == name;
        }));
    }
};

// A report every 2.5 s, each hinting at 3 s: progress for longer than any
// one hint, or any fixed bound.
std::vector<sim::StatusReport> SlowStart() {
    std::vector<sim::StatusReport> reports;
    for (DWORD checkPoint = 1; checkPoint <= 6; ++checkPoint) {
        reports.push_back({(checkPoint - 1) * 2500, kStarting, checkPoint, 3000});
    }
    reports.push_back({15000, kRunning});
    return reports;
}

const auto kStopFirst = [](SC_HANDLE service) {
    SERVICE_STATUS answer;
    ControlService(service, SERVICE_CONTROL_STOP, &answer);
};
const auto kStartFirst = [](SC_HANDLE service) { StartServiceW(service, 0, nullptr); };

TEST_F(Follow, AStartIsFollowedUntilItRunsOrStopsAsLongAsItsReportsSayItMay) {
    std::vector<Pending> slowStart;
    for (DWORD checkPoint = 1; checkPoint <= 6; ++checkPoint) {
        slowStart.emplace_back(kStarting, checkPoint, 3000, (checkPoint - 1) * 2500);
    }
    const Life kLives[] = {
        {"runs at once", kStopped, Script({{0, kRunning}}, {}), nullptr, true, kRunning, NO_ERROR,
         L"", {}, 0, 1},
        {"starts in steps", kStopped,
         Script({{0, kStarting, 1, 3000}, {1000, kStarting, 2, 3000}, {2600, kRunning}}, {}),
         nullptr, true, kRunning, NO_ERROR, L"",
         {{kStarting, 1, 3000, 0}, {kStarting, 2, 3000, 1000}}, 2600, 1},
        {"a wait hint past 13 s is waited out", kStopped,
         Script({{0, kStarting, 1, 40000}, {39000, kRunning}}, {}), nullptr, true, kRunning,
         NO_ERROR, L"", {{kStarting, 1, 40000, 0}}, 39000, 1},
        {"progress for longer than any one hint", kStopped, Script(SlowStart(), {}), nullptr, true,
         kRunning, NO_ERROR, L"", slowStart, 15000, 1},
        {"silent beyond its hint and the margin", kStopped, Script({{0, kStarting, 1, 3000}}, {}),
         nullptr, false, kStarting, NO_ERROR,
         L"it is still starting after 7 seconds without a new report, though its last one "
         L"(checkpoint 1) said to expect the next within 3 seconds; it may be hung.",
         {{kStarting, 1, 3000, 0}}, 6100, 1},
        {"silent almost as long as its hint and the margin", kStopped,
         Script({{0, kStarting, 1, 3000}, {6000, kRunning}}, {}), nullptr, true, kRunning,
         NO_ERROR, L"", {{kStarting, 1, 3000, 0}}, 6000, 1},
        {"stops instead, as a wrapper whose program is missing", kStopped,
         Script({{0, kStarting, 1, 10000}, {300, kStopped, 0, 0, ERROR_FILE_NOT_FOUND}}, {}),
         nullptr, true, kStopped, NO_ERROR, L"", {{kStarting, 1, 10000, 0}}, 300, 1},
        {"the manager refuses the start", kStopped, Script({}, {}, ERROR_SERVICE_LOGON_FAILED),
         nullptr, false, kStopped, ERROR_SERVICE_LOGON_FAILED,
         L"the service control manager did not start it.", {}, 0, 1},
        {"already running", kRunning, Script({}, {}), nullptr, true, kRunning, NO_ERROR, L"", {},
         0, 0},
        {"a stop under way ends before the start", kRunning,
         Script({{0, kStarting, 1, 2000}, {500, kRunning}},
                {{0, kStopping, 1, 2000}, {1500, kStopped}}),
         kStopFirst, true, kRunning, NO_ERROR, L"",
         {{kStopping, 1, 2000, 0}, {kStarting, 1, 2000, 1500}}, 2000, 1},
        {"a start under way is followed, not asked for again", kStopped,
         Script({{0, kStarting, 1, 2000}, {700, kRunning}}, {}), kStartFirst, true, kRunning,
         NO_ERROR, L"", {{kStarting, 1, 2000, 0}}, 700, 1},
    };
    for (const Life& life : kLives) Live(life, StartAndFollow, "StartServiceW");
}

TEST_F(Follow, AStopIsFollowedUntilItHasStoppedAsLongAsItsReportsSayItMay) {
    const Life kLives[] = {
        {"stops at once", kRunning, Script({}, {{0, kStopped}}), nullptr, true, kStopped, NO_ERROR,
         L"", {}, 0, 1},
        {"the wrapper's program ends within its stop timeout", kRunning,
         Script({}, WrapperStop(30000, 2400)), nullptr, true, kStopped, NO_ERROR, L"",
         {{kStopping, 1, 30000, 0}, {kStopping, 2, 30000, 1000}, {kStopping, 3, 30000, 2000}},
         2400, 1},
        {"a wait hint past 13 s is waited out", kRunning,
         Script({}, {{0, kStopping, 1, 20000}, {19000, kStopped}}), nullptr, true, kStopped,
         NO_ERROR, L"", {{kStopping, 1, 20000, 0}}, 19000, 1},
        // After its last checkpoint the wrapper ends the program and waits
        // up to ten seconds for it to go, reporting nothing meanwhile.
        {"the wrapper's silent wait for a program it has ended", kRunning,
         Script({}, WrapperStop(2000, 2000 + 9900)), nullptr, true, kStopped, NO_ERROR, L"",
         {{kStopping, 1, 2000, 0}, {kStopping, 2, 2000, 1000}, {kStopping, 3, 2000, 2000}},
         11900, 1},
        {"silent beyond its hint and the margin", kRunning,
         Script({}, {{0, kStopping, 1, 3000}}), nullptr, false, kStopping, NO_ERROR,
         L"it is still stopping after 17 seconds without a new report",
         {{kStopping, 1, 3000, 0}}, 16100, 1},
        {"refuses the stop", kRunning, Script({}, {}, NO_ERROR, ERROR_SERVICE_CANNOT_ACCEPT_CTRL),
         nullptr, false, kRunning, ERROR_SERVICE_CANNOT_ACCEPT_CTRL, L"it cannot take one now.",
         {}, 0, 1},
        {"others depend on it", kRunning, Script({}, {{0, kStopped}}), AddRunningDependent, false,
         kRunning, ERROR_DEPENDENT_SERVICES_RUNNING, L"stop them first.", {}, 0, 1},
        {"already stopped", kStopped, Script({}, {}), nullptr, true, kStopped, NO_ERROR, L"", {},
         0, 0},
        {"a stop under way is followed, not asked for again", kRunning,
         Script({}, {{0, kStopping, 1, 2000}, {1200, kStopped, 0, 0, 1066, 7}}), kStopFirst, true,
         kStopped, NO_ERROR, L"", {{kStopping, 1, 2000, 0}}, 1200, 1},
        // The manager's own start-pending status takes no stop yet.
        {"still starting: the start ends first, then the stop", kStopped,
         Script({{1500, kRunning}}, {{0, kStopping, 1, 1000}, {400, kStopped}}), kStartFirst,
         true, kStopped, NO_ERROR, L"", {{kStarting, 0, 2000, 0}, {kStopping, 1, 1000, 1500}},
         1900, 2},
        {"stopped by itself as the stop went: the answer lost", kRunning,
         AnswerLost({{0, kStopping, 1, 1000}, {300, kStopped}}), nullptr, true, kStopped,
         NO_ERROR, L"", {{kStopping, 1, 1000, 0}}, 300, 1},
        {"the answer lost, and still running", kRunning, AnswerLost({}), nullptr, false, kRunning,
         ERROR_BROKEN_PIPE, L"the stop could not be sent.", {}, 0, 1},
        // Its handler only signals the thread that reports, so the answer
        // still says running.
        {"takes the stop and reports it a moment later", kRunning,
         Script({}, {{300, kStopping, 1, 1000}, {800, kStopped}}), nullptr, true, kStopped,
         NO_ERROR, L"", {{kStopping, 1, 1000, 300}}, 800, 1},
        {"takes the stop and runs on", kRunning, Script({}, {}), nullptr, false, kRunning,
         NO_ERROR, L"it came to be running instead of stopped.", {}, 3000, 1},
        {"goes back to running", kRunning,
         Script({}, {{0, kStopping, 1, 1000}, {500, kRunning}}), nullptr, false, kRunning,
         NO_ERROR, L"it came to be running instead of stopped.", {{kStopping, 1, 1000, 0}}, 500,
         1},
    };
    for (const Life& life : kLives) Live(life, StopAndFollow, "ControlService");
}

}  // namespace

namespace {

// stop --no-wait and remove --no-wait: the stop asked for once, and nothing
// waited for.
TEST_F(Follow, AStopAskedForWithoutWaitingReturnsAtOnceWithTheStateAnswered) {
    const Life kLives[] = {
        {"running", kRunning, Script({}, WrapperStop(30000, 2400)), nullptr, true, kStopping,
         NO_ERROR, L"", {}, 0, 1},
        {"stopping already", kRunning, Script({}, WrapperStop(30000, 2400)), kStopFirst, true,
         kStopping, NO_ERROR, L"", {}, 0, 1},
        {"stopped", kStopped, Script({}, {}), nullptr, true, kStopped, NO_ERROR, L"", {}, 0, 0},
        {"stopped by itself as it was asked: the answer lost", kRunning, AnswerLost({{0, kStopped}}),
         nullptr, true, kStopped, NO_ERROR, L"", {}, 0, 1},
        {"the answer lost, and still running", kRunning, AnswerLost({}), nullptr, false, kRunning,
         ERROR_BROKEN_PIPE, L"the stop could not be sent.", {}, 0, 1},
        {"refused", kRunning, Script({}, {{0, kStopped}}), AddRunningDependent, false, kRunning,
         ERROR_DEPENDENT_SERVICES_RUNNING, L"services that depend on it are running", {}, 0, 1},
    };
    for (const Life& life : kLives) {
        Live(life, [](SC_HANDLE service, const PendingReportSink&) { return AskToStop(service); },
             "ControlService");
    }
}

}  // namespace
