// What the manager makes of %NAME% references, and how the setup program
// judges a path and a command line that hold them.
#include "setup/model/environment_references.h"

#include <gtest/gtest.h>

#include "tests/setup_test_paths.h"

namespace {

const std::vector<std::wstring> kVariables = {
    L"A=x", L"SystemRoot=C:\\Windows", L"SystemDrive=C:", L"Trailing=C:\\data\\",
    L"Quoted=a\"b", L"Relative=tools", L"Blank=C:\\Program Files",
};

// As the platform's ExpandEnvironmentStringsW gives them, A being x.
struct ExpandCase {
    const wchar_t* text;
    const wchar_t* expanded;
    std::vector<std::wstring> unknown;
};
const ExpandCase kExpandCases[] = {
    {L"%A%", L"x", {}},          {L"%a%", L"x", {}},
    {L"%NOSUCH%", L"%NOSUCH%", {L"NOSUCH"}},
    {L"%NOSUCH%A%", L"%NOSUCH%A%", {L"NOSUCH"}},
    {L"%%", L"%%", {}},          {L"a%", L"a%", {}},
    {L"%a", L"%a", {}},          {L"%A%%A%", L"xx", {}},
    {L"%%A%", L"%%A%", {}},      {L"%A%%", L"x%", {}},
    {L"%A%B%", L"xB%", {}},      {L"100%", L"100%", {}},
    {L"%NOSUCH%%A%", L"%NOSUCH%x", {L"NOSUCH"}},
    {L"%A%A%", L"xA%", {}},      {L"%%%A%", L"%%x", {}},
    {L"%SystemRoot%\\system32\\ping.exe", L"C:\\Windows\\system32\\ping.exe", {}},
};

TEST(ExpandReferences, ReplacesAsThePlatformDoes) {
    for (const ExpandCase& c : kExpandCases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.text)));
        const Expansion expansion = ExpandReferences(c.text, kVariables);
        EXPECT_EQ(expansion.text, c.expanded);
        EXPECT_EQ(expansion.unknownNames, c.unknown);
    }
}

struct PathCase {
    const wchar_t* given;
    const wchar_t* problem;  // a phrase of it; empty: none
};
const PathCase kPathCases[] = {
    {L"%SystemRoot%\\system32\\ping.exe", L""},
    {L"%systemdrive%\\Tools\\p.exe", L""},
    {L"%Blank%\\Vendor\\p.exe", L""},
    {L"%NoSuchVariable%\\p.exe", L"names %NoSuchVariable%, which is no variable of the system's"},
    {L"C:\\%NoSuchVariable%\\p.exe", L"names %NoSuchVariable%"},
    {L"%Relative%\\p.exe", L"is [tools\\p.exe] once the service control manager replaces"},
    {L"%A%", L"is [x] once"},
};

TEST(ReferencedPathProblem, RefusesWhatIsNoFullPathOnceReplaced) {
    for (const PathCase& c : kPathCases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.given)));
        const std::wstring problem =
            ReferencedPathProblem(L"program", c.given, ExpandReferences(c.given, kVariables));
        if (std::wstring(c.problem).empty()) {
            EXPECT_EQ(problem, L"");
        } else {
            EXPECT_NE(problem.find(c.problem), std::wstring::npos) << problem;
            EXPECT_EQ(problem.find(L"the program [" + std::wstring(c.given) + L"]"), 0u);
        }
    }
}

using setup_test::kWrapper;

TEST(AsStarted, ReadsTheLineWithItsReferencesReplaced) {
    const ServiceCommandLine line = ComposeCommandLine(
        kWrapper, 5000, L"%Blank%\\Vendor\\p.exe", {L"--root=%SystemRoot%", L"%NOSUCH%"});
    const ServiceCommandLine started = AsStarted(line, kVariables);
    ASSERT_TRUE(started.decoded);
    EXPECT_EQ(started.program, L"C:\\Program Files\\Vendor\\p.exe");
    EXPECT_EQ(started.arguments,
              (std::vector<std::wstring>{L"--root=C:\\Windows", L"%NOSUCH%"}));
}

// The folder the launcher makes and writes; a line with no launcher (none)
// or no log has none.
const std::pair<std::optional<std::wstring>, std::wstring> kLogDirCases[] = {
    {L"C:\\logs\\%A%", L"C:\\logs\\x"},
    {L"C:\\logs\\%a%\\%Blank%-%A%", L"C:\\logs\\x\\C:\\Program Files-x"},
    {L"C:\\logs\\%NOSUCH%\\100%", L"C:\\logs\\%NOSUCH%\\100%"},
    {L"", L""},
    {std::nullopt, L""},
};

TEST(StartedLogDir, IsTheFolderTheLauncherWritesOnceReferencesAreReplaced) {
    for (const auto& [logDir, expected] : kLogDirCases) {
        SCOPED_TRACE(testing::PrintToString(logDir.value_or(L"(no launcher)")));
        std::optional<LauncherPart> launcher;
        if (logDir) {
            launcher = LauncherPart{L"C:\\W\\service-wrapper-launcher.exe",
                                    DefaultLauncherOptions()};
            launcher->options.logDir = *logDir;
        }
        const ServiceCommandLine line = ComposeCommandLine(
            kWrapper, 5000, L"%SystemRoot%\\p.exe", {L"%A%"}, launcher);
        EXPECT_EQ(StartedLogDir(line, kVariables), expected);
    }
    EXPECT_EQ(NamedAsStarted(L"C:\\logs\\x", L"C:\\logs\\%A%"),
              L"[C:\\logs\\x] (written as [C:\\logs\\%A%])");
    EXPECT_EQ(NamedAsStarted(L"C:\\logs\\%B%", L"C:\\logs\\%B%"), L"[C:\\logs\\%B%]");
    // A separator at the end, which a line written by hand may have, is no change.
    EXPECT_EQ(NamedAsStarted(L"C:\\logs\\x", L"C:\\logs\\x\\"), L"[C:\\logs\\x]");
}

struct SplitCase {
    std::vector<std::wstring> arguments;
    bool splitsAsWritten;
};
const SplitCase kSplitCases[] = {
    {{L"%Blank%", L"next"}, true},
    {{L"%SystemRoot%\\", L"next"}, true},  // written, the backslash is escaped
    {{L"%Trailing%", L"next"}, false},     // its value's backslash escapes the closing mark
    {{L"%Quoted%", L"next"}, false},
    {{L"%NOSUCH%\\", L"next"}, true},
};

TEST(StartedSplitProblem, FindsValuesThatRunIntoTheNextElement) {
    for (const SplitCase& c : kSplitCases) {
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        const ServiceCommandLine line = ComposeCommandLine(kWrapper, 5000, L"C:\\P\\p.exe",
                                                           c.arguments);
        const std::wstring problem = StartedSplitProblem(line, kVariables);
        EXPECT_EQ(problem.empty(), c.splitsAsWritten) << problem;
    }
}

}  // namespace
