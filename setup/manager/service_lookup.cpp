#include "setup/manager/service_lookup.h"

DWORD ReadCommandLine(SC_HANDLE service, std::wstring& commandLine) {
    StoredService stored;
    if (DWORD error = ReadStoredService(service, L"", stored)) return error;
    commandLine = stored.binaryPathName;
    return NO_ERROR;
}

// The listing's entries, names and states only. Wine's manager gives no
// entry at all until the buffer holds the whole list, and never moves the
// resume handle; Windows gives what fits and the bytes the rest needs. So
// each try starts from the first entry with a buffer as large as the last
// one plus what it lacked, which holds the whole list on either manager
// unless services were added between the two calls.
static DWORD ListServices(const ScHandle& manager, std::vector<ListedService>& listed) {
    std::vector<BYTE> buffer(16 * 1024);
    for (int attempt = 0; attempt < 8; ++attempt) {
        DWORD needed = 0;
        DWORD returned = 0;
        DWORD resume = 0;
        const BOOL all = EnumServicesStatusExW(
            manager.handle, SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_STATE_ALL, buffer.data(),
            static_cast<DWORD>(buffer.size()), &needed, &returned, &resume,
            /*pszGroupName=*/nullptr);
        if (!all) {
            const DWORD error = GetLastError();
            if (error != ERROR_MORE_DATA) return error;
            buffer.resize(buffer.size() + needed);
            continue;
        }
        const auto* entries = reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSW*>(buffer.data());
        for (DWORD i = 0; i < returned; ++i) {
            ListedService service{};
            service.name = entries[i].lpServiceName ? entries[i].lpServiceName : L"";
            service.displayName = entries[i].lpDisplayName ? entries[i].lpDisplayName : L"";
            service.status = StatusReportOf(entries[i].ServiceStatusProcess);
            listed.push_back(service);
        }
        return NO_ERROR;
    }
    return ERROR_MORE_DATA;
}

static DWORD ReadCommandLineOf(const ScHandle& manager, const std::wstring& name,
                               std::wstring& commandLine) {
    ScHandle service;
    if (DWORD error = OpenNamedService(manager, name, SERVICE_QUERY_CONFIG, service)) return error;
    return ReadCommandLine(service.handle, commandLine);
}

std::optional<StepFailure> ListWrappedServices(std::vector<ListedService>& services,
                                               std::vector<UnreadService>& unread) {
    ScHandle manager;
    if (DWORD error = OpenManager(SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE, manager)) {
        return StepFailure{L"cannot open the service control manager.", error};
    }
    std::vector<ListedService> listed;
    if (DWORD error = ListServices(manager, listed)) {
        return StepFailure{L"the manager did not list them.", error};
    }
    for (ListedService& entry : listed) {
        std::wstring commandLine;
        DWORD error = ReadCommandLineOf(manager, entry.name, commandLine);
        // Deleted since the listing: not a service any more.
        if (error == ERROR_SERVICE_DOES_NOT_EXIST || error == ERROR_SERVICE_MARKED_FOR_DELETE) {
            continue;
        }
        if (error != NO_ERROR) {
            unread.push_back({entry.name, error});
            continue;
        }
        entry.commandLine = DecodeServiceCommandLine(commandLine);
        if (entry.commandLine.wrapped) services.push_back(entry);
    }
    return std::nullopt;
}

std::vector<std::wstring> MissingServices(const std::vector<std::wstring>& names) {
    std::vector<std::wstring> missing;
    ScHandle manager;
    if (OpenManager(SC_MANAGER_CONNECT, manager) != NO_ERROR) return missing;
    for (const std::wstring& name : names) {
        if (name.empty() || name[0] == L'+') continue;
        ScHandle service;
        if (OpenNamedService(manager, name, SERVICE_QUERY_STATUS, service) ==
            ERROR_SERVICE_DOES_NOT_EXIST) {
            missing.push_back(name);
        }
    }
    return missing;
}
