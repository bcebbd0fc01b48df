#include "setup/manager/service_lookup.h"

std::optional<StepFailure> OpenServiceByName(const std::wstring& name, DWORD access,
                                             ServiceHandles& handles) {
    handles = {nullptr, nullptr};
    if (DWORD error = OpenManager(SC_MANAGER_CONNECT, handles.manager)) {
        return StepFailure{L"cannot open the service control manager.", error};
    }
    const DWORD error = OpenNamedService(handles.manager, name, access, handles.service);
    if (error == NO_ERROR) return std::nullopt;
    CloseServiceHandles(handles);
    if (error == ERROR_SERVICE_DOES_NOT_EXIST) {
        return StepFailure{L"there is no service of that name.", error};
    }
    return StepFailure{L"cannot open the service.", error};
}

void CloseServiceHandles(ServiceHandles& handles) {
    if (handles.service) CloseServiceHandle(handles.service);
    if (handles.manager) CloseServiceHandle(handles.manager);
    handles = {nullptr, nullptr};
}

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
static DWORD ListServices(SC_HANDLE manager, std::vector<ListedService>& listed) {
    std::vector<BYTE> buffer(16 * 1024);
    for (int attempt = 0; attempt < 8; ++attempt) {
        DWORD needed = 0;
        DWORD returned = 0;
        DWORD resume = 0;
        const BOOL all = EnumServicesStatusExW(
            manager, SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_STATE_ALL, buffer.data(),
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

DWORD ListWrappedServices(SC_HANDLE manager, std::vector<ListedService>& services,
                          std::vector<UnreadService>& unread) {
    std::vector<ListedService> listed;
    if (DWORD error = ListServices(manager, listed)) return error;
    for (ListedService& entry : listed) {
        SC_HANDLE service = OpenServiceW(manager, entry.name.c_str(), SERVICE_QUERY_CONFIG);
        std::wstring commandLine;
        DWORD error = service ? ReadCommandLine(service, commandLine) : GetLastError();
        if (service) CloseServiceHandle(service);
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
    return NO_ERROR;
}
