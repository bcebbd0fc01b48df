#include "setup/model/launch_values.h"

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

}  // namespace
