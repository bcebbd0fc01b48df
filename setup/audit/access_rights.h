// The rights on each kind of object the audit looks at: which of them let
// someone replace or change what a service runs, what the generic rights
// stand for there, and how the rights read in words. No platform call.
#pragma once

#include <cstdint>
#include <string>

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

// What the object is to the service; it decides which rights count.
enum class AuditedKind {
    File,         // the wrapper's or the program's file
    OwnFolder,    // the folder that holds such a file
    FolderAbove,  // a folder further up, to the root of the drive or share
    Service,      // the service object in the manager
    RegistryKey,  // HKLM\SYSTEM\CurrentControlSet\Services\<name>
    LogFolder,    // the folder the launcher writes the program's output into
};

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
