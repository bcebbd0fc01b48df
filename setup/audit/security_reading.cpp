#include "setup/audit/security_reading.h"

#include <aclapi.h>

#include "setup/manager/service_security.h"
#include "setup/model/text.h"
#include "setup/windows_messages.h"

static_assert(kFileWriteData == FILE_WRITE_DATA && kFileWriteData == FILE_ADD_FILE, "");
static_assert(kFileAppendData == FILE_APPEND_DATA && kFileAppendData == FILE_ADD_SUBDIRECTORY, "");
static_assert(kFileDeleteChild == FILE_DELETE_CHILD && kFileAllAccess == FILE_ALL_ACCESS, "");
static_assert(kFileGenericWrite == FILE_GENERIC_WRITE && kFileGenericRead == FILE_GENERIC_READ, "");
static_assert(kFileGenericExecute == FILE_GENERIC_EXECUTE, "");
static_assert(kServiceChangeConfig == SERVICE_CHANGE_CONFIG, "");
static_assert(kServiceAllAccess == SERVICE_ALL_ACCESS, "");
static_assert(kKeySetValue == KEY_SET_VALUE && kKeyCreateSubKey == KEY_CREATE_SUB_KEY, "");
static_assert(kKeyAllAccess == KEY_ALL_ACCESS, "");
static_assert(kDelete == DELETE && kReadControl == READ_CONTROL && kWriteDac == WRITE_DAC, "");
static_assert(kWriteOwner == WRITE_OWNER && kSynchronize == SYNCHRONIZE, "");
static_assert(kGenericAll == GENERIC_ALL && kGenericWrite == GENERIC_WRITE, "");
static_assert(kGenericRead == GENERIC_READ && kGenericExecute == GENERIC_EXECUTE, "");
static_assert(kObjectInheritAce == OBJECT_INHERIT_ACE, "");
static_assert(kContainerInheritAce == CONTAINER_INHERIT_ACE, "");
static_assert(kInheritOnlyAce == INHERIT_ONLY_ACE && kInheritedAce == INHERITED_ACE, "");

static std::wstring SidText(PSID sid) {
    LPWSTR text = nullptr;
    if (!ConvertSidToStringSidW(sid, &text)) return L"";
    std::wstring copy = text;
    LocalFree(text);
    return copy;
}

// A null DACL, like none at all, lets everyone do everything.
static DWORD AccessListOfAcl(PACL acl, AccessList& list) {
    list = AccessList{acl != nullptr, {}};
    if (!acl) return NO_ERROR;
    ACL_SIZE_INFORMATION size = {};
    if (!GetAclInformation(acl, &size, sizeof(size), AclSizeInformation)) return GetLastError();
    for (DWORD i = 0; i < size.AceCount; ++i) {
        LPVOID ace = nullptr;
        if (!GetAce(acl, i, &ace)) return GetLastError();
        const ACE_HEADER* header = static_cast<const ACE_HEADER*>(ace);
        AccessEntry entry{AccessEntryType::Other, header->AceFlags, 0, L""};
        // Object and callback entries (directory objects, conditions) are
        // laid out otherwise; they are kept as "other", which grants nothing
        // here.
        BYTE type = header->AceType;
        if (type == ACCESS_ALLOWED_ACE_TYPE || type == ACCESS_DENIED_ACE_TYPE) {
            const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
            entry.type = type == ACCESS_ALLOWED_ACE_TYPE ? AccessEntryType::Allow
                                                          : AccessEntryType::Deny;
            entry.mask = allowed->Mask;
            entry.sid = SidText(const_cast<DWORD*>(&allowed->SidStart));
            if (entry.sid.empty()) return ERROR_INVALID_SID;
        }
        list.entries.push_back(entry);
    }
    return NO_ERROR;
}

DWORD AccessListOf(PSECURITY_DESCRIPTOR descriptor, AccessList& list) {
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL acl = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted)) return GetLastError();
    return AccessListOfAcl(present ? acl : nullptr, list);
}

DWORD AccessListFromSddl(const std::wstring& sddl, AccessList& list) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                              &descriptor, /*size=*/nullptr)) {
        return GetLastError();
    }
    DWORD error = AccessListOf(descriptor, list);
    LocalFree(descriptor);
    return error;
}

// With its owner, who may change the list whatever it says.
DWORD ReadFileAccess(const std::wstring& path, AccessList& list) {
    PACL acl = nullptr;
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    DWORD error = GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT,
                                        DACL_SECURITY_INFORMATION | OWNER_SECURITY_INFORMATION,
                                        &owner, /*ppsidGroup=*/nullptr, &acl, /*ppSacl=*/nullptr,
                                        &descriptor);
    if (error != ERROR_SUCCESS) return error;
    error = AccessListOfAcl(acl, list);
    if (owner) list.owner = SidText(owner);
    LocalFree(descriptor);
    return error;
}

DWORD ReadServiceAccess(const std::wstring& serviceName, AccessList& list) {
    std::vector<BYTE> descriptor;
    if (DWORD error = ReadServiceSecurity(serviceName, descriptor)) return error;
    return AccessListOf(descriptor.data(), list);
}

std::wstring ServiceKeyName(const std::wstring& serviceName) {
    return L"HKLM\\SYSTEM\\CurrentControlSet\\Services\\" + serviceName;
}

DWORD ReadServiceKeyAccess(const std::wstring& serviceName, AccessList& list) {
    HKEY key = nullptr;
    std::wstring path = L"SYSTEM\\CurrentControlSet\\Services\\" + serviceName;
    LONG error =
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), /*ulOptions=*/0, READ_CONTROL, &key);
    if (error != ERROR_SUCCESS) return static_cast<DWORD>(error);
    std::vector<BYTE> buffer(256);
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD size = static_cast<DWORD>(buffer.size());
        error = RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, buffer.data(), &size);
        if (error != ERROR_INSUFFICIENT_BUFFER) break;
        buffer.resize(size);
    }
    if (error == ERROR_SUCCESS) error = static_cast<LONG>(AccessListOf(buffer.data(), list));
    RegCloseKey(key);
    return static_cast<DWORD>(error);
}

std::wstring AccountName(const std::wstring& sidText) {
    PSID sid = nullptr;
    if (!ConvertStringSidToSidW(sidText.c_str(), &sid)) return L"";
    wchar_t name[256];
    wchar_t domain[256];
    DWORD nameLength = sizeof(name) / sizeof(name[0]);
    DWORD domainLength = sizeof(domain) / sizeof(domain[0]);
    SID_NAME_USE use;
    std::wstring account;
    if (LookupAccountSidW(/*lpSystemName=*/nullptr, sid, name, &nameLength, domain, &domainLength,
                          &use)) {
        account = domainLength > 0 ? std::wstring(domain) + L"\\" + name : name;
    }
    LocalFree(sid);
    return account;
}

std::wstring FullPathOf(const std::wstring& path) {
    if (TakenAsWritten(path)) return path;
    std::wstring full(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), &full[0],
                                        /*lpFilePart=*/nullptr);
        if (length == 0) return path;
        if (length < full.size()) {
            full.resize(length);
            return full;
        }
        full.resize(length);  // the size needed, with its terminating null
    }
    return path;
}

static AccessFinding ReadingFailure(AuditedKind kind, const std::wstring& object, DWORD error) {
    const wchar_t* what = kind == AuditedKind::Service       ? L"the service"
                          : kind == AuditedKind::RegistryKey ? L"the registry key"
                          : kind == AuditedKind::File        ? L"the file"
                                                             : L"the folder";
    return AccessFinding{FindingLevel::Note, kind, object, L"", L"", 0,
                         std::wstring(L"Could not read who may change ") + what + L" [" + object +
                             L"], so it was not checked. " + WindowsError(error),
                         L"", L""};
}

static void Audit(AuditedKind kind, const std::wstring& object, DWORD error, const AccessList& list,
                  std::vector<AccessFinding>& findings) {
    if (error != NO_ERROR) {
        findings.push_back(ReadingFailure(kind, object, error));
        return;
    }
    for (AccessFinding& finding : ReviewAccess(kind, object, list, AccountName)) {
        findings.push_back(finding);
    }
}

namespace {
struct AuditedPath {
    AuditedKind kind;
    std::wstring path;
};
}  // namespace

static bool SamePath(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), /*bIgnoreCase=*/TRUE) == CSTR_EQUAL;
}

// A folder that is one file's own and above the other is judged as its own:
// what counts there includes all that counts above.
static void AddPath(AuditedKind kind, const std::wstring& path, std::vector<AuditedPath>& paths) {
    for (AuditedPath& known : paths) {
        if (!SamePath(known.path, path)) continue;
        if (kind == AuditedKind::OwnFolder) known.kind = kind;
        return;
    }
    paths.push_back(AuditedPath{kind, path});
}

std::vector<AccessFinding> AuditFilesAccess(const std::vector<std::wstring>& files) {
    std::vector<AuditedPath> paths;
    for (const std::wstring& file : files) {
        std::wstring full = FullPathOf(file);
        AddPath(AuditedKind::File, full, paths);
        std::vector<std::wstring> folders = FoldersUpToRoot(full);
        for (std::size_t i = 0; i < folders.size(); ++i) {
            AddPath(i == 0 ? AuditedKind::OwnFolder : AuditedKind::FolderAbove, folders[i], paths);
        }
    }
    std::vector<AccessFinding> findings;
    for (const AuditedPath& path : paths) {
        AccessList list;
        DWORD error = ReadFileAccess(path.path, list);
        Audit(path.kind, path.path, error, list, findings);
    }
    return findings;
}

std::vector<AccessFinding> AuditFoldersAbove(AuditedKind kind, const std::wstring& folderBelow) {
    std::vector<AccessFinding> findings;
    for (const std::wstring& folder : FoldersUpToRoot(FullPathOf(folderBelow))) {
        if (GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES) continue;  // made later
        AccessList list;
        const DWORD error = ReadFileAccess(folder, list);
        Audit(kind, folder, error, list, findings);
    }
    return findings;
}

std::vector<AccessFinding> AuditServiceObjectAccess(const std::wstring& serviceName) {
    std::vector<AccessFinding> findings;
    AccessList list;
    DWORD error = ReadServiceAccess(serviceName, list);
    Audit(AuditedKind::Service, serviceName, error, list, findings);
    error = ReadServiceKeyAccess(serviceName, list);
    Audit(AuditedKind::RegistryKey, ServiceKeyName(serviceName), error, list, findings);
    return findings;
}
