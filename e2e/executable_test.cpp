// The executable itself: started by hand, and the resources it carries.
#include "e2e/wrapper_service_fixture.h"

#include <regex>

#include "wrapper_version.h"

using RunByHand = WrapperService;

namespace {

// Under Wine, a process started by hand waits up to 10 s for the control
// pipe that this counter names before its dispatcher call fails. Moving the
// counter past every pipe makes the call fail at once, as it does on Windows.
void SkipToAnUnusedControlPipe() {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\ServiceCurrent",
                        0, nullptr, REG_OPTION_VOLATILE, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
        return;
    }
    DWORD counter = 0;
    DWORD size = sizeof(counter);
    RegQueryValueExW(key, nullptr, nullptr, nullptr, reinterpret_cast<LPBYTE>(&counter), &size);
    counter += 1000;
    RegSetValueExW(key, nullptr, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&counter),
                   sizeof(counter));
    RegCloseKey(key);
}

struct HandRun {
    bool ended;
    DWORD exitCode;
    std::string output;  // standard output and standard error together
};

HandRun RunWrapper(const std::wstring& arguments, const std::wstring& outputPath) {
    HandRun run = {false, STILL_ACTIVE, ""};
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE output =
        CreateFileW(outputPath.c_str(), GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS, 0, nullptr);
    if (output == INVALID_HANDLE_VALUE) return run;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = output;
    startup.hStdError = output;
    std::wstring commandLine = L"\"" + g_wrapperPath + L"\"" + arguments;
    PROCESS_INFORMATION process = {};
    SkipToAnUnusedControlPipe();
    if (CreateProcessW(g_wrapperPath.c_str(), &commandLine[0], nullptr, nullptr,
                       /*bInheritHandles=*/TRUE, 0, nullptr, nullptr, &startup, &process)) {
        run.ended = WaitForSingleObject(process.hProcess, 30000) == WAIT_OBJECT_0;
        GetExitCodeProcess(process.hProcess, &run.exitCode);
        if (!run.ended) TerminateProcess(process.hProcess, 1);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    char buffer[4096];
    DWORD read = 0;
    SetFilePointer(output, 0, nullptr, FILE_BEGIN);
    while (ReadFile(output, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
        run.output.append(buffer, read);
    }
    CloseHandle(output);
    DeleteFileW(outputPath.c_str());
    return run;
}

std::string ResourceText(HMODULE image, LPCWSTR name, LPCWSTR type) {
    HRSRC resource = FindResourceW(image, name, type);
    if (!resource) return std::string();
    HGLOBAL loaded = LoadResource(image, resource);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) return std::string();
    return std::string(static_cast<const char*>(bytes), SizeofResource(image, resource));
}

// The version every executable we ship carries, from the project's one
// version number: the fixed fields and the strings alike.
void ExpectProjectVersion(const std::wstring& path) {
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_GT(size, 0u) << "no version resource";
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<LPVOID*>(&fixed), &fixedSize));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileType, DWORD(VFT_APP));
    const DWORD high = (WRAPPER_VERSION_MAJOR << 16) | WRAPPER_VERSION_MINOR;
    const DWORD low = WRAPPER_VERSION_PATCH << 16;
    EXPECT_EQ(fixed->dwFileVersionMS, high);
    EXPECT_EQ(fixed->dwFileVersionLS, low);
    EXPECT_EQ(fixed->dwProductVersionMS, high);
    EXPECT_EQ(fixed->dwProductVersionLS, low);
    for (const wchar_t* key : {L"\\StringFileInfo\\040904B0\\FileVersion",
                               L"\\StringFileInfo\\040904B0\\ProductVersion"}) {
        wchar_t* text = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueW(block.data(), key, reinterpret_cast<LPVOID*>(&text), &length))
            << Narrow(key);
        EXPECT_EQ(Narrow(text), WRAPPER_VERSION_STRING) << Narrow(key);
    }
}

}  // namespace

// Outside the service manager the dispatcher call fails; the wrapper ends
// with 0, prints nothing and starts nothing, whatever its arguments.
TEST_F(RunByHand, ExitsWithZeroSilentlyAndStartsNothing) {
    std::wstring child = PrepareChild("run-forever");
    const std::wstring kArguments[] = {L"", L" 2500 " + QuoteArgument(child), L" abc", L" 2500"};
    for (const std::wstring& arguments : kArguments) {
        SCOPED_TRACE("arguments:" + Narrow(arguments));
        HandRun run = RunWrapper(arguments, folder_ + L"\\hand run output.txt");
        ASSERT_TRUE(run.ended);
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_EQ(run.output, "");
        EXPECT_FALSE(ChildStarted());
    }
}

// Every executable we ship.
TEST(Executable, CarriesAnAsInvokerManifestAndTheProjectVersion) {
    for (const std::wstring& path : {g_wrapperPath, g_setupPath, g_launcherPath}) {
        SCOPED_TRACE(Narrow(path));
        HMODULE image = LoadLibraryExW(path.c_str(), nullptr,
                                       LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(image, nullptr) << GetLastError();
        // The loader reads an exe's manifest from resource 1 and nowhere else.
        std::string manifest = ResourceText(image, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
        FreeLibrary(image);
        std::smatch level;
        ASSERT_TRUE(
            std::regex_search(manifest, level, std::regex("<[^>]*requestedExecutionLevel[^>]*>")))
            << manifest;
        EXPECT_TRUE(
            std::regex_search(level.str(), std::regex("\\blevel\\s*=\\s*[\"']asInvoker[\"']")))
            << level.str();
        EXPECT_TRUE(
            std::regex_search(level.str(), std::regex("\\buiAccess\\s*=\\s*[\"']false[\"']")))
            << level.str();
        ExpectProjectVersion(path);
    }
}
