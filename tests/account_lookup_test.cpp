// User accounts judged by what the system's lookup said of them (the
// answers as Windows and Wine give them).
#include "setup/model/account_lookup.h"

#include <gtest/gtest.h>

namespace {

TEST(NameToLookUp, PutsTheComputersNameForTheDot) {
    EXPECT_EQ(NameToLookUp(L".\\svcuser", L"HOST"), L"HOST\\svcuser");
    EXPECT_EQ(NameToLookUp(L"CORP\\svcuser", L"HOST"), L"CORP\\svcuser");
    EXPECT_EQ(NameToLookUp(L"..\\x", L"HOST"), L"..\\x");
}

TEST(JudgeLookedUpAccount, TakesUsersWritesTheSystemsAccountsByNameAndRefusesTheRest) {
    struct AccountCase {
        const wchar_t* given;
        AccountLookup lookup;
        const wchar_t* account;  // empty: refused
        const wchar_t* phrase;   // of the refusal
    };
    const AccountCase kCases[] = {
        {L".\\svcuser", {NO_ERROR, 1, L"S-1-5-21-1-2-3-1001"}, L".\\svcuser", L""},
        {L"NT AUTHORITY\\SYSTEM", {NO_ERROR, 5, L"S-1-5-18"}, L"LocalSystem", L""},
        {L".\\SYSTEM", {NO_ERROR, 5, L"S-1-5-18"}, L"LocalSystem", L""},
        {L"NT AUTHORITY\\Local Service", {NO_ERROR, 5, L"S-1-5-19"},
         L"NT AUTHORITY\\LocalService", L""},
        {L"NT AUTHORITY\\NETWORK SERVICE", {NO_ERROR, 5, L"S-1-5-20"},
         L"NT AUTHORITY\\NetworkService", L""},
        {L"BUILTIN\\Users", {NO_ERROR, 4, L"S-1-5-32-545"}, L"",
         L"is a group (an alias, such as the computer's own groups) (S-1-5-32-545), not an "
         L"account"},
        {L"CORP\\Domain Users", {NO_ERROR, 2, L"S-1-5-21-9-9-9-513"}, L"", L"is a group ("},
        {L"NT AUTHORITY\\Authenticated Users", {NO_ERROR, 5, L"S-1-5-11"}, L"",
         L"is a well-known group"},
        {L"CORP\\HOST$x", {NO_ERROR, 9, L"S-1-5-21-9-9-9-1100"}, L"", L"is a computer"},
        {L".\\nobody", {1332, 0, L""}, L"", L"does not exist on this computer or in its domain"},
        {L"CORP\\someone", {1789, 0, L""}, L"", L"could not be looked up"},
    };
    for (const AccountCase& c : kCases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.given)));
        std::wstring account = L"untouched";
        const std::wstring problem = JudgeLookedUpAccount(c.given, c.lookup, account);
        EXPECT_EQ(problem.empty() ? account : L"", c.account);
        EXPECT_NE(problem.find(c.phrase), std::wstring::npos) << testing::PrintToString(problem);
        if (!problem.empty()) {
            EXPECT_EQ(account, L"untouched");
        }
    }
}

}  // namespace
