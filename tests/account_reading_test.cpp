// Accounts looked up on the simulated computer, whose lookup knows its own
// accounts by the computer's name, as Windows does, and not by ".".
#include "setup/manager/account_reading.h"

#include <gtest/gtest.h>

namespace {

TEST(AccountSidOf, LooksUpTheComputersOwnAccountsByItsName) {
    sim::Reset();
    sim::SetComputerName(L"HOST");
    const wchar_t* kBob = L"S-1-5-21-10-20-4294967295-1001";
    sim::AddAccount(L"HOST", L"bob", kBob, SidTypeUser);
    const struct {
        const wchar_t* account;
        DWORD error;
        const wchar_t* sid;
    } kCases[] = {
        {L".\\bob", NO_ERROR, kBob},
        {L"host\\BOB", NO_ERROR, kBob},
        {L".\\nobody", ERROR_NONE_MAPPED, L""},
        {L"CORP\\bob", ERROR_NONE_MAPPED, L""},
        {L"LocalSystem", NO_ERROR, L"S-1-5-18"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.account)));
        std::wstring sid;
        EXPECT_EQ(AccountSidOf(c.account, sid), c.error);
        EXPECT_EQ(sid, c.sid);
    }
    EXPECT_EQ(sim::OutstandingLocalAllocs(), 0);
}

}  // namespace
