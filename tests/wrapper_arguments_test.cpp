// Runs in both builds: on the host against the simulated splitter and
// conversion, under Wine against the platform's own. The same expectations
// holding in both is what keeps the simulation honest.
#include "child/wrapper_arguments.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/platform.h"

static std::vector<std::wstring> Split(const wchar_t* line) {
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(line, &count);
    if (!argv) {
        ADD_FAILURE() << "CommandLineToArgvW gave null";
        return {};
    }
    std::vector<std::wstring> elements(argv, argv + count);
    LocalFree(argv);
    return elements;
}

// Elements 0 and 1 stand for the wrapper and its timeout.
static std::wstring Compose(std::vector<std::wstring> elements) {
    std::vector<LPWSTR> pointers;
    for (std::wstring& element : elements) pointers.push_back(element.data());
    return BuildChildCommandLine(pointers.data(), static_cast<int>(pointers.size()));
}

struct SplitCase {
    const wchar_t* line;
    std::vector<std::wstring> elements;
};
const SplitCase kSplitCases[] = {
    {LR"(p a\\b a\\\"b "a\\" b)", {L"p", LR"(a\\b)", LR"(a\"b)", LR"(a\)", L"b"}},
    {LR"(p a\\\\"b c")", {L"p", LR"(a\\b c)"}},
    {LR"(p "C:\x\" n)", {L"p", LR"(C:\x" n)"}},
    {LR"(p \\\ x\)", {L"p", LR"(\\\)", LR"(x\)"}},
    {LR"(p \\")", {L"p", LR"(\)"}},
    {LR"(p "c\"d" "e\\")", {L"p", LR"(c"d)", LR"(e\)"}},
    // A run of quotation marks counts in threes with the one that opened the quoted part.
    {LR"(p "a""b" "" """")", {L"p", LR"(a"b ")", LR"(")"}},
    {LR"(p """a""")", {L"p", LR"("a")"}},
    {LR"(p a""b a"""b)", {L"p", L"ab", LR"(a"b)"}},
    {LR"(p a"b"c "" x)", {L"p", L"abc", L"", L"x"}},
    {LR"(p "a b)", {L"p", L"a b"}},
    // The program takes no escapes; a quoted one ends at the next quotation mark.
    {LR"(prog"x y" z)", {LR"(prog"x)", L"y z"}},
    {LR"("C:\d\"x y)", {LR"(C:\d\)", L"x", L"y"}},
    {LR"("""a""")", {L"", LR"(a")"}},
    // Blanks.
    {L" a b", {L"", L"a", L"b"}},
    {L"\ta b", {L"", L"a", L"b"}},
    {L"   ", {L""}},
    {L"a b   ", {L"a", L"b"}},
    {L"a\tb", {L"a", L"b"}},
    {L"p \"a\tb\"  \t c", {L"p", L"a\tb", L"c"}},
    {L"\u4E2D \u00E9\"\u0436 \u00FC\"", {L"\u4E2D", L"\u00E9\u0436 \u00FC"}},
};

TEST(CommandLineToArgvW, SplitsAsThePlatformDoes) {
    for (const SplitCase& c : kSplitCases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.line)));
        EXPECT_EQ(Split(c.line), c.elements);
    }
}

TEST(CommandLineToArgvW, EmptyLineGivesTheModulePath) {
    const std::vector<std::wstring> elements = Split(L"");
    ASSERT_EQ(elements.size(), 1u);
    EXPECT_FALSE(elements[0].empty());
}

struct ConversionCase {
    const wchar_t* text;
    int base;
    unsigned long value;
    std::ptrdiff_t endOffset;
    int error;
};
const ConversionCase kConversionCases[] = {
    {L"120000", 10, 120000, 6, 0},
    {L"  42", 10, 42, 4, 0},
    {L"+7", 10, 7, 2, 0},
    {L"-1", 10, 4294967295, 2, 0},
    {L"4294967295", 10, 4294967295, 10, 0},
    {L"4294967296", 10, 4294967295, 10, ERANGE},
    {L"99999999999999999999", 10, 4294967295, 20, ERANGE},
    {L"-4294967295", 10, 1, 11, 0},
    {L"-4294967296", 10, 1, 11, ERANGE},
    {L"abc", 10, 0, 0, 0},
    {L"", 10, 0, 0, 0},
    {L" -x", 10, 0, 0, 0},
    {L"5000ms", 10, 5000, 4, 0},
    {L"0x10", 10, 0, 1, 0},
    {L"\u0663\u0664", 10, 34, 2, 0},
    {L"\uFF11\uFF12", 10, 12, 2, 0},
    {L"\u3000\t7", 10, 7, 3, 0},
    {L"0x1F", 16, 31, 4, 0},
    {L"0x", 16, 0, 0, 0},
    {L"-ffffffff", 16, 1, 9, 0},
    {L"100000000", 16, 4294967295, 9, ERANGE},
};

TEST(CrtWcstoul, ConvertsAsTheWindowsRuntimeDoes) {
    for (const ConversionCase& c : kConversionCases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.text)) + " base " + std::to_string(c.base));
        wchar_t* end = nullptr;
        errno = 0;
        const unsigned long value = crt::wcstoul(c.text, &end, c.base);
        EXPECT_EQ(errno, c.error);
        EXPECT_EQ(value, c.value);
        EXPECT_EQ(end - c.text, c.endOffset);
    }
}

struct TimeoutCase {
    const wchar_t* text;
    bool ok;
    DWORD ms;
};
const TimeoutCase kTimeoutCases[] = {
    {L"120000", true, 120000},        {L"  42", true, 42},    {L"+7", true, 7},
    {L"4294967295", true, 4294967295}, {L"5000ms", true, 5000}, {L"-1", true, 4294967295},
    {L"0", true, 0},                  {L"\u0663\u0664", true, 34},
    {L"abc", false, 0},               {L"", false, 0},        {L" +", false, 0},
    {L"4294967296", false, 0},        {L"-4294967296", false, 0},
};

TEST(ParseStopTimeout, AcceptsWhatTheRuntimeAccepts) {
    for (const TimeoutCase& c : kTimeoutCases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.text)));
        errno = ERANGE;  // left over from something earlier; must not count against the text
        const std::optional<DWORD> ms = ParseStopTimeout(c.text);
        EXPECT_EQ(ms, c.ok ? std::optional<DWORD>(c.ms) : std::nullopt);
    }
}

struct CompositionCase {
    std::vector<std::wstring> childElements;
    std::wstring line;
};
const CompositionCase kCompositionCases[] = {
    {{LR"(C:\Tools\upd.exe)", L"--mode", L"svc"}, LR"("C:\Tools\upd.exe" "--mode" "svc")"},
    {{LR"(C:\Program Files\Tool\tool.exe)"}, LR"("C:\Program Files\Tool\tool.exe")"},
    {{L"p", L"", L"x"}, LR"("p" "" "x")"},
    {{L"p", LR"(a\b c)"}, LR"("p" "a\b c")"},
    {{L"p", LR"(c"d)", LR"(e\)"}, LR"("p" "c\"d" "e\\")"},
    {{L"p", LR"(a\\"b\\)"}, LR"("p" "a\\\\\"b\\\\")"},
    {{LR"(C:\d\)", L"x"}, LR"("C:\d\" "x")"},
};

TEST(BuildChildCommandLine, QuotesEveryElement) {
    for (const CompositionCase& c : kCompositionCases) {
        std::vector<std::wstring> elements = {L"wrapper.exe", L"30000"};
        elements.insert(elements.end(), c.childElements.begin(), c.childElements.end());
        EXPECT_EQ(Compose(elements), c.line);
    }
}

TEST(CanQuoteProgram, RefusesOnlyQuotationMarks) {
    EXPECT_TRUE(CanQuoteProgram(LR"(C:\Program Files\Tool\tool.exe)"));
    EXPECT_TRUE(CanQuoteProgram(LR"(C:\d\)"));
    EXPECT_TRUE(CanQuoteProgram(L""));
    EXPECT_FALSE(CanQuoteProgram(LR"(a"b)"));
    EXPECT_FALSE(CanQuoteProgram(LR"(")"));
    EXPECT_FALSE(CanQuoteProgram(LR"(C:\x\")"));
}

// Blanks, quotation marks after backslash runs of either parity, backslashes
// that reach the closing mark, empty elements and text beyond ASCII.
static std::wstring RandomElement(std::mt19937& next, bool mayHoldQuotes) {
    static const wchar_t* const kText[] = {
        L"a", L"Z9", L"-x=", L" ", L"\t", L"  ", LR"(a\b)", LR"(\\)",
        L"\u00E9", L"\u00FC", L"\u0436", L"\u4E2D",
    };
    std::wstring element;
    for (std::uint32_t pieces = next() % 6; pieces > 0; --pieces) {
        if (mayHoldQuotes && next() % 3 == 0) {
            element.append(next() % 5, L'\\');
            element.append(1 + next() % 3, L'"');
        } else {
            element += kText[next() % std::size(kText)];
        }
    }
    element.append(next() % 5, L'\\');
    return element;
}

TEST(BuildChildCommandLine, ChildSplittingGivesTheElementsBack) {
    std::mt19937 next(20240611);
    for (int round = 0; round < 3000; ++round) {
        std::vector<std::wstring> elements = {L"wrapper.exe", L"1000", RandomElement(next, false)};
        for (std::uint32_t extra = next() % 6; extra > 0; --extra) {
            elements.push_back(RandomElement(next, true));
        }
        const std::wstring line = Compose(elements);
        SCOPED_TRACE(testing::PrintToString(line));
        ASSERT_EQ(Split(line.c_str()), std::vector<std::wstring>(elements.begin() + 2, elements.end()));
    }
}

const CompositionCase kBareCompositionCases[] = {
    {{L"cmd.exe", L"/c", L"echo hello> x.txt"}, LR"(cmd.exe /c "echo hello> x.txt")"},
    {{LR"(C:\Program Files\T\t.exe)", LR"(a\b\)", L""}, LR"("C:\Program Files\T\t.exe" a\b\ "")"},
    {{L"p", LR"(a\"b)", L"x\ty", L"l\nm", LR"(e\ f\)"}, LR"(p "a\\\"b" "x	y" "l
m" "e\ f\\")"},
    {{L"", L"-a=b"}, LR"("" -a=b)"},
    {{LR"(C:\R&D\job.bat)", L"x"}, LR"("C:\R&D\job.bat" x)"},
    {{LR"(C:\a,b\t.exe)"}, LR"("C:\a,b\t.exe")"},
    {{LR"(C:\J\run.CMD)", L"http://h/api?a=1&b=2", L"x>y", L"^", L"k=v", L"plain"},
     LR"(C:\J\run.CMD "http://h/api?a=1&b=2" "x>y" "^" "k=v" plain)"},
    {{LR"(C:\J\run.exe)", L"http://h/api?a=1&b=2", L"k=v"}, LR"(C:\J\run.exe http://h/api?a=1&b=2 k=v)"},
};

TEST(ComposeCommandLine, QuotesOnlyWhereSplittingNeedsIt) {
    for (const CompositionCase& c : kBareCompositionCases) {
        EXPECT_EQ(ComposeCommandLine(c.childElements), c.line);
    }
}

TEST(ComposeCommandLine, SplittingGivesTheElementsBack) {
    std::mt19937 next(20261209);
    for (int round = 0; round < 3000; ++round) {
        std::vector<std::wstring> elements = {RandomElement(next, false)};
        if (elements[0].empty()) elements[0] = L"p";  // an empty program reads back as the module's path
        for (std::uint32_t extra = next() % 6; extra > 0; --extra) {
            elements.push_back(RandomElement(next, true));
        }
        const std::wstring line = ComposeCommandLine(elements);
        SCOPED_TRACE(testing::PrintToString(line));
        ASSERT_EQ(Split(line.c_str()), elements);
    }
}
