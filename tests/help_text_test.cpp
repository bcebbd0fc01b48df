#include "setup/model/help_text.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

struct VerbHelpCase {
    Verb verb;
    const wchar_t* word;
    bool configOptions;  // tells of --stop-timeout and the others
};
const VerbHelpCase kVerbs[] = {
    {Verb::Install, L"install", true}, {Verb::Apply, L"apply", true}, {Verb::Set, L"set", true},
    {Verb::Show, L"show", false},      {Verb::Remove, L"remove", false},
    {Verb::Start, L"start", false},    {Verb::Stop, L"stop", false},
    {Verb::Restart, L"restart", false}, {Verb::Status, L"status", false},
    {Verb::List, L"list", false},      {Verb::Help, L"help", false},
    {Verb::Logs, L"logs", false},
};

bool Mentions(const std::wstring& text, const std::wstring& phrase) {
    return text.find(phrase) != std::wstring::npos;
}

TEST(VerbHelpText, TellsOfTheOneCommandAndItsOwnOptions) {
    for (const VerbHelpCase& c : kVerbs) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.word)));
        const std::wstring text = VerbHelpText(c.verb);
        EXPECT_EQ(text.find(L"Usage: service-wrapper-setup " + std::wstring(c.word)), 0u) << text;
        EXPECT_EQ(Mentions(text, L"--stop-timeout"), c.configOptions);
        const std::wstring usage = text.substr(0, text.find(L'\n'));
        EXPECT_EQ(Mentions(usage, L"--no-wait"), c.verb == Verb::Stop || c.verb == Verb::Remove);
        // What the usage offers is what the command line takes.
        std::vector<std::wstring> withJson = {c.word, L"--json"};
        if (c.verb != Verb::List && c.verb != Verb::Help) withJson.insert(withJson.begin() + 1, L"x");
        if (c.configOptions && c.verb != Verb::Set) withJson.insert(withJson.end(), {L"--", L"C:\\p.exe"});
        const ParsedCommand parsed = ParseSetupCommand(withJson);
        const bool takesJson = parsed.command && parsed.command->verb == c.verb && parsed.error.empty();
        EXPECT_EQ(Mentions(usage, L"[--json]"), takesJson) << testing::PrintToString(parsed.error);
    }
}

// The list of what is refused when broad groups may change it names every
// kind of place the audit judges, whatever the line breaks.
TEST(VerbHelpText, ListsEveryPlaceTheAuditJudges) {
    for (const Verb verb : {Verb::Install, Verb::Apply, Verb::Set}) {
        std::wstring text = VerbHelpText(verb);
        std::replace(text.begin(), text.end(), L'\n', L' ');
        const std::size_t list = text.find(L"Before writing anything");
        ASSERT_NE(list, std::wstring::npos);
        for (const wchar_t* place :
             {L"the wrapper,", L"the launcher,", L"the program,", L"environment file,",
              L"each file an argument names", L"the log folder", L"the working folder",
              L"every folder above any of them"}) {
            EXPECT_TRUE(Mentions(text.substr(list), place)) << testing::PrintToString(place);
        }
    }
}

TEST(UsageText, SaysTheStopTimeoutIsWaitedInWholeSecondsRoundedUp) {
    EXPECT_TRUE(Mentions(UsageText(), L"so the grace is in whole seconds, rounded up"));
    EXPECT_TRUE(Mentions(UsageText(), L"manual is taken as demand"));
}

TEST(HelpPointer, PointsAtTheCommandGivenOrAtHelp) {
    EXPECT_EQ(HelpPointer(L"install"), L"Run service-wrapper-setup help install for how to use it.\n");
    EXPECT_EQ(HelpPointer(L""), L"Run service-wrapper-setup help for how to use it.\n");
}

}  // namespace
