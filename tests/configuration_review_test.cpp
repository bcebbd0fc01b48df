#include "setup/model/configuration_review.h"

#include <cwctype>

#include <gtest/gtest.h>

#include "setup/model/service_command_line.h"

namespace {

// Two files, found without regard to case, as on Windows.
bool ExistsHere(const std::wstring& path) {
    std::wstring lower = path;
    for (wchar_t& c : lower) c = static_cast<wchar_t>(std::towlower(c));
    return lower == L"c:\\w\\service-wrapper.exe" || lower == L"c:\\p\\u.exe" ||
           lower == L"c:\\w\\service-wrapper-launcher.exe" ||
           lower == L"c:\\program files\\w\\service-wrapper.exe";
}

struct ReviewCase {
    const wchar_t* commandLine;
    std::optional<DWORD> preshutdownMs;
    bool wrapped;
    std::optional<DWORD> stopTimeoutMs;
    std::vector<std::wstring> warnings;  // a phrase of each warning, in order
    std::vector<std::wstring> notes;
};

const ReviewCase kReviewCases[] = {
    {LR"("C:\W\service-wrapper.exe" 30000 "C:\P\u.exe" "--mode")", 30000, true, 30000, {}, {}},
    // Read as the wrapper reads it: blanks, a sign and a unit are taken.
    {LR"("C:\W\SERVICE-WRAPPER.EXE" " +5000ms" "C:\P\u")", 5000, true, 5000, {},
     {L"Element 1 [ +5000ms] is not a plain number: the wrapper reads it as 5000 ms"}},
    {LR"("C:\W\service-wrapper.exe" 30000)", 30000, true, std::nullopt, {L"has 2 element(s)"}, {}},
    {LR"("C:\W\service-wrapper.exe" abc "C:\P\u.exe")", 30000, true, std::nullopt,
     {L"Element 1 [abc] is not a stop timeout"}, {}},
    {LR"("C:\W\service-wrapper.exe" 4294967296 "C:\P\u.exe")", 30000, true, std::nullopt,
     {L"Element 1 [4294967296]"}, {}},
    {LR"("C:\W\service-wrapper.exe" 1 "C:\P\u.exe\" \"--injected")", 1, true, 1,
     {L"holds a quotation mark"}, {}},
    {LR"("C:\W\service-wrapper.exe" 1 "C:\P\gone.exe")", 1, true, 1,
     {LR"(The program [C:\P\gone.exe] does not exist.)"}, {}},
    {LR"("C:\W\service-wrapper.exe" 1 cmd.exe)", 1, true, 1, {L"[cmd.exe] is not a full path"}, {}},
    {LR"("D:\service-wrapper.exe" 1 "C:\P\u.exe")", 1, true, 1,
     {LR"(The wrapper [D:\service-wrapper.exe] does not exist.)"}, {}},
    {LR"("C:\W\service-wrapper.exe" 30000 "C:\P\u.exe")", 777, true, 30000,
     {L"pre-shutdown timeout is 777 ms but the stop timeout is 30000 ms"}, {}},
    {LR"("C:\W\service-wrapper.exe" 30000 "C:\P\u.exe")", std::nullopt, true, 30000, {},
     {L"could not be read"}},
    // The manager starts the wrapper, whose own splitting ends the path at
    // the blank and so reads every element one place on.
    {LR"(C:\Program Files\W\service-wrapper.exe 30000 "C:\P\u.exe")", 30000, true, std::nullopt,
     {L"not in quotation marks and holds a blank",
      LR"(it takes [C:\Program] for itself and [Files\W\service-wrapper.exe] for the stop timeout)"},
     {}},
    {LR"(C:\Program Files\W\SERVICE-WRAPPER.EXE 30000 "C:\P\u.exe")", 30000, true, std::nullopt,
     {L"not in quotation marks and holds a blank", L"it takes [C:\\Program] for itself"}, {}},
    {LR"(C:\Program Files\Other\u.EXE -k)", std::nullopt, false, std::nullopt,
     {L"not in quotation marks and holds a blank"},
     {LR"(the program it starts [C:\Program Files\Other\u.EXE] is not service-wrapper.exe)"}},
    {LR"(C:\W\SERVICE-WRAPPER.EXE 30000 "C:\P\u.exe")", 30000, true, 30000, {}, {}},
    // Longer as well as shorter: Windows would wait past the wrapper's end.
    {LR"("C:\W\service-wrapper.exe" 30000 "C:\P\u.exe")", 60000, true, 30000,
     {L"pre-shutdown timeout is 60000 ms but the stop timeout is 30000 ms"}, {}},
    {LR"(C:\W\service-wrapper.exe 30000 "C:\P\u.exe")", 30000, true, 30000, {}, {}},
    {LR"(C:\Windows\system32\svchost.exe -k "a b")", std::nullopt, false, std::nullopt, {},
     {L"not a wrapped service"}},
    {LR"("%SystemRoot%\service-wrapper.exe" 1 "%ProgramFiles%\u.exe" 100% %%)", 1, true, 1, {},
     {L"Element 0 holds a %NAME% reference", L"Element 2 holds"}},
    {L"", std::nullopt, false, std::nullopt, {L"empty"}, {}},
    // Through the launcher, the program is the element after its --.
    {LR"("C:\W\service-wrapper.exe" 1 "C:\W\service-wrapper-launcher.exe" "--service" "U" "--" "C:\P\u.exe")",
     1, true, 1, {}, {}},
    {LR"("C:\W\service-wrapper.exe" 1 "C:\W\service-wrapper-launcher.exe" "--" "C:\P\gone.exe" "a")",
     1, true, 1, {LR"(The program [C:\P\gone.exe] does not exist.)"}, {}},
    {LR"("C:\W\service-wrapper.exe" 1 "C:\X\service-wrapper-launcher.exe" "--" "C:\P\u.exe")",
     1, true, 1, {LR"(The launcher [C:\X\service-wrapper-launcher.exe] does not exist.)"}, {}},
    // Options the launcher refuses make every start fail.
    {LR"("C:\W\service-wrapper.exe" 1 "C:\W\service-wrapper-launcher.exe" "--log-sise" "5" "--" "C:\P\u.exe")",
     1, true, 1,
     {L"The launcher would refuse its options: unknown option, or a program not preceded by --: "
      L"--log-sise."},
     {}},
};

void ExpectPhrases(const std::vector<std::wstring>& texts, const std::vector<std::wstring>& phrases) {
    ASSERT_EQ(texts.size(), phrases.size()) << testing::PrintToString(texts);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        EXPECT_NE(texts[i].find(phrases[i]), std::wstring::npos) << testing::PrintToString(texts[i]);
    }
}

TEST(ReviewConfiguration, WarnsAboutWhatCannotWorkOrIsUnsafe) {
    for (const ReviewCase& c : kReviewCases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.commandLine)));
        StoredService stored{};
        stored.binaryPathName = c.commandLine;
        stored.preshutdownTimeoutMs = c.preshutdownMs;
        ConfigurationReview review = ReviewConfiguration(DecodeStoredService(stored), ExistsHere);
        EXPECT_EQ(review.wrapped, c.wrapped);
        EXPECT_EQ(review.stopTimeoutMs, c.stopTimeoutMs);
        ExpectPhrases(review.warnings, c.warnings);
        ExpectPhrases(review.notes, c.notes);
    }
}

// Control characters would break the listing or hide in it; the text
// output marks them, brackets show the ends.
// And says on the line of an element with a %NAME% reference that the
// program will not read it as listed.
TEST(FormatElements, MarksControlCharactersInsideTheBrackets) {
    EXPECT_EQ(FormatElements({L"C:\\w\\service-wrapper.exe", L"5", L"p", L"a\tb", L"line\r\nnext",
                              L"\x1b[31m", L" ", L"\u2028", L"%TEMP%\\x", L"100%"},
                             /*wrapped=*/true),
              L"  0  wrapper       [C:\\w\\service-wrapper.exe]\n"
              L"  1  stop timeout  [5]\n"
              L"  2  program       [p]\n"
              L"  3  argument      [a<TAB>b]\n"
              L"  4  argument      [line<CR><LF>next]\n"
              L"  5  argument      [<U+001B>[31m]\n"
              L"  6  argument      [ ]\n"
              L"  7  argument      [<U+2028>]\n"
              L"  8  argument      [%TEMP%\\x]  (the manager replaces the %NAME% reference at "
              L"start)\n"
              L"  9  argument      [100%]\n");
}

// With the launcher as the wrapper's child, the program is the element after
// the launcher's --, not the launcher.
TEST(FormatElements, NamesTheLauncherItsOptionsAndTheProgramAfterThem) {
    EXPECT_EQ(FormatElements({L"C:\\w\\service-wrapper.exe", L"5",
                              L"C:\\w\\service-wrapper-launcher.exe", L"--service", L"s", L"--",
                              L"C:\\p\\p.exe", L"--"},
                             /*wrapped=*/true),
              L"  0  wrapper       [C:\\w\\service-wrapper.exe]\n"
              L"  1  stop timeout  [5]\n"
              L"  2  launcher      [C:\\w\\service-wrapper-launcher.exe]\n"
              L"  3  option        [--service]\n"
              L"  4  option        [s]\n"
              L"  5  options end   [--]\n"
              L"  6  program       [C:\\p\\p.exe]\n"
              L"  7  argument      [--]\n");
}

TEST(ExplainWrapperExitCode, NamesTheWrappersOwnCodes) {
    const std::pair<DWORD, const wchar_t*> kCodes[] = {
        {0, L"clean: the program ended by itself, or was stopped"},
        {160, L"the wrapper refused its command line"},
        {2, L"the program was not found"},
        {3, L"the program was not found"},
        {5, L"the program could not be started: access denied"},
        {8, L"the wrapper ran out of memory"},
        {1066, L""},  // left to the platform's own words
    };
    for (const auto& c : kCodes) EXPECT_EQ(ExplainWrapperExitCode(c.first), c.second) << c.first;
}

}  // namespace
