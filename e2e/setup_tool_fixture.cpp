#include "e2e/setup_tool_fixture.h"

static std::wstring ReadUtf8File(const std::wstring& path) {
    std::string bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        char buffer[4096];
        DWORD read = 0;
        while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
            bytes.append(buffer, read);
        }
        CloseHandle(file);
    }
    DeleteFileW(path.c_str());
    std::wstring text;
    for (wchar_t c : Widen(bytes)) {
        if (c != L'\r') text += c;
    }
    return text;
}

static HANDLE InheritableFile(const std::wstring& path) {
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0,
                       nullptr);
}

testing::AssertionResult Holds(const std::wstring& text, const std::wstring& phrase) {
    if (text.find(phrase) != std::wstring::npos) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "[" << Narrow(phrase) << "] not in:\n" << Narrow(text);
}

static HANDLE InheritableInput(const std::wstring& path, const std::string& text) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr);
    CloseHandle(file);
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    return CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, &inherit,
                       OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
}

SetupRun SetupTool::Setup(const std::vector<std::wstring>& arguments,
                          const std::optional<std::string>& input) {
    SetupRun run = {STILL_ACTIVE, L"", L""};
    const std::wstring outPath = folder_ + L"\\setup out.txt";
    const std::wstring errPath = folder_ + L"\\setup err.txt";
    HANDLE out = InheritableFile(outPath);
    HANDLE err = InheritableFile(errPath);
    HANDLE in = input ? InheritableInput(folder_ + L"\\setup in.txt", *input) : nullptr;
    std::wstring commandLine = L"\"" + g_setupPath + L"\"";
    for (const std::wstring& argument : arguments) {
        commandLine += L" " + QuoteArgument(argument);
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process = {};
    if (CreateProcessW(g_setupPath.c_str(), &commandLine[0], nullptr, nullptr,
                       /*bInheritHandles=*/TRUE, 0, nullptr, nullptr, &startup, &process)) {
        if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) {
            TerminateProcess(process.hProcess, 1);
            ADD_FAILURE() << "the setup program did not end";
        }
        GetExitCodeProcess(process.hProcess, &run.exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    } else {
        ADD_FAILURE() << "CreateProcessW: " << GetLastError();
    }
    if (in) CloseHandle(in);
    CloseHandle(out);
    CloseHandle(err);
    run.out = ReadUtf8File(outPath);
    run.err = ReadUtf8File(errPath);
    return run;
}

void SetupTool::InstallRaw(const std::wstring& binaryPath, DWORD preshutdownMs, size_t service) {
    EndWatching(service);
    SC_HANDLE handle = InstallService(manager_, ServiceName(service), binaryPath);
    ASSERT_NE(handle, nullptr) << GetLastError();
    CloseServiceHandle(handle);
    ASSERT_TRUE(WritePreshutdownTimeout(manager_, ServiceName(service), preshutdownMs));
}

std::wstring SetupTool::StoredCommandLine() {
    SC_HANDLE service = OpenServiceW(manager_, name_.c_str(), SERVICE_QUERY_CONFIG);
    std::vector<BYTE> buffer(8192);
    DWORD needed = 0;
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    bool read = service && QueryServiceConfigW(service, config, DWORD(buffer.size()), &needed);
    if (service) CloseServiceHandle(service);
    return read ? config->lpBinaryPathName : L"";
}

bool SetupTool::WaitUntilGone(DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (StoredCommandLine() != L"" && GetTickCount64() < deadline) Sleep(50);
    return StoredCommandLine() == L"";
}
