#include "setup/model/service_sid.h"

#include <gtest/gtest.h>

namespace {

TEST(Sha1, GivesTheKnownDigests) {
    const struct {
        std::string input;
        const char* hex;
    } kCases[] = {
        {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        // Two blocks: the length spills into a second one.
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.input);
        std::string hex;
        for (std::uint8_t b : Sha1(c.input)) {
            const char* digits = "0123456789abcdef";
            hex += digits[b >> 4];
            hex += digits[b & 15];
        }
        EXPECT_EQ(hex, c.hex);
    }
}

TEST(ServiceSid, DerivesTheSidsWindowsGivesServiceAccounts) {
    const struct {
        const wchar_t* account;
        const wchar_t* sid;  // null: only the platform can look it up
    } kCases[] = {
        // TrustedInstaller's well-known SID is its service SID; any case of the name gives it.
        {L"NT SERVICE\\TrustedInstaller",
         L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"},
        {L"nt service\\trustedinstaller",
         L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"},
        // Non-ASCII letters are upper-cased too. Expected from the rule alone:
        // python3 -c "import hashlib,struct; d=hashlib.sha1('S\u00d8K-TJENESTE-\u00c9'
        //   .encode('utf-16-le')).digest(); print(struct.unpack('<5I', d))"
        {L"NT SERVICE\\s\u00f8k-tjeneste-\u00e9",
         L"S-1-5-80-1517478281-3152025291-1713115282-316694957-1936241821"},
        {L"LocalSystem", L"S-1-5-18"},
        {L"", L"S-1-5-18"},
        {L"NT AUTHORITY\\LocalService", L"S-1-5-19"},
        {L"NT AUTHORITY\\NetworkService", L"S-1-5-20"},
        {L".\\alice", nullptr},
        {L"CORP\\web$", nullptr},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.account)));
        std::optional<std::wstring> sid = SidOfBuiltInAccount(c.account);
        ASSERT_EQ(sid.has_value(), c.sid != nullptr);
        if (sid) {
            EXPECT_EQ(*sid, c.sid);
        }
    }
}

}  // namespace
