// Runs in both builds: on the host against the simulated splitting, under
// Wine against CommandLineToArgvW itself, which is how the wrapper will read
// what the setup program writes.
#include "setup/model/service_command_line.h"

#include <iterator>
#include <random>

#include <gtest/gtest.h>

namespace {

const std::wstring kWrapper = L"C:\\Program Files\\Service Wrapper\\service-wrapper.exe";
const std::wstring kProgram = L"C:\\Program Files\\Vendor \u00c9\\updater.exe";

std::vector<std::wstring> Expected(DWORD timeoutMs, const std::vector<std::wstring>& arguments) {
    std::vector<std::wstring> elements = {kWrapper, std::to_wstring(timeoutMs), kProgram};
    elements.insert(elements.end(), arguments.begin(), arguments.end());
    return elements;
}

TEST(ComposeCommandLineText, QuotesThePathsAndEachArgument) {
    EXPECT_EQ(ComposeCommandLineText(kWrapper, 30000, kProgram, {L"--mode", L"svc"}),
              L"\"" + kWrapper + L"\" 30000 \"" + kProgram + L"\" \"--mode\" \"svc\"");
}

// The hard cases in random arrangements: runs of backslashes before
// quotation marks and at the end, blanks, empty texts, text beyond ASCII
// and beyond the basic plane, and what looks like an option or a variable.
TEST(ComposeCommandLineText, AnyArgumentsComeBackExactly) {
    const wchar_t* const kPieces[] = {L"a",      L" ",    L"\t",     L"\\",
                                      L"\\\\",   L"\"",   L"\"\"",   L"\u00e9",
                                      L"\u4e2d", L"--x=", L"%Path%", L"\U0001F600"};
    std::mt19937 next(7);
    for (int round = 0; round < 2000; ++round) {
        std::vector<std::wstring> arguments(next() % 5);
        for (std::wstring& argument : arguments) {
            for (std::uint32_t n = next() % 7; n > 0; --n) {
                argument += kPieces[next() % std::size(kPieces)];
            }
        }
        const std::wstring line = ComposeCommandLineText(kWrapper, round, kProgram, arguments);
        ASSERT_EQ(CompareSplit(line, Expected(round, arguments)), L"")
            << testing::PrintToString(line);
    }
}

// The check after composing: a line written with plain quotation marks
// around each argument does not give back a trailing backslash or a mark.
TEST(CompareSplit, NamesTheFirstElementThatComesBackChanged) {
    const std::wstring kPrefix = L"\"" + kWrapper + L"\" 5 \"" + kProgram + L"\" ";
    const struct {
        std::wstring line;
        std::vector<std::wstring> arguments;
        std::wstring problem;
    } kCases[] = {
        {kPrefix + L"\"dir\\\" \"x\"",
         {L"dir\\", L"x"},
         L"element 3 is read as [dir\" x] instead of [dir\\]"},
        {kPrefix + L"\"a\"b\"", {L"a\"b"}, L"element 3 is read as [ab] instead of [a\"b]"},
        {kPrefix + L"a b", {L"a b"}, L"element 3 is read as [a] instead of [a b]"},
        {kPrefix + L"a\tb", {L"a\tb"}, L"element 3 is read as [a] instead of [a<TAB>b]"},
        {kPrefix + L"\"\"", {L"", L"x"}, L"element 4 [x] is missing"},
        {kPrefix + L"a", {}, L"an element [a] is read that was not given"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::PrintToString(c.line));
        EXPECT_EQ(CompareSplit(c.line, Expected(5, c.arguments)), c.problem);
    }
}

TEST(SplitCommandLineElements, AnEmptyLineHasNoElements) {
    EXPECT_EQ(SplitCommandLineElements(L""), std::vector<std::wstring>());
}

TEST(IsAbsolutePath, TakesDrivesAndSharesOnly) {
    for (const wchar_t* path :
         {L"C:\\p.exe", L"z:/p.exe", L"\\\\server\\share\\p.exe", L"\\\\?\\C:\\p.exe"}) {
        EXPECT_TRUE(IsAbsolutePath(path)) << testing::PrintToString(std::wstring(path));
    }
    for (const wchar_t* path :
         {L"p.exe", L"C:p.exe", L"\\p.exe", L"tools\\p.exe", L".\\p.exe", L"1:\\p.exe", L""}) {
        EXPECT_FALSE(IsAbsolutePath(path)) << testing::PrintToString(std::wstring(path));
    }
    EXPECT_TRUE(IsBareName(L"cmd.exe"));
    for (const wchar_t* path : {L"", L".\\cmd.exe", L"bin/cmd", L"C:cmd.exe"}) {
        EXPECT_FALSE(IsBareName(path)) << testing::PrintToString(std::wstring(path));
    }
}

// The wrapped services show, apply and list find: the file the manager
// starts is service-wrapper.exe, in any folder and any case, quoted or not.
// Unquoted with a blank, the manager still starts it, but the wrapper's own
// splitting ends the first element at the blank, so the elements cannot be
// decoded.
TEST(DecodeServiceCommandLine, FindsTheWrapperAsTheManagerStartsIt) {
    const struct {
        std::wstring line;
        std::wstring managerProgram;
        bool wrapped;
        bool decoded;
        DWORD stopTimeoutMs;
        std::wstring program;
        std::vector<std::wstring> arguments;
    } kCases[] = {
        {LR"("C:\W\service-wrapper.exe" 30000 "C:\P\u.exe" "a b" "")", LR"(C:\W\service-wrapper.exe)",
         true, true, 30000, LR"(C:\P\u.exe)", {L"a b", L""}},
        {LR"(C:\W\SERVICE-WRAPPER.EXE 5 p)", LR"(C:\W\SERVICE-WRAPPER.EXE)", true, true, 5, L"p", {}},
        {LR"(C:\Program Files\W\service-wrapper.exe 30000 "C:\P\u.exe")",
         LR"(C:\Program Files\W\service-wrapper.exe)", true, false, 0, L"", {}},
        {LR"(C:\Program Files\W\Service-Wrapper.Exe	30000 p)",
         LR"(C:\Program Files\W\Service-Wrapper.Exe)", true, false, 0, L"", {}},
        {LR"(C:\a.exe.d\service-wrapper.exe 1 p)", LR"(C:\a.exe.d\service-wrapper.exe)", true, true, 1, L"p", {}},
        {LR"("\\srv\share\service-wrapper.exe" 1 p)", LR"(\\srv\share\service-wrapper.exe)", true, true, 1, L"p", {}},
        {LR"(service-wrapper.exe 1 p x)", L"service-wrapper.exe", true, true, 1, L"p", {L"x"}},
        // What the wrapper itself would refuse is not decoded.
        {LR"("C:\W\service-wrapper.exe" abc p)", LR"(C:\W\service-wrapper.exe)", true, false, 0, L"", {}},
        {LR"("C:\W\service-wrapper.exe" 1)", LR"(C:\W\service-wrapper.exe)", true, false, 0, L"", {}},
        {LR"("C:\W\service-wrapper.exe.bak" 1 p)", LR"(C:\W\service-wrapper.exe.bak)", false, false, 0, L"", {}},
        {LR"("C:\W\my-service-wrapper.exe" 1 p)", LR"(C:\W\my-service-wrapper.exe)", false, false, 0, L"", {}},
        {LR"(C:\Windows\system32\svchost.exe -k "a b")", LR"(C:\Windows\system32\svchost.exe)", false, false, 0, L"", {}},
        {LR"(C:\tools\run me -x)", LR"(C:\tools\run)", false, false, 0, L"", {}},
        {L"", L"", false, false, 0, L"", {}},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::PrintToString(c.line));
        ServiceCommandLine decoded = DecodeServiceCommandLine(c.line);
        EXPECT_EQ(decoded.text, c.line);
        EXPECT_TRUE(decoded.split);
        EXPECT_EQ(decoded.managerProgram, c.managerProgram);
        EXPECT_EQ(decoded.wrapped, c.wrapped);
        EXPECT_EQ(decoded.decoded, c.decoded);
        if (!c.decoded) continue;
        EXPECT_EQ(decoded.wrapperPath, c.managerProgram);
        EXPECT_EQ(decoded.stopTimeoutMs, c.stopTimeoutMs);
        EXPECT_EQ(decoded.program, c.program);
        EXPECT_EQ(decoded.arguments, c.arguments);
    }
}

// What install writes decodes back to exactly what it was made from.
TEST(ComposeCommandLine, DecodesBackToItsElements) {
    const std::vector<std::wstring> arguments = {L"", L"a\\\"b", L"trailing\\", L"%Path%", L"\t"};
    ServiceCommandLine composed = ComposeCommandLine(kWrapper, 7, kProgram, arguments);
    ServiceCommandLine decoded = DecodeServiceCommandLine(composed.text);
    EXPECT_TRUE(decoded.decoded);
    EXPECT_EQ(decoded.elements, composed.elements);
    EXPECT_EQ(decoded.wrapperPath, kWrapper);
    EXPECT_EQ(decoded.stopTimeoutMs, 7u);
    EXPECT_EQ(decoded.program, kProgram);
    EXPECT_EQ(decoded.arguments, arguments);
    EXPECT_TRUE(composed.wrapped && composed.decoded);
}

// Through the launcher: its options and the program's arguments come back
// as they were given, the launcher's parser reading what its composer wrote.
TEST(ComposeCommandLine, DecodesTheLauncherAndTheProgramBehindIt) {
    const std::vector<std::wstring> arguments = {L"--", L"", L"a\\\"b", L"trailing\\", L"--log-dir"};
    LauncherPart part{L"C:\\W\\service-wrapper-launcher.exe", DefaultLauncherOptions()};
    const LauncherPart defaults = part;
    part.options.serviceName = L"web";
    part.options.logDir = L"C:\\Logs\\my \"web\"\\";
    part.options.logSizeBytes = 1024;
    part.options.logKeep = 0;
    part.options.logTimestamps = true;
    part.options.workingDir = L"D:\\data";
    part.options.env = {L"A=1", L"B= two words ", L"A=again"};
    part.options.envFile = L"C:\\secrets.env";
    part.options.stopSignal = StopSignal::kNone;
    for (const LauncherPart& given : {part, defaults}) {
        ServiceCommandLine composed = ComposeCommandLine(kWrapper, 7, kProgram, arguments, given);
        EXPECT_EQ(CompareSplit(composed.text, composed.elements), L"");
        ServiceCommandLine decoded = DecodeServiceCommandLine(composed.text);
        ASSERT_TRUE(decoded.decoded);
        ASSERT_TRUE(decoded.launcher.has_value());
        EXPECT_EQ(decoded.elements, composed.elements);
        EXPECT_EQ(decoded.elements[2], given.path);
        EXPECT_EQ(decoded.program, kProgram);
        EXPECT_EQ(decoded.arguments, arguments);
        const LauncherOptions& o = decoded.launcher->options;
        EXPECT_EQ(o.serviceName, given.options.serviceName);
        EXPECT_EQ(o.logDir, given.options.logDir);
        EXPECT_EQ(o.logSizeBytes, given.options.logSizeBytes);
        EXPECT_EQ(o.logKeep, given.options.logKeep);
        EXPECT_EQ(o.logTimestamps, given.options.logTimestamps);
        EXPECT_EQ(o.workingDir, given.options.workingDir);
        EXPECT_EQ(o.env, given.options.env);
        EXPECT_EQ(o.envFile, given.options.envFile);
        EXPECT_EQ(o.stopSignal, given.options.stopSignal);
        EXPECT_TRUE(o.program.empty() && o.arguments.empty());
    }
    // Without the launcher, the line is the one written before it existed.
    EXPECT_EQ(ComposeCommandLine(kWrapper, 7, kProgram, arguments).text,
              ComposeCommandLineText(kWrapper, 7, kProgram, arguments));
    EXPECT_FALSE(DecodeServiceCommandLine(ComposeCommandLineText(kWrapper, 7, kProgram, {}))
                     .launcher.has_value());
}

// The launcher runs with the service's account, and its environment file
// decides what the program gets: both are judged like the program.
TEST(FilesOfService, TakesTheLauncherAndItsEnvironmentFileWithTheProgram) {
    LauncherPart part{L"C:\\W\\service-wrapper-launcher.exe", DefaultLauncherOptions()};
    LauncherPart withFile = part;
    withFile.options.envFile = L"C:\\secrets.env";
    const struct {
        std::wstring line;
        std::vector<std::wstring> files;
    } kCases[] = {
        {ComposeCommandLine(kWrapper, 7, kProgram, {L"a"}).text, {kWrapper, kProgram}},
        {ComposeCommandLine(kWrapper, 7, kProgram, {}, part).text, {kWrapper, kProgram, part.path}},
        {ComposeCommandLine(kWrapper, 7, kProgram, {}, withFile).text,
         {kWrapper, kProgram, part.path, L"C:\\secrets.env"}},
        {L"C:\\other.exe -x", {L"C:\\other.exe"}},
        {L"", {}},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::PrintToString(c.line));
        EXPECT_EQ(FilesOfService(DecodeServiceCommandLine(c.line)), c.files);
    }
}

// A launcher that would refuse its options leaves the line undecoded, so
// that nothing is composed over it.
TEST(DecodeServiceCommandLine, LeavesALauncherItWouldRefuseUndecoded) {
    const std::wstring prefix = LR"("C:\W\service-wrapper.exe" 5 "C:\W\Service-Wrapper-Launcher.exe" )";
    const struct {
        std::wstring rest;
        bool decoded;
    } kCases[] = {
        {LR"("--service" "x" "--" "p" "a")", true},
        {LR"("--" "p")", true},
        {LR"("--service" "x" "p")", false},
        {LR"("--bogus" "x" "--" "p")", false},
        {LR"("--log-keep" "5" "--log-keep" "6" "--" "p")", false},
        {LR"("--")", false},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::PrintToString(c.rest));
        ServiceCommandLine decoded = DecodeServiceCommandLine(prefix + c.rest);
        EXPECT_EQ(decoded.decoded, c.decoded);
        EXPECT_EQ(decoded.launcher.has_value(), c.decoded);
        if (c.decoded) {
            EXPECT_EQ(decoded.program, L"p");
        }
    }
}

}  // namespace
