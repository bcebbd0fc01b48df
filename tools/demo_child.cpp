// The demo's child: says who it is, then writes a heartbeat once a second to
// a log beside its exe (a service's child has no console anyone can see). It
// ignores every request to stop, so the wrapper's grace period and the
// termination that ends it show in the demo.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <shellapi.h>

#include <string>

static std::wstring LogPath() {
    wchar_t path[MAX_PATH * 2];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
    std::wstring log(path, n);
    return log.substr(0, log.rfind(L'.')) + L".log";
}

static void Log(HANDLE log, const std::wstring& line) {
    std::wstring text = line + L"\n";
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr,
                                nullptr);
    std::string utf8(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), &utf8[0], n, nullptr, nullptr);
    DWORD written = 0;
    WriteFile(log, utf8.data(), DWORD(utf8.size()), &written, nullptr);
}

int wmain() {
    HANDLE log = CreateFileW(LogPath().c_str(), FILE_APPEND_DATA,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_ALWAYS, 0, nullptr);
    if (log == INVALID_HANDLE_VALUE) return 1;
    SetConsoleCtrlHandler(nullptr, TRUE);

    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    std::wstring started = L"started, pid " + std::to_wstring(GetCurrentProcessId()) + L", argv";
    for (int i = 0; argv && i < count; ++i) started += L" [" + std::wstring(argv[i]) + L"]";
    if (argv) LocalFree(argv);
    Log(log, started);
    Log(log, L"ignoring any request to stop; only termination ends me");

    for (unsigned beat = 1;; ++beat) {
        Sleep(1000);
        Log(log, L"heartbeat " + std::to_wstring(beat));
    }
}
