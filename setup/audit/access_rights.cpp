// The rights that count on each kind of audited object, the generic
// mapping each kind has on the platform, and the rights put in words.
#include "setup/audit/access_rights.h"

#include <iterator>
#include <vector>

#include "setup/model/text.h"

namespace {

struct NamedRight {
    std::uint32_t right;
    const wchar_t* words;  // what it lets one do, as a verb phrase
};

const NamedRight kFileRights[] = {
    {kFileWriteData, L"write its data"},
    {kFileAppendData, L"append to it"},
    {kDelete, L"delete it"},
    {kWriteDac, L"change its permissions"},
    {kWriteOwner, L"take ownership of it"},
};

// Adding a file beside the program plants a library it loads; deleting or
// renaming one replaces the program itself. In the log folder the same rights
// let one plant a link where the service is about to write.
const NamedRight kOwnFolderRights[] = {
    {kFileWriteData, L"add files to it"},
    {kFileAppendData, L"add subfolders to it"},
    {kFileDeleteChild, L"delete or rename what it holds"},
    {kDelete, L"delete or rename it"},
    {kWriteDac, L"change its permissions"},
    {kWriteOwner, L"take ownership of it"},
};

// Further up, only renaming a folder on the path (and making a new one in
// its place) or taking its permissions over reaches the program.
const NamedRight kFolderAboveRights[] = {
    {kFileDeleteChild, L"delete or rename what it holds"},
    {kDelete, L"delete or rename it"},
    {kWriteDac, L"change its permissions"},
    {kWriteOwner, L"take ownership of it"},
};

const NamedRight kServiceRights[] = {
    {kServiceChangeConfig, L"change its configuration"},
    {kWriteDac, L"change its permissions"},
    {kWriteOwner, L"take ownership of it"},
};

const NamedRight kKeyRights[] = {
    {kKeySetValue, L"set its values"},
    {kKeyCreateSubKey, L"create subkeys in it"},
    {kWriteDac, L"change its permissions"},
    {kWriteOwner, L"take ownership of it"},
};

struct RightsOfKind {
    const NamedRight* begin;
    const NamedRight* end;
};

// The generic mapping each kind of object has on the platform.
struct GenericMapping {
    std::uint32_t read, write, execute, all;
};

}  // namespace

static RightsOfKind NamedRights(AuditedKind kind) {
    switch (kind) {
    case AuditedKind::File: return {std::begin(kFileRights), std::end(kFileRights)};
    case AuditedKind::OwnFolder:
    case AuditedKind::WorkingFolder:
    case AuditedKind::LogFolder: return {std::begin(kOwnFolderRights), std::end(kOwnFolderRights)};
    case AuditedKind::FolderAbove:
    case AuditedKind::LogFolderAbove:
    case AuditedKind::WorkingFolderAbove:
        return {std::begin(kFolderAboveRights), std::end(kFolderAboveRights)};
    case AuditedKind::Service: return {std::begin(kServiceRights), std::end(kServiceRights)};
    case AuditedKind::RegistryKey: break;
    }
    return {std::begin(kKeyRights), std::end(kKeyRights)};
}

bool ConcernsLogFolder(AuditedKind kind) {
    return kind == AuditedKind::LogFolder || kind == AuditedKind::LogFolderAbove;
}

static GenericMapping MappingOf(AuditedKind kind) {
    switch (kind) {
    case AuditedKind::File:
    case AuditedKind::OwnFolder:
    case AuditedKind::FolderAbove:
    case AuditedKind::WorkingFolder:
    case AuditedKind::LogFolder:
    case AuditedKind::LogFolderAbove:
    case AuditedKind::WorkingFolderAbove:
        return {kFileGenericRead, kFileGenericWrite, kFileGenericExecute, kFileAllAccess};
    case AuditedKind::Service:
        // Read: query config and status, interrogate, enumerate dependents;
        // execute: start, stop, pause, user-defined controls.
        return {kReadControl | 0x8D, kReadControl | kServiceChangeConfig, kReadControl | 0x170,
                kServiceAllAccess};
    case AuditedKind::RegistryKey: break;
    }
    return {kReadControl | 0x19, kReadControl | kKeySetValue | kKeyCreateSubKey,
            kReadControl | 0x19, kKeyAllAccess};
}

static std::uint32_t AllAccessOf(AuditedKind kind) {
    return MappingOf(kind).all;
}

std::uint32_t RightsThatCount(AuditedKind kind) {
    std::uint32_t rights = 0;
    RightsOfKind named = NamedRights(kind);
    for (const NamedRight* r = named.begin; r != named.end; ++r) rights |= r->right;
    return rights;
}

std::uint32_t MapGenericRights(AuditedKind kind, std::uint32_t mask) {
    GenericMapping mapping = MappingOf(kind);
    std::uint32_t mapped = mask & ~(kGenericRead | kGenericWrite | kGenericExecute | kGenericAll);
    if (mask & kGenericRead) mapped |= mapping.read;
    if (mask & kGenericWrite) mapped |= mapping.write;
    if (mask & kGenericExecute) mapped |= mapping.execute;
    if (mask & kGenericAll) mapped |= mapping.all;
    return mapped;
}

std::wstring RightsInWords(AuditedKind kind, std::uint32_t grantedMask, std::uint32_t rights) {
    std::uint32_t all = AllAccessOf(kind);
    if ((MapGenericRights(kind, grantedMask) & all) == all && rights == RightsThatCount(kind)) {
        return L"do anything with it (full control)";
    }
    std::vector<std::wstring> words;
    RightsOfKind named = NamedRights(kind);
    for (const NamedRight* r = named.begin; r != named.end; ++r) {
        if (rights & r->right) words.push_back(r->words);
    }
    // Said, since an administrator looking at the list sees the generic right.
    std::vector<std::wstring> generics;
    if ((grantedMask & kGenericWrite) && (MapGenericRights(kind, kGenericWrite) & rights)) {
        generics.push_back(L"generic write");
    }
    if ((grantedMask & kGenericAll) && (MapGenericRights(kind, kGenericAll) & rights)) {
        generics.push_back(L"generic all");
    }
    std::wstring text = JoinWords(words);
    if (!generics.empty()) text += L" (given as " + JoinWords(generics) + L")";
    return text;
}
