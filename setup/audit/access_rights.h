// The rights on each kind of object the audit looks at: which of them let
// someone replace or change what a service runs, what the generic rights
// stand for there, and how the rights read in words. No platform call.
#pragma once

#include <cstdint>
#include <string>

#include "launcher/access_list.h"

// A service's and a registry key's own rights, checked like the others.
constexpr std::uint32_t kServiceChangeConfig = 0x0002;  // SERVICE_CHANGE_CONFIG
constexpr std::uint32_t kServiceAllAccess = 0xF01FF;    // SERVICE_ALL_ACCESS
constexpr std::uint32_t kKeySetValue = 0x0002;          // KEY_SET_VALUE
constexpr std::uint32_t kKeyCreateSubKey = 0x0004;      // KEY_CREATE_SUB_KEY
constexpr std::uint32_t kKeyAllAccess = 0xF003F;        // KEY_ALL_ACCESS

// What the object is to the service; it decides which rights count.
enum class AuditedKind {
    File,                // the wrapper's or the program's file
    OwnFolder,           // the folder that holds such a file
    FolderAbove,         // a folder further up, to the root of the drive or share
    Service,             // the service object in the manager
    RegistryKey,         // HKLM\SYSTEM\CurrentControlSet\Services\<name>
    LogFolder,           // the folder the launcher writes the program's output into
    LogFolderAbove,      // a folder above it, to the root of the drive or share
    WorkingFolder,       // the folder the launcher runs the program in, given by name
    WorkingFolderAbove,  // a folder above it, to the root of the drive or share
};

// The log folder and the folders above it: what others may do there is make
// the service write elsewhere, not change what it runs.
bool ConcernsLogFolder(AuditedKind kind);

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
