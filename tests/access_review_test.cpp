#include "setup/audit/access_review.h"

#include <gtest/gtest.h>

namespace {

const wchar_t kEveryone[] = L"S-1-1-0";
const wchar_t kUsers[] = L"S-1-5-32-545";
const wchar_t kAlice[] = L"S-1-5-21-1004336348-1177238915-682003330-1001";

constexpr std::uint32_t kWineWritable = 0x1301FF;  // Wine's Everyone entry for mode 666
constexpr std::uint8_t kOici = kObjectInheritAce | kContainerInheritAce;
constexpr AuditedKind kFile = AuditedKind::File, kOwn = AuditedKind::OwnFolder,
                      kAbove = AuditedKind::FolderAbove, kService = AuditedKind::Service,
                      kKey = AuditedKind::RegistryKey, kLog = AuditedKind::LogFolder,
                      kLogAbove = AuditedKind::LogFolderAbove;
constexpr std::uint32_t kWrite = kFileWriteData, kAppend = kFileAppendData,
                        kChild = kFileDeleteChild, kDac = kWriteDac, kOwner = kWriteOwner,
                        kGW = kGenericWrite, kGA = kGenericAll;

std::wstring NameOf(const std::wstring& sid) {
    if (sid == kAlice) return L"MACHINE\\alice";
    return sid == kUsers ? L"BUILTIN\\Users" : L"";
}

AccessEntry Allow(const std::wstring& sid, std::uint32_t mask, std::uint8_t flags = 0) {
    return AccessEntry{AccessEntryType::Allow, flags, mask, sid};
}

AccessEntry Deny(const std::wstring& sid, std::uint32_t mask, std::uint8_t flags = 0) {
    return AccessEntry{AccessEntryType::Deny, flags, mask, sid};
}

// One entry for Users: the rights left that count (none: no finding), and a
// phrase of their words.
struct RightCase {
    AuditedKind kind;
    std::uint32_t mask, rights;
    const wchar_t* words;
};

const RightCase kRightCases[] = {
    {kFile, kWrite, kWrite, L"lets BUILTIN\\Users (every ordinary account"},
    {kFile, kAppend, kAppend, L" append to it:"},
    {kFile, kDelete, kDelete, L" delete it:"},
    {kFile, kDac, kDac, L" change its permissions:"},
    {kFile, kOwner, kOwner, L" take ownership of it:"},
    {kFile, kGW, kWrite | kAppend, L" write its data and append to it (given as generic write):"},
    {kFile, kGA, RightsThatCount(kFile), L" do anything with it (full control):"},
    {kFile, kWineWritable, kWrite | kAppend | kDelete, L" write its data, append to it and delete"},
    {kFile, kChild | 0x110 /* write attributes, EAs */ | kGenericRead | kGenericExecute, 0, L""},
    {kOwn, kWrite, kWrite, L" add files to it:"},
    {kOwn, kAppend, kAppend, L" add subfolders to it:"},
    {kOwn, kChild, kChild, L" delete or rename what it holds:"},
    {kOwn, kDelete | kDac | kOwner, kDelete | kDac | kOwner,
     L" delete or rename it, change its permissions and take ownership of it:"},
    {kOwn, kGW, kWrite | kAppend, L"(given as generic write)"},
    {kAbove, kChild, kChild, L" delete or rename what it holds:"},
    {kAbove, kDelete | kDac | kOwner, kDelete | kDac | kOwner, L" delete or rename it, change"},
    {kAbove, kGA, RightsThatCount(kAbove), L"(full control)"},
    // A new file or folder up there replaces nothing the service runs.
    {kAbove, kWrite | kAppend | kGW, 0, L""},
    // Nor does it move the log folder; a rename does.
    {kLogAbove, kWrite | kAppend, 0, L""},
    {kLogAbove, kChild, kChild, L" delete or rename what it holds:"},
    {kService, kServiceChangeConfig, kServiceChangeConfig, L" change its configuration:"},
    {kService, kDac | kOwner, kDac | kOwner, L" change its permissions and take ownership"},
    {kService, kGW, kServiceChangeConfig, L" change its configuration (given as generic write):"},
    {kService, kServiceAllAccess, RightsThatCount(kService), L"(full control)"},
    // Start, stop, pause, query, delete; generic read and execute.
    {kService, 0x1F5 | kDelete | kGenericRead | kGenericExecute, 0, L""},
    {kKey, kKeySetValue, kKeySetValue, L" set its values:"},
    {kKey, kKeyCreateSubKey, kKeyCreateSubKey, L" create subkeys in it:"},
    {kKey, kDac | kOwner, kDac | kOwner, L" change its permissions and take ownership"},
    {kKey, kGW, kKeySetValue | kKeyCreateSubKey, L"(given as generic write)"},
    {kKey, kGA, RightsThatCount(kKey), L"(full control)"},
    {kKey, 0x20019 /* KEY_READ */ | 0x20 /* create link */ | kGenericRead, 0, L""},
    // Judged as the program's own folder, but it runs nothing: the danger is links.
    {kLog, kWineWritable, kWrite | kAppend | kChild | kDelete,
     L" delete or rename it: any of them could make the service overwrite other files through "
     L"links planted in it, with the service's account."},
    {kLog, kGA, RightsThatCount(kLog), L"(full control)"},
};

TEST(ReviewAccess, CountsTheRightsThatChangeWhatTheServiceRuns) {
    for (const RightCase& c : kRightCases) {
        SCOPED_TRACE(testing::Message() << int(c.kind) << " mask " << std::hex << c.mask);
        std::vector<AccessFinding> findings =
            ReviewAccess(c.kind, L"X", AccessList{true, {Allow(kUsers, c.mask)}}, NameOf);
        ASSERT_EQ(findings.size(), c.rights ? 1u : 0u);
        if (!c.rights) continue;
        EXPECT_EQ(findings[0].rights, c.rights);
        EXPECT_NE(findings[0].text.find(c.words), std::wstring::npos)
            << testing::PrintToString(findings[0].text);
    }
}

// Entries in order, and the findings as trustee and rights left.
struct OrderCase {
    const char* what;
    std::vector<AccessEntry> entries;
    std::vector<std::pair<std::wstring, std::uint32_t>> findings;
};

const OrderCase kOrderCases[] = {
    {"a deny for Everyone before", {Deny(kEveryone, kWrite), Allow(kUsers, kWineWritable)},
     {{kUsers, kAppend | kDelete}}},
    {"a generic deny for the trustee before", {Deny(kUsers, kGW), Allow(kUsers, kFileAllAccess)},
     {{kUsers, kDelete | kDac | kOwner}}},
    {"a deny after", {Allow(kUsers, kDelete), Deny(kUsers, kGA)}, {{kUsers, kDelete}}},
    {"a deny for another", {Deny(L"S-1-5-11", kGA), Allow(kUsers, kDelete)}, {{kUsers, kDelete}}},
    {"a deny for children", {Deny(kEveryone, kGA, kOici | kInheritOnlyAce), Allow(kUsers, kDelete)},
     {{kUsers, kDelete}}},
    {"allows for children", {Allow(kUsers, kGA, kOici | kInheritOnlyAce),
                             Allow(kEveryone, kGA, kObjectInheritAce | kInheritOnlyAce)}, {}},
    {"an inherited allow", {Allow(kUsers, kDelete, kInheritedAce | kOici)}, {{kUsers, kDelete}}},
    {"an entry of another type", {AccessEntry{AccessEntryType::Other, 0, kGA, kUsers}}, {}},
    {"each allow in order", {Allow(kAlice, kDelete), Allow(kEveryone, kDac), Allow(kAlice, kOwner)},
     {{kAlice, kDelete}, {kEveryone, kDac}, {kAlice, kOwner}}},
};

TEST(ReviewAccess, TakesDenyEntriesInTheListsOrder) {
    for (const OrderCase& c : kOrderCases) {
        SCOPED_TRACE(c.what);
        std::vector<AccessFinding> findings =
            ReviewAccess(kFile, L"X", AccessList{true, c.entries}, NameOf);
        ASSERT_EQ(findings.size(), c.findings.size());
        for (std::size_t i = 0; i < findings.size(); ++i) {
            EXPECT_EQ(std::make_pair(findings[i].sid, findings[i].rights), c.findings[i]);
        }
    }
}

// Whatever the right and the kind of object, denying it to Everyone first
// leaves it to no one.
TEST(ReviewAccess, ADenyForEveryoneBeforeOutweighsTheSameAllow) {
    for (AuditedKind kind : {kFile, kOwn, kAbove, kService, kKey}) {
        for (int bit = 0; bit < 32; ++bit) {
            SCOPED_TRACE(testing::Message() << "kind " << int(kind) << " bit " << bit);
            std::uint32_t right = 1u << bit;
            AccessList list{true, {Deny(kEveryone, right), Allow(kUsers, right)}};
            EXPECT_TRUE(ReviewAccess(kind, L"X", list, NameOf).empty());
        }
    }
}

// A broad group gives a warning, anyone else a note naming it, the system's
// own accounts nothing.
struct PrincipalCase {
    const wchar_t* sid;
    int level;  // a FindingLevel, or kNoFinding
    const wchar_t* phrase;
};
constexpr int kNoFinding = -1, kWarned = int(FindingLevel::Warning), kNoted = int(FindingLevel::Note);

const PrincipalCase kPrincipalCases[] = {
    {L"S-1-1-0", kWarned, L"lets Everyone (every account, guests included) delete it: any of"},
    {L"S-1-5-11", kWarned, L"lets Authenticated Users ("},
    {L"S-1-5-32-545", kWarned, L"lets BUILTIN\\Users ("},
    {L"S-1-5-4", kWarned, L"lets INTERACTIVE ("},
    {L"S-1-5-32-546", kWarned, L"lets Guests ("},
    {L"S-1-5-7", kWarned, L"lets ANONYMOUS LOGON ("},
    {L"S-1-15-2-1", kWarned, L"lets ALL APPLICATION PACKAGES ("},
    {L"S-1-5-21-1004336348-1177238915-682003330-513", kWarned, L"lets Domain Users ("},
    {kAlice, kNoted, L"lets MACHINE\\alice (S-1-5-21-1004336348-1177238915-682003330-1001) "
                     L"delete it: unless that is an administrator's account"},
    {L"S-1-5-21-1004336348-1177238915-513", kNoted, L"lets S-1-5-21-1004336348-1177238915-513 "},
    {L"S-1-5-21-1-2-3-4-513", kNoted, L""},
    {L"S-1-5-18", kNoFinding, L""},
    {L"S-1-5-32-544", kNoFinding, L""},
    {L"s-1-5-32-544", kNoFinding, L""},
    {L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464", kNoFinding, L""},
};

TEST(ReviewAccess, WarnsForBroadGroupsAndNamesEveryOtherAccount) {
    for (const PrincipalCase& c : kPrincipalCases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.sid)));
        AccessList list{true, {Allow(c.sid, kDelete)}};
        std::vector<AccessFinding> findings = ReviewAccess(kFile, L"X", list, NameOf);
        ASSERT_EQ(findings.size(), c.level == kNoFinding ? 0u : 1u);
        if (c.level == kNoFinding) continue;
        EXPECT_EQ(int(findings[0].level), c.level);
        EXPECT_NE(findings[0].text.find(c.phrase), std::wstring::npos)
            << testing::PrintToString(findings[0].text);
    }
}

TEST(ReviewAccess, NamesTheObjectThePrincipalAndTheRights) {
    const struct {
        AuditedKind kind;
        const wchar_t* sid;
        std::wstring text;
    } kCases[] = {
        {kOwn, kEveryone,
         L"The folder [C:\\Tools], which holds the file, lets Everyone (every account, guests "
         L"included) add files to it, add subfolders to it, delete or rename what it holds and "
         L"delete or rename it: any of them could replace or change what the service runs, with "
         L"the service's account."},
        {kLog, kAlice,
         L"The log folder [C:\\Tools], which the service writes into, lets MACHINE\\alice (" +
             std::wstring(kAlice) +
             L") add files to it, add subfolders to it, delete or rename what it holds and delete "
             L"or rename it: unless that is an administrator's account, it could make the service "
             L"overwrite other files through links planted in it, with the service's account."},
        {kLogAbove, kUsers,
         L"The folder [C:\\Tools], on the log folder's path, lets BUILTIN\\Users (every ordinary "
         L"account of the machine, and the domain's users) delete or rename what it holds and "
         L"delete or rename it: any of them could make the service overwrite other files through "
         L"a link put in the log folder's place, with the service's account."},
    };
    for (const auto& c : kCases) {
        AccessList list{true, {Allow(c.sid, kWineWritable, kOici)}};
        std::vector<AccessFinding> findings = ReviewAccess(c.kind, L"C:\\Tools", list, NameOf);
        ASSERT_EQ(findings.size(), 1u);
        EXPECT_EQ(findings[0].text, c.text);
    }
}

TEST(ReviewAccess, NoListAtAllLetsEveryoneDoEverythingAndAnEmptyOneNoOne) {
    for (AuditedKind kind : {kFile, kAbove, kService, kKey}) {
        SCOPED_TRACE(int(kind));
        std::vector<AccessFinding> none = ReviewAccess(kind, L"Svc", AccessList{false, {}}, NameOf);
        ASSERT_EQ(none.size(), 1u);
        EXPECT_EQ(none[0].level, FindingLevel::Warning);
        EXPECT_EQ(none[0].rights, RightsThatCount(kind));
        EXPECT_NE(none[0].text.find(L"has no access list at all, which lets everyone do anything"),
                  std::wstring::npos);
        EXPECT_TRUE(ReviewAccess(kind, L"Svc", AccessList{true, {}}, NameOf).empty());
    }
}

// The owner may change the list whatever it says: a folder an ordinary user
// made, and then gave the list the setup program makes, is still theirs.
TEST(ReviewAccess, AnOwnerMayChangeTheListWhateverItSays) {
    const AccessEntry system = Allow(L"S-1-5-18", kFileAllAccess, kOici);
    const struct {
        std::wstring owner;
        std::vector<AccessEntry> entries;
        std::vector<FindingLevel> levels;
    } kCases[] = {
        {kAlice, {system}, {FindingLevel::Note}},
        {kUsers, {system}, {FindingLevel::Warning}},
        {kAlice, {Deny(kAlice, kDac), system}, {FindingLevel::Note}},  // no deny takes it away
        {kAlice, {Allow(kAlice, kFileAllAccess)}, {FindingLevel::Note}},  // named once
        {kAlice, {Allow(L"S-1-3-4", kFileGenericRead)}, {}},              // OWNER RIGHTS bounds it
        {kAlice, {Allow(L"S-1-3-4", kDac, kOici | kInheritOnlyAce)}, {FindingLevel::Note}},
        {L"S-1-5-32-544", {system}, {}},
        {L"", {system}, {}},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::PrintToString(c.owner) + " " + std::to_string(c.entries.size()));
        AccessList list{true, c.entries, c.owner};
        std::vector<AccessFinding> findings = ReviewAccess(kLog, LR"(C:\L)", list, NameOf);
        ASSERT_EQ(findings.size(), c.levels.size());
        if (findings.empty()) continue;
        EXPECT_EQ(findings[0].level, c.levels[0]);
        EXPECT_EQ(findings[0].sid, c.owner);
        EXPECT_TRUE(findings[0].rights & kDac);
    }
    AccessList list{true, {system}, kAlice};
    EXPECT_NE(ReviewAccess(kFile, LR"(C:\T\u.exe)", list, NameOf)[0].text.find(
                  L"lets MACHINE\\alice (" + std::wstring(kAlice) +
                  L") change its permissions, as its owner: unless"),
              std::wstring::npos);
}

// Who of the broad groups may read a file meant for secrets.
TEST(BroadReaders, NamesTheBroadGroupsThatMayReadTheData) {
    const wchar_t* everyone = L"Everyone (every account, guests included)";
    const wchar_t* users = L"BUILTIN\\Users (every ordinary account of the machine, and the "
                           L"domain's users)";
    const struct {
        AccessList list;
        std::vector<std::wstring> readers;
    } kCases[] = {
        {{true, {Allow(kEveryone, 0x1200A9)}}, {everyone}},  // Wine's entry for mode 644
        {{true, {Allow(kUsers, kGenericRead), Allow(kUsers, kFileReadData)}}, {users}},
        {{true, {Allow(kUsers, kFileWriteData | kDelete)}}, {}},
        {{true, {Deny(kEveryone, kFileReadData), Allow(kUsers, kFileGenericRead)}}, {}},
        {{true, {Allow(kUsers, kFileGenericRead), Deny(kEveryone, kFileReadData)}}, {users}},
        {{true, {Allow(kEveryone, kGenericAll, kOici | kInheritOnlyAce)}}, {}},
        {{true, {Allow(kAlice, kFileAllAccess), Allow(L"S-1-5-18", kFileAllAccess)}}, {}},
        {{false, {}}, {everyone}},
        {{true, {}}, {}},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::PrintToString(c.readers));
        EXPECT_EQ(BroadReaders(c.list, NameOf), c.readers);
    }
}

const std::pair<const wchar_t*, std::vector<std::wstring>> kParentFolderCases[] = {
    {LR"(C:\Program Files\V\u.exe)", {LR"(C:\Program Files\V)", LR"(C:\Program Files)", LR"(C:\)"}},
    {LR"(c:\u.exe)", {LR"(c:\)"}},
    {LR"(C:/tools\\x/u.exe)", {LR"(C:/tools\\x)", LR"(C:/tools)", LR"(C:/)"}},
    {LR"(\\server\share\apps\u.exe)", {LR"(\\server\share\apps)", LR"(\\server\share\)"}},
    // Taken literally: / is part of a name there.
    {LR"(\\?\C:\apps/x\u.exe)", {LR"(\\?\C:\apps/x)", LR"(\\?\C:\)"}},
    {LR"(\\?\UNC\server\share\u.exe)", {LR"(\\?\UNC\server\share\)"}},
    {LR"(\\?\Volume{0b1e}\apps\u.exe)", {LR"(\\?\Volume{0b1e}\apps)", LR"(\\?\Volume{0b1e}\)"}},
    {LR"(C:\)", {}}, {LR"(C:u.exe)", {}}, {LR"(\u.exe)", {}}, {LR"(\\server\u.exe)", {}},
    {LR"(\\?\C:)", {}},
};

TEST(FoldersUpToRoot, WalksFromTheFilesFolderToTheRootOfItsDriveOrShare) {
    for (const auto& c : kParentFolderCases) {
        EXPECT_EQ(FoldersUpToRoot(c.first), c.second) << testing::PrintToString(c.first);
    }
}

}  // namespace
