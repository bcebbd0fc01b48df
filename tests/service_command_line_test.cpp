// Runs in both builds: on the host against the simulated splitting, under
// Wine against CommandLineToArgvW itself, which is how the wrapper will read
// what the setup program writes.
#include "setup/service_command_line.h"

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

TEST(ComposeServiceCommandLine, QuotesThePathsAndEachArgument) {
    EXPECT_EQ(ComposeServiceCommandLine(kWrapper, 30000, kProgram, {L"--mode", L"svc"}),
              L"\"" + kWrapper + L"\" 30000 \"" + kProgram + L"\" \"--mode\" \"svc\"");
}

// The hard cases in random arrangements: runs of backslashes before
// quotation marks and at the end, blanks, empty texts, text beyond ASCII
// and beyond the basic plane, and what looks like an option or a variable.
TEST(ComposeServiceCommandLine, AnyArgumentsComeBackExactly) {
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
        const std::wstring line = ComposeServiceCommandLine(kWrapper, round, kProgram, arguments);
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

}  // namespace
