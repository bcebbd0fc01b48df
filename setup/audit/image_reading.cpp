#include "setup/audit/image_reading.h"

static_assert(kMachineI386 == IMAGE_FILE_MACHINE_I386, "");
static_assert(kMachineAmd64 == IMAGE_FILE_MACHINE_AMD64, "");
static_assert(kMachineArm64 == IMAGE_FILE_MACHINE_ARM64, "");
static_assert(kMachineArmNt == IMAGE_FILE_MACHINE_ARMNT, "");

// Up to size bytes from offset; fewer where the file ends.
static DWORD ReadAt(HANDLE file, std::uint32_t offset, std::size_t size,
                    std::vector<std::uint8_t>& bytes) {
    bytes.assign(size, 0);
    std::size_t got = 0;
    while (got < size) {
        std::uint64_t position = static_cast<std::uint64_t>(offset) + got;
        OVERLAPPED at = {};
        at.Offset = static_cast<DWORD>(position);
        at.OffsetHigh = static_cast<DWORD>(position >> 32);
        DWORD read = 0;
        if (!ReadFile(file, bytes.data() + got, static_cast<DWORD>(size - got), &read, &at)) {
            DWORD error = GetLastError();
            if (error == ERROR_HANDLE_EOF) break;
            return error;
        }
        if (read == 0) break;
        got += read;
    }
    bytes.resize(got);
    return NO_ERROR;
}

DWORD ReadImageHeaders(const std::wstring& path, ImageHeaders& headers) {
    headers = ImageHeaders{};
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return GetLastError();
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return ERROR_DIRECTORY;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              /*lpSecurityAttributes=*/nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, /*hTemplateFile=*/nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError();
    DWORD error = ReadAt(file, 0, kDosHeaderBytes, headers.dosHeader);
    std::optional<std::uint32_t> offset = PeHeaderOffset(headers.dosHeader);
    if (error == NO_ERROR && offset) {
        error = ReadAt(file, *offset, kPeHeaderBytes, headers.peHeader);
    }
    CloseHandle(file);
    return error;
}

typedef BOOL(WINAPI* IsWow64Process2Function)(HANDLE, USHORT*, USHORT*);

// IsWow64Process2 knows the truth on ARM64 but exists only from Windows 10
// 1709 on: looked up, so that the setup program still starts on older ones.
std::uint16_t NativeMachine() {
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    FARPROC found = kernel ? GetProcAddress(kernel, "IsWow64Process2") : nullptr;
    auto isWow64Process2 =
        reinterpret_cast<IsWow64Process2Function>(reinterpret_cast<void*>(found));
    USHORT processMachine = 0;
    USHORT nativeMachine = 0;
    if (isWow64Process2 && isWow64Process2(GetCurrentProcess(), &processMachine, &nativeMachine)) {
        return nativeMachine;
    }
    SYSTEM_INFO system = {};
    GetNativeSystemInfo(&system);
    switch (system.wProcessorArchitecture) {
    case PROCESSOR_ARCHITECTURE_AMD64: return kMachineAmd64;
    case PROCESSOR_ARCHITECTURE_ARM64: return kMachineArm64;
    case PROCESSOR_ARCHITECTURE_INTEL: return kMachineI386;
    default: return kMachineAmd64;  // this program is x64: the system runs x64 at least
    }
}
