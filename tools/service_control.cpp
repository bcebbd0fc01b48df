// Composing a service's command line, installing, changing and removing it,
// reading its status and pre-shutdown timeout, and finding processes by the
// name of their exe.
#include "tools/service_control.h"

#include <tlhelp32.h>

std::wstring Widen(const std::string& utf8) {
    if (utf8.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring text(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), &text[0], n);
    return text;
}

std::string Narrow(const std::wstring& text) {
    if (text.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr,
                                nullptr);
    std::string utf8(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), &utf8[0], n, nullptr, nullptr);
    return utf8;
}

std::wstring FileName(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring WindowsPath(const std::wstring& path) {
    if (path.empty() || path[0] != L'/') return path;
    std::wstring windows = L"Z:" + path;
    for (wchar_t& c : windows) {
        if (c == L'/') c = L'\\';
    }
    return windows;
}

// Backslashes are literal unless a quotation mark follows them: before an
// escaped mark and before the closing mark, each one is doubled.
std::wstring QuoteArgument(const std::wstring& argument) {
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"') {
            quoted.append(backslashes * 2 + 1, L'\\');
        } else {
            quoted.append(backslashes, L'\\');
        }
        quoted += c;
        backslashes = 0;
    }
    quoted.append(backslashes * 2, L'\\');
    quoted += L'"';
    return quoted;
}

std::wstring BuildBinaryPath(const std::wstring& wrapperPath,
                             const std::vector<std::wstring>& elements) {
    std::wstring binaryPath = L"\"" + wrapperPath + L"\"";
    for (const std::wstring& element : elements) binaryPath += L" " + QuoteArgument(element);
    return binaryPath;
}

SC_HANDLE InstallService(SC_HANDLE manager, const std::wstring& name,
                         const std::wstring& binaryPath) {
    RemoveService(manager, name, 15000);
    return CreateServiceW(manager, name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                          SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                          binaryPath.c_str(), /*lpLoadOrderGroup=*/nullptr, /*lpdwTagId=*/nullptr,
                          /*lpDependencies=*/nullptr, /*lpServiceStartName=*/nullptr,
                          /*lpPassword=*/nullptr);
}

bool ChangeBinaryPath(SC_HANDLE manager, const std::wstring& name, const std::wstring& binaryPath) {
    SC_HANDLE service = OpenServiceW(manager, name.c_str(), SERVICE_CHANGE_CONFIG);
    if (!service) return false;
    bool changed = ChangeServiceConfigW(service, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                                        SERVICE_NO_CHANGE, binaryPath.c_str(),
                                        /*lpLoadOrderGroup=*/nullptr, /*lpdwTagId=*/nullptr,
                                        /*lpDependencies=*/nullptr,
                                        /*lpServiceStartName=*/nullptr, /*lpPassword=*/nullptr,
                                        /*lpDisplayName=*/nullptr);
    CloseServiceHandle(service);
    return changed;
}

static bool IsStopped(SC_HANDLE service, SERVICE_STATUS_PROCESS& status) {
    DWORD needed = 0;
    if (!QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(&status),
                              sizeof(status), &needed)) {
        return true;
    }
    return status.dwCurrentState == SERVICE_STOPPED;
}

static bool PollUntilStopped(SC_HANDLE service, DWORD timeoutMs) {
    SERVICE_STATUS_PROCESS status = {};
    ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!IsStopped(service, status)) {
        if (GetTickCount64() >= deadline) return false;
        Sleep(20);
    }
    return true;
}

bool RemoveService(SC_HANDLE manager, const std::wstring& name, DWORD timeoutMs) {
    SC_HANDLE service =
        OpenServiceW(manager, name.c_str(), SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE);
    if (!service) return GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST;
    SERVICE_STATUS_PROCESS status = {};
    if (!IsStopped(service, status)) {
        SERVICE_STATUS ignored;
        ControlService(service, SERVICE_CONTROL_STOP, &ignored);
        if (!PollUntilStopped(service, timeoutMs) && status.dwProcessId != 0) {
            // A wrapper that does not stop would keep the name taken.
            HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, status.dwProcessId);
            if (process) {
                TerminateProcess(process, 1);
                CloseHandle(process);
            }
        }
    }
    bool deleted = DeleteService(service) || GetLastError() == ERROR_SERVICE_MARKED_FOR_DELETE;
    CloseServiceHandle(service);
    return deleted;
}


const char* StateName(DWORD state) {
    switch (state) {
    case SERVICE_STOPPED: return "STOPPED";
    case SERVICE_START_PENDING: return "START_PENDING";
    case SERVICE_STOP_PENDING: return "STOP_PENDING";
    case SERVICE_RUNNING: return "RUNNING";
    case SERVICE_CONTINUE_PENDING: return "CONTINUE_PENDING";
    case SERVICE_PAUSE_PENDING: return "PAUSE_PENDING";
    case SERVICE_PAUSED: return "PAUSED";
    default: return "?";
    }
}

SERVICE_STATUS_PROCESS QueryStatus(SC_HANDLE manager, const std::wstring& name) {
    SERVICE_STATUS_PROCESS status = {};
    SC_HANDLE service = OpenServiceW(manager, name.c_str(), SERVICE_QUERY_STATUS);
    if (!service) return status;
    DWORD needed = 0;
    if (!QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(&status),
                              sizeof(status), &needed)) {
        status = SERVICE_STATUS_PROCESS{};
    }
    CloseServiceHandle(service);
    return status;
}

bool ReadPreshutdownTimeout(SC_HANDLE manager, const std::wstring& name, DWORD& timeoutMs) {
    SC_HANDLE service = OpenServiceW(manager, name.c_str(), SERVICE_QUERY_CONFIG);
    if (!service) return false;
    SERVICE_PRESHUTDOWN_INFO info = {};
    DWORD needed = 0;
    bool read = QueryServiceConfig2W(service, SERVICE_CONFIG_PRESHUTDOWN_INFO,
                                     reinterpret_cast<LPBYTE>(&info), sizeof(info), &needed);
    CloseServiceHandle(service);
    if (read) timeoutMs = info.dwPreshutdownTimeout;
    return read;
}

bool WritePreshutdownTimeout(SC_HANDLE manager, const std::wstring& name, DWORD timeoutMs) {
    SC_HANDLE service = OpenServiceW(manager, name.c_str(), SERVICE_CHANGE_CONFIG);
    if (!service) return false;
    SERVICE_PRESHUTDOWN_INFO info = {timeoutMs};
    bool written = ChangeServiceConfig2W(service, SERVICE_CONFIG_PRESHUTDOWN_INFO, &info);
    CloseServiceHandle(service);
    return written;
}

// The pids of running processes whose exe has this file name and, unless
// anyParent, whose parent is parentPid.
static std::vector<DWORD> ProcessesOf(const std::wstring& exeName, bool anyParent,
                                      DWORD parentPid) {
    std::vector<DWORD> pids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return pids;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        if ((anyParent || entry.th32ParentProcessID == parentPid) &&
            lstrcmpiW(entry.szExeFile, exeName.c_str()) == 0) {
            pids.push_back(entry.th32ProcessID);
        }
    }
    CloseHandle(snapshot);
    return pids;
}

std::vector<DWORD> ProcessesNamed(const std::wstring& exeName) {
    return ProcessesOf(exeName, /*anyParent=*/true, 0);
}

std::vector<DWORD> ChildrenOf(DWORD parentPid, const std::wstring& exeName) {
    return ProcessesOf(exeName, /*anyParent=*/false, parentPid);
}

void EndProcessesNamed(const std::wstring& exeName) {
    for (DWORD pid : ProcessesNamed(exeName)) {
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
        if (!process) continue;
        TerminateProcess(process, 1);
        WaitForSingleObject(process, 5000);
        CloseHandle(process);
    }
}
