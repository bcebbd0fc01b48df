#include "setup/audit/program_image.h"

#include <gtest/gtest.h>

namespace {

// The first 152 bytes of service-wrapper.exe as MinGW-w64 links it: the DOS
// header (e_lfanew 0x80), its stub, and the PE signature and file header
// (x64, characteristics 0x22E: an executable, not a library).
const char kMingwExeStart[] =
    "4d5a90000300000004000000ffff0000b800000000000000400000000000"
    "000000000000000000000000000000000000000000000000000000000000"
    "800000000e1fba0e00b409cd21b8014ccd21546869732070726f6772616d"
    "2063616e6e6f742062652072756e20696e20444f53206d6f64652e0d0d0a"
    "24000000000000005045000064860b00000000000000000000000000f000"
    "2e02";

constexpr std::size_t kPeAt = 0x80;

std::vector<std::uint8_t> FromHex(const char* hex) {
    std::vector<std::uint8_t> bytes;
    for (const char* p = hex; p[0] && p[1]; p += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(std::string(p, 2), nullptr, 16)));
    }
    return bytes;
}

std::vector<std::uint8_t> RealExe() {
    return FromHex(kMingwExeStart);
}

std::vector<std::uint8_t> With16(std::vector<std::uint8_t> bytes, std::size_t at,
                                 std::uint16_t value) {
    bytes[at] = static_cast<std::uint8_t>(value);
    bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
    return bytes;
}

std::vector<std::uint8_t> WithMachine(std::uint16_t machine) {
    return With16(RealExe(), kPeAt + 4, machine);
}

std::vector<std::uint8_t> WithLfanew(std::uint32_t offset) {
    std::vector<std::uint8_t> bytes = With16(RealExe(), 60, static_cast<std::uint16_t>(offset));
    return With16(bytes, 62, static_cast<std::uint16_t>(offset >> 16));
}

std::vector<std::uint8_t> Cut(std::size_t size) {
    std::vector<std::uint8_t> bytes = RealExe();
    bytes.resize(size);
    return bytes;
}

std::vector<std::uint8_t> Text(const std::string& text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

// Its PE header moved to the end of a larger file, where e_lfanew says.
std::vector<std::uint8_t> PeHeaderFarAway() {
    std::vector<std::uint8_t> bytes = WithLfanew(70000);
    std::vector<std::uint8_t> pe(bytes.begin() + kPeAt, bytes.end());
    bytes.resize(70000);
    bytes.insert(bytes.end(), pe.begin(), pe.end());
    return bytes;
}

struct ImageCase {
    const char* what;
    std::vector<std::uint8_t> fileStart;
    std::uint16_t native;
    const wchar_t* problem;  // empty: Windows starts it
};

const ImageCase kImageCases[] = {
    {"a real x64 program", RealExe(), kMachineAmd64, L""},
    {"an x64 program on ARM64", RealExe(), kMachineArm64, L""},
    {"an x86 program on ARM64", WithMachine(kMachineI386), kMachineArm64, L""},
    {"an x64 program on x86", RealExe(), kMachineI386,
     L"is a program for x64, which this x86 (32-bit) system does not run"},
    {"the PE header far into the file", PeHeaderFarAway(), kMachineAmd64, L""},
    {"an ARM64 program on x64", WithMachine(kMachineArm64), kMachineAmd64,
     L"is a program for ARM64, which this x64 system does not run"},
    {"an unknown machine", WithMachine(0x5064), kMachineI386,
     L"is a program for the machine type 0x5064, which this x86 (32-bit) system does not run"},
    {"a library", With16(RealExe(), kPeAt + 22, 0x222E), kMachineAmd64,
     L"is a library (DLL), not a program"},
    {"not marked executable", With16(RealExe(), kPeAt + 22, 0x022C), kMachineAmd64,
     L"is not a finished program: its header does not mark it as executable"},
    {"a text file", Text("@echo off\r\nrem MZ\r\n"), kMachineAmd64,
     L"is not a Windows program: it does not start with MZ"},
    {"an empty file", {}, kMachineAmd64, L"is an empty file"},
    {"cut in the DOS header", Cut(63), kMachineAmd64,
     L"is truncated: it ends at byte 63, within the 64 bytes of its DOS header"},
    {"cut before the PE header", Cut(kPeAt), kMachineAmd64,
     L"is truncated: it ends before the end of its PE header, which its header says is at byte "
     L"128"},
    {"cut in the file header", Cut(kPeAt + 23), kMachineAmd64, L"is truncated"},
    {"e_lfanew past the end", WithLfanew(0xFFFFFFF0), kMachineAmd64, L"is truncated"},
    {"no PE signature there", With16(RealExe(), kPeAt, 0x454E /* NE */), kMachineAmd64,
     L"is not a Windows program: it starts with MZ, but at byte 128,"},
};

TEST(ProgramImageProblem, RefusesWhatWindowsWillNotStartWithTheReason) {
    for (const ImageCase& c : kImageCases) {
        SCOPED_TRACE(c.what);
        std::wstring problem = ProgramImageProblem(HeadersFromFileStart(c.fileStart), c.native);
        if (*c.problem == L'\0') {
            EXPECT_EQ(problem, L"");
        } else {
            EXPECT_EQ(problem.rfind(c.problem, 0), 0u) << testing::PrintToString(problem);
        }
    }
}

}  // namespace
