// Who the allow entries of an access list let replace or change what a
// service runs, the deny entries before them taken off, each as a finding
// in words; who may read a file meant to hold secrets; and the folders on
// a file's path up to its root.
#include "setup/audit/access_review.h"

#include <algorithm>

#include "setup/model/text.h"

namespace {

const wchar_t kEveryone[] = L"S-1-1-0";
const wchar_t kOwnerRights[] = L"S-1-3-4";

// Groups that take in accounts no administrator picked one by one: a right
// given to one of them is given to whoever can sign in, or connect, or run a
// sandboxed app. The reason is printed with the name.
struct BroadGroup {
    const wchar_t* sid;  // a domain-relative RID ("-513") stands for S-1-5-21-a-b-c-513
    const wchar_t* name;
    const wchar_t* why;
};

const BroadGroup kBroadGroups[] = {
    {L"S-1-1-0", L"Everyone", L"every account, guests included"},
    {L"S-1-5-11", L"Authenticated Users",
     L"every account that has signed in, each domain user included"},
    {L"S-1-5-32-545", L"Users", L"every ordinary account of the machine, and the domain's users"},
    {L"S-1-5-4", L"INTERACTIVE", L"whoever signs in at the machine or by remote desktop"},
    {L"S-1-5-32-546", L"Guests", L"the guest account and whoever signs in as a guest"},
    {L"S-1-5-7", L"ANONYMOUS LOGON", L"connections that give no account at all"},
    {L"S-1-5-2", L"NETWORK", L"whoever signs in over the network"},
    {L"S-1-5-1", L"DIALUP", L"whoever signs in over a dial-up connection"},
    {L"S-1-5-14", L"REMOTE INTERACTIVE LOGON", L"whoever signs in by remote desktop"},
    {L"S-1-5-13", L"TERMINAL SERVER USER", L"whoever runs programs on a terminal server"},
    {L"S-1-5-15", L"This Organization", L"every account of the forest"},
    {L"S-1-5-1000", L"Other Organization", L"the accounts of other forests that are trusted"},
    {L"S-1-5-113", L"Local account", L"every local account of the machine"},
    {L"S-1-2-0", L"LOCAL", L"whoever signs in at the machine itself"},
    {L"S-1-2-1", L"CONSOLE LOGON", L"whoever signs in at the physical console"},
    {L"S-1-5-32-547", L"Power Users", L"a legacy group meant for ordinary users"},
    {L"S-1-5-32-555", L"Remote Desktop Users", L"whoever may sign in by remote desktop"},
    {L"S-1-15-2-1", L"ALL APPLICATION PACKAGES", L"every sandboxed app"},
    {L"S-1-15-2-2", L"ALL RESTRICTED APPLICATION PACKAGES",
     L"every sandboxed app, restricted ones included"},
    {L"-513", L"Domain Users",
     L"every account of the domain (on a machine in no domain, every local account)"},
    {L"-514", L"Domain Guests", L"the domain's guest accounts"},
    {L"-515", L"Domain Computers",
     L"every machine of the domain, so whatever runs as SYSTEM on any of them"},
};

const wchar_t* const kTrustedPrincipals[] = {
    L"S-1-5-18",      // SYSTEM
    L"S-1-5-32-544",  // Administrators
    L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",  // TrustedInstaller
};

}  // namespace

static std::wstring Upper(std::wstring text) {
    for (wchar_t& c : text) {
        if (c >= L'a' && c <= L'z') c = c - L'a' + L'A';
    }
    return text;
}

static bool SameSid(const std::wstring& a, const std::wstring& b) {
    return Upper(a) == Upper(b);
}

// S-1-5-21-a-b-c-<rid>: an account or group of a domain, or of the machine.
static bool IsDomainRelative(const std::wstring& sid, const std::wstring& rid) {
    const std::wstring prefix = L"S-1-5-21-";
    std::wstring upper = Upper(sid);
    if (upper.compare(0, prefix.size(), prefix) != 0) return false;
    if (upper.size() < prefix.size() + rid.size() ||
        upper.compare(upper.size() - rid.size(), rid.size(), rid) != 0) {
        return false;
    }
    std::wstring domain = upper.substr(prefix.size(), upper.size() - prefix.size() - rid.size());
    std::size_t dashes = 0;
    for (wchar_t c : domain) {
        if (c == L'-') {
            ++dashes;
        } else if (c < L'0' || c > L'9') {
            return false;
        }
    }
    return dashes == 2 && domain.front() != L'-' && domain.back() != L'-' &&
           domain.find(L"--") == std::wstring::npos;
}

static const BroadGroup* FindBroadGroup(const std::wstring& sid) {
    for (const BroadGroup& group : kBroadGroups) {
        bool relative = group.sid[0] == L'-';
        if (relative ? IsDomainRelative(sid, group.sid) : SameSid(sid, group.sid)) return &group;
    }
    return nullptr;
}

// Rights taken away, for this trustee, by the deny entries before entry i.
static std::uint32_t DeniedBefore(AuditedKind kind, const AccessList& list, std::size_t i) {
    const std::wstring& trustee = list.entries[i].sid;
    std::uint32_t denied = 0;
    for (std::size_t j = 0; j < i; ++j) {
        const AccessEntry& entry = list.entries[j];
        if (entry.type != AccessEntryType::Deny || (entry.flags & kInheritOnlyAce)) continue;
        if (SameSid(entry.sid, trustee) || SameSid(entry.sid, kEveryone)) {
            denied |= MapGenericRights(kind, entry.mask);
        }
    }
    return denied;
}

std::wstring AuditedObjectText(AuditedKind kind, const std::wstring& object) {
    const std::wstring named = Bracketed(object);
    switch (kind) {
    case AuditedKind::File: return L"the file " + named;
    case AuditedKind::OwnFolder: return L"the folder " + named + L", which holds the file";
    case AuditedKind::FolderAbove: return L"the folder " + named + L", on the file's path";
    case AuditedKind::Service: return L"the service " + named;
    case AuditedKind::RegistryKey: break;
    case AuditedKind::LogFolder: return L"the log folder " + named + L", which the service writes into";
    case AuditedKind::WorkingFolder:
        return L"the working folder " + named + L", which the program runs in";
    case AuditedKind::LogFolderAbove: return L"the folder " + named + L", on the log folder's path";
    case AuditedKind::WorkingFolderAbove:
        return L"the folder " + named + L", on the working folder's path";
    }
    return L"the service's registry key " + named;
}

// The object as a finding's sentence begins with it: "The folder [C:\A],
// which holds the file,".
static std::wstring ObjectPhrase(AuditedKind kind, const std::wstring& object) {
    std::wstring phrase = AuditedObjectText(kind, object);
    phrase[0] = L'T';
    if (phrase.back() != L']') phrase += L",";
    return phrase;
}

// A log folder runs nothing: what others may do there is plant links that
// the service, writing its log with its own rights, follows.
static std::wstring Consequence(AuditedKind kind, FindingLevel level) {
    const std::wstring through = kind == AuditedKind::LogFolder
                                     ? L"links planted in it"
                                     : L"a link put in the log folder's place";
    const std::wstring what = ConcernsLogFolder(kind)
                                  ? L"make the service overwrite other files through " + through
                                  : L"replace or change what the service runs";
    if (level == FindingLevel::Warning) {
        return L": any of them could " + what + L", with the service's account.";
    }
    return L": unless that is an administrator's account, it could " + what +
           L", with the service's account.";
}

static AccessFinding NoListFinding(AuditedKind kind, const std::wstring& object) {
    AccessFinding finding{FindingLevel::Warning, kind, object, kEveryone, L"Everyone",
                          RightsThatCount(kind), L"", L"Everyone (there is no access list at all)",
                          L"do anything with it"};
    finding.text = ObjectPhrase(kind, object) +
                   L" has no access list at all, which lets everyone do anything with it" +
                   Consequence(kind, FindingLevel::Warning);
    return finding;
}

static AccessFinding EntryFinding(AuditedKind kind, const std::wstring& object,
                                  const AccessEntry& entry, std::uint32_t rights,
                                  AccountNameFunction nameOf) {
    const BroadGroup* group = FindBroadGroup(entry.sid);
    std::wstring name = nameOf ? nameOf(entry.sid) : L"";
    if (name.empty()) name = group ? group->name : entry.sid;
    FindingLevel level = group ? FindingLevel::Warning : FindingLevel::Note;
    AccessFinding finding{level, kind, object, entry.sid, name, rights, L"", L"", L""};
    finding.who = group ? name + L" (" + group->why + L")"
                        : name == entry.sid ? name : name + L" (" + entry.sid + L")";
    finding.rightsText = RightsInWords(kind, entry.mask, rights);
    finding.text = ObjectPhrase(kind, object) + L" lets " + finding.who + L" " +
                   finding.rightsText + Consequence(kind, level);
    return finding;
}

// The owner may change the access list whatever it says (no deny entry
// takes that away), unless an entry for OWNER RIGHTS says what the owner may
// do instead; that entry is judged as any other. An owner whose entries let
// it change the list already is not named twice.
static void ReviewOwner(AuditedKind kind, const std::wstring& object, const AccessList& list,
                        AccountNameFunction nameOf, std::vector<AccessFinding>& findings) {
    if (list.owner.empty() || IsTrustedPrincipal(list.owner)) return;
    for (const AccessEntry& entry : list.entries) {
        if (SameSid(entry.sid, kOwnerRights) && !(entry.flags & kInheritOnlyAce)) return;
    }
    for (const AccessFinding& finding : findings) {
        if (SameSid(finding.sid, list.owner) && (finding.rights & kWriteDac)) return;
    }
    const AccessEntry owner{AccessEntryType::Allow, 0, kWriteDac, list.owner};
    AccessFinding finding = EntryFinding(kind, object, owner, kWriteDac, nameOf);
    finding.rightsText += L", as its owner";
    finding.text = ObjectPhrase(kind, object) + L" lets " + finding.who + L" " +
                   finding.rightsText + Consequence(kind, finding.level);
    findings.push_back(finding);
}

static bool SeparatesFolders(wchar_t c, bool literal) {
    return c == L'\\' || (!literal && c == L'/');
}

// Where the next separator after position from is, or the text's end.
static std::size_t NextSeparator(const std::wstring& path, std::size_t from, bool literal) {
    while (from < path.size() && !SeparatesFolders(path[from], literal)) ++from;
    return from;
}

// The length of the root with its closing separator (C:\, \\server\share\,
// \\?\C:\, \\?\UNC\server\share\, \\?\Volume{...}\), or 0 if there is none.
static std::size_t RootLength(const std::wstring& path, bool literal) {
    if (!literal) {
        if (path.size() >= 3 && path[1] == L':' && SeparatesFolders(path[2], false)) {
            wchar_t drive = Upper(path.substr(0, 1))[0];
            return drive >= L'A' && drive <= L'Z' ? 3 : 0;
        }
        if (path.size() < 3 || !SeparatesFolders(path[0], false) ||
            !SeparatesFolders(path[1], false)) {
            return 0;
        }
        std::size_t server = NextSeparator(path, 2, false);
        if (server == 2 || server >= path.size()) return 0;
        std::size_t share = NextSeparator(path, server + 1, false);
        if (share == server + 1 || share >= path.size()) return 0;
        return share + 1;
    }
    const std::size_t prefix = 4;  // \\?\ or \\.\ .
    if (Upper(path.substr(prefix, 4)) == L"UNC\\") {
        std::size_t server = NextSeparator(path, prefix + 4, true);
        if (server == prefix + 4 || server >= path.size()) return 0;
        std::size_t share = NextSeparator(path, server + 1, true);
        if (share == server + 1 || share >= path.size()) return 0;
        return share + 1;
    }
    std::size_t volume = NextSeparator(path, prefix, true);
    if (volume == prefix || volume >= path.size()) return 0;
    return volume + 1;
}

bool IsTrustedPrincipal(const std::wstring& sid) {
    for (const wchar_t* trusted : kTrustedPrincipals) {
        if (SameSid(sid, trusted)) return true;
    }
    return false;
}

std::vector<AccessFinding> ReviewAccess(AuditedKind kind, const std::wstring& object,
                                        const AccessList& list, AccountNameFunction nameOf) {
    std::vector<AccessFinding> findings;
    if (!list.present) {
        findings.push_back(NoListFinding(kind, object));
        return findings;
    }
    for (std::size_t i = 0; i < list.entries.size(); ++i) {
        const AccessEntry& entry = list.entries[i];
        // An inherit-only entry grants nothing on the object itself.
        if (entry.type != AccessEntryType::Allow || (entry.flags & kInheritOnlyAce)) continue;
        if (IsTrustedPrincipal(entry.sid)) continue;
        std::uint32_t rights = MapGenericRights(kind, entry.mask) & RightsThatCount(kind);
        rights &= ~DeniedBefore(kind, list, i);
        if (rights == 0) continue;
        findings.push_back(EntryFinding(kind, object, entry, rights, nameOf));
    }
    ReviewOwner(kind, object, list, nameOf, findings);
    return findings;
}

static std::wstring BroadGroupText(const BroadGroup& group, const std::wstring& sid,
                                   AccountNameFunction nameOf) {
    std::wstring name = nameOf ? nameOf(sid) : L"";
    return (name.empty() ? group.name : name) + L" (" + group.why + L")";
}

std::vector<std::wstring> BroadReaders(const AccessList& list, AccountNameFunction nameOf) {
    if (!list.present) return {BroadGroupText(kBroadGroups[0], kEveryone, nameOf)};
    std::vector<std::wstring> readers;
    for (std::size_t i = 0; i < list.entries.size(); ++i) {
        const AccessEntry& entry = list.entries[i];
        if (entry.type != AccessEntryType::Allow || (entry.flags & kInheritOnlyAce)) continue;
        const BroadGroup* group = FindBroadGroup(entry.sid);
        if (!group) continue;
        const AuditedKind file = AuditedKind::File;
        if (!(MapGenericRights(file, entry.mask) & ~DeniedBefore(file, list, i) & kFileReadData)) {
            continue;
        }
        const std::wstring text = BroadGroupText(*group, entry.sid, nameOf);
        if (std::find(readers.begin(), readers.end(), text) == readers.end()) {
            readers.push_back(text);
        }
    }
    return readers;
}

static bool IsLiteralPath(const std::wstring& path) {
    return path.size() >= 4 && path[0] == L'\\' && path[1] == L'\\' &&
           (path[2] == L'?' || path[2] == L'.') && path[3] == L'\\';
}

// Where the path ends without the separators after its last name.
static std::size_t EndOfLastName(const std::wstring& path, std::size_t root, bool literal) {
    std::size_t end = path.size();
    while (end > root && SeparatesFolders(path[end - 1], literal)) --end;
    return end;
}

std::wstring WithoutTrailingSeparators(const std::wstring& path) {
    const bool literal = IsLiteralPath(path);
    const std::size_t root = RootLength(path, literal);
    if (root == 0) return path;
    return path.substr(0, EndOfLastName(path, root, literal));
}

std::vector<std::wstring> FoldersUpToRoot(const std::wstring& filePath) {
    const bool literal = IsLiteralPath(filePath);
    std::size_t root = RootLength(filePath, literal);
    std::vector<std::wstring> folders;
    if (root == 0 || root >= filePath.size()) return folders;
    const std::size_t end = EndOfLastName(filePath, root, literal);
    for (std::size_t i = end; i-- > root;) {
        if (!SeparatesFolders(filePath[i], literal)) continue;
        if (SeparatesFolders(filePath[i - 1], literal)) continue;  // doubled: the same folder
        folders.push_back(filePath.substr(0, i));
    }
    if (end > root) folders.push_back(filePath.substr(0, root));
    return folders;
}
