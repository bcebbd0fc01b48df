// Whether a file is a program this system can start: judged from the start
// of its header, so that a text file or a program for another processor is
// refused at install instead of failing with error 193 at every start.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Machine types of the PE header, with the platform's values.
constexpr std::uint16_t kMachineI386 = 0x014C;
constexpr std::uint16_t kMachineAmd64 = 0x8664;
constexpr std::uint16_t kMachineArm64 = 0xAA64;
constexpr std::uint16_t kMachineArmNt = 0x01C4;
constexpr std::uint16_t kMachineIa64 = 0x0200;

constexpr std::size_t kDosHeaderBytes = 64;  // MZ ... e_lfanew at byte 60
constexpr std::size_t kPeHeaderBytes = 24;   // "PE\0\0" and the file header

// What the check reads of a file: its first bytes, and the bytes where the
// DOS header says the PE header is, wherever that is in the file.
struct ImageHeaders {
    std::vector<std::uint8_t> dosHeader;  // up to kDosHeaderBytes from the start
    std::vector<std::uint8_t> peHeader;   // up to kPeHeaderBytes from e_lfanew, fewer at the end
};

// e_lfanew, when the first bytes are a whole DOS header that starts with MZ.
std::optional<std::uint32_t> PeHeaderOffset(const std::vector<std::uint8_t>& dosHeader);

// The two parts as found in a file that starts with these bytes (and ends
// where they end).
ImageHeaders HeadersFromFileStart(const std::vector<std::uint8_t>& fileStart);

// Why Windows will not start this file as a program on a system of this
// native machine, as a phrase to follow its name ("is truncated: ..."); empty
// when it will.
std::wstring ProgramImageProblem(const ImageHeaders& headers, std::uint16_t nativeMachine);

// Whether a system of the native machine starts programs made for another.
bool MachineRuns(std::uint16_t nativeMachine, std::uint16_t imageMachine);

// "x64", "ARM64", "x86 (32-bit)", ... or the number.
std::wstring MachineName(std::uint16_t machine);
