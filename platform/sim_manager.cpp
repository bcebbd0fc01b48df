// The simulated service control manager's database: handles and the rights
// they hold, finding services by name, creating and deleting them. The
// configuration calls are in sim_manager_config.cpp, state and control in
// sim_manager_state.cpp, enumeration in sim_manager_enum.cpp.
#include "platform/platform.h"

#include <cwchar>
#include <cwctype>

#include "platform/sim_manager_internal.h"

using sim::CallScope;
using sim::Kind;
using sim::Object;
using sim::g_sim;
using sim::g_simLock;

namespace sim {
namespace {

// What the generic rights stand for on the manager and on a service.
struct GenericMapping {
    DWORD read;
    DWORD write;
    DWORD execute;
    DWORD all;
};

constexpr GenericMapping kManagerRights = {
    STANDARD_RIGHTS_READ | SC_MANAGER_ENUMERATE_SERVICE | SC_MANAGER_QUERY_LOCK_STATUS,
    STANDARD_RIGHTS_WRITE | SC_MANAGER_CREATE_SERVICE | SC_MANAGER_MODIFY_BOOT_CONFIG,
    STANDARD_RIGHTS_EXECUTE | SC_MANAGER_CONNECT | SC_MANAGER_LOCK,
    SC_MANAGER_ALL_ACCESS,
};

constexpr GenericMapping kServiceRights = {
    STANDARD_RIGHTS_READ | SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS | SERVICE_INTERROGATE |
        SERVICE_ENUMERATE_DEPENDENTS,
    STANDARD_RIGHTS_WRITE | SERVICE_CHANGE_CONFIG,
    STANDARD_RIGHTS_EXECUTE | SERVICE_START | SERVICE_STOP | SERVICE_PAUSE_CONTINUE |
        SERVICE_USER_DEFINED_CONTROL,
    SERVICE_ALL_ACCESS,
};

// The rights a handle gets for the access asked. The simulated caller is an
// administrator: it is granted whatever it asks for, and MAXIMUM_ALLOWED
// is everything.
DWORD Granted(DWORD desired, const GenericMapping& mapping) {
    DWORD granted = desired;
    if (desired & GENERIC_READ) granted |= mapping.read;
    if (desired & GENERIC_WRITE) granted |= mapping.write;
    if (desired & GENERIC_EXECUTE) granted |= mapping.execute;
    if (desired & (GENERIC_ALL | MAXIMUM_ALLOWED)) granted |= mapping.all;
    return granted & mapping.all;
}

constexpr std::size_t kMaxNameLength = 256;

}  // namespace

std::wstring Folded(const std::wstring& name) {
    std::wstring folded = name;
    for (wchar_t& c : folded) c = static_cast<wchar_t>(std::towlower(c));
    return folded;
}

// Without copies: every report of the wrapper's runs looks up its service.
bool SameName(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    if (a == b) return true;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::towlower(a[i]) != std::towlower(b[i])) return false;
    }
    return true;
}

ServiceRecord* FindService(const std::wstring& name) {
    for (ServiceRecord& record : g_sim.services) {
        if (SameName(record.name, name)) return &record;
    }
    return nullptr;
}

bool ValidServiceName(LPCWSTR name) {
    return name && *name && std::wcslen(name) <= kMaxNameLength && !std::wcschr(name, L'\\') &&
           !std::wcschr(name, L'/');
}

DWORD CheckServiceValues(DWORD serviceType, DWORD startType, DWORD errorControl) {
    const DWORD process = serviceType & ~SERVICE_INTERACTIVE_PROCESS;
    const bool win32 =
        process == SERVICE_WIN32_OWN_PROCESS || process == SERVICE_WIN32_SHARE_PROCESS;
    const bool driver =
        serviceType == SERVICE_KERNEL_DRIVER || serviceType == SERVICE_FILE_SYSTEM_DRIVER;
    // Only drivers are loaded at boot or by the system.
    bool ok = (win32 || driver) && startType <= SERVICE_DISABLED &&
              (driver || startType >= SERVICE_AUTO_START) && errorControl <= SERVICE_ERROR_CRITICAL;
    return ok ? NO_ERROR : ERROR_INVALID_PARAMETER;
}

bool DisplayNameTaken(const std::wstring& displayName, const ServiceRecord* self) {
    for (const ServiceRecord& other : g_sim.services) {
        if (&other == self) continue;
        if (SameName(other.name, displayName) || SameName(other.displayName, displayName)) {
            return true;
        }
    }
    return false;
}

ServiceRecord* ServiceFor(CallScope& call, SC_HANDLE handle, DWORD right) {
    const Object* service = Find(handle, Kind::Service);
    if (!service) {
        Problem(std::string(call.name()) + " was given a handle that is not an open service");
        call.FailLocked(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if ((service->access & right) != right) {
        call.FailLocked(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    // A service stays in the database while a handle to it is open.
    return FindService(service->serviceName);
}

bool ManagerAllows(CallScope& call, SC_HANDLE handle, DWORD right) {
    const Object* manager = Find(handle, Kind::Manager);
    if (!manager) {
        Problem(std::string(call.name()) + " was given a manager handle that is not open");
        call.FailLocked(ERROR_INVALID_HANDLE);
        return false;
    }
    if ((manager->access & right) != right) {
        call.FailLocked(ERROR_ACCESS_DENIED);
        return false;
    }
    return true;
}

}  // namespace sim

// The simulated platform has no other machine and one database.
SC_HANDLE OpenSCManagerW(LPCWSTR /*lpMachineName*/, LPCWSTR /*lpDatabaseName*/,
                         DWORD dwDesiredAccess) {
    CallScope call("OpenSCManagerW");
    if (call.Injected()) {
        call.Fail(call.InjectedError());
        return nullptr;
    }
    std::lock_guard<std::mutex> held(g_simLock);
    Object manager = sim::OfKind(Kind::Manager);
    // Connecting is implied by opening at all.
    manager.access = sim::Granted(dwDesiredAccess, sim::kManagerRights) | SC_MANAGER_CONNECT;
    return static_cast<SC_HANDLE>(sim::NewHandle(manager));
}

static SC_HANDLE NewServiceHandle(const std::wstring& name, DWORD desiredAccess) {
    Object service = sim::OfKind(Kind::Service);
    service.serviceName = name;
    service.access = sim::Granted(desiredAccess, sim::kServiceRights);
    return static_cast<SC_HANDLE>(sim::NewHandle(service));
}

// A service marked for deletion still opens, as long as it exists.
SC_HANDLE OpenServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName, DWORD dwDesiredAccess) {
    CallScope call("OpenServiceW");
    if (call.Injected()) {
        call.Fail(call.InjectedError());
        return nullptr;
    }
    std::lock_guard<std::mutex> held(g_simLock);
    if (!sim::ManagerAllows(call, hSCManager, SC_MANAGER_CONNECT)) return nullptr;
    if (!lpServiceName) {
        sim::Problem("OpenServiceW was given no name");
        call.FailLocked(RPC_X_NULL_REF_POINTER);
        return nullptr;
    }
    if (!sim::ValidServiceName(lpServiceName)) {
        call.FailLocked(ERROR_INVALID_NAME);
        return nullptr;
    }
    const sim::ServiceRecord* record = sim::FindService(lpServiceName);
    if (!record) {
        call.FailLocked(ERROR_SERVICE_DOES_NOT_EXIST);
        return nullptr;
    }
    return NewServiceHandle(record->name, dwDesiredAccess);
}

// The checks in the order the manager makes them; the first failing one
// gives the error.
static DWORD CheckNewService(LPCWSTR name, const std::wstring& displayName, DWORD serviceType,
                             DWORD startType, DWORD errorControl, LPCWSTR binaryPathName) {
    if (!sim::ValidServiceName(name)) return ERROR_INVALID_NAME;
    if (DWORD error = sim::CheckServiceValues(serviceType, startType, errorControl)) return error;
    if (!binaryPathName || !*binaryPathName) return ERROR_INVALID_PARAMETER;
    if (const sim::ServiceRecord* existing = sim::FindService(name)) {
        return existing->markedForDelete ? ERROR_SERVICE_MARKED_FOR_DELETE : ERROR_SERVICE_EXISTS;
    }
    if (sim::DisplayNameTaken(displayName, nullptr)) return ERROR_DUPLICATE_SERVICE_NAME;
    return NO_ERROR;
}

// Tags order drivers within their group; a Win32 service gets none.
SC_HANDLE CreateServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName, LPCWSTR lpDisplayName,
                         DWORD dwDesiredAccess, DWORD dwServiceType, DWORD dwStartType,
                         DWORD dwErrorControl, LPCWSTR lpBinaryPathName, LPCWSTR lpLoadOrderGroup,
                         LPDWORD lpdwTagId, LPCWSTR lpDependencies, LPCWSTR lpServiceStartName,
                         LPCWSTR lpPassword) {
    CallScope call("CreateServiceW");
    if (call.Injected()) {
        call.Fail(call.InjectedError());
        return nullptr;
    }
    std::lock_guard<std::mutex> held(g_simLock);
    if (!sim::ManagerAllows(call, hSCManager, SC_MANAGER_CREATE_SERVICE)) return nullptr;
    std::wstring displayName = lpDisplayName && *lpDisplayName ? lpDisplayName
                               : lpServiceName                  ? lpServiceName
                                                                : L"";
    if (DWORD error = CheckNewService(lpServiceName, displayName, dwServiceType, dwStartType,
                                      dwErrorControl, lpBinaryPathName)) {
        call.FailLocked(error);
        return nullptr;
    }
    sim::ServiceRecord record;
    record.name = lpServiceName;
    record.displayName = displayName;
    record.binaryPathName = lpBinaryPathName;
    if (lpServiceStartName && *lpServiceStartName) record.serviceStartName = lpServiceStartName;
    record.passwordSet = lpPassword && *lpPassword;
    record.loadOrderGroup = lpLoadOrderGroup ? lpLoadOrderGroup : L"";
    record.dependencies = sim::SplitMultiString(lpDependencies);
    record.serviceType = dwServiceType;
    record.startType = dwStartType;
    record.errorControl = dwErrorControl;
    record.status.dwServiceType = dwServiceType;
    if (lpdwTagId) *lpdwTagId = 0;
    g_sim.services.push_back(record);
    return NewServiceHandle(record.name, dwDesiredAccess);
}

// Marks the service; the manager removes it once no handle to it is open.
BOOL DeleteService(SC_HANDLE hService) {
    CallScope call("DeleteService");
    if (call.Injected()) {
        call.Fail(call.InjectedError());
        return FALSE;
    }
    std::lock_guard<std::mutex> held(g_simLock);
    sim::ServiceRecord* record = sim::ServiceFor(call, hService, DELETE);
    if (!record) return FALSE;
    if (record->markedForDelete) {
        call.FailLocked(ERROR_SERVICE_MARKED_FOR_DELETE);
        return FALSE;
    }
    record->markedForDelete = true;
    return TRUE;
}

// Removes a service marked for deletion once no open handle names it.
static void ForgetIfDeleted(const std::wstring& name) {
    std::lock_guard<std::mutex> held(g_simLock);
    sim::ServiceRecord* record = sim::FindService(name);
    if (!record || !record->markedForDelete) return;
    for (const auto& entry : g_sim.objects) {
        if (entry.second.kind == Kind::Service && sim::SameName(entry.second.serviceName, name)) {
            return;
        }
    }
    g_sim.dueReports.erase(sim::Folded(name));
    g_sim.services.erase(g_sim.services.begin() + (record - g_sim.services.data()));
}

BOOL CloseServiceHandle(SC_HANDLE hSCObject) {
    CallScope call("CloseServiceHandle");
    std::wstring name;
    {
        std::lock_guard<std::mutex> held(g_simLock);
        const Object* service = sim::Find(hSCObject, Kind::Service);
        if (service) name = service->serviceName;
    }
    BOOL closed = CloseObject(call, hSCObject, /*serviceHandle=*/true);
    if (!name.empty()) ForgetIfDeleted(name);
    return closed;
}
