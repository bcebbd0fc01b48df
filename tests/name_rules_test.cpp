#include "setup/model/name_rules.h"

#include <gtest/gtest.h>

namespace {

TEST(ReservedNameProblem, RefusesDotsAndDeviceNamesInAnyFormWindowsReadsThem) {
    const std::pair<std::wstring, bool> kNames[] = {
        {L".", true},      {L"..", true},        {L"...", false},    {L"CON", true},
        {L"con.txt", true}, {L"NUL ", true},     {L"nul .x", true},  {L"PRN", true},
        {L"aux", true},    {L"COM1", true},      {L"com9.a.b", true}, {L"LPT0", true},
        {L"CONIN$", true}, {L"conout$", true},   {L"COM10", false},  {L"COMX", false},
        {L"CONSOLE", false}, {L"NULL", false},   {L"my.con", false}, {L"Service", false},
    };
    for (const auto& c : kNames) {
        SCOPED_TRACE(testing::PrintToString(c.first));
        EXPECT_EQ(!ReservedNameProblem(c.first).empty(), c.second);
    }
}

TEST(FirstInvisibleCharacter, FindsFormatCharactersFillersAndOtherBlanks) {
    const std::pair<std::wstring, std::wstring> kTexts[] = {
        {L"Updater", L""},          {L"Mein Dienst \u00fc", L""}, {L"a\u200Bb", L"U+200B"},
        {L"\u200Fa", L"U+200F"},    {L"a\u202E", L"U+202E"},     {L"a\u2066b", L"U+2066"},
        {L"\uFEFFa", L"U+FEFF"},    {L"so\u00ADft", L"U+00AD"},  {L"a\u00A0b", L"U+00A0"},
        {L"a\u3164", L"U+3164"},    {L"a\u034Fb", L"U+034F"},    {L"\u0627\u0644", L""},
    };
    for (const auto& c : kTexts) {
        SCOPED_TRACE(testing::PrintToString(c.first));
        EXPECT_EQ(FirstInvisibleCharacter(c.first), c.second);
    }
    // A tag character beyond the first plane, as Windows holds it: a pair.
    EXPECT_EQ(FirstInvisibleCharacter(std::wstring(L"a") + wchar_t(0xDB40) + wchar_t(0xDC41)),
              L"U+E0041");
}

TEST(HoldsLineBreak, FindsEveryLineBreakButNotATab) {
    for (const wchar_t* text : {L"a\nb", L"a\r", L"\vx", L"x\f", L"a\u0085", L"a\u2028", L"\u2029"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(text)));
        EXPECT_TRUE(HoldsLineBreak(text));
    }
    EXPECT_FALSE(HoldsLineBreak(L"one line\twith a tab"));
}

}  // namespace
