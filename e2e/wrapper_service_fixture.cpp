#include "e2e/wrapper_service_fixture.h"

#include <cstdio>
#include <cwchar>

std::wstring g_wrapperPath;
std::wstring g_testChildPath;
std::wstring g_setupPath;

std::string Summary(const Report& report) {
    const SERVICE_STATUS_PROCESS& s = report.status;
    char text[160];
    if (s.dwCurrentState == SERVICE_STOPPED) {
        std::snprintf(text, sizeof(text), "STOPPED exit=%lu cp=%lu hint=%lu", s.dwWin32ExitCode,
                      s.dwCheckPoint, s.dwWaitHint);
    } else {
        std::snprintf(text, sizeof(text), "%s accepted=0x%lx exit=%lu cp=%lu hint=%lu",
                      StateName(s.dwCurrentState), s.dwControlsAccepted, s.dwWin32ExitCode,
                      s.dwCheckPoint, s.dwWaitHint);
    }
    std::string summary = text;
    if (s.dwServiceSpecificExitCode != 0) {
        summary += " specific=" + std::to_string(s.dwServiceSpecificExitCode);
    }
    return summary;
}

std::vector<std::string> Summaries(const std::vector<Report>& reports) {
    std::vector<std::string> summaries;
    for (const Report& report : reports) summaries.push_back(Summary(report));
    return summaries;
}

static std::wstring DriverFolder() {
    wchar_t path[MAX_PATH * 2];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
    std::wstring folder(path, n);
    return folder.substr(0, folder.rfind(L'\\'));
}

static void MakeFolders(const std::wstring& path) {
    for (size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1)) {
        CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
    }
    CreateDirectoryW(path.c_str(), nullptr);
}

static std::wstring WithoutExtension(const std::wstring& path) {
    return path.substr(0, path.rfind(L'.'));
}

static void WriteTextFile(const std::wstring& path, const std::string& text) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << Narrow(path);
    DWORD written = 0;
    WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr);
    CloseHandle(file);
}

static bool ReadRecordFile(const std::wstring& path, ChildRecord& record) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    std::wstring text(GetFileSize(file, nullptr) / sizeof(wchar_t), L'\0');
    DWORD read = 0;
    ReadFile(file, &text[0], DWORD(text.size() * sizeof(wchar_t)), &read, nullptr);
    CloseHandle(file);
    std::vector<std::wstring> fields;
    for (size_t start = 0, end; (end = text.find(L'\0', start)) != std::wstring::npos;
         start = end + 1) {
        fields.push_back(text.substr(start, end - start));
    }
    if (fields.size() < 2) return false;
    record.pid = std::wcstoul(fields[0].c_str(), nullptr, 10);
    record.commandLine = fields[1];
    record.argv.assign(fields.begin() + 2, fields.end());
    return true;
}

void WrapperService::SetUp() {
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    name_ = L"wrapper-e2e-" + Widen(info->test_suite_name()) + L"-" + Widen(info->name());
    folder_ = DriverFolder() + L"\\runs\\" + Widen(info->test_suite_name()) + L"\\child folder";
    childPath_ = folder_ + L"\\" + Widen(info->name()) + L".exe";
    manager_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(manager_, nullptr) << GetLastError();
    MakeFolders(folder_);
    DeleteFileW((WithoutExtension(childPath_) + L".record").c_str());
}

void WrapperService::TearDown() {
    EndWatch(watch_);
    watch_ = nullptr;
    if (manager_) {
        EXPECT_TRUE(RemoveService(manager_, name_, 15000))
            << "service left behind: " << Narrow(name_);
        CloseServiceHandle(manager_);
        manager_ = nullptr;
    }
    for (DWORD pid : ProcessesNamed(FileName(childPath_))) {
        HANDLE child = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
        if (!child) continue;
        TerminateProcess(child, 1);
        WaitForSingleObject(child, 5000);
        CloseHandle(child);
    }
    std::wstring side = WithoutExtension(childPath_);
    DeleteFileW((side + L".record").c_str());
    DeleteFileW((side + L".behaviour").c_str());
    DeleteFileW(childPath_.c_str());
}

std::wstring WrapperService::PrepareChild(const char* behaviour) {
    EXPECT_TRUE(CopyFileW(g_testChildPath.c_str(), childPath_.c_str(), /*bFailIfExists=*/FALSE))
        << Narrow(g_testChildPath) << " -> " << Narrow(childPath_) << ": " << GetLastError();
    WriteTextFile(WithoutExtension(childPath_) + L".behaviour", behaviour);
    DeleteFileW((WithoutExtension(childPath_) + L".record").c_str());
    return childPath_;
}

void WrapperService::Install(const std::vector<std::wstring>& elements) {
    // The watch's handles would keep a deleted service of this name alive.
    EndWatch(watch_);
    watch_ = nullptr;
    std::wstring binaryPath = BuildBinaryPath(g_wrapperPath, elements);
    SC_HANDLE service = InstallService(manager_, name_, binaryPath);
    ASSERT_NE(service, nullptr) << "CreateServiceW: " << GetLastError() << " "
                                << Narrow(binaryPath);
    CloseServiceHandle(service);
    ASSERT_TRUE(WritePreshutdownTimeout(manager_, name_, kMarkerPreshutdownMs));
}

void WrapperService::Start(const std::vector<std::wstring>& parameters) {
    watch_ = WatchService(manager_, name_);
    SC_HANDLE service = OpenServiceW(manager_, name_.c_str(), SERVICE_START);
    ASSERT_NE(service, nullptr) << GetLastError();
    StartWatched(watch_, service, parameters);
    CloseServiceHandle(service);
}

bool WrapperService::WaitForState(DWORD state, DWORD timeoutMs) {
    return ::WaitForState(watch_, state, timeoutMs);
}

const std::vector<Report>& WrapperService::ServiceReports() const { return Reports(watch_); }

std::string WrapperService::Seen() const {
    return testing::PrintToString(Summaries(ServiceReports()));
}

DWORD WrapperService::Control(DWORD control) {
    SC_HANDLE service = OpenServiceW(
        manager_, name_.c_str(),
        SERVICE_STOP | SERVICE_INTERROGATE | SERVICE_USER_DEFINED_CONTROL | SERVICE_QUERY_STATUS);
    if (!service) return GetLastError();
    SERVICE_STATUS status = {};
    DWORD result = ControlService(service, control, &status) ? ERROR_SUCCESS : GetLastError();
    CloseServiceHandle(service);
    return result;
}

bool WrapperService::WaitForRecord(ChildRecord& record, DWORD timeoutMs) {
    std::wstring path = WithoutExtension(childPath_) + L".record";
    ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!ReadRecordFile(path, record)) {
        if (GetTickCount64() >= deadline) return false;
        PumpReports(watch_, 20);
    }
    return true;
}

bool WrapperService::ChildStarted() {
    ChildRecord record;
    return ReadRecordFile(WithoutExtension(childPath_) + L".record", record) ||
           !ProcessesNamed(FileName(childPath_)).empty();
}

int wmain(int argc, wchar_t** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: e2e_tests <service-wrapper.exe> <e2e_test_child.exe> "
                             "<service-wrapper-setup.exe>\n");
        return 2;
    }
    g_wrapperPath = WindowsPath(argv[1]);
    g_testChildPath = WindowsPath(argv[2]);
    g_setupPath = WindowsPath(argv[3]);
    return RUN_ALL_TESTS();
}
