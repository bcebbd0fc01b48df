#include "service_run.h"

#include <algorithm>
#include <sstream>

void ResetWorld() {
    sim::Reset();
    g_state = ServiceState{};
}

void RunWrapper(const std::wstring& commandLine) {
    sim::SetCommandLine(commandLine);
    wchar_t self[] = L"service-wrapper.exe";
    wchar_t* argv[] = {self, nullptr};
    EXPECT_EQ(0, wmain(1, argv));
}

SERVICE_STATUS Status(DWORD state, DWORD accepted, DWORD exitCode, DWORD checkPoint,
                      DWORD waitHintMs) {
    return {SERVICE_WIN32_OWN_PROCESS, state, accepted, exitCode, 0, checkPoint, waitHintMs};
}

std::string Describe(const SERVICE_STATUS& s) {
    std::ostringstream out;
    out << "{type " << s.dwServiceType << ", state " << s.dwCurrentState << ", accepted 0x"
        << std::hex << s.dwControlsAccepted << std::dec << ", exit " << s.dwWin32ExitCode
        << ", specific " << s.dwServiceSpecificExitCode << ", checkpoint " << s.dwCheckPoint
        << ", hint " << s.dwWaitHint << "}";
    return out.str();
}

std::vector<SERVICE_STATUS> ReportedRecords() {
    std::vector<SERVICE_STATUS> records;
    for (const sim::Report& r : sim::Reports()) records.push_back(r.status);
    return records;
}

std::vector<std::uint64_t> ReportTimes() {
    std::vector<std::uint64_t> times;
    for (const sim::Report& r : sim::Reports()) times.push_back(r.timeMs);
    return times;
}

std::vector<std::uint64_t> WaitTimes(const char* call, DWORD timeoutMs) {
    std::vector<std::uint64_t> times;
    for (const sim::Call& c : sim::Calls()) {
        if (std::string(c.name) == call && c.argument == timeoutMs) times.push_back(c.timeMs);
    }
    return times;
}

static bool SameRecord(const SERVICE_STATUS& a, const SERVICE_STATUS& b) {
    return a.dwServiceType == b.dwServiceType && a.dwCurrentState == b.dwCurrentState &&
           a.dwControlsAccepted == b.dwControlsAccepted && a.dwWin32ExitCode == b.dwWin32ExitCode &&
           a.dwServiceSpecificExitCode == b.dwServiceSpecificExitCode &&
           a.dwCheckPoint == b.dwCheckPoint && a.dwWaitHint == b.dwWaitHint;
}

testing::AssertionResult SameRecords(const std::vector<SERVICE_STATUS>& expected,
                                     const std::vector<SERVICE_STATUS>& actual) {
    bool same = expected.size() == actual.size();
    for (std::size_t i = 0; same && i < expected.size(); ++i) same = SameRecord(expected[i], actual[i]);
    if (same) return testing::AssertionSuccess();
    auto failure = testing::AssertionFailure();
    failure << "\nexpected:";
    for (const auto& s : expected) failure << "\n  " << Describe(s);
    failure << "\nactual:";
    for (const auto& s : actual) failure << "\n  " << Describe(s);
    return failure;
}

void ExpectNothingLeft() {
    EXPECT_EQ(0, sim::OpenHandleCount()) << "a handle was left open";
    EXPECT_EQ(0, sim::OutstandingLocalAllocs()) << "the element vector was not released";
    EXPECT_FALSE(sim::ChildLeftRunning()) << "the child was left running";
    EXPECT_EQ(nullptr, g_state.stopEvent);
    EXPECT_EQ(nullptr, g_state.childProcess.hProcess);
    EXPECT_EQ(nullptr, g_state.childProcess.hThread);
    EXPECT_TRUE(sim::Problems().empty()) << sim::Problems().front();
}

void ExpectSoundEnd(DWORD exitCode, DWORD serviceSpecificExitCode) {
    EXPECT_TRUE(sim::ServiceThreadReturned());
    const std::vector<sim::Report>& reports = sim::Reports();
    ASSERT_FALSE(reports.empty());
    int stopped = 0;
    for (const sim::Report& r : reports) stopped += r.status.dwCurrentState == SERVICE_STOPPED;
    EXPECT_EQ(1, stopped) << "there must be exactly one stopped report";
    const SERVICE_STATUS& last = reports.back().status;
    EXPECT_EQ(SERVICE_STOPPED, last.dwCurrentState) << "a report followed the stopped report";
    EXPECT_EQ(exitCode, last.dwWin32ExitCode);
    EXPECT_EQ(serviceSpecificExitCode, last.dwServiceSpecificExitCode);
    for (std::size_t i = 0; i + 1 < reports.size(); ++i) {
        EXPECT_EQ(0u, reports[i].status.dwServiceSpecificExitCode) << Describe(reports[i].status);
    }
    EXPECT_EQ(0u, last.dwCheckPoint);
    EXPECT_EQ(0u, last.dwWaitHint);
    EXPECT_EQ(sim::Thread::Service, reports.back().thread);
    ExpectNothingLeft();
}

int IndexOfServiceCall(const char* name) {
    std::vector<std::string> calls = sim::ServiceCallNames();
    return static_cast<int>(std::find(calls.begin(), calls.end(), name) - calls.begin()) + 1;
}
