// The reading of access lists against the platform's real answers, under
// Wine: files and folders that tests/security_reading_probe.cmake made with
// chosen Unix modes, which Wine turns into access lists, and descriptors
// built from SDDL for what Wine keeps no permissions on (services).
#include "setup/audit/security_reading.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "tests/security_reading_probe.h"

namespace {

using reading_test::kProbe;
const wchar_t kEveryone[] = L"S-1-1-0";

// Wine's Everyone entry for a mode whose "other" bits are r-x and rwx.
constexpr std::uint32_t kWineReadable = 0x1200A9;
constexpr std::uint32_t kWineWritable = 0x1301FF;
constexpr std::uint8_t kOici = kObjectInheritAce | kContainerInheritAce;

std::vector<AccessFinding> Warnings(const std::vector<AccessFinding>& findings) {
    std::vector<AccessFinding> warnings;
    for (const AccessFinding& f : findings) {
        if (f.level == FindingLevel::Warning) warnings.push_back(f);
    }
    return warnings;
}

// Wine's Everyone entry for each mode, as read and converted.
struct FileCase {
    const wchar_t* path;  // under the probe folder
    std::uint32_t everyone;
    std::uint8_t flags;
};

const FileCase kFileCases[] = {
    {L"\\closed\\program.exe", kWineReadable, 0},
    {L"\\open_file\\program.exe", kWineWritable, 0},
    {L"\\closed", kWineReadable, kOici},
    {L"\\open_folder", kWineWritable, kOici},
};

TEST(ReadFileAccess, ReadsWhatThePlatformMakesOfAFilesMode) {
    for (const FileCase& c : kFileCases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.path)));
        AccessList list;
        ASSERT_EQ(ReadFileAccess(kProbe + c.path, list), static_cast<DWORD>(NO_ERROR));
        ASSERT_TRUE(list.present);
        auto everyone = std::find_if(list.entries.begin(), list.entries.end(),
                                     [](const AccessEntry& e) { return e.sid == kEveryone; });
        ASSERT_NE(everyone, list.entries.end());
        EXPECT_EQ(everyone->type, AccessEntryType::Allow);
        EXPECT_EQ(everyone->mask, c.everyone);
        EXPECT_EQ(everyone->flags, c.flags);
    }
}

// Each finding's object, as "kind object".
std::vector<std::wstring> Objects(const std::vector<AccessFinding>& findings) {
    std::vector<std::wstring> objects;
    for (const AccessFinding& f : findings) {
        objects.push_back(std::to_wstring(static_cast<int>(f.kind)) + L" " + f.object);
    }
    return objects;
}

std::wstring Object(AuditedKind kind, const std::wstring& path) {
    return std::to_wstring(static_cast<int>(kind)) + L" " + path;
}

struct AuditCase {
    const char* what;
    std::vector<std::wstring> files;
    std::vector<std::wstring> warned;  // as Object() gives them, in order
};

const AuditCase kAuditCases[] = {
    {"nothing anyone may write", {kProbe + L"\\closed\\program.exe"}, {}},
    {"a file everyone may write",
     {kProbe + L"\\open_file\\program.exe"},
     {Object(AuditedKind::File, kProbe + L"\\open_file\\program.exe")}},
    {"a folder everyone may write",
     {kProbe + L"\\open_folder\\program.exe"},
     {Object(AuditedKind::OwnFolder, kProbe + L"\\open_folder")}},
    {"a folder everyone may write, above the file",
     {kProbe + L"\\open_folder\\sub\\program.exe"},
     {Object(AuditedKind::FolderAbove, kProbe + L"\\open_folder")}},
    {"a folder above one file and the other's own is judged as its own, once",
     {kProbe + L"\\open_folder\\sub\\program.exe", kProbe + L"\\OPEN_FOLDER\\program.exe"},
     {Object(AuditedKind::OwnFolder, kProbe + L"\\open_folder")}},
    {"a path with / and .. is judged where it leads",
     {L"C:/security_reading_probe/closed/../open_file/program.exe"},
     {Object(AuditedKind::File, kProbe + L"\\open_file\\program.exe")}},
};

TEST(AuditFilesAccess, WarnsForEachFileOrFolderEveryoneMayWrite) {
    for (const AuditCase& c : kAuditCases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Objects(Warnings(AuditFilesAccess(c.files))), c.warned);
    }
}

// Wine gives its own user full control of everything: a note for each
// object read shows which ones were.
TEST(AuditFilesAccess, ReadsEveryFolderUpToTheRootOnce) {
    std::vector<AccessFinding> findings =
        AuditFilesAccess({kProbe + L"\\closed\\program.exe", kProbe + L"\\open_file\\program.exe"});
    std::vector<std::wstring> objects = Objects(findings);
    objects.erase(std::unique(objects.begin(), objects.end()), objects.end());
    std::vector<std::wstring> expected = {
        Object(AuditedKind::File, kProbe + L"\\closed\\program.exe"),
        Object(AuditedKind::OwnFolder, kProbe + L"\\closed"),
        Object(AuditedKind::FolderAbove, kProbe),
        Object(AuditedKind::FolderAbove, L"C:\\"),
        Object(AuditedKind::File, kProbe + L"\\open_file\\program.exe"),
        Object(AuditedKind::OwnFolder, kProbe + L"\\open_file"),
    };
    EXPECT_EQ(objects, expected);
}

// Descriptors as Windows writes them, through the platform's own converter,
// judged as a service's or as its key's: the principals warned about.
struct SddlCase {
    const wchar_t* sddl;
    AuditedKind kind;
    std::vector<std::wstring> warned;
};

const SddlCase kSddlCases[] = {
    {L"D:(A;;0x2;;;BU)(A;;WO;;;NU)", AuditedKind::Service,
     {L"BUILTIN\\Users", L"NT AUTHORITY\\NETWORK"}},
    // What Windows gives a service it creates: nothing to report.
    {L"D:(A;;CCLCSWRPWPDTLOCRRC;;;SY)(A;;CCDCLCSWRPWPDTLOCRSDRCWDWO;;;BA)"
     L"(A;;CCLCSWLOCRRC;;;IU)(A;;CCLCSWLOCRRC;;;SU)",
     AuditedKind::Service, {}},
    {L"D:(D;;DCWDWO;;;WD)(A;OICIIO;GA;;;AU)(A;;GA;;;IU)(A;;DC;;;AU)", AuditedKind::Service, {}},
    {L"D:(A;CI;KR;;;BU)(A;CI;KA;;;BA)(A;CI;KA;;;SY)(A;CIIO;KA;;;CO)(A;;KW;;;AU)",
     AuditedKind::RegistryKey, {L"NT AUTHORITY\\Authenticated Users"}},
    {L"D:", AuditedKind::Service, {}},
};

TEST(AccessListFromSddl, GivesWhatTheJudgingWarnsAbout) {
    for (const SddlCase& c : kSddlCases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.sddl)));
        AccessList list;
        ASSERT_EQ(AccessListFromSddl(c.sddl, list), static_cast<DWORD>(NO_ERROR));
        EXPECT_TRUE(list.present);
        std::vector<std::wstring> warned;
        for (const AccessFinding& f : Warnings(ReviewAccess(c.kind, L"Svc", list, AccountName))) {
            warned.push_back(f.principal);
        }
        EXPECT_EQ(warned, c.warned);
    }
    AccessList list;
    EXPECT_NE(AccessListFromSddl(L"D:(A;;", list), static_cast<DWORD>(NO_ERROR));
}

// Wine's converter makes an empty list of "D:NO_ACCESS_CONTROL": a null
// DACL is set by hand instead, and so is a descriptor without one.
TEST(AccessListOf, TakesANullListOrNoneAsNoListAtAll) {
    for (BOOL present : {TRUE, FALSE}) {
        SECURITY_DESCRIPTOR descriptor;
        ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
        ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, present, /*pDacl=*/nullptr, FALSE));
        AccessList list{true, {}};
        ASSERT_EQ(AccessListOf(&descriptor, list), static_cast<DWORD>(NO_ERROR));
        EXPECT_FALSE(list.present);
        std::vector<AccessFinding> findings =
            ReviewAccess(AuditedKind::Service, L"Svc", list, AccountName);
        ASSERT_EQ(findings.size(), 1u);
        EXPECT_EQ(findings[0].level, FindingLevel::Warning);
    }
}

TEST(ServiceAccess, ReadsTheServiceAndItsKeyAndNotesWhatCannotBeRead) {
    // Wine keeps no permissions on services: an empty list, which gives nothing.
    AccessList list;
    ASSERT_EQ(ReadServiceAccess(L"RpcSs", list), static_cast<DWORD>(NO_ERROR));
    EXPECT_TRUE(list.present);
    ASSERT_EQ(ReadServiceKeyAccess(L"RpcSs", list), static_cast<DWORD>(NO_ERROR));
    EXPECT_TRUE(list.present);
    EXPECT_FALSE(list.entries.empty());
    EXPECT_TRUE(AuditServiceObjectAccess(L"RpcSs").empty());

    EXPECT_EQ(ReadServiceAccess(L"NoSuchService", list),
              static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
    std::vector<AccessFinding> findings = AuditServiceObjectAccess(L"NoSuchService");
    ASSERT_EQ(findings.size(), 2u);
    EXPECT_EQ(findings[0].kind, AuditedKind::Service);
    EXPECT_EQ(findings[0].level, FindingLevel::Note);
    EXPECT_EQ(findings[0].text.rfind(L"Could not read who may change the service [NoSuchService], "
                                     L"so it was not checked. Windows error 1060: ", 0), 0u);
    EXPECT_EQ(findings[1].kind, AuditedKind::RegistryKey);
    EXPECT_EQ(findings[1].text.rfind(L"Could not read who may change the registry key "
                                     L"[HKLM\\SYSTEM\\CurrentControlSet\\Services\\NoSuchService], "
                                     L"so it was not checked. Windows error 2: ", 0), 0u);
}

}  // namespace
