// The install sequence against the simulated manager, which can make any
// step fail: Wine cannot refuse a step once the service exists.
#include "setup/install_service.h"

#include <algorithm>

#include <gtest/gtest.h>

namespace {

class InstallSequence : public testing::Test {
protected:
    void SetUp() override { sim::Reset(); }

    void ExpectNoHandleOrProblemLeft() {
        EXPECT_EQ(sim::OpenHandleCount(), 0);
        EXPECT_EQ(sim::Problems(), std::vector<std::string>());
    }

    const InstallPlan plan_ = {
        L"MyUpdater", L"My Updater", L"\"C:\\W\\service-wrapper.exe\" 30000 \"C:\\P\\u.exe\"",
        SERVICE_AUTO_START, /*delayedAutoStart=*/true, L"NT AUTHORITY\\LocalService",
        L"Keeps the firmware current", 30000,
    };
};

TEST_F(InstallSequence, WritesEveryPartOfThePlan) {
    EXPECT_FALSE(InstallService(plan_));
    const std::vector<sim::ServiceRecord> services = sim::Services();
    ASSERT_EQ(services.size(), 1u);
    const sim::ServiceRecord& s = services[0];
    EXPECT_EQ(s.name, plan_.name);
    EXPECT_EQ(s.displayName, plan_.displayName);
    EXPECT_EQ(s.binaryPathName, plan_.commandLine);
    EXPECT_EQ(s.serviceType, SERVICE_WIN32_OWN_PROCESS);
    EXPECT_EQ(s.startType, DWORD(SERVICE_AUTO_START));
    EXPECT_EQ(s.errorControl, DWORD(SERVICE_ERROR_NORMAL));
    EXPECT_EQ(s.serviceStartName, plan_.serviceStartName);
    EXPECT_EQ(s.description, plan_.description);
    EXPECT_TRUE(s.delayedAutoStart);
    EXPECT_EQ(s.preshutdownTimeoutMs, 30000u);

    // The name is taken in any case, as the manager compares names; the
    // service that has it stays.
    InstallPlan again = plan_;
    again.name = L"MYUPDATER";
    EXPECT_EQ(InstallService(again).value().error, ERROR_SERVICE_EXISTS);
    EXPECT_EQ(sim::Services().size(), 1u);
    ExpectNoHandleOrProblemLeft();
}

TEST_F(InstallSequence, WithoutDelayOrDescriptionSetsOnlyThePreshutdownTimeout) {
    InstallPlan plan = plan_;
    plan.delayedAutoStart = false;
    plan.description = L"";
    EXPECT_FALSE(InstallService(plan));
    ASSERT_EQ(sim::Services().size(), 1u);
    EXPECT_FALSE(sim::Services()[0].delayedAutoStart);
    EXPECT_EQ(sim::Services()[0].description, L"");
    std::vector<std::string> calls = sim::ServiceCallNames();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "ChangeServiceConfig2W"), 1);
}

// Each step failing in turn: the failure names the step and its error, and
// a service that was created is deleted again. Only when the deletion fails
// too is one left behind, and then the failure says so.
TEST_F(InstallSequence, AFailingStepLeavesNoServiceBehind) {
    const struct {
        const char* call;
        int nth;
        const wchar_t* step;
        bool created;
        bool deleteFails;
    } kSteps[] = {
        {"OpenSCManagerW", 1, L"cannot open the service control manager to create a service", false,
         false},
        {"CreateServiceW", 1, L"cannot create the service", false, false},
        {"ChangeServiceConfig2W", 1, L"cannot set the description", true, false},
        {"ChangeServiceConfig2W", 2, L"cannot set the delayed automatic start", true, false},
        {"ChangeServiceConfig2W", 3, L"cannot set the pre-shutdown timeout", true, false},
        {"ChangeServiceConfig2W", 3, L"cannot set the pre-shutdown timeout", true, true},
    };
    for (const auto& c : kSteps) {
        SCOPED_TRACE(std::string(c.call) + " " + std::to_string(c.nth) +
                     (c.deleteFails ? " and DeleteService" : ""));
        sim::Reset();
        sim::FailCall(c.call, c.nth, ERROR_ACCESS_DENIED);
        if (c.deleteFails) sim::FailCall("DeleteService", 1, ERROR_NOT_ENOUGH_MEMORY);
        std::optional<InstallFailure> failure = InstallService(plan_);
        ASSERT_TRUE(failure);
        EXPECT_STREQ(failure->step, c.step);
        EXPECT_EQ(failure->error, ERROR_ACCESS_DENIED);
        EXPECT_EQ(failure->created, c.created);
        EXPECT_EQ(failure->leftBehind, c.deleteFails);
        EXPECT_EQ(failure->removeError, c.deleteFails ? ERROR_NOT_ENOUGH_MEMORY : NO_ERROR);
        EXPECT_EQ(sim::Services().size(), c.deleteFails ? 1u : 0u);
        ExpectNoHandleOrProblemLeft();
    }
}

}  // namespace
