// The child that the end-to-end tests hand to the wrapper. It writes down its
// pid and its command line as it splits it itself, then behaves as the side
// file beside its exe says. Everything it needs comes from files next to its
// own exe, so its command line stays exactly what the wrapper composed.
//
//   <name>.behaviour  "exit-now" (also when missing), "exit-after <ms>", "run-forever",
//                     "run-until-released"
//   <name>.record     UTF-16 fields, each ended by a NUL: pid, command line, argv...
//   <name>.release    ends a "run-until-released" child once it appears, with the exit code
//                     it holds (decimal, or hexadecimal after 0x; 0 when empty)
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

// The side file's text; missingText if there is none.
static std::string ReadSideFile(const wchar_t* extension, const char* missingText) {
    HANDLE file = CreateFileW(SideFile(extension).c_str(), GENERIC_READ, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return missingText;
    char text[64] = {};
    DWORD read = 0;
    ReadFile(file, text, sizeof(text) - 1, &read, nullptr);
    CloseHandle(file);
    return std::string(text, read);
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
    std::string behaviour = ReadSideFile(L".behaviour", "exit-now");
    if (behaviour.compare(0, 11, "run-forever") == 0) {
        // The only way a stop reaches this child is TerminateProcess.
        SetConsoleCtrlHandler(nullptr, TRUE);
        for (;;) Sleep(INFINITE);
    }
    if (behaviour.compare(0, 18, "run-until-released") == 0) {
        // A stop reaches this child only as the release the test writes
        // while the wrapper's grace period runs.
        SetConsoleCtrlHandler(nullptr, TRUE);
        std::wstring release = SideFile(L".release");
        while (GetFileAttributesW(release.c_str()) == INVALID_FILE_ATTRIBUTES) Sleep(10);
        // The test writes the release whole under another name and renames it.
        ExitProcess(DWORD(std::strtoul(ReadSideFile(L".release", "").c_str(), nullptr, 0)));
    }
    if (behaviour.compare(0, 11, "exit-after ") == 0) {
        Sleep(DWORD(std::strtoul(&behaviour[11], nullptr, 10)));
    }
    return 0;
}
