// The program the end-to-end tests run through the launcher. Its behaviour
// is its first argument:
//   report <exit code> <name>...  writes its folder, whether its standard input
//                                 ends at once, and each variable's value on
//                                 standard output, with a line on standard
//                                 error between each two, then exits with the code
//   lines <count>                 writes numbered lines as fast as it can, in
//                                 blocks that cut lines anywhere
//   lines-then <count> <release file> <more>
//                                 writes count numbered lines, waits for the
//                                 release file, then writes the next more ones
//   handle-ctrl-c                 says "ready", ends with "got ctrl-c" on Ctrl+C
//   ignore-ctrl-c                 starts itself as "sleep", says "grandchild <pid>",
//                                 and ignores Ctrl+C
//   sleep                         says "pid <pid>" and sleeps, as Ctrl+C leaves it
//   burst <bytes> <done file> <release file>
//                                 writes that many bytes of lines, writes the time
//                                 it took into the done file, waits for the release
//                                 file, then writes "after release"
//   set-event <handle value>      sets the event of that value, if it holds one
//   close-output                  writes "out before", closes its standard output,
//                                 then writes "err after" on standard error
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

static void Write(DWORD stream, const std::string& text) {
    DWORD written = 0;
    WriteFile(GetStdHandle(stream), text.data(), DWORD(text.size()), &written, nullptr);
}

static std::string Narrow(const std::wstring& text) {
    std::string narrow;
    for (wchar_t c : text) narrow += c < 128 ? char(c) : '?';
    return narrow;
}

static int Report(int argc, wchar_t** argv) {
    wchar_t folder[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, folder);
    Write(STD_OUTPUT_HANDLE, "folder=" + Narrow(folder) + "\n");
    char byte = 0;
    DWORD read = 1;
    const bool ends = ReadFile(GetStdHandle(STD_INPUT_HANDLE), &byte, 1, &read, nullptr) && read == 0;
    Write(STD_OUTPUT_HANDLE, std::string("input=") + (ends ? "ends at once" : "gave a byte or failed") + "\n");
    for (int i = 3; i < argc; ++i) {
        Write(STD_ERROR_HANDLE, "err " + std::to_string(i) + "\n");
        wchar_t value[256];
        const DWORD n = GetEnvironmentVariableW(argv[i], value, 256);
        Write(STD_OUTPUT_HANDLE, Narrow(argv[i]) + "=" + (n ? Narrow(value) : "(unset)") + "\n");
    }
    return int(std::wcstoul(argv[2], nullptr, 10));
}

static int Lines(unsigned long from, unsigned long count) {
    std::string block;
    for (unsigned long n = from; n < from + count; ++n) {
        char line[16];
        block.append(line, std::snprintf(line, sizeof line, "%08lu\n", n));
        for (; block.size() >= 4096; block.erase(0, 4096)) Write(STD_OUTPUT_HANDLE, block.substr(0, 4096));
    }
    Write(STD_OUTPUT_HANDLE, block);
    return 0;
}

static HANDLE g_ctrlC;
static BOOL WINAPI OnCtrlC(DWORD event) {
    if (event != CTRL_C_EVENT) return FALSE;
    SetEvent(g_ctrlC);
    return TRUE;
}

static int HandleCtrlC() {
    g_ctrlC = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(OnCtrlC, TRUE);
    Write(STD_OUTPUT_HANDLE, "ready\n");
    WaitForSingleObject(g_ctrlC, INFINITE);
    Write(STD_OUTPUT_HANDLE, "got ctrl-c\n");
    return 0;
}

static int IgnoreCtrlC() {
    SetConsoleCtrlHandler(nullptr, TRUE);
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring line = L"\"" + std::wstring(self) + L"\" sleep";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(self, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) return 1;
    Write(STD_OUTPUT_HANDLE, "grandchild " + std::to_string(info.dwProcessId) + "\n");
    for (;;) Sleep(INFINITE);
}

static int Burst(unsigned long bytes, const wchar_t* doneFile, const wchar_t* releaseFile) {
    const ULONGLONG startMs = GetTickCount64();
    for (unsigned long n = 0, sent = 0; sent < bytes; ++n) {
        std::string line = "burst line " + std::to_string(n);
        line.resize(std::min<unsigned long>(bytes - sent, 99), '.');
        if (line.size() == 99) line += '\n';
        Write(STD_OUTPUT_HANDLE, line);
        sent += DWORD(line.size());
    }
    const std::string took = std::to_string(GetTickCount64() - startMs);
    HANDLE done = CreateFileW(doneFile, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(done, took.data(), DWORD(took.size()), &written, nullptr);
    CloseHandle(done);
    while (GetFileAttributesW(releaseFile) == INVALID_FILE_ATTRIBUTES) Sleep(10);
    Write(STD_OUTPUT_HANDLE, "after release\n");
    return 0;
}

int wmain(int argc, wchar_t** argv) {
    const std::wstring what = argc > 1 ? argv[1] : L"";
    if (what == L"report" && argc > 2) return Report(argc, argv);
    if (what == L"lines" && argc > 2) return Lines(0, std::wcstoul(argv[2], nullptr, 10));
    if (what == L"lines-then" && argc > 4) {
        const unsigned long first = std::wcstoul(argv[2], nullptr, 10);
        Lines(0, first);
        while (GetFileAttributesW(argv[3]) == INVALID_FILE_ATTRIBUTES) Sleep(10);
        return Lines(first, std::wcstoul(argv[4], nullptr, 10));
    }
    if (what == L"handle-ctrl-c") return HandleCtrlC();
    if (what == L"ignore-ctrl-c") return IgnoreCtrlC();
    if (what == L"sleep") {
        Write(STD_OUTPUT_HANDLE, "pid " + std::to_string(GetCurrentProcessId()) + "\n");
        for (;;) Sleep(INFINITE);
    }
    if (what == L"set-event" && argc > 2) {
        SetEvent(reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(std::wcstoull(argv[2], nullptr, 10))));
        return 0;
    }
    if (what == L"close-output") {
        Write(STD_OUTPUT_HANDLE, "out before\n");
        CloseHandle(GetStdHandle(STD_OUTPUT_HANDLE));
        Write(STD_ERROR_HANDLE, "err after\n");
        return 0;
    }
    if (what == L"burst" && argc > 4) return Burst(std::wcstoul(argv[2], nullptr, 10), argv[3], argv[4]);
    return 2;
}
