// The benchmark's runs against the baseline services in the test prefix: a
// run that ends cleanly gives figures, and one that does not is reported as
// a failure that says why, never as figures, with nothing left running.
#include "tools/bench/bench_runs.h"

#include <gtest/gtest.h>

#include "tools/bench/bench_table.h"
#include "tools/bench/bench_tests.h"
#include "tools/service_control.h"

std::wstring g_minimalServicePath;
std::wstring g_floorServicePath;
std::wstring g_wrapperPath;
std::wstring g_testChildPath;

namespace {

const wchar_t kChildName[] = L"bench_test_child.exe";

class BenchRuns : public testing::Test {
protected:
    void SetUp() override {
        manager_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        ASSERT_NE(manager_, nullptr) << GetLastError();
        std::wstring folder = g_testChildPath.substr(0, g_testChildPath.rfind(L'\\'));
        child_ = folder + L"\\" + kChildName;
        ASSERT_TRUE(CopyFileW(g_testChildPath.c_str(), child_.c_str(), FALSE)) << GetLastError();
        std::wstring behaviour = child_.substr(0, child_.rfind(L'.')) + L".behaviour";
        HANDLE file = CreateFileW(behaviour.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                                  nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        WriteFile(file, "run-forever", 11, &written, nullptr);
        CloseHandle(file);
    }

    void TearDown() override {
        for (const std::wstring& name : names_) {
            EXPECT_EQ(QueryStatus(manager_, name).dwCurrentState, DWORD(SERVICE_STOPPED))
                << Narrow(name) << " was left running";
            EXPECT_TRUE(RemoveService(manager_, name, 15000));
        }
        EXPECT_TRUE(ProcessesNamed(kChildName).empty()) << "a child was left running";
        EndProcessesNamed(kChildName);
        CloseServiceHandle(manager_);
        DeleteFileW((child_.substr(0, child_.rfind(L'.')) + L".behaviour").c_str());
        DeleteFileW(child_.c_str());
    }

    std::wstring Install(const std::wstring& exe, const std::vector<std::wstring>& elements) {
        // Names of this test's own: on a busy machine Wine may still hold a name the
        // last test deleted (CreateServiceW then fails with 1072).
        const char* test = testing::UnitTest::GetInstance()->current_test_info()->name();
        std::wstring name = L"svcwrap-benchtest-" + Widen(test) + L"-" + std::to_wstring(names_.size() + 1);
        SC_HANDLE service = InstallService(manager_, name, BuildBinaryPath(exe, elements));
        EXPECT_NE(service, nullptr) << GetLastError();
        if (service) CloseServiceHandle(service);
        names_.push_back(name);
        return name;
    }

    SC_HANDLE manager_ = nullptr;
    std::wstring child_;
    std::vector<std::wstring> names_;
};

TEST_F(BenchRuns, GivesTheFiguresOfRunsThatEndCleanly) {
    struct Case {
        std::wstring name, childName;
    };
    const Case cases[] = {
        {Install(g_minimalServicePath, {}), L""},
        {Install(g_floorServicePath, {child_}), kChildName},
        {Install(g_wrapperPath, {L"0", child_}), kChildName},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.name));
        ServiceRun run = RunService(manager_, c.name, c.childName, /*settleMs=*/100);
        EXPECT_TRUE(run.ok) << run.failure;
        EXPECT_GT(run.startMs, 0.0);
        EXPECT_GT(run.stopMs, 0.0);
        EXPECT_GT(run.footprint.threads, 0u);
        EXPECT_GT(run.footprint.handles, 0u);
        EXPECT_GT(run.footprint.workingSetBytes, 0u);
        EXPECT_EQ(run.childFootprint.workingSetBytes > 0, !c.childName.empty());
    }
}

TEST_F(BenchRuns, ReportsWhyARunDidNotEndCleanly) {
    struct Case {
        std::wstring name, childName;
        const char* failure;
    };
    const Case cases[] = {
        {Install(g_floorServicePath, {L"C:\\windows\\no such child.exe"}), kChildName, "exit code 2"},
        {Install(g_wrapperPath, {L"no number", child_}), kChildName, "exit code 160"},
        {Install(g_floorServicePath, {child_}), L"another_child.exe", "children"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.name));
        ServiceRun run = RunService(manager_, c.name, c.childName, /*settleMs=*/100);
        EXPECT_FALSE(run.ok);
        EXPECT_NE(run.failure.find(c.failure), std::string::npos) << run.failure;
    }
}

TEST_F(BenchRuns, StartsAndStopsAGroupTogether) {
    std::vector<std::wstring> names;
    for (int i = 0; i < 3; ++i) names.push_back(Install(g_wrapperPath, {L"0", child_}));
    GroupRun group = RunGroup(manager_, names, kChildName);
    EXPECT_TRUE(group.ok) << group.failure;
    EXPECT_EQ(group.stoppedClean, 3);
    EXPECT_GT(group.allRunningMs, 0.0);
    EXPECT_GT(group.allStoppedMs, 0.0);
}

TEST(SpreadOf, GivesTheMedianAndTheExtremes) {
    struct Case {
        std::vector<double> values;
        double median, min, max;
    };
    const Case cases[] = {
        {{3, 1, 2}, 2, 1, 3},
        {{4, 1, 3, 2}, 2.5, 1, 4},
        {{7}, 7, 7, 7},
    };
    for (const Case& c : cases) {
        Spread s = SpreadOf(c.values);
        EXPECT_EQ(s.median, c.median);
        EXPECT_EQ(s.min, c.min);
        EXPECT_EQ(s.max, c.max);
        EXPECT_EQ(s.count, c.values.size());
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 4 && std::wstring(argv[1]) == kBeProbed) {
        return BeProbed(std::wcstoul(argv[2], nullptr, 10), std::wcstoul(argv[3], nullptr, 10));
    }
    testing::InitGoogleTest(&argc, argv);
    if (argc != 5) {
        std::fprintf(stderr,
                     "usage: bench_tests <minimal service> <floor service> <service-wrapper.exe> "
                     "<e2e_test_child.exe>\n");
        return 2;
    }
    g_minimalServicePath = WindowsPath(argv[1]);
    g_floorServicePath = WindowsPath(argv[2]);
    g_wrapperPath = WindowsPath(argv[3]);
    g_testChildPath = WindowsPath(argv[4]);
    return RUN_ALL_TESTS();
}
