// An object's access list as the platform keeps it, and the rights and
// entry flags in it, as plain values: shared by the setup program, which
// reads and judges lists, and the launcher, which makes its log folder with
// one. No platform call.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Access rights and entry flags with the platform's values, under names of
// our own: the host build has no Windows headers, and the Windows one checks
// these against them. A service's and a registry key's own rights are the
// audit's, beside what it judges.
constexpr std::uint32_t kFileReadData = 0x0001;      // FILE_READ_DATA
constexpr std::uint32_t kFileWriteData = 0x0002;     // FILE_WRITE_DATA, FILE_ADD_FILE on a folder
constexpr std::uint32_t kFileAppendData = 0x0004;    // FILE_APPEND_DATA, FILE_ADD_SUBDIRECTORY
constexpr std::uint32_t kFileDeleteChild = 0x0040;   // FILE_DELETE_CHILD
constexpr std::uint32_t kFileAllAccess = 0x1F01FF;   // FILE_ALL_ACCESS
constexpr std::uint32_t kFileGenericWrite = 0x120116;
constexpr std::uint32_t kFileGenericRead = 0x120089;
constexpr std::uint32_t kFileGenericExecute = 0x1200A0;
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
    // The owner's SID, which may always read and change the list whatever it
    // says; empty where it was not read.
    std::wstring owner = L"";
};
