#include "launcher/log_folder_access.h"

#include <gtest/gtest.h>

#include "setup/audit/access_review.h"

namespace {

const wchar_t kVirtual[] = L"S-1-5-80-1-2-3-4-5";

std::wstring NoName(const std::wstring&) {
    return L"";
}

// Judged by the audit that judges the program's folders: the service's own
// account is the one principal besides the trusted ones that may write,
// with what rotating a log needs and no right over the folder's access list.
TEST(LogFolderAccess, LetsOnlyTheServiceAccountWriteBesidesSystemAndAdministrators) {
    for (const wchar_t* account : {kVirtual, L"S-1-5-19"}) {
        SCOPED_TRACE(testing::PrintToString(account));
        const AccessList list = LogFolderAccessList(account);
        const std::vector<AccessFinding> findings =
            ReviewAccess(AuditedKind::LogFolder, L"C:\\logs", list, NoName);
        ASSERT_EQ(findings.size(), 1u);
        EXPECT_EQ(findings[0].sid, account);
        EXPECT_EQ(findings[0].level, FindingLevel::Note);
        const AccessEntry& entry = list.entries.back();
        EXPECT_EQ(entry.mask & (kFileWriteData | kFileAppendData | kDelete),
                  kFileWriteData | kFileAppendData | kDelete);
        EXPECT_EQ(entry.mask & (kWriteDac | kWriteOwner), 0u);
        for (const AccessEntry& e : list.entries) {
            EXPECT_EQ(e.flags, kObjectInheritAce | kContainerInheritAce);
        }
    }
}

TEST(LogFolderAccess, WritesTheListProtectedFromInheritanceInTheDescriptorLanguage) {
    EXPECT_EQ(AccessListSddl(LogFolderAccessList(kVirtual)),
              L"D:P(A;OICI;0x1F01FF;;;S-1-5-18)(A;OICI;0x1F01FF;;;S-1-5-32-544)"
              L"(A;OICI;0x1301BF;;;S-1-5-80-1-2-3-4-5)");
    // LocalSystem is SYSTEM, which has its entry already.
    EXPECT_EQ(AccessListSddl(LogFolderAccessList(L"S-1-5-18")),
              L"D:P(A;OICI;0x1F01FF;;;S-1-5-18)(A;OICI;0x1F01FF;;;S-1-5-32-544)");
    // A write-restricted service's own SID beside its account, once.
    EXPECT_EQ(AccessListSddl(LogFolderAccessList(L"S-1-5-19", kVirtual)),
              L"D:P(A;OICI;0x1F01FF;;;S-1-5-18)(A;OICI;0x1F01FF;;;S-1-5-32-544)"
              L"(A;OICI;0x1301BF;;;S-1-5-19)(A;OICI;0x1301BF;;;S-1-5-80-1-2-3-4-5)");
    EXPECT_EQ(AccessListSddl(LogFolderAccessList(kVirtual, kVirtual)),
              AccessListSddl(LogFolderAccessList(kVirtual)));
}

// A folder made for one account and kept when the service's account
// changes: the list tells which account it was made for.
TEST(LogFolderAccess, TellsWhichAccountAListItMakesWasMadeFor) {
    AccessList broadened = LogFolderAccessList(kVirtual);
    broadened.entries.push_back({AccessEntryType::Allow, 0, kFileAllAccess, L"S-1-5-32-545"});
    AccessList lessened = LogFolderAccessList(kVirtual);
    lessened.entries.back().mask = kFileGenericRead;
    const AccessList ownerOnly{true, {{AccessEntryType::Allow, 0, kFileAllAccess, L"S-1-5-21-0-0-0-1000"}}};
    const struct {
        AccessList list;
        std::optional<std::wstring> account;
    } cases[] = {
        {LogFolderAccessList(kVirtual), kVirtual},
        {LogFolderAccessList(L"S-1-5-18"), L"S-1-5-18"},
        {LogFolderAccessList(L"S-1-5-19", kVirtual), L"S-1-5-19"},
        {broadened, std::nullopt},
        {lessened, std::nullopt},
        {ownerOnly, std::nullopt},
        {AccessList{false, {}}, std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(LogFolderAccount(c.list), c.account) << AccessListSddl(c.list);
}

// A folder made before the service's SID type became restricted lacks the
// entry its service SID needs; one made since, or for the virtual account
// (whose SID that is), or by hand, is not taken for such a folder.
TEST(LogFolderAccess, TellsAFolderMadeWithoutTheServiceSidsEntry) {
    const std::wstring service = L"S-1-5-80-1-2-3-4-5", system = L"S-1-5-18", local = L"S-1-5-19";
    const struct {
        AccessList list;
        std::wstring account;
        bool without;
    } cases[] = {
        {LogFolderAccessList(local), local, true},
        {LogFolderAccessList(system), system, true},
        {LogFolderAccessList(local, service), local, false},
        {LogFolderAccessList(system, service), system, false},
        {LogFolderAccessList(service), service, false},
        {LogFolderAccessList(system), local, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MadeWithoutServiceSid(c.list, c.account, service), c.without) << AccessListSddl(c.list);
    }
}

}  // namespace
