#include "e2e/wrapper_service_fixture.h"

#include <cstdio>
#include <cwchar>

std::wstring g_wrapperPath;
std::wstring g_testChildPath;
std::wstring g_setupPath;
std::wstring g_stopAwareChildPath;
std::wstring g_launcherPath;
std::wstring g_launchedProgramPath;
std::wstring g_lateAnswerServicePath;

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

// Everything the tests run lives on the prefix's C: drive, whose folders
// only their owner may write. A build tree under /tmp would read under Wine
// as a folder everyone may write (the sticky bit is not mapped), and the
// setup program refuses to install from such a path.
static const wchar_t kTestFolder[] = L"C:\\wrapper-e2e";

static void MakeFolders(const std::wstring& path) {
    for (size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1)) {
        CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
    }
    CreateDirectoryW(path.c_str(), nullptr);
}

static std::wstring WithoutExtension(const std::wstring& path) {
    return path.substr(0, path.rfind(L'.'));
}

void WriteTextFile(const std::wstring& path, const std::string& text) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << Narrow(path);
    DWORD written = 0;
    WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr);
    CloseHandle(file);
}

std::string ReadFileText(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "";
    std::string text(GetFileSize(file, nullptr), '\0');
    DWORD read = 0;
    ReadFile(file, &text[0], DWORD(text.size()), &read, nullptr);
    CloseHandle(file);
    text.resize(read);
    return text;
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

bool IsWineProcessCreationFault(DWORD startResult, const std::vector<Report>& reports,
                                bool childStarted) {
    if (childStarted) return false;
    bool stoppedWithFault = false;
    for (const Report& report : reports) {
        const SERVICE_STATUS_PROCESS& status = report.status;
        if (status.dwCurrentState == SERVICE_RUNNING) return false;
        if (status.dwCurrentState == SERVICE_STOPPED) {
            stoppedWithFault = status.dwWin32ExitCode == ERROR_INTERNAL_ERROR &&
                               status.dwServiceSpecificExitCode == 0;
        }
    }
    return startResult == ERROR_INTERNAL_ERROR || stoppedWithFault;
}

DWORD ExitCodeOnceEnded(HANDLE process, DWORD timeoutMs) {
    if (WaitForSingleObject(process, timeoutMs) != WAIT_OBJECT_0) return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process, &code);
    return code;
}

void WrapperService::SetUp() {
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    name_ = L"wrapper-e2e-" + Widen(info->test_suite_name()) + L"-" + Widen(info->name());
    folder_ = std::wstring(kTestFolder) + L"\\runs\\" + Widen(info->test_suite_name()) +
              L"\\child folder";
    childPath_ = folder_ + L"\\" + Widen(info->name()) + L".exe";
    watches_.assign(1, nullptr);
    manager_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(manager_, nullptr) << GetLastError();
    MakeFolders(folder_);
    DeleteFileW((WithoutExtension(childPath_) + L".record").c_str());
}

void WrapperService::TearDown() {
    for (size_t service = 0; service < watches_.size(); ++service) {
        EndWatch(watches_[service]);
        watches_[service] = nullptr;
        if (manager_) {
            EXPECT_TRUE(RemoveService(manager_, ServiceName(service), 15000))
                << "service left behind: " << Narrow(ServiceName(service));
        }
        EndProcessesNamed(FileName(ChildPath(service)));
        std::wstring side = WithoutExtension(ChildPath(service));
        for (const wchar_t* extension : {L".record", L".behaviour", L".release"}) {
            DeleteFileW((side + extension).c_str());
        }
        DeleteFileW(ChildPath(service).c_str());
    }
    if (manager_) {
        CloseServiceHandle(manager_);
        manager_ = nullptr;
    }
}

void WrapperService::UseServices(size_t count) { watches_.resize(count, nullptr); }

std::wstring WrapperService::ServiceName(size_t service) const {
    return service == 0 ? name_ : name_ + L"-" + std::to_wstring(service);
}

std::wstring WrapperService::ChildPath(size_t service) const {
    if (service == 0) return childPath_;
    return WithoutExtension(childPath_) + L"-" + std::to_wstring(service) + L".exe";
}

std::wstring WrapperService::PrepareChild(const char* behaviour, size_t service) {
    std::wstring path = ChildPath(service);
    EXPECT_TRUE(CopyFileW(g_testChildPath.c_str(), path.c_str(), /*bFailIfExists=*/FALSE))
        << Narrow(g_testChildPath) << " -> " << Narrow(path) << ": " << GetLastError();
    WriteTextFile(WithoutExtension(path) + L".behaviour", behaviour);
    // A release left from an earlier life would end this child as it starts.
    for (const wchar_t* side : {L".record", L".release"}) {
        const std::wstring file = WithoutExtension(path) + side;
        EXPECT_TRUE(DeleteFileW(file.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND)
            << Narrow(file) << ": " << GetLastError();
    }
    return path;
}

// Written under another name and renamed, so that the child never reads
// half a release.
void WrapperService::ReleaseChild(DWORD exitCode, size_t service) {
    const std::wstring release = WithoutExtension(ChildPath(service)) + L".release";
    WriteTextFile(release + L".partial", std::to_string(exitCode));
    EXPECT_TRUE(MoveFileExW((release + L".partial").c_str(), release.c_str(),
                            MOVEFILE_REPLACE_EXISTING))
        << GetLastError();
}

void WrapperService::EndWatching(size_t service) {
    EndWatch(watches_[service]);
    watches_[service] = nullptr;
}

void WrapperService::Install(const std::vector<std::wstring>& elements, size_t service) {
    EndWatching(service);
    std::wstring binaryPath = BuildBinaryPath(g_wrapperPath, elements);
    SC_HANDLE handle = InstallService(manager_, ServiceName(service), binaryPath);
    ASSERT_NE(handle, nullptr) << "CreateServiceW: " << GetLastError() << " "
                               << Narrow(binaryPath);
    CloseServiceHandle(handle);
    ASSERT_TRUE(WritePreshutdownTimeout(manager_, ServiceName(service), kMarkerPreshutdownMs));
}

static bool HasState(const std::vector<Report>& reports, DWORD state) {
    for (const Report& report : reports) {
        if (report.status.dwCurrentState == state) return true;
    }
    return false;
}

std::vector<size_t> WrapperService::StartOnce(const std::vector<size_t>& services,
                                              const std::vector<std::wstring>& parameters) {
    std::vector<StatusWatch*> watches;
    std::vector<SC_HANDLE> handles;
    for (size_t service : services) {
        EndWatch(watches_[service]);
        watches_[service] = WatchService(manager_, ServiceName(service));
        watches.push_back(watches_[service]);
        SC_HANDLE handle = OpenServiceW(manager_, ServiceName(service).c_str(), SERVICE_START);
        EXPECT_NE(handle, nullptr) << Narrow(ServiceName(service)) << ": " << GetLastError();
        handles.push_back(handle);
    }
    std::vector<DWORD> results = StartWatchedTogether(watches, handles, parameters);
    for (SC_HANDLE handle : handles) {
        if (handle) CloseServiceHandle(handle);
    }

    // Until each start that got as far as the wrapper has come to running or
    // stopped: only then can a failure to start the child be told apart.
    ULONGLONG deadline = GetTickCount64() + 15000;
    for (size_t i = 0; i < services.size(); ++i) {
        bool reached = results[i] != ERROR_SUCCESS && results[i] != ERROR_SERVICE_REQUEST_TIMEOUT;
        while (!reached && GetTickCount64() < deadline) {
            PumpReports(watches, 20);
            reached = HasState(Reports(watches[i]), SERVICE_RUNNING) ||
                      HasState(Reports(watches[i]), SERVICE_STOPPED);
        }
    }

    std::vector<size_t> faulted;
    for (size_t i = 0; i < services.size(); ++i) {
        if (IsWineProcessCreationFault(results[i], Reports(watches[i]),
                                       ChildStarted(services[i]))) {
            faulted.push_back(services[i]);
        }
    }
    return faulted;
}

void WrapperService::StartServices(const std::vector<size_t>& services,
                                   const std::vector<std::wstring>& parameters) {
    std::vector<size_t> faulted = StartOnce(services, parameters);
    if (faulted.empty()) return;
    for (size_t service : faulted) {
        std::printf("[ RETRY    ] %s: Wine failed to create a process (ERROR_INTERNAL_ERROR, "
                    "1359) before the child ran; starting it once more\n",
                    Narrow(ServiceName(service)).c_str());
    }
    std::fflush(stdout);
    StartOnce(faulted, parameters);
}

void WrapperService::Start(const std::vector<std::wstring>& parameters) {
    StartServices({0}, parameters);
}

void WrapperService::StartTogether(const std::vector<size_t>& services) {
    StartServices(services, {});
}

std::vector<StatusWatch*> WrapperService::Watching() const {
    std::vector<StatusWatch*> watching;
    for (StatusWatch* watch : watches_) {
        if (watch) watching.push_back(watch);
    }
    return watching;
}

bool WrapperService::WaitForState(DWORD state, DWORD timeoutMs, size_t service) {
    ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!watches_[service] || !HasReached(watches_[service], state)) {
        ULONGLONG now = GetTickCount64();
        if (now >= deadline) return HasState(ServiceReports(service), state);
        PumpReports(Watching(), DWORD(deadline - now < 50 ? deadline - now : 50));
    }
    return true;
}

bool WrapperService::WaitForStateOfAll(DWORD state, DWORD timeoutMs) {
    return ::WaitForState(Watching(), state, timeoutMs);
}

const std::vector<Report>& WrapperService::ServiceReports(size_t service) const {
    static const std::vector<Report> kNone;
    return watches_[service] ? Reports(watches_[service]) : kNone;
}

std::string WrapperService::Seen(size_t service) const {
    return testing::PrintToString(Summaries(ServiceReports(service)));
}

DWORD WrapperService::Control(DWORD control, size_t service) {
    SC_HANDLE handle = OpenServiceW(
        manager_, ServiceName(service).c_str(),
        SERVICE_STOP | SERVICE_INTERROGATE | SERVICE_USER_DEFINED_CONTROL | SERVICE_QUERY_STATUS);
    if (!handle) return GetLastError();
    SERVICE_STATUS status = {};
    DWORD result = ControlService(handle, control, &status) ? ERROR_SUCCESS : GetLastError();
    CloseServiceHandle(handle);
    if (control == SERVICE_CONTROL_STOP && result == ERROR_BROKEN_PIPE && TookTheStop(service)) {
        std::printf("[ ANSWER   ] %s: Wine lost the answer to a stop the service took "
                    "(ERROR_BROKEN_PIPE); counted as answered\n",
                    Narrow(ServiceName(service)).c_str());
        std::fflush(stdout);
        return ERROR_SUCCESS;
    }
    return result;
}

// Wine's dispatcher answers a control on a thread of its own, and the process
// ends as soon as its service reports stopped, answered or not: its manager
// then answers the stop ERROR_BROKEN_PIPE. The stop was taken if the service
// said so (stop-pending) before it stopped; a life that ended by itself says
// nothing of a stop.
bool WrapperService::TookTheStop(size_t service) {
    if (!WaitForState(SERVICE_STOPPED, 15000, service)) return false;
    return HasState(ServiceReports(service), SERVICE_STOP_PENDING);
}

bool WrapperService::WaitForRecord(ChildRecord& record, DWORD timeoutMs, size_t service) {
    std::wstring path = WithoutExtension(ChildPath(service)) + L".record";
    ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!ReadRecordFile(path, record)) {
        if (GetTickCount64() >= deadline) return false;
        PumpReports(Watching(), 20);
    }
    return true;
}

bool WrapperService::ChildStarted(size_t service) {
    ChildRecord record;
    return ReadRecordFile(WithoutExtension(ChildPath(service)) + L".record", record) ||
           !ProcessesNamed(FileName(ChildPath(service))).empty();
}

HANDLE WrapperService::OpenWrapperProcess(size_t service) {
    for (const Report& report : ServiceReports(service)) {
        if (report.status.dwCurrentState != SERVICE_RUNNING) continue;
        return OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                           report.status.dwProcessId);
    }
    return nullptr;
}

int wmain(int argc, wchar_t** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (argc != 5) {
        std::fprintf(stderr, "usage: e2e_tests <service-wrapper.exe> <e2e_test_child.exe> "
                             "<service-wrapper-setup.exe> <stop_aware_child.exe>\n");
        return 2;
    }
    g_testChildPath = WindowsPath(argv[2]);
    g_stopAwareChildPath = WindowsPath(argv[4]);
    // Built beside the test child and beside the wrapper, as they ship.
    const std::wstring built = g_testChildPath.substr(0, g_testChildPath.rfind(L'\\'));
    g_launchedProgramPath = built + L"\\e2e_launched_program.exe";
    g_lateAnswerServicePath = built + L"\\e2e_late_answer_service.exe";
    const std::wstring wrapperBuilt = WindowsPath(argv[1]);
    const std::wstring launcherBuilt =
        wrapperBuilt.substr(0, wrapperBuilt.rfind(L'\\')) + L"\\service-wrapper-launcher.exe";
    // The setup program finds the wrapper beside itself.
    const std::wstring bin = std::wstring(kTestFolder) + L"\\bin";
    MakeFolders(bin);
    g_wrapperPath = bin + L"\\service-wrapper.exe";
    g_setupPath = bin + L"\\service-wrapper-setup.exe";
    g_launcherPath = bin + L"\\service-wrapper-launcher.exe";
    if (!CopyFileW(WindowsPath(argv[1]).c_str(), g_wrapperPath.c_str(), FALSE) ||
        !CopyFileW(launcherBuilt.c_str(), g_launcherPath.c_str(), FALSE) ||
        !CopyFileW(WindowsPath(argv[3]).c_str(), g_setupPath.c_str(), FALSE)) {
        std::fprintf(stderr, "cannot copy the programs to %s: %lu\n", Narrow(bin).c_str(),
                     GetLastError());
        return 2;
    }
    return RUN_ALL_TESTS();
}
