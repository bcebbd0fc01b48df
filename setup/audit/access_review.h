// Who, besides the system and its administrators, may replace or change what
// a service runs: judged from an object's access list alone, with no platform
// call, so that every rule is tested on the host.
#pragma once

#include <string>
#include <vector>

#include "setup/audit/access_rights.h"

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
// An owner other than those three may change the list whatever it says: one
// more finding, unless an entry for OWNER RIGHTS bounds what it may do.
std::vector<AccessFinding> ReviewAccess(AuditedKind kind, const std::wstring& object,
                                        const AccessList& list, AccountNameFunction nameOf);

// The object as findings name it: "the folder [C:\A], which holds the file".
std::wstring AuditedObjectText(AuditedKind kind, const std::wstring& object);

// The broad groups that may read a file's data, each as its name and why it
// is broad ("Everyone (every account, guests included)"), once the deny
// entries before their allow entries are taken off. A file without an
// access list may be read by everyone. For a file meant to hold secrets.
std::vector<std::wstring> BroadReaders(const AccessList& list, AccountNameFunction nameOf);


// SYSTEM, Administrators and TrustedInstaller: whoever holds them owns the
// machine anyway.
bool IsTrustedPrincipal(const std::wstring& sid);

// Every folder from the file's own folder up to the root of its drive or
// share, root included, nearest first. Takes a full path with separators as
// the platform reads them: a \\?\ path is taken literally (its root is the
// volume, \\?\C:\ or \\?\UNC\server\share\), any other may use / as well as \.
// Empty for a path with no folder or no recognisable root.
std::vector<std::wstring> FoldersUpToRoot(const std::wstring& filePath);

// The path without the separators after its last name, read as above; a
// root keeps its own (C:\, \\server\share\), and a path with no
// recognisable root is given back as it is.
std::wstring WithoutTrailingSeparators(const std::wstring& path);
