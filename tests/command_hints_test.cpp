#include "setup/model/command_hints.h"

#include <gtest/gtest.h>

namespace {

// What cmd.exe's prompt does with an argument: %NAME% of a defined variable
// replaced (PATH stands for any), then quotation marks and carets removed
// as its parser does outside and inside quotes. Enough of it to show that
// nothing in a quoted text is expanded or lost.
std::wstring AsCmdPromptReadsIt(const std::wstring& typed) {
    std::wstring expanded = typed;
    for (std::size_t at = expanded.find(L"%PATH%"); at != std::wstring::npos;
         at = expanded.find(L"%PATH%")) {
        expanded.replace(at, 6, L"C:\\Windows");
    }
    std::wstring read;
    bool quoted = false;
    for (std::size_t i = 0; i < expanded.size(); ++i) {
        const wchar_t c = expanded[i];
        if (c == L'"') {
            quoted = !quoted;
        } else if (c == L'^' && !quoted && i + 1 < expanded.size()) {
            read += expanded[++i];
        } else if (!quoted && (c == L'&' || c == L'|' || c == L'<' || c == L'>' || c == L' ')) {
            return L"<cut at " + std::wstring(1, c) + L">";
        } else {
            read += c;
        }
    }
    return read;
}

TEST(CmdQuoted, ReachesTheCommandAsItIsWithNothingExpanded) {
    const wchar_t* const kTexts[] = {
        L"MyService", L"My Service", L"a&b|c<d>e^f", L"%PATH%", L"50%", L"%", L"%%",
        L"a%PATH%b c", L"", L"!x!",
    };
    for (const wchar_t* text : kTexts) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(text)));
        const std::wstring quoted = CmdQuoted(text);
        EXPECT_EQ(AsCmdPromptReadsIt(quoted), text) << testing::PrintToString(quoted);
    }
    EXPECT_EQ(CmdQuoted(L"a%b"), L"\"a\"^%\"b\"");
    EXPECT_EQ(StartHint(L"My Service"), L"service-wrapper-setup start \"My Service\"");
}

TEST(NotWrappedProblem, NamesTheFileAndHowToDeleteOnPurposeForForeignServicesOnly) {
    ServiceCommandLine foreign = {};
    foreign.managerProgram = L"C:\\Windows\\System32\\spoolsv.exe";
    const std::wstring problem = NotWrappedProblem(L"Spooler", foreign, L"removed");
    EXPECT_NE(problem.find(L"[C:\\Windows\\System32\\spoolsv.exe]"), std::wstring::npos);
    EXPECT_NE(problem.find(L"only wrapped services are removed here"), std::wstring::npos);
    EXPECT_NE(problem.find(L"sc.exe delete \"Spooler\""), std::wstring::npos);
    // Pasted, "a" b" would delete the service a.
    EXPECT_EQ(NotWrappedProblem(L"a\" b", foreign, L"removed").find(L"sc.exe delete"),
              std::wstring::npos);
    ServiceCommandLine wrapped = foreign;
    wrapped.wrapped = true;
    EXPECT_EQ(NotWrappedProblem(L"Spooler", wrapped, L"removed"), L"");
}

}  // namespace
