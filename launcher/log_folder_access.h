// The access list a service's log folder is made with: SYSTEM and the
// administrators may do anything, the service's own account may read and
// write there (the launcher writes, renames and deletes its log files),
// and no one else may do anything. The setup program makes the folder with
// it, and the launcher too when the folder is missing at a start. Pure, so
// that it is judged on the host.
#pragma once

#include <optional>
#include <string>

#include "launcher/access_list.h"

// Read, write, execute and delete: the files' own rights the launcher needs
// to write a log and rotate it (FILE_GENERIC_READ | _WRITE | _EXECUTE | DELETE).
constexpr std::uint32_t kLogWriterRights = 0x1301BF;

// Protected from inheritance, each entry inherited by the files and folders
// made inside. accountSid: the service's account; SYSTEM gets no second entry.
// serviceSid, when given: the service's own SID, which a write-restricted
// service (SID type restricted) must find allowed too, beside its account.
AccessList LogFolderAccessList(const std::wstring& accountSid, const std::wstring& serviceSid = L"");

// The account a folder's list was made for by LogFolderAccessList, as its
// SID (for SYSTEM's list with a service SID, that SID); nothing when the list
// is not one it makes.
std::optional<std::wstring> LogFolderAccount(const AccessList& list);

// Whether the list is the one made for the account without the service
// SID's entry, which a write-restricted service needs to write there: the
// folder was made before the service's SID type became restricted. Never so
// for a virtual account, whose SID is the service SID.
bool MadeWithoutServiceSid(const AccessList& list, const std::wstring& accountSid, const std::wstring& serviceSid);

// The list in the platform's descriptor language, "D:P(A;OICI;FA;;;SY)...",
// which the platform turns into a security descriptor.
std::wstring AccessListSddl(const AccessList& list);
