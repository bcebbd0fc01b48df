#include "setup/manager/service_security.h"

#include "setup/manager/service_handles.h"

DWORD ReadServiceSecurity(const std::wstring& name, std::vector<BYTE>& descriptor) {
    ServiceHandles handles;
    if (auto failure = OpenServiceByName(name, READ_CONTROL, handles)) return failure->error;
    descriptor.assign(256, 0);
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD needed = 0;
        if (QueryServiceObjectSecurity(handles.service.handle, DACL_SECURITY_INFORMATION,
                                       descriptor.data(), static_cast<DWORD>(descriptor.size()),
                                       &needed)) {
            return NO_ERROR;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_INSUFFICIENT_BUFFER) return error;
        descriptor.resize(needed);
    }
    return ERROR_INSUFFICIENT_BUFFER;
}
