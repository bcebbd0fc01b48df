// Who, besides the system and its administrators, may replace or change what
// a service runs: judged from an object's access list alone, with no platform
// call, so that every rule is tested on the host.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Access rights and entry flags with the platform's values, under names of
// our own: the host build has no Windows headers, and the Windows one checks
// these against them.
constexpr std::uint32_t kFileReadData = 0x0001;      // FILE_READ_DATA
constexpr std::uint32_t kFileWriteData = 0x0002;     // FILE_WRITE_DATA, FILE_ADD_FILE on a folder
constexpr std::uint32_t kFileAppendData = 0x0004;    // FILE_APPEND_DATA, FILE_ADD_SUBDIRECTORY
constexpr std::uint32_t kFileDeleteChild = 0x0040;   // FILE_DELETE_CHILD
constexpr std::uint32_t kFileAllAccess = 0x1F01FF;   // FILE_ALL_ACCESS
constexpr std::uint32_t kFileGenericWrite = 0x120116;
constexpr std::uint32_t kFileGenericRead = 0x120089;
constexpr std::uint32_t kFileGenericExecute = 0x1200A0;
constexpr std::uint32_t kServiceChangeConfig = 0x0002;  // SERVICE_CHANGE_CONFIG
constexpr std::uint32_t kServiceAllAccess = 0xF01FF;    // SERVICE_ALL_ACCESS
constexpr std::uint32_t kKeySetValue = 0x0002;          // KEY_SET_VALUE
constexpr std::uint32_t kKeyCreateSubKey = 0x0004;      // KEY_CREATE_SUB_KEY
constexpr std::uint32_t kKeyAllAccess = 0xF003F;        // KEY_ALL_ACCESS
constexpr std::uint32_t kDelete = 0x00010000;
constexpr std::uint32_t kReadControl = 0x00020000;
constexpr std::uint32_t kWriteDac = 0x00040000;
constexpr std::uint32_t kWriteOwner = 0x00080000;
constexpr std::uint32_t kSynchronize = 0x00100000;
constexpr std::uint32_t kGenericAll = 0x10000000;
constexpr std::uint32_t kGenericExecute = 0x20000000;
constexpr std::uint32_t kGenericWrite = 0x40000000;
constexpr std::uint32_t kGenericRead = 0x80000000;
constexpr std::uint8_t kObjectInheritAce = 0x01;
constexpr std::uint8_t kContainerInheritAce = 0x02;
constexpr std::uint8_t kInheritOnlyAce = 0x08;
constexpr std::uint8_t kInheritedAce = 0x10;

// One entry of an access list, as the platform keeps it, with the trustee's
// SID in its string form ("S-1-1-0").
enum class AccessEntryType { Allow, Deny, Other };

struct AccessEntry {
    AccessEntryType type;
    std::uint8_t flags;  // inheritance: OBJECT_INHERIT_ACE, INHERIT_ONLY_ACE, ...
    std::uint32_t mask;
    std::wstring sid;
};

// An object's discretionary access list. A descriptor without one lets
// everyone do everything; an empty one lets no one do anything.
struct AccessList {
    bool present;
    std::vector<AccessEntry> entries;
};

// What the object is to the service; it decides which rights count.
enum class AuditedKind {
    File,         // the wrapper's or the program's file
    OwnFolder,    // the folder that holds such a file
    FolderAbove,  // a folder further up, to the root of the drive or share
    Service,      // the service object in the manager
    RegistryKey,  // HKLM\SYSTEM\CurrentControlSet\Services\<name>
    LogFolder,    // the folder the launcher writes the program's output into
};

enum class FindingLevel { Warning, Note };

struct AccessFinding {
    FindingLevel level;      // a broad group is a warning; any other account a note
    AuditedKind kind;
    std::wstring object;     // the path, service name or key, as the caller gave it
    std::wstring sid;        // the trustee; empty for a reading failure
    std::wstring principal;  // its name, or the SID when it has none
    std::uint32_t rights;    // the rights that count and are not denied, generic ones mapped
    std::wstring text;       // one sentence: the object, the principal and the rights in words
    // The parts of that sentence, for a listing that groups findings by
    // principal: who it is ("Everyone (every account, guests included)") and
    // what it may do ("write its data and delete it"). Empty for a reading failure.
    std::wstring who;
    std::wstring rightsText;
};

// The account's name for a SID ("BUILTIN\Users"), or empty when it has none.
typedef std::wstring (*AccountNameFunction)(const std::wstring& sid);

// One finding per allow entry that still gives someone other than SYSTEM,
// Administrators or TrustedInstaller a right that counts for this kind of
// object, once the deny entries before it (for the same trustee, or for
// Everyone) are taken off. Entries only inherited by children are skipped.
std::vector<AccessFinding> ReviewAccess(AuditedKind kind, const std::wstring& object,
                                        const AccessList& list, AccountNameFunction nameOf);

// The broad groups that may read a file's data, each as its name and why it
// is broad ("Everyone (every account, guests included)"), once the deny
// entries before their allow entries are taken off. A file without an
// access list may be read by everyone. For a file meant to hold secrets.
std::vector<std::wstring> BroadReaders(const AccessList& list, AccountNameFunction nameOf);

// The rights that let someone replace or change what the service runs (in
// the log folder: plant links it writes through), for this kind of object,
// as specific rights (generic ones are mapped first).
std::uint32_t RightsThatCount(AuditedKind kind);

// A mask with its generic rights replaced by the specific ones they stand
// for on this kind of object.
std::uint32_t MapGenericRights(AuditedKind kind, std::uint32_t mask);

// Rights held on this kind of object, as a verb phrase: "write its data,
// append to it and delete it".
std::wstring RightsInWords(AuditedKind kind, std::uint32_t grantedMask, std::uint32_t rights);

// SYSTEM, Administrators and TrustedInstaller: whoever holds them owns the
// machine anyway.
bool IsTrustedPrincipal(const std::wstring& sid);

// Every folder from the file's own folder up to the root of its drive or
// share, root included, nearest first. Takes a full path with separators as
// the platform reads them: a \\?\ path is taken literally (its root is the
// volume, \\?\C:\ or \\?\UNC\server\share\), any other may use / as well as \.
// Empty for a path with no folder or no recognisable root.
std::vector<std::wstring> FoldersUpToRoot(const std::wstring& filePath);
