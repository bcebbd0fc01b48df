#include "setup/manager/service_handles.h"

#include "service/service_state.h"

DWORD OpenManager(DWORD access, ScHandle& manager) {
    manager = ScHandle(
        OpenSCManagerW(/*lpMachineName=*/nullptr, /*lpDatabaseName=*/nullptr, access));
    return manager.handle ? NO_ERROR : LastErrorOf();
}

DWORD OpenNamedService(const ScHandle& manager, const std::wstring& name, DWORD access,
                       ScHandle& service) {
    service = ScHandle(OpenServiceW(manager.handle, name.c_str(), access));
    return service.handle ? NO_ERROR : LastErrorOf();
}

std::optional<StepFailure> OpenServiceByName(const std::wstring& name, DWORD access,
                                             ServiceHandles& handles,
                                             const wchar_t* openProblem) {
    handles = ServiceHandles{};
    if (DWORD error = OpenManager(SC_MANAGER_CONNECT, handles.manager)) {
        return StepFailure{L"cannot open the service control manager.", error};
    }
    const DWORD error = OpenNamedService(handles.manager, name, access, handles.service);
    if (error == NO_ERROR) return std::nullopt;
    handles = ServiceHandles{};
    if (error == ERROR_SERVICE_DOES_NOT_EXIST) {
        return StepFailure{L"there is no service of that name.", error};
    }
    return StepFailure{openProblem, error};
}
