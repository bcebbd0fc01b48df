#include "setup/audit/program_image.h"

#include <cstdio>

namespace {

constexpr std::size_t kLfanewOffset = 60;
constexpr std::uint16_t kExecutableImage = 0x0002;  // IMAGE_FILE_EXECUTABLE_IMAGE
constexpr std::uint16_t kDll = 0x2000;              // IMAGE_FILE_DLL

}  // namespace

static std::uint16_t Read16(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

static std::uint32_t Read32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return static_cast<std::uint32_t>(Read16(bytes, at)) |
           static_cast<std::uint32_t>(Read16(bytes, at + 2)) << 16;
}

static std::wstring UnpaddedHex(std::uint32_t value) {
    wchar_t text[16];
    std::swprintf(text, sizeof(text) / sizeof(text[0]), L"0x%X", static_cast<unsigned>(value));
    return text;
}

static bool StartsWithMz(const std::vector<std::uint8_t>& bytes) {
    return (bytes.size() < 1 || bytes[0] == 'M') && (bytes.size() < 2 || bytes[1] == 'Z');
}

std::optional<std::uint32_t> PeHeaderOffset(const std::vector<std::uint8_t>& dosHeader) {
    if (dosHeader.size() < kDosHeaderBytes || !StartsWithMz(dosHeader)) return std::nullopt;
    return Read32(dosHeader, kLfanewOffset);
}

ImageHeaders HeadersFromFileStart(const std::vector<std::uint8_t>& fileStart) {
    ImageHeaders headers;
    std::size_t dos = fileStart.size() < kDosHeaderBytes ? fileStart.size() : kDosHeaderBytes;
    headers.dosHeader.assign(fileStart.begin(), fileStart.begin() + dos);
    std::optional<std::uint32_t> offset = PeHeaderOffset(headers.dosHeader);
    if (offset && *offset < fileStart.size()) {
        std::size_t left = fileStart.size() - *offset;
        std::size_t pe = left < kPeHeaderBytes ? left : kPeHeaderBytes;
        headers.peHeader.assign(fileStart.begin() + *offset, fileStart.begin() + *offset + pe);
    }
    return headers;
}

bool MachineRuns(std::uint16_t nativeMachine, std::uint16_t imageMachine) {
    switch (nativeMachine) {
    case kMachineAmd64: return imageMachine == kMachineAmd64 || imageMachine == kMachineI386;
    // x64 programs run there through emulation, x86 ones through WOW64.
    case kMachineArm64:
        return imageMachine == kMachineArm64 || imageMachine == kMachineAmd64 ||
               imageMachine == kMachineI386;
    default: return imageMachine == nativeMachine;
    }
}

std::wstring MachineName(std::uint16_t machine) {
    switch (machine) {
    case kMachineI386: return L"x86 (32-bit)";
    case kMachineAmd64: return L"x64";
    case kMachineArm64: return L"ARM64";
    case kMachineArmNt: return L"ARM (32-bit)";
    case kMachineIa64: return L"Itanium";
    default: return L"the machine type " + UnpaddedHex(machine);
    }
}

std::wstring ProgramImageProblem(const ImageHeaders& headers, std::uint16_t nativeMachine) {
    const std::vector<std::uint8_t>& dos = headers.dosHeader;
    if (dos.empty()) return L"is an empty file";
    if (!StartsWithMz(dos)) return L"is not a Windows program: it does not start with MZ";
    if (dos.size() < kDosHeaderBytes) {
        return L"is truncated: it ends at byte " + std::to_wstring(dos.size()) +
               L", within the 64 bytes of its DOS header";
    }
    std::uint32_t offset = Read32(dos, kLfanewOffset);
    const std::vector<std::uint8_t>& pe = headers.peHeader;
    if (pe.size() >= 4 && !(pe[0] == 'P' && pe[1] == 'E' && pe[2] == 0 && pe[3] == 0)) {
        return L"is not a Windows program: it starts with MZ, but at byte " +
               std::to_wstring(offset) +
               L", where its header says its PE header is, there is no PE signature (an "
               L"MS-DOS program, or a file of another kind)";
    }
    if (pe.size() < kPeHeaderBytes) {
        return L"is truncated: it ends before the end of its PE header, which its header says "
               L"is at byte " + std::to_wstring(offset);
    }
    std::uint16_t machine = Read16(pe, 4);
    if (!MachineRuns(nativeMachine, machine)) {
        return L"is a program for " + MachineName(machine) + L", which this " +
               MachineName(nativeMachine) + L" system does not run";
    }
    std::uint16_t characteristics = Read16(pe, 22);
    if (characteristics & kDll) return L"is a library (DLL), not a program";
    if (!(characteristics & kExecutableImage)) {
        return L"is not a finished program: its header does not mark it as executable";
    }
    return L"";
}
