#include "setup/audit/program_rules.h"

#include <gtest/gtest.h>

#include "child/wrapper_arguments.h"

namespace {

// The program, and whether it is a batch file (B), an interpreter (I) or neither.
const std::pair<const wchar_t*, char> kNameCases[] = {
    {LR"(C:\jobs\run.bat)", 'B'},
    {LR"(C:\jobs\RUN.BAT)", 'B'},
    {LR"(C:\jobs\run.Cmd)", 'B'},
    {LR"(C:\jobs\run.cmd . )", 'B'},  // the platform drops trailing dots and blanks
    {LR"(C:\jobs.bat\run.exe)", '-'},
    {LR"(C:\jobs\run.batch)", '-'},
    {LR"(C:\WINDOWS\SYSTEM32\CMD.EXE)", 'I'},
    {LR"(C:\Windows\System32\cmd)", 'I'},
    {LR"(C:\Windows\System32\WindowsPowerShell\v1.0\powershell.exe)", 'I'},
    {LR"(C:\Program Files\PowerShell\7\pwsh.exe)", 'I'},
    {LR"(C:/Windows/System32/WScript.exe)", 'I'},
    {LR"(cscript.EXE)", 'I'},
    {LR"(C:\tools\mycmd.exe)", '-'},
    {LR"(C:\cmd.exe\tool.exe)", '-'},
};

TEST(ProgramKinds, KnowBatchFilesAndInterpretersInAnyCaseAndFolder) {
    for (const auto& c : kNameCases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.first)));
        EXPECT_EQ(NamesBatchFile(c.first), c.second == 'B');
        EXPECT_EQ(IsInterpreter(c.first), c.second == 'I');
        // The launcher's job ends what the interpreter started: nothing to note.
        EXPECT_FALSE(CheckStopReachesOnlyInterpreter(c.first, /*throughLauncher=*/true));
        std::optional<RuleFinding> note = CheckStopReachesOnlyInterpreter(c.first, false);
        ASSERT_EQ(note.has_value(), c.second != '-');
        if (!note) continue;
        EXPECT_EQ(note->level, RuleLevel::Note);
        EXPECT_NE(note->text.find(L"a stop ends the interpreter, not the programs it started"),
                  std::wstring::npos);
    }
}

struct BatchCase {
    const wchar_t* program;
    std::vector<std::wstring> arguments;
    const wchar_t* refusal;  // a phrase of it; empty: a note, or nothing for a program
};

const wchar_t kBatch[] = LR"(C:\jobs\run.bat)";

const BatchCase kBatchCases[] = {
    {kBatch, {L"--port", L"8080", L"C:\\data dir\\", L"a=b;c,d", L""}, L""},
    {LR"(C:\Program Files (x86)\Vendor\run.cmd)", {L"start"}, L""},
    {LR"(C:\tools\run.exe)", {L"a&b"}, L""},
    {kBatch, {L"a\"b"}, L"argument 1 [a\"b] holds a quotation mark (\")"},
    {kBatch, {L"ok", L"a&b"}, L"argument 2 [a&b] holds an ampersand (&), which"},
    {kBatch, {L"a|b"}, L"holds a vertical bar (|)"},
    {kBatch, {L"<in"}, L"holds a less-than sign (<)"},
    {kBatch, {L">out"}, L"holds a greater-than sign (>)"},
    {kBatch, {L"a^b"}, L"holds a caret (^)"},
    {kBatch, {L"%PATH%"}, L"holds a percent sign (%)"},
    {kBatch, {L"hi!"}, L"holds an exclamation mark (!)"},
    {kBatch, {L"a)"}, L"holds a parenthesis"},
    {kBatch, {L"a\rb"}, L"argument 1 [a<CR>b] holds a line break (CR)"},
    {kBatch, {L"a\nb"}, L"holds a line break (LF)"},
    // A tab marked as every listing marks it, not printed raw.
    {kBatch, {L"a\t&b"}, L"argument 1 [a<TAB>&b] holds an ampersand (&)"},
    {kBatch, {L"(a)", L"x", L"a\"&b"}, L"argument 1 [(a)] holds a parenthesis and argument 3 "
                                       L"[a\"&b] holds a quotation mark (\") and an ampersand (&)"},
    // The argument that made a service write a file of an attacker's choosing.
    {LR"(C:\rec\rec.CMD)", {LR"(x\"&echo INJECTED>C:\rec\inj.txt&rem \")"},
     L"holds a quotation mark (\"), an ampersand (&) and a greater-than sign (>)"},
    {LR"(C:\%USERNAME%\run.bat)", {}, L"its path holds a percent sign (%)"},
    {LR"(C:\R&D!\run.bat)", {}, L"its path holds an exclamation mark (!)"},
};

TEST(CheckBatchArguments, RefusesWhatCmdWouldActOnNamingTheArgumentAndTheCharacter) {
    for (const BatchCase& c : kBatchCases) {
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        auto install = CheckBatchArguments(c.program, c.arguments, ReviewFor::Install);
        auto show = CheckBatchArguments(c.program, c.arguments, ReviewFor::Show);
        ASSERT_EQ(install.has_value(), NamesBatchFile(c.program));
        if (!install) continue;
        bool refused = *c.refusal != L'\0';
        EXPECT_EQ(install->level, refused ? RuleLevel::Refusal : RuleLevel::Note);
        EXPECT_EQ(show->level, refused ? RuleLevel::Warning : RuleLevel::Note);
        std::wstring phrase = refused ? c.refusal : L"None of its arguments holds a character";
        EXPECT_NE(install->text.find(phrase), std::wstring::npos)
            << testing::PrintToString(install->text);
    }
}

struct LengthCase {
    std::size_t lineLength;      // the service's command line
    const wchar_t* program;
    std::size_t argumentLength;  // one argument of blanks, quoted by the wrapper
    const wchar_t* refusal;      // its start; empty: accepted
};

// A batch file's line is "C:\b.bat" in quotation marks, a blank and the
// quoted argument: 10 + 1 + n + 2.
const LengthCase kLengthCases[] = {
    {32766, L"C:\\p.exe", 0, L""},
    {32767, L"C:\\p.exe", 0,
     L"The service's command line is 32,767 characters long; Windows starts a process with at "
     L"most 32,766 (32,767 with the terminating null)"},
    {34067, L"C:\\p.exe", 0, L"The service's command line is 34,067 characters long"},
    {9000, L"C:\\b.bat", 8178, L""},
    {9000, L"C:\\b.bat", 8179,
     L"The batch file's command line is 8,192 characters long; cmd.exe, which runs it, reads at "
     L"most 8,191."},
    {9000, L"C:\\b.exe", 8179, L""},
};

TEST(ReviewCommandLineLength, RefusesALineLongerThanAProcessIsStartedWith) {
    for (const LengthCase& c : kLengthCases) {
        SCOPED_TRACE(testing::Message() << c.lineLength << " " << c.argumentLength);
        ProgramToRun run{c.program, {}, std::wstring(c.lineLength, L'x'), 1000, false};
        if (c.argumentLength > 0) run.arguments.push_back(std::wstring(c.argumentLength, L' '));
        std::optional<RuleFinding> finding = ReviewCommandLineLength(run, ReviewFor::Install);
        ASSERT_EQ(finding.has_value(), *c.refusal != L'\0');
        if (!finding) continue;
        EXPECT_EQ(finding->level, RuleLevel::Refusal);
        EXPECT_EQ(finding->text.rfind(c.refusal, 0), 0u) << testing::PrintToString(finding->text);
        EXPECT_EQ(ReviewCommandLineLength(run, ReviewFor::Show)->level, RuleLevel::Warning);
    }
}

const std::pair<std::uint32_t, const wchar_t*> kTimeoutCases[] = {
    {0, L""},
    {600000, L""},
    {600001, L"The stop timeout is 600001 ms, about 10 minutes: every stop of the service, and "
             L"every shutdown of the machine, may wait that long"},
    {4294967295u, L"The stop timeout is 4294967295 ms, about 49.7 days (the wrapper reads a stop "
                  L"timeout of -1 as this):"},
};

TEST(ReviewStopTimeout, WarnsAtInstallAndNotesInShowOverTenMinutes) {
    for (const auto& c : kTimeoutCases) {
        SCOPED_TRACE(c.first);
        std::optional<RuleFinding> install = ReviewStopTimeout(c.first, ReviewFor::Install);
        std::optional<RuleFinding> show = ReviewStopTimeout(c.first, ReviewFor::Show);
        ASSERT_EQ(install.has_value(), *c.second != L'\0');
        ASSERT_EQ(show.has_value(), *c.second != L'\0');
        if (!install) continue;
        EXPECT_EQ(install->level, RuleLevel::Warning);
        EXPECT_EQ(show->level, RuleLevel::Note);
        EXPECT_EQ(install->text.rfind(c.second, 0), 0u) << testing::PrintToString(install->text);
        EXPECT_EQ(show->text, install->text);
    }
}

TEST(DurationInWords, GivesTheLargestWholeUnitAndSaysWhenItRounds) {
    const std::pair<std::uint32_t, const wchar_t*> kDurations[] = {
        {0, L"0 seconds"},          {1000, L"1 second"},          {59999, L"about 60 seconds"},
        {900000, L"15 minutes"},    {5400000, L"1.5 hours"},      {86400000, L"1 day"},
        {90000000, L"about 1 day"}, {4294967295u, L"about 49.7 days"},
    };
    for (const auto& d : kDurations) EXPECT_EQ(DurationInWords(d.first), d.second) << d.first;
}

TEST(ReviewProgram, GivesEveryRulesFindingInOrder) {
    ProgramToRun run{LR"(C:\jobs\run.bat)", {L"a&b"}, std::wstring(40000, L'x'), 4294967295u, false};
    const RuleLevel kInstall[] = {RuleLevel::Refusal, RuleLevel::Refusal, RuleLevel::Note,
                                  RuleLevel::Warning};  // length, argument, stop, timeout
    const RuleLevel kShow[] = {RuleLevel::Warning, RuleLevel::Warning, RuleLevel::Note,
                               RuleLevel::Note};
    std::vector<RuleFinding> install = ReviewProgram(run, ReviewFor::Install);
    std::vector<RuleFinding> show = ReviewProgram(run, ReviewFor::Show);
    ASSERT_EQ(install.size(), 4u);
    ASSERT_EQ(show.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(install[i].level, kInstall[i]) << i;
        EXPECT_EQ(show[i].level, kShow[i]) << i;
    }
    run = ProgramToRun{LR"(C:\tools\u.exe)", {L"a&b"}, LR"("C:\w.exe" 1 "C:\tools\u.exe")", 30000, true};
    EXPECT_TRUE(ReviewProgram(run, ReviewFor::Install).empty());
}

}  // namespace
