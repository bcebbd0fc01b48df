#include "setup/model/launcher_part.h"

#include <gtest/gtest.h>

#include "tests/setup_test_paths.h"

namespace {

using setup_test::kWrapper;
const std::wstring kLogs = L"C:\\ProgramData\\Service Wrapper\\logs\\web";

TEST(ComposeInstallLauncher, PutsTheLauncherBesideTheWrapperWithItsDefaults) {
    LaunchOptions given;
    std::optional<LauncherPart> part = ComposeInstallLauncher(L"web", given, kWrapper, kLogs);
    ASSERT_TRUE(part.has_value());
    EXPECT_EQ(part->path, L"C:\\W\\service-wrapper-launcher.exe");
    EXPECT_EQ(part->options.serviceName, L"web");
    EXPECT_EQ(part->options.logDir, kLogs);
    EXPECT_EQ(ChildElements(part, L"p", {L"a"}),
              (std::vector<std::wstring>{part->path, L"--service", L"web", L"--log-dir", kLogs,
                                         L"--", L"p", L"a"}));
    given.logDir = L"";  // --log-dir none
    given.env = {L"A=1", L"B=2", L"a=3"};  // the launcher would give the program the last A
    part = ComposeInstallLauncher(L"web", given, kWrapper, kLogs);
    EXPECT_EQ(part->options.logDir, L"");
    EXPECT_EQ(part->options.env, (std::vector<std::wstring>{L"a=3", L"B=2"}));
    given.direct = true;
    EXPECT_FALSE(ComposeInstallLauncher(L"web", given, kWrapper, kLogs).has_value());
}

// set changes only what it is given, over the service as it is.
TEST(ComposeSetLauncher, ChangesOnlyWhatIsGiven) {
    LauncherPart current{L"C:\\Old\\service-wrapper-launcher.exe", DefaultLauncherOptions()};
    current.options.serviceName = L"web";
    current.options.logDir = L"D:\\logs";
    current.options.logKeep = 9;
    current.options.env = {L"A=1", L"Mode=slow", L"B=2"};
    const struct {
        const char* what;
        bool launched;  // the current service has the launcher
        LaunchOptions given;
        bool expectLauncher;
        std::wstring logDir;
        unsigned keep;
        std::vector<std::wstring> env;
    } kCases[] = {
        {"nothing given keeps it", true, {}, true, L"D:\\logs", 9, current.options.env},
        {"a direct service stays direct", false, {}, false, L"", 0, {}},
        {"--direct takes it away", true, LaunchOptions{true, {}, {}, {}, {}, {}, {}, {}, {}, {}}, false, L"", 0, {}},
        {"an option adds it at its defaults", false,
         LaunchOptions{false, {}, {}, 3u, {}, {}, {}, {}, {}, {}}, true, kLogs, 3, {}},
        {"env replaced in place, in any case, or added", true,
         LaunchOptions{false, {}, {}, {}, {}, {}, {L"MODE=fast", L"C=3"}, {}, {}, {}}, true,
         L"D:\\logs", 9, {L"A=1", L"MODE=fast", L"B=2", L"C=3"}},
        {"env taken away", true,
         LaunchOptions{false, {}, {}, {}, {}, {}, {}, {L"a", L"missing"}, {}, {}}, true,
         L"D:\\logs", 9, {L"Mode=slow", L"B=2"}},
        {"log none", true, LaunchOptions{false, L"", {}, {}, {}, {}, {}, {}, {}, {}}, true, L"", 9,
         current.options.env},
        {"options that turn off or name none keep a direct service direct", false,
         LaunchOptions{false, L"", {}, {}, false, L"", {}, {L"A"}, L"", StopSignal::kNone}, false,
         L"", 0, {}},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        std::optional<LauncherPart> part = ComposeSetLauncher(
            c.launched ? std::optional<LauncherPart>(current) : std::nullopt, L"web", c.given,
            kWrapper, kLogs);
        ASSERT_EQ(part.has_value(), c.expectLauncher);
        if (!part) continue;
        EXPECT_EQ(part->path, L"C:\\W\\service-wrapper-launcher.exe");  // follows the wrapper
        EXPECT_EQ(part->options.serviceName, L"web");
        EXPECT_EQ(part->options.logDir, c.logDir);
        EXPECT_EQ(part->options.logKeep, c.keep);
        EXPECT_EQ(part->options.env, c.env);
    }
    current.options.env = {L"A=1", L"a=2"};  // as an older install stored it
    current.options.serviceName = L"other";    // as a line written by hand named it
    const LaunchOptions setA{false, {}, {}, {}, {}, {}, {L"A=3"}, {}, {}, {}};
    const std::optional<LauncherPart> set = ComposeSetLauncher(current, L"web", setA, kWrapper, kLogs);
    EXPECT_EQ(set->options.env, std::vector<std::wstring>{L"A=3"});
    EXPECT_EQ(set->options.serviceName, L"web");
}

}  // namespace
