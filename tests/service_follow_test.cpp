// Starting and stopping a service and following it, on the simulated
// manager's virtual clock: scripted lives, each report at a chosen time.
#include "setup/service_follow.h"

#include <algorithm>
#include <functional>
#include <tuple>

#include <gtest/gtest.h>

namespace {

// A pending report as handed on: state, checkpoint, wait hint, and the
// virtual time (from the call) at which it was handed on.
using Pending = std::tuple<DWORD, DWORD, DWORD, ULONGLONG>;

constexpr DWORD kStarting = SERVICE_START_PENDING;
constexpr DWORD kStopping = SERVICE_STOP_PENDING;

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

sim::ServiceScript Script(std::vector<sim::StatusReport> start, std::vector<sim::StatusReport> stop,
                          DWORD startError = NO_ERROR, DWORD stopError = NO_ERROR) {
    sim::ServiceScript script;
    script.start = start;
    script.stop = stop;
    script.startError = startError;
    script.stopError = stopError;
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

class Follow : public testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        manager_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    }

    void TearDown() override {
        CloseServiceHandle(manager_);
        EXPECT_EQ(sim::OpenHandleCount(), 0);
        EXPECT_EQ(sim::Problems(), std::vector<std::string>());
    }

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

    SC_HANDLE manager_ = nullptr;
};

TEST_F(Follow, AStartIsFollowedUntilItRunsOrStopsAsLongAsItsReportsSayItMay) {
    const Life kLives[] = {
        {"runs at once", SERVICE_STOPPED, Script({{0, SERVICE_RUNNING}}, {}), nullptr, true,
         SERVICE_RUNNING, NO_ERROR, L"", {}, 0, 1},
        {"starts in steps",
         SERVICE_STOPPED,
         Script({{0, kStarting, 1, 3000}, {1000, kStarting, 2, 3000}, {2600, SERVICE_RUNNING}}, {}),
         nullptr,
         true,
         SERVICE_RUNNING,
         NO_ERROR,
         L"",
         {{kStarting, 1, 3000, 0}, {kStarting, 2, 3000, 1000}},
         2600, 1},
        {"a wait hint past 13 s is waited out",
         SERVICE_STOPPED,
         Script({{0, kStarting, 1, 40000}, {39000, SERVICE_RUNNING}}, {}),
         nullptr,
         true,
         SERVICE_RUNNING,
         NO_ERROR,
         L"",
         {{kStarting, 1, 40000, 0}},
         39000, 1},
        {"progress for longer than any one hint",
         SERVICE_STOPPED,
         Script({{0, kStarting, 1, 3000},
                 {2500, kStarting, 2, 3000},
                 {5000, kStarting, 3, 3000},
                 {7500, kStarting, 4, 3000},
                 {10000, kStarting, 5, 3000},
                 {12500, kStarting, 6, 3000},
                 {15000, SERVICE_RUNNING}},
                {}),
         nullptr,
         true,
         SERVICE_RUNNING,
         NO_ERROR,
         L"",
         {{kStarting, 1, 3000, 0},
          {kStarting, 2, 3000, 2500},
          {kStarting, 3, 3000, 5000},
          {kStarting, 4, 3000, 7500},
          {kStarting, 5, 3000, 10000},
          {kStarting, 6, 3000, 12500}},
         15000, 1},
        {"silent beyond its hint and the margin",
         SERVICE_STOPPED,
         Script({{0, kStarting, 1, 3000}}, {}),
         nullptr,
         false,
         kStarting,
         NO_ERROR,
         L"it is still starting after 7 seconds without a new report, though its last one "
         L"(checkpoint 1) said to expect the next within 3 seconds; it may be hung.",
         {{kStarting, 1, 3000, 0}},
         6100, 1},
        {"silent almost as long as its hint and the margin",
         SERVICE_STOPPED,
         Script({{0, kStarting, 1, 3000}, {6000, SERVICE_RUNNING}}, {}),
         nullptr,
         true,
         SERVICE_RUNNING,
         NO_ERROR,
         L"",
         {{kStarting, 1, 3000, 0}},
         6000, 1},
        {"stops instead, as a wrapper whose program is missing",
         SERVICE_STOPPED,
         Script({{0, kStarting, 1, 10000}, {300, SERVICE_STOPPED, 0, 0, ERROR_FILE_NOT_FOUND}}, {}),
         nullptr,
         true,
         SERVICE_STOPPED,
         NO_ERROR,
         L"",
         {{kStarting, 1, 10000, 0}},
         300, 1},
        {"the manager refuses the start",
         SERVICE_STOPPED,
         Script({}, {}, ERROR_SERVICE_LOGON_FAILED),
         nullptr,
         false,
         SERVICE_STOPPED,
         ERROR_SERVICE_LOGON_FAILED,
         L"the service control manager did not start it.",
         {},
         0, 1},
        {"already running", SERVICE_RUNNING, Script({}, {}), nullptr, true, SERVICE_RUNNING,
         NO_ERROR, L"", {}, 0, 0},
        {"a stop under way ends before the start",
         SERVICE_RUNNING,
         Script({{0, kStarting, 1, 2000}, {500, SERVICE_RUNNING}},
                {{0, kStopping, 1, 2000}, {1500, SERVICE_STOPPED}}),
         [](SC_HANDLE service) {
             SERVICE_STATUS answer;
             ControlService(service, SERVICE_CONTROL_STOP, &answer);
         },
         true,
         SERVICE_RUNNING,
         NO_ERROR,
         L"",
         {{kStopping, 1, 2000, 0}, {kStarting, 1, 2000, 1500}},
         2000, 1},
        {"a start under way is followed, not asked for again",
         SERVICE_STOPPED,
         Script({{0, kStarting, 1, 2000}, {700, SERVICE_RUNNING}}, {}),
         [](SC_HANDLE service) { StartServiceW(service, 0, nullptr); },
         true,
         SERVICE_RUNNING,
         NO_ERROR,
         L"",
         {{kStarting, 1, 2000, 0}},
         700, 1},
    };
    for (const Life& life : kLives) Live(life, StartAndFollow, "StartServiceW");
}

TEST_F(Follow, AStopIsFollowedUntilItHasStoppedAsLongAsItsReportsSayItMay) {
    const Life kLives[] = {
        {"stops at once", SERVICE_RUNNING, Script({}, {{0, SERVICE_STOPPED}}), nullptr, true,
         SERVICE_STOPPED, NO_ERROR, L"", {}, 0, 1},
        {"the wrapper's program ends within its stop timeout",
         SERVICE_RUNNING,
         Script({}, WrapperStop(30000, 2400)),
         nullptr,
         true,
         SERVICE_STOPPED,
         NO_ERROR,
         L"",
         {{kStopping, 1, 30000, 0}, {kStopping, 2, 30000, 1000}, {kStopping, 3, 30000, 2000}},
         2400, 1},
        {"a wait hint past 13 s is waited out",
         SERVICE_RUNNING,
         Script({}, {{0, kStopping, 1, 20000}, {19000, SERVICE_STOPPED}}),
         nullptr,
         true,
         SERVICE_STOPPED,
         NO_ERROR,
         L"",
         {{kStopping, 1, 20000, 0}},
         19000, 1},
        // After its last checkpoint the wrapper ends the program and waits
        // up to ten seconds for it to go, reporting nothing meanwhile.
        {"the wrapper's silent wait for a program it has ended",
         SERVICE_RUNNING,
         Script({}, WrapperStop(2000, 2000 + 9900)),
         nullptr,
         true,
         SERVICE_STOPPED,
         NO_ERROR,
         L"",
         {{kStopping, 1, 2000, 0}, {kStopping, 2, 2000, 1000}, {kStopping, 3, 2000, 2000}},
         11900, 1},
        {"silent beyond its hint and the margin",
         SERVICE_RUNNING,
         Script({}, {{0, kStopping, 1, 3000}}),
         nullptr,
         false,
         kStopping,
         NO_ERROR,
         L"it is still stopping after 17 seconds without a new report",
         {{kStopping, 1, 3000, 0}},
         16100, 1},
        {"refuses the stop", SERVICE_RUNNING,
         Script({}, {}, NO_ERROR, ERROR_SERVICE_CANNOT_ACCEPT_CTRL), nullptr, false,
         SERVICE_RUNNING, ERROR_SERVICE_CANNOT_ACCEPT_CTRL, L"it cannot take one now.", {}, 0, 1},
        {"others depend on it", SERVICE_RUNNING, Script({}, {{0, SERVICE_STOPPED}}),
         [](SC_HANDLE) {
             sim::ServiceRecord dependent;
             dependent.name = L"Dependent";
             dependent.dependencies = {L"svc"};
             dependent.status.dwCurrentState = SERVICE_RUNNING;
             sim::AddService(dependent);
         },
         false, SERVICE_RUNNING, ERROR_DEPENDENT_SERVICES_RUNNING, L"stop them first.", {}, 0, 1},
        {"already stopped", SERVICE_STOPPED, Script({}, {}), nullptr, true, SERVICE_STOPPED,
         NO_ERROR, L"", {}, 0, 0},
        {"a stop under way is followed, not asked for again",
         SERVICE_RUNNING,
         Script({}, {{0, kStopping, 1, 2000}, {1200, SERVICE_STOPPED, 0, 0, 1066, 7}}),
         [](SC_HANDLE service) {
             SERVICE_STATUS answer;
             ControlService(service, SERVICE_CONTROL_STOP, &answer);
         },
         true,
         SERVICE_STOPPED,
         NO_ERROR,
         L"",
         {{kStopping, 1, 2000, 0}},
         1200, 1},
        // The manager's own start-pending status takes no stop yet.
        {"still starting: the start ends first, then the stop",
         SERVICE_STOPPED,
         Script({{1500, SERVICE_RUNNING}}, {{0, kStopping, 1, 1000}, {400, SERVICE_STOPPED}}),
         [](SC_HANDLE service) { StartServiceW(service, 0, nullptr); },
         true,
         SERVICE_STOPPED,
         NO_ERROR,
         L"",
         {{kStarting, 0, 2000, 0}, {kStopping, 1, 1000, 1500}},
         1900, 2},
        {"goes back to running",
         SERVICE_RUNNING,
         Script({}, {{0, kStopping, 1, 1000}, {500, SERVICE_RUNNING}}),
         nullptr,
         false,
         SERVICE_RUNNING,
         NO_ERROR,
         L"it came to be running instead of stopped.",
         {{kStopping, 1, 1000, 0}},
         500, 1},
    };
    for (const Life& life : kLives) Live(life, StopAndFollow, "ControlService");
}

}  // namespace
