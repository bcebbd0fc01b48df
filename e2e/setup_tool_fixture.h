// What the end-to-end tests of the setup program share: a run of the real
// executable with its two output streams and exit code, and the service
// made by hand or read back directly, beside the wrapper's own fixture.
#pragma once

#include <nlohmann/json.hpp>

#include "e2e/wrapper_service_fixture.h"

struct SetupRun {
    DWORD exitCode;
    std::wstring out;
    std::wstring err;
};

inline std::wstring ReadUtf8File(const std::wstring& path) {
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

inline HANDLE InheritableFile(const std::wstring& path) {
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0,
                       nullptr);
}

class SetupTool : public WrapperService {
protected:
    // Runs the setup program with these arguments, each quoted for its
    // splitting, with its two output streams in files of their own.
    SetupRun Setup(const std::vector<std::wstring>& arguments) {
        SetupRun run = {STILL_ACTIVE, L"", L""};
        const std::wstring outPath = folder_ + L"\\setup out.txt";
        const std::wstring errPath = folder_ + L"\\setup err.txt";
        HANDLE out = InheritableFile(outPath);
        HANDLE err = InheritableFile(errPath);
        std::wstring commandLine = L"\"" + g_setupPath + L"\"";
        for (const std::wstring& argument : arguments) {
            commandLine += L" " + QuoteArgument(argument);
        }
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
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
        CloseHandle(out);
        CloseHandle(err);
        run.out = ReadUtf8File(outPath);
        run.err = ReadUtf8File(errPath);
        return run;
    }

    // A service made directly with CreateServiceW, as by hand.
    void InstallRaw(const std::wstring& binaryPath, DWORD preshutdownMs) {
        EndWatching();
        SC_HANDLE service = InstallService(manager_, name_, binaryPath);
        ASSERT_NE(service, nullptr) << GetLastError();
        CloseServiceHandle(service);
        ASSERT_TRUE(WritePreshutdownTimeout(manager_, name_, preshutdownMs));
    }

    // Empty when there is no service of the test's name.
    std::wstring StoredCommandLine() {
        SC_HANDLE service = OpenServiceW(manager_, name_.c_str(), SERVICE_QUERY_CONFIG);
        std::vector<BYTE> buffer(8192);
        DWORD needed = 0;
        auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
        bool read = service && QueryServiceConfigW(service, config, DWORD(buffer.size()), &needed);
        if (service) CloseServiceHandle(service);
        return read ? config->lpBinaryPathName : L"";
    }
};

inline testing::AssertionResult Holds(const std::wstring& text, const std::wstring& phrase) {
    if (text.find(phrase) != std::wstring::npos) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "[" << Narrow(phrase) << "] not in:\n" << Narrow(text);
}

// The one JSON document a run printed, or a failure if it is none.
inline nlohmann::json ParsedJson(const SetupRun& run) {
    nlohmann::json document = nlohmann::json::parse(Narrow(run.out), nullptr,
                                                     /*allow_exceptions=*/false);
    EXPECT_FALSE(document.is_discarded()) << "not one JSON document:\n" << Narrow(run.out);
    return document;
}
