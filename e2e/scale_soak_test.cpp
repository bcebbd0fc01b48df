// Many lives of the wrapper in a row, and many wrappers at once: each one
// runs, stops cleanly and leaves no process behind.
#include "e2e/wrapper_service_fixture.h"

namespace {

constexpr DWORD kStartMs = 15000;
constexpr DWORD kGoneMs = 10000;

}  // namespace

// Holds the processes of the wrappers and children it watches, so that their
// exit codes can be read after their pids are gone.
class ManyLives : public WrapperService {
protected:
    HANDLE Hold(HANDLE process) {
        if (process) held_.push_back(process);
        return process;
    }
    HANDLE HoldChild(size_t service) {
        ChildRecord record;
        if (!WaitForRecord(record, kStartMs, service)) return nullptr;
        return Hold(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, record.pid));
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

using Soak = ManyLives;
using Scale = ManyLives;

// Stop timeouts 0 and 1000 take turns: with 0 the child is terminated at
// once, with 1000 it ends by itself during the grace period.
TEST_F(Soak, HundredStartStopCyclesEachEndCleanly) {
    const int kCycles = 100;
    const std::wstring child = ChildPath(0);
    Install({L"0", child});
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        SCOPED_TRACE("cycle " + std::to_string(cycle));
        const bool grace = cycle % 2 == 1;
        const std::wstring stopTimeout = grace ? L"1000" : L"0";
        ASSERT_TRUE(ChangeBinaryPath(manager_, name_,
                                     BuildBinaryPath(g_wrapperPath, {stopTimeout, child})));
        PrepareChild("run-until-released");

        Start();
        ASSERT_TRUE(WaitForState(SERVICE_RUNNING, kStartMs)) << Seen();
        HANDLE wrapper = Hold(OpenWrapperProcess());
        ASSERT_NE(wrapper, nullptr) << Seen();
        HANDLE childProcess = HoldChild(0);
        ASSERT_NE(childProcess, nullptr) << "no child record";

        DWORD stopResult = Control(SERVICE_CONTROL_STOP);
        // A stop refused or lost says more once it is known how the life ended.
        if (stopResult != ERROR_SUCCESS) WaitForState(SERVICE_STOPPED, kStartMs);
        ASSERT_EQ(stopResult, DWORD(ERROR_SUCCESS))
            << Seen() << "; the wrapper's exit code " << ExitCodeOnceEnded(wrapper, kGoneMs)
            << ", the child's " << ExitCodeOnceEnded(childProcess, 0);
        if (grace) ReleaseChild();
        ASSERT_TRUE(WaitForState(SERVICE_STOPPED, kStartMs)) << Seen();

        std::vector<std::string> seen = Summaries(ServiceReports());
        std::string stopPending = "STOP_PENDING accepted=0x105 exit=0 cp=1 hint=" +
                                  std::string(grace ? "1000" : "0");
        ASSERT_GE(seen.size(), 4u) << Seen();
        EXPECT_EQ(seen[1], kRunning) << Seen();
        EXPECT_EQ(seen[2], stopPending) << Seen();
        EXPECT_EQ(seen.back(), kStoppedClean) << Seen();
        EXPECT_EQ(ExitCodeOnceEnded(childProcess, kGoneMs), 0u);
        EXPECT_EQ(ExitCodeOnceEnded(wrapper, kGoneMs), 0u) << "wrapper's exit code";
        EXPECT_TRUE(ProcessesNamed(FileName(child)).empty());
        CloseHeld();
        if (HasFailure()) return;
    }
}

TEST_F(Scale, TwentyServicesStartAndStopTogether) {
    const size_t kServices = 20;
    UseServices(kServices);
    std::vector<size_t> all;
    for (size_t service = 0; service < kServices; ++service) {
        ASSERT_NO_FATAL_FAILURE(Install({L"1000", PrepareChild("run-forever", service)}, service));
        all.push_back(service);
    }
    auto seenByAll = [&] {
        std::string text;
        for (size_t service : all) {
            SERVICE_STATUS_PROCESS now = QueryStatus(manager_, ServiceName(service));
            text += "\n" + Narrow(ServiceName(service)) + " " + Seen(service) + ", now " +
                    StateName(now.dwCurrentState) + " exit=" + std::to_string(now.dwWin32ExitCode);
        }
        return text;
    };

    StartTogether(all);
    // The manager starts one service at a time.
    ASSERT_TRUE(WaitForStateOfAll(SERVICE_RUNNING, kServices * kStartMs / 4)) << seenByAll();
    std::vector<HANDLE> wrappers, children;
    for (size_t service : all) {
        SCOPED_TRACE(Narrow(ServiceName(service)));
        wrappers.push_back(Hold(OpenWrapperProcess(service)));
        children.push_back(HoldChild(service));
        ASSERT_TRUE(wrappers.back() && children.back());
    }

    for (size_t service : all) {
        ASSERT_EQ(Control(SERVICE_CONTROL_STOP, service), DWORD(ERROR_SUCCESS)) << Seen(service);
    }
    ASSERT_TRUE(WaitForStateOfAll(SERVICE_STOPPED, kStartMs)) << seenByAll();

    for (size_t service : all) {
        SCOPED_TRACE(Narrow(ServiceName(service)));
        EXPECT_EQ(Summaries(ServiceReports(service)).back(), kStoppedClean);
        EXPECT_EQ(ExitCodeOnceEnded(children[service], kGoneMs), 0u);
        EXPECT_EQ(ExitCodeOnceEnded(wrappers[service], kGoneMs), 0u) << "wrapper's exit code";
        EXPECT_TRUE(ProcessesNamed(FileName(ChildPath(service))).empty());
    }
}
