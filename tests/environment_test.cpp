#include "launcher/environment.h"

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using Entries = std::vector<std::wstring>;

struct FileCase {
    std::string bytes;
    Entries pairs;       // when ok
    unsigned errorLine;  // 0: ok
};
const FileCase kFileCases[] = {
    {"", {}, 0},
    {"\xEF\xBB\xBF"
     "A=1\r\nB= two words \r\n", {L"A=1", L"B= two words "}, 0},
    {"# note\n\n  \t\n \t# A=1\nPATH=%PATH%;C:\\x\nE=\nQ==\"v\"", {L"PATH=%PATH%;C:\\x", L"E=", L"Q==\"v\""}, 0},
    {"A=1\nB =2\n", {}, 2},
    {"\tB=2\n", {}, 1},
    {"A=1\rB=2\r\n", {}, 1},                       // old Mac line ends
    {"N=\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80\n", {L"N=\u00E9\u4E2D\xD83D\xDE00"}, 0},
    {"A=1\nnot a pair\nB=2\n", {}, 2},
    {"A=1\n=x\n", {}, 2},
    {"A=1\r\n\r\nB=\xC3\n", {}, 3},                  // cut sequence
    {"B=\xC0\xAF\n", {}, 1},                          // overlong '/'
    {"B=\xED\xA0\x80\n", {}, 1},                      // a surrogate
    {std::string("A=1\nB=\0x\n", 9), {}, 2},          // a NUL cannot go in a block
};

TEST(ParseEnvironmentFile, ReadsPairsAndNamesTheFirstBadLine) {
    for (const FileCase& c : kFileCases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        const EnvironmentFile file = ParseEnvironmentFile(c.bytes);
        EXPECT_EQ(file.ok, c.errorLine == 0);
        EXPECT_EQ(file.errorLine, c.errorLine);
        if (file.ok) {
            EXPECT_EQ(file.pairs, c.pairs);
        }
        EXPECT_EQ(file.error.empty(), file.ok);
    }
}

struct MergeCase {
    Entries own, commandLine, file, merged;
};
const MergeCase kMergeCases[] = {
    {{L"=C:=C:\\w", L"Path=C:\\bin", L"TEMP=C:\\t"}, {L"PATH=C:\\mine", L"Z=1"}, {},
     {L"=C:=C:\\w", L"PATH=C:\\mine", L"TEMP=C:\\t", L"Z=1"}},
    {{L"a=own"}, {L"A=line", L"b=1"}, {L"A=file", L"B=2=3"}, {L"A=file", L"B=2=3"}},
    {{L"X=1"}, {L"X="}, {}, {L"X="}},
    {{L"z=1", L"B=2"}, {}, {L"a=3"}, {L"a=3", L"B=2", L"z=1"}},
    {{L"=::=::\\", L"=C:=C:\\"}, {L"c=%X%"}, {}, {L"=::=::\\", L"=C:=C:\\", L"c=%X%"}},
};

TEST(MergeEnvironment, LaterPairsReplaceEarlierOnesWhateverTheCase) {
    for (const MergeCase& c : kMergeCases) {
        SCOPED_TRACE(testing::PrintToString(c.merged));
        EXPECT_EQ(MergeEnvironment(c.own, c.commandLine, c.file), c.merged);
    }
}

// A long file, well within the size the launcher reads, keeps each name
// once, the last value of a name given in any case winning.
TEST(MergeEnvironment, MergesALongFileKeepingEachNameOnce) {
    constexpr int kPairs = 20000;
    std::string bytes;
    for (int i = 0; i < kPairs; ++i) bytes += "VARIABLE_" + std::to_string(i) + "=value\n";
    const Entries merged = MergeEnvironment({L"Path=C:\\bin"}, {L"variable_7=line"},
                                            ParseEnvironmentFile(bytes).pairs);
    EXPECT_EQ(merged.size(), kPairs + 1u);
    EXPECT_EQ(std::count(merged.begin(), merged.end(), L"VARIABLE_7=value"), 1);
}

TEST(EnvironmentBlock, SplitsBackIntoItsEntries) {
    const Entries entries = {L"=C:=C:\\", L"A=1", L"B="};
    const std::wstring block = EnvironmentBlock(entries);
    EXPECT_EQ(block.size(), 16u);
    EXPECT_EQ(SplitEnvironmentBlock(block.c_str()), entries);
    EXPECT_EQ(EnvironmentBlock({}), std::wstring(2, L'\0'));
}
