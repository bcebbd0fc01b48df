// The permission audit's findings as install, apply, set and show print
// them: which of them stop a write, grouped by whom they concern, and as
// JSON.
#include "setup/audit/findings_report.h"

#include <gtest/gtest.h>

namespace {

const std::wstring kUser = L"S-1-5-21-1-2-3-1001";  // no name: shown by its SID

AccessList AllowList(std::initializer_list<std::pair<const wchar_t*, std::uint32_t>> entries) {
    AccessList list{true, {}};
    for (const auto& entry : entries) {
        list.entries.push_back({AccessEntryType::Allow, 0, entry.second, entry.first});
    }
    return list;
}

std::vector<AccessFinding> Review(AuditedKind kind, const std::wstring& object,
                                  const AccessList& list) {
    return ReviewAccess(kind, object, list, /*nameOf=*/nullptr);
}

// What each kind of object is to the service decides whether a warning
// stops install; a note never does.
TEST(FindsWritablePaths, StopsAWriteOnlyForAWarningAboutTheFilesAndTheirFolders) {
    const struct {
        AuditedKind kind;
        const wchar_t* sid;
        bool stops;
    } kCases[] = {
        {AuditedKind::File, L"S-1-1-0", true},
        {AuditedKind::OwnFolder, L"S-1-5-32-545", true},
        {AuditedKind::FolderAbove, L"S-1-5-11", true},
        {AuditedKind::Service, L"S-1-1-0", false},
        {AuditedKind::RegistryKey, L"S-1-1-0", false},
        {AuditedKind::File, kUser.c_str(), false},
        {AuditedKind::OwnFolder, kUser.c_str(), false},
        {AuditedKind::LogFolder, L"S-1-5-32-545", true},
        {AuditedKind::LogFolder, kUser.c_str(), false},
        {AuditedKind::LogFolderAbove, L"S-1-5-32-545", true},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.sid)) + " kind " +
                     std::to_string(static_cast<int>(c.kind)));
        const std::vector<AccessFinding> findings =
            Review(c.kind, L"C:\\x", AllowList({{c.sid, kGenericAll}}));
        ASSERT_EQ(findings.size(), 1u);
        EXPECT_EQ(FindsWritablePaths(findings), c.stops);
    }
}

TEST(AccessFindingsText, GroupsEachLevelByPrincipalWarningsFirst) {
    std::vector<AccessFinding> findings;
    for (const auto& part :
         {Review(AuditedKind::File, L"C:\\a\\p.exe",
                 AllowList({{kUser.c_str(), kFileAllAccess}, {L"S-1-1-0", kFileWriteData}})),
          Review(AuditedKind::OwnFolder, L"C:\\a",
                 AllowList({{L"S-1-5-32-545", kFileWriteData}, {kUser.c_str(), kFileAllAccess}})),
          Review(AuditedKind::FolderAbove, L"C:\\", AllowList({{L"S-1-1-0", kDelete}})),
          Review(AuditedKind::LogFolder, L"C:\\l",
                 AllowList({{L"S-1-5-11", kFileWriteData}, {kUser.c_str(), kFileDeleteChild}}))}) {
        findings.insert(findings.end(), part.begin(), part.end());
    }
    findings.push_back(AccessFinding{FindingLevel::Note, AuditedKind::FolderAbove, L"C:\\b", L"",
                                     L"", 0, L"Could not read who may change the folder [C:\\b].",
                                     L"", L""});
    const std::wstring through =
        L" may replace or change what the service runs, with the service's account, through:\n";
    EXPECT_EQ(AccessFindingsText(findings),
              L"Warning: Everyone (every account, guests included)" + through +
                  L"  the file [C:\\a\\p.exe]: write its data\n"
                  L"  the folder [C:\\], on the file's path: delete or rename it\n"
                  L"Warning: Users (every ordinary account of the machine, and the domain's "
                  L"users)" + through +
                  L"  the folder [C:\\a], which holds the file: add files to it\n"
                  L"Warning: Authenticated Users (every account that has signed in, each domain "
                  L"user included) may make the service overwrite other files through links "
                  L"planted in its log folder, with the service's account, through:\n"
                  L"  the log folder [C:\\l], which the service writes into: add files to it\n"
                  L"Note: " + kUser +
                  L" may replace or change what the service runs, with the service's account, "
                  L"unless it is an administrator's account, through:\n"
                  L"  the file [C:\\a\\p.exe]: do anything with it (full control)\n"
                  L"  the folder [C:\\a], which holds the file: do anything with it (full "
                  L"control)\n"
                  L"  the log folder [C:\\l], which the service writes into: delete or rename "
                  L"what it holds\n"
                  L"Note: Could not read who may change the folder [C:\\b].\n");
    EXPECT_EQ(AccessFindingTexts(findings, FindingLevel::Warning).size(), 4u);
    EXPECT_EQ(AccessFindingsText({}), L"");
}

TEST(AccessFindingsJson, GivesEachFindingsPartsAndNullForAListNotRead) {
    std::vector<AccessFinding> findings =
        Review(AuditedKind::OwnFolder, L"C:\\a", AllowList({{L"S-1-1-0", kFileWriteData | kDelete}}));
    findings.push_back(AccessFinding{FindingLevel::Note, AuditedKind::Service, L"U", L"", L"", 0,
                                     L"Could not read.", L"", L""});
    findings.push_back(AccessFinding{FindingLevel::Note, AuditedKind::LogFolder, L"L", L"", L"",
                                     0, L"Could not read.", L"", L""});
    const nlohmann::json json = AccessFindingsJson(findings);
    ASSERT_EQ(json.size(), 3u);
    EXPECT_EQ(json[0]["level"], "warning");
    EXPECT_EQ(json[0]["kind"], "ownFolder");
    EXPECT_EQ(json[0]["object"], "C:\\a");
    EXPECT_EQ(json[0]["principal"], "Everyone");
    EXPECT_EQ(json[0]["sid"], "S-1-1-0");
    EXPECT_EQ(json[0]["rights"], kFileWriteData | kDelete);
    EXPECT_EQ(json[0]["rightsText"], "add files to it and delete or rename it");
    EXPECT_EQ(json[0]["text"].get<std::string>().rfind("The folder [C:\\a]", 0), 0u);
    EXPECT_EQ(json[1]["level"], "note");
    EXPECT_EQ(json[1]["kind"], "service");
    EXPECT_TRUE(json[1]["principal"].is_null());
    EXPECT_TRUE(json[1]["sid"].is_null());
    EXPECT_EQ(json[2]["kind"], "logFolder");
}

}  // namespace
