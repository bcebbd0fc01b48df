#include "launcher/launcher_options.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

using Elements = std::vector<std::wstring>;

struct GoodCase {
    Elements elements;
    void (*expect)(LauncherOptions&);  // turns the defaults into what the elements say
};
const GoodCase kGoodCases[] = {
    {{L"--", L"p.exe"}, [](LauncherOptions& o) { o.program = L"p.exe"; }},
    {{L"--log-timestamps", L"--service", L"svc", L"--log-dir", LR"(C:\logs)", L"--env", L"A=1",
      L"--env", L"A=2", L"--stop-signal", L"none", L"--", L"p", L"--service", L""},
     [](LauncherOptions& o) {
         o.logTimestamps = true;
         o.serviceName = L"svc";
         o.logDir = LR"(C:\logs)";
         o.env = {L"A=1", L"A=2"};
         o.stopSignal = StopSignal::kNone;
         o.program = L"p";
         o.arguments = {L"--service", L""};
     }},
    {{L"--log-size", L"3k", L"--log-keep", L"0", L"--working-dir", L"w", L"--env-file", L"f",
      L"--stop-signal", L"ctrl-c", L"--env", L"B==x", L"--", L"p", L"--"},
     [](LauncherOptions& o) {
         o.logSizeBytes = 3072;
         o.logKeep = 0;
         o.workingDir = L"w";
         o.envFile = L"f";
         o.env = {L"B==x"};
         o.program = L"p";
         o.arguments = {L"--"};
     }},
    {{L"--log-keep", L"999", L"--", L"p"}, [](LauncherOptions& o) { o.logKeep = 999; o.program = L"p"; }},
};

static void ExpectSame(const LauncherOptions& a, const LauncherOptions& b) {
    EXPECT_EQ(a.serviceName, b.serviceName);
    EXPECT_EQ(a.logDir, b.logDir);
    EXPECT_EQ(a.logSizeBytes, b.logSizeBytes);
    EXPECT_EQ(a.logKeep, b.logKeep);
    EXPECT_EQ(a.logTimestamps, b.logTimestamps);
    EXPECT_EQ(a.workingDir, b.workingDir);
    EXPECT_EQ(a.env, b.env);
    EXPECT_EQ(a.envFile, b.envFile);
    EXPECT_EQ(a.stopSignal == StopSignal::kNone, b.stopSignal == StopSignal::kNone);
    EXPECT_EQ(a.program, b.program);
    EXPECT_EQ(a.arguments, b.arguments);
}

// Each good command line reads as expected, and composing what was read and
// reading it again gives the same options: the setup program's line is the
// launcher's.
TEST(ParseLauncherOptions, ReadsGoodLinesAndComposesThemBack) {
    for (const GoodCase& c : kGoodCases) {
        SCOPED_TRACE(testing::PrintToString(c.elements));
        LauncherOptions expected = DefaultLauncherOptions();
        c.expect(expected);
        const LauncherParse parse = ParseLauncherOptions(c.elements);
        ASSERT_TRUE(parse.ok) << testing::PrintToString(parse.error);
        ExpectSame(parse.options, expected);
        const LauncherParse again = ParseLauncherOptions(ComposeLauncherElements(parse.options));
        ASSERT_TRUE(again.ok);
        ExpectSame(again.options, expected);
    }
}

TEST(ComposeLauncherElements, WritesOnlyWhatDiffersInTheFixedOrder) {
    LauncherOptions o = DefaultLauncherOptions();
    o.program = L"p";
    EXPECT_EQ(ComposeLauncherElements(o), (Elements{L"--", L"p"}));
    o.stopSignal = StopSignal::kNone;
    o.envFile = L"f";
    o.env = {L"A=1", L"B=2"};
    o.workingDir = L"w";
    o.logTimestamps = true;
    o.logKeep = 7;
    o.logSizeBytes = 1024;
    o.logDir = L"d";
    o.serviceName = L"s";
    o.arguments = {L"x"};
    EXPECT_EQ(ComposeLauncherElements(o),
              (Elements{L"--service", L"s", L"--log-dir", L"d", L"--log-size", L"1024", L"--log-keep", L"7",
                        L"--log-timestamps", L"--working-dir", L"w", L"--env", L"A=1", L"--env", L"B=2",
                        L"--env-file", L"f", L"--stop-signal", L"none", L"--", L"p", L"x"}));
}

struct BadCase {
    Elements elements;
    const wchar_t* errorNames;  // the error names what is wrong
};
const BadCase kBadCases[] = {
    {{}, L"--"},
    {{L"p.exe"}, L"p.exe"},
    {{L"--service", L"s"}, L"--"},
    {{L"--"}, L"program"},
    {{L"--", L""}, L"program"},
    {{L"--verbose", L"--", L"p"}, L"--verbose"},
    {{L"--service"}, L"--service"},
    {{L"--service", L"", L"--", L"p"}, L"--service"},
    {{L"--log-dir", L"", L"--", L"p"}, L"--log-dir"},
    {{L"--working-dir", L"", L"--", L"p"}, L"--working-dir"},
    {{L"--env-file", L"", L"--", L"p"}, L"--env-file"},
    {{L"--service", L"a", L"--service", L"b", L"--", L"p"}, L"twice"},
    {{L"--log-timestamps", L"--log-timestamps", L"--", L"p"}, L"twice"},
    {{L"--log-size", L"0", L"--", L"p"}, L"--log-size"},
    {{L"--log-size", L"10X", L"--", L"p"}, L"10X"},
    {{L"--log-keep", L"1000", L"--", L"p"}, L"1000"},
    {{L"--log-keep", L"-1", L"--", L"p"}, L"--log-keep"},
    {{L"--env", L"=x", L"--", L"p"}, L"--env"},
    {{L"--env", L"NAME", L"--", L"p"}, L"NAME"},
    {{L"--env", L" NAME=x", L"--", L"p"}, L"nothing around the name"},
    {{L"--stop-signal", L"ctrl-break", L"--", L"p"}, L"ctrl-break"},
    {{L"--stop-signal", L"CTRL-C", L"--", L"p"}, L"--stop-signal"},
};

TEST(ParseLauncherOptions, RefusesBadLinesNamingTheFault) {
    for (const BadCase& c : kBadCases) {
        SCOPED_TRACE(testing::PrintToString(c.elements));
        const LauncherParse parse = ParseLauncherOptions(c.elements);
        EXPECT_FALSE(parse.ok);
        EXPECT_NE(parse.error.find(c.errorNames), std::wstring::npos) << testing::PrintToString(parse.error);
    }
}

struct SizeCase {
    const wchar_t* text;
    std::optional<unsigned long long> bytes;
};
const SizeCase kSizeCases[] = {
    {L"0", 0ULL},
    {L"10485760", 10485760ULL},
    {L"1K", 1024ULL},
    {L"3k", 3072ULL},
    {L"10M", 10485760ULL},
    {L"2g", 2147483648ULL},
    {L"007m", 7340032ULL},
    {L"18446744073709551615", 18446744073709551615ULL},
    {L"18446744073709551616", std::nullopt},
    {L"17179869183G", 18446744072635809792ULL},
    {L"17179869184G", std::nullopt},
    {L"", std::nullopt},
    {L"K", std::nullopt},
    {L"1KB", std::nullopt},
    {L"1T", std::nullopt},
    {L" 1", std::nullopt},
    {L"+1", std::nullopt},
    {L"-1", std::nullopt},
    {L"1.5M", std::nullopt},
    {L"\u0661", std::nullopt},
};

TEST(ParseByteSize, ReadsDecimalBytesWithOneBinarySuffix) {
    for (const SizeCase& c : kSizeCases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.text)));
        EXPECT_EQ(ParseByteSize(c.text), c.bytes);
    }
}

// Without --working-dir the program runs in its own folder, named as
// CreateProcessW takes a current folder: a drive's root in either form keeps
// its separator, which \\?\C: without it would not name a folder.
TEST(ProgramFolder, IsTheFolderOfThePathARootKeepingItsSeparator) {
    const std::pair<const wchar_t*, const wchar_t*> kCases[] = {
        {LR"(C:\MyApp\app.exe)", LR"(C:\MyApp)"},
        {LR"(C:\app.exe)", LR"(C:\)"},
        {LR"(\\?\C:\app.exe)", LR"(\\?\C:\)"},
        {LR"(\\?\C:\MyApp\app.exe)", LR"(\\?\C:\MyApp)"},
        {LR"(\\server\share\app.exe)", LR"(\\server\share)"},
        {L"app.exe", L"."},
    };
    for (const auto& [path, folder] : kCases) EXPECT_EQ(ProgramFolder(path), folder) << path;
}
