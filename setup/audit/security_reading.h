// Reading the access lists that the permission audit judges: of the files a
// service runs and the folders above them, of the service object and of its
// registry key. Windows only; each gives NO_ERROR or the platform's error.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"
#include "setup/audit/access_review.h"

// The access list of a security descriptor, SIDs in their string form.
DWORD AccessListOf(PSECURITY_DESCRIPTOR descriptor, AccessList& list);

// A descriptor written in SDDL ("D:(A;;0x2;;;BU)"), so that the judging of
// services and keys can be exercised where the platform keeps no real ones.
DWORD AccessListFromSddl(const std::wstring& sddl, AccessList& list);

DWORD ReadFileAccess(const std::wstring& path, AccessList& list);
DWORD ReadServiceAccess(const std::wstring& serviceName, AccessList& list);
DWORD ReadServiceKeyAccess(const std::wstring& serviceName, AccessList& list);

// HKLM\SYSTEM\CurrentControlSet\Services\<name>, as findings name it.
std::wstring ServiceKeyName(const std::wstring& serviceName);

// DOMAIN\name for a SID string, or empty when the platform knows none.
std::wstring AccountName(const std::wstring& sid);

// The path as the platform will open it: relative parts, "." and ".."
// resolved and / made \, except for a \\?\ path, which it takes literally.
std::wstring FullPathOf(const std::wstring& path);

// The findings for each file and every folder from its own up to the root of
// its drive or share, each folder judged once (as a file's own folder if it
// is that to either file). A list that cannot be read gives a note.
std::vector<AccessFinding> AuditFilesAccess(const std::vector<std::wstring>& files);

// The findings for each folder above the log or working folder that is
// there, up to the root of its drive or share, judged as this kind: whoever
// may rename one may put a folder or a link of their own in the other's
// place. A list that cannot be read gives a note.
std::vector<AccessFinding> AuditFoldersAbove(AuditedKind kind, const std::wstring& folderBelow);

// The findings for the service object and its registry key; a list that
// cannot be read gives a note.
std::vector<AccessFinding> AuditServiceObjectAccess(const std::wstring& serviceName);
