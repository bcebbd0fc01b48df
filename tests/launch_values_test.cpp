#include "setup/model/launch_values.h"

#include "setup/model/setup_options.h"

#include <cwchar>

#include <gtest/gtest.h>

namespace {

TEST(EnvEntry, RefusesWhatCannotBeOnePairAndNamesThatLookSecret) {
    const struct {
        const wchar_t* entry;
        const wchar_t* problem;  // a phrase of it; null: accepted
    } kCases[] = {
        {L"MODE=fast", nullptr},
        {L"EMPTY=", nullptr},
        {L"PATHS=a=b;c", nullptr},
        {L"MONKEY_BUSINESS=1", L"looks like a secret"},  // KEY in any position
        {L"db_Password=x", L"--env-file"},
        {L"ApiToken=x", L"looks like a secret"},
        {L"my-secret-thing=x", L"looks like a secret"},
        {L"AZURE_CREDENTIALS=x", L"looks like a secret"},
        {L"NOEQUALS", L"takes NAME=VALUE"},
        {L"=value", L"takes NAME=VALUE"},
        {L"MODE =fast", L"nothing around the name"},
        {L"\tMODE=fast", L"nothing around the name"},
        {L"MODE= fast", nullptr},  // the value is taken as it is
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.entry)));
        const std::wstring problem = EnvEntryProblem(c.entry);
        if (!c.problem) {
            EXPECT_EQ(problem, L"");
        } else {
            EXPECT_NE(problem.find(c.problem), std::wstring::npos) << testing::PrintToString(problem);
        }
    }
}

TEST(LogKeep, TakesZeroTo999InDigitsAlone) {
    const struct {
        const wchar_t* text;
        std::optional<unsigned> keep;
    } kCases[] = {
        {L"0", 0u}, {L"5", 5u}, {L"999", 999u}, {L"1000", std::nullopt},
        {L"", std::nullopt}, {L"-1", std::nullopt}, {L" 5", std::nullopt}, {L"5k", std::nullopt},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.text)));
        EXPECT_EQ(ParseLogKeep(c.text), c.keep);
    }
}

TEST(LogPaths, NameTheServicesOwnFolderAndTheLaunchersFiles) {
    EXPECT_EQ(DefaultLogDir(L"C:\\ProgramData", L"web"),
              L"C:\\ProgramData\\Service Wrapper\\logs\\web");
    EXPECT_EQ(DefaultLogDir(L"D:\\", L"web"), L"D:\\Service Wrapper\\logs\\web");
    EXPECT_EQ(CurrentLogPath(L"C:\\l"), L"C:\\l\\output.log");
    EXPECT_EQ(RotatedLogPath(L"C:\\l", 3), L"C:\\l\\output.3.log");
}

TEST(FolderPathProblem, NamesWhatWindowsCannotMakeAsWritten) {
    const struct {
        const wchar_t* path;
        const wchar_t* problem;  // its start; empty: none
    } kCases[] = {
        {L"C:\\ProgramData\\Service Wrapper\\logs\\web", L""},
        {L"\\\\?\\C:\\logs\\web.", L""},  // taken literally, nothing dropped
        {L"\\\\server\\share\\logs\\.\\..\\web", L""},
        {L"C:\\logs\\a:b", L"the name [a:b] in it holds a colon (:)"},
        {L"\\\\?\\C:\\logs\\a*b", L"the name [a*b] in it holds an asterisk (*)"},
        {L"C:\\lo?gs\\web", L"the name [lo?gs] in it holds a question mark (?)"},
        {L"C:\\logs\\<web>", L"the name [<web>] in it holds a less-than sign (<)"},
        {L"C:\\logs\\web.", L"the name [web.] in it ends in a dot, which Windows drops"},
        {L"C:\\logs \\web", L"the name [logs ] in it ends in a blank"},
        // A slash separates folders as a backslash does.
        {L"C:/logs/web/..", L""},
        {L"C:/logs /web", L"the name [logs ] in it ends in a blank"},
        {L"C:/logs/a:b", L"the name [a:b] in it holds a colon"},
        // --log-dir passes both on, quoted and escaped.
        {L"C:\\logs\\a\"b", L"the name [a\"b] in it holds a quotation mark (\")"},
        {L"C:\\logs\\a\tb", L"the name [a<TAB>b] in it holds a control character"},  // shown
        // Only . and .. step; a name of more dots is dropped whole.
        {L"C:\\logs\\...", L"the name [...] in it ends in a dot"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.path)));
        const std::wstring problem = FolderPathProblem(c.path);
        EXPECT_EQ(problem.compare(0, std::wcslen(c.problem), c.problem), 0) << testing::PrintToString(problem);
        EXPECT_EQ(problem.empty(), *c.problem == 0);
    }
}

TEST(SameFolderPath, TakesEachSpellingWindowsReadsAsOneFolder) {
    const struct {
        const wchar_t* a;
        const wchar_t* b;
        bool same;
    } kCases[] = {
        {L"C:\\Logs\\Web", L"c:\\logs\\web\\", true},
        {L"C:/logs/web/", L"C:\\logs\\web", true},
        {L"\\\\?\\C:\\logs\\web", L"C:\\logs\\web", true},
        {L"\\\\.\\C:/logs/web", L"C:\\logs\\web", true},
        {L"\\\\server\\share\\web", L"//server/share/web", true},
        {L"C:\\logs\\web", L"C:\\logs\\web2", false},
        {L"\\\\?\\C:\\logs/web", L"C:\\logs\\web", false},  // taken literally: / is no separator
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(SameFolderPath(c.a, c.b), c.same) << testing::PrintToString(std::wstring(c.a));
    }
}

// The launcher's part of what a command was given, on one line.
std::wstring LaunchSummary(const LaunchOptions& o) {
    std::wstring s;
    if (o.direct) s += L" direct";
    if (o.logDir) s += L" log-dir [" + *o.logDir + L"]";
    if (o.logSizeBytes) s += L" size " + std::to_wstring(*o.logSizeBytes);
    if (o.logKeep) s += L" keep " + std::to_wstring(*o.logKeep);
    if (o.logTimestamps) s += *o.logTimestamps ? L" timestamps" : L" no-timestamps";
    if (o.workingDir) s += L" working-dir [" + *o.workingDir + L"]";
    for (const std::wstring& e : o.env) s += L" env [" + e + L"]";
    for (const std::wstring& e : o.unsetEnv) s += L" unset [" + e + L"]";
    if (o.envFile) s += L" env-file [" + *o.envFile + L"]";
    if (o.stopSignal) s += *o.stopSignal == StopSignal::kNone ? L" signal none" : L" signal ctrl-c";
    return s;
}

TEST(ParseSetupCommand, TakesTheLaunchersOptionsOrSaysWhatIsWrong) {
    const struct {
        std::vector<std::wstring> arguments;
        const wchar_t* expected;  // the summary, or a phrase of the error
    } kCases[] = {
        {{L"install", L"U", L"--", L"p"}, L""},
        {{L"install", L"U", L"--direct", L"--", L"p"}, L" direct"},
        {{L"apply", L"U", L"--log-dir", L"None", L"--log-size=10m", L"--log-keep", L"0",
          L"--log-timestamps", L"--working-dir", L"D:\\w", L"--env", L"A=1", L"--env", L"B=",
          L"--env-file", L"C:\\e.env", L"--stop-signal", L"NONE", L"--", L"p"},
         L" log-dir [] size 10485760 keep 0 timestamps working-dir [D:\\w] env [A=1] env [B=] "
         L"env-file [C:\\e.env] signal none"},
        {{L"set", L"U", L"--unset-env", L"A", L"--no-log-timestamps", L"--working-dir=none"},
         L" no-timestamps working-dir [] unset [A]"},
        {{L"install", L"U", L"--direct", L"--log-keep", L"3", L"--", L"p"}, L"--direct runs the program"},
        {{L"install", L"U", L"--env", L"API_KEY=x", L"--", L"p"}, L"--env-file"},
        {{L"install", L"U", L"--log-dir", L"logs", L"--", L"p"}, L"takes a full path"},
        // Judged once the manager has replaced the reference.
        {{L"set", L"U", L"--working-dir", L"%ProgramData%\\w"}, L" working-dir [%ProgramData%\\w]"},
        // Stored and made by its name; a root keeps its separator.
        {{L"set", L"U", L"--log-dir", L"D:\\Logs\\Svc\\"}, L" log-dir [D:\\Logs\\Svc]"},
        {{L"set", L"U", L"--log-dir", L"\\\\server\\share\\logs/"},
         L" log-dir [\\\\server\\share\\logs]"},
        {{L"set", L"U", L"--log-dir", L"\\\\?\\D:\\"}, L" log-dir [\\\\?\\D:\\]"},
        {{L"install", L"U", L"--log-size", L"0", L"--", L"p"}, L"--log-size takes"},
        {{L"install", L"U", L"--log-size", L"1T", L"--", L"p"}, L"--log-size takes"},
        {{L"install", L"U", L"--log-keep", L"1000", L"--", L"p"}, L"--log-keep takes"},
        {{L"install", L"U", L"--stop-signal", L"ctrl-break", L"--", L"p"}, L"--stop-signal takes"},
        {{L"install", L"U", L"--log-keep", L"1", L"--log-keep", L"2", L"--", L"p"}, L"given twice"},
        {{L"install", L"U", L"--unset-env", L"A", L"--", L"p"}, L"has no option --unset-env"},
        {{L"apply", L"U", L"--no-log-timestamps", L"--", L"p"}, L"has no option"},
        {{L"set", L"U", L"--env", L"A=1", L"--unset-env", L"a"}, L"both name a"},
        {{L"set", L"U", L"--log-timestamps", L"--no-log-timestamps"}, L"are both given"},
        {{L"show", L"U", L"--direct"}, L"has no option --direct"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        ParsedCommand parsed = ParseSetupCommand(c.arguments);
        const std::wstring got = parsed.command ? LaunchSummary(parsed.command->options.launch)
                                                : parsed.error;
        if (parsed.command) {
            EXPECT_EQ(got, c.expected);
        } else {
            EXPECT_NE(got.find(c.expected), std::wstring::npos) << testing::PrintToString(got);
            EXPECT_NE(std::wstring(c.expected), L"");
        }
    }
}

}  // namespace
