// The child that the end-to-end tests hand to the wrapper. It writes down its
// pid and its command line as it splits it itself, then behaves as the side
// file beside its exe says. Everything it needs comes from files next to its
// own exe, so its command line stays exactly what the wrapper composed.
//
//   <name>.behaviour  "exit-now" (also when missing), "exit-after <ms>", "run-forever",
//                     "run-until-released"
//   <name>.record     UTF-16 fields, each ended by a NUL: pid, command line, argv...
//   <name>.release    ends a "run-until-released" child once it appears, with the exit code
//                     it holds (decimal, or hexadecimal after 0x)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <shellapi.h>

#include <cstdlib>
#include <cstring>
#include <string>

static std::wstring SideFile(const wchar_t* extension) {
    wchar_t path[MAX_PATH * 2];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
    std::wstring side(path, n);
    size_t dot = side.rfind(L'.');
    if (dot != std::wstring::npos && side.find(L'\\', dot) == std::wstring::npos) side.resize(dot);
    return side + extension;
}

// Reads the side file's text; false, leaving text alone, if it cannot be
// opened: missing, or still held by the rename that puts it in place.
static bool ReadSideFile(const wchar_t* extension, std::string& text) {
    HANDLE file = CreateFileW(SideFile(extension).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    char buffer[64] = {};
    DWORD read = 0;
    ReadFile(file, buffer, sizeof(buffer) - 1, &read, nullptr);
    CloseHandle(file);
    text.assign(buffer, read);
    return true;
}

// Written under another name and renamed, so that the driver never sees half
// a record.
static void WriteRecord() {
    std::wstring record = std::to_wstring(GetCurrentProcessId());
    record += L'\0';
    record += GetCommandLineW();
    record += L'\0';
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 0; argv && i < count; ++i) {
        record += argv[i];
        record += L'\0';
    }
    if (argv) LocalFree(argv);

    std::wstring path = SideFile(L".record");
    std::wstring partial = path + L".partial";
    HANDLE file =
        CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, record.data(), DWORD(record.size() * sizeof(wchar_t)), &written, nullptr);
    CloseHandle(file);
    MoveFileExW(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

int wmain() {
    WriteRecord();
    std::string behaviour = "exit-now";
    ReadSideFile(L".behaviour", behaviour);
    if (behaviour.compare(0, 11, "run-forever") == 0) {
        // The only way a stop reaches this child is TerminateProcess.
        SetConsoleCtrlHandler(nullptr, TRUE);
        for (;;) Sleep(INFINITE);
    }
    if (behaviour.compare(0, 18, "run-until-released") == 0) {
        // A stop reaches this child only as the release the test writes
        // while the wrapper's grace period runs.
        SetConsoleCtrlHandler(nullptr, TRUE);
        // The test writes the release, never empty, under another name and
        // renames it; a read that fails or finds nothing is made again.
        std::string release;
        while (!ReadSideFile(L".release", release) || release.empty()) Sleep(10);
        ExitProcess(DWORD(std::strtoul(release.c_str(), nullptr, 0)));
    }
    if (behaviour.compare(0, 11, "exit-after ") == 0) {
        Sleep(DWORD(std::strtoul(&behaviour[11], nullptr, 10)));
    }
    return 0;
}
