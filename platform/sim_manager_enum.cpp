// The simulated manager's listing of services and its translation between
// a service's name and its display name.
#include "platform/platform.h"

#include <algorithm>
#include <cstring>

#include "platform/sim_manager_internal.h"

using sim::CallScope;
using sim::ServiceRecord;
using sim::g_sim;
using sim::g_simLock;

static bool Listed(const ServiceRecord& record, DWORD serviceType, DWORD serviceState,
                   LPCWSTR groupName) {
    const DWORD state = sim::Active(record) ? SERVICE_ACTIVE : SERVICE_INACTIVE;
    // A null group lists every service, an empty one those in no group.
    return (record.serviceType & serviceType) && (state & serviceState) &&
           (!groupName || sim::SameName(record.loadOrderGroup, groupName));
}

// The services listed, in the order of their names as the manager sorts them.
static std::vector<const ServiceRecord*> ListedServices(DWORD serviceType, DWORD serviceState,
                                                        LPCWSTR groupName) {
    std::vector<const ServiceRecord*> listed;
    for (const ServiceRecord& record : g_sim.services) {
        if (Listed(record, serviceType, serviceState, groupName)) listed.push_back(&record);
    }
    std::sort(listed.begin(), listed.end(), [](const ServiceRecord* a, const ServiceRecord* b) {
        return sim::Folded(a->name) < sim::Folded(b->name);
    });
    return listed;
}

static DWORD EntryBytes(const ServiceRecord& record) {
    return sizeof(ENUM_SERVICE_STATUS_PROCESSW) + sim::StringBytes(record.name) +
           sim::StringBytes(record.displayName);
}

static DWORD BytesFrom(const std::vector<const ServiceRecord*>& listed, std::size_t first) {
    DWORD bytes = 0;
    for (std::size_t i = first; i < listed.size(); ++i) bytes += EntryBytes(*listed[i]);
    return bytes;
}

// Packs entries from the first one on while they fit: records from the
// buffer's start, strings from its end. Gives the first entry left out.
static std::size_t PackEntries(const std::vector<const ServiceRecord*>& listed, std::size_t first,
                               LPBYTE buffer, DWORD size, DWORD& returned) {
    DWORD stringsAt = size & ~DWORD{1};  // strings stay aligned for WCHAR
    std::size_t next = first;
    for (; next < listed.size(); ++next) {
        const ServiceRecord& record = *listed[next];
        const DWORD strings = sim::StringBytes(record.name) + sim::StringBytes(record.displayName);
        if ((returned + 1) * sizeof(ENUM_SERVICE_STATUS_PROCESSW) + strings > stringsAt) break;
        stringsAt -= strings;
        DWORD offset = stringsAt;
        ENUM_SERVICE_STATUS_PROCESSW entry = {};
        entry.lpServiceName = sim::PackString(buffer, offset, record.name);
        entry.lpDisplayName = sim::PackString(buffer, offset, record.displayName);
        entry.ServiceStatusProcess = record.status;
        entry.ServiceStatusProcess.dwServiceType = record.serviceType;
        std::memcpy(buffer + returned * sizeof(entry), &entry, sizeof(entry));
        ++returned;
    }
    return next;
}

static DWORD CheckEnumArguments(SC_ENUM_TYPE level, DWORD serviceType, DWORD serviceState) {
    if (level != SC_ENUM_PROCESS_INFO) return ERROR_INVALID_LEVEL;
    if (!serviceType || (serviceType & ~SERVICE_TYPE_ALL)) return ERROR_INVALID_PARAMETER;
    if (!serviceState || (serviceState & ~SERVICE_STATE_ALL)) return ERROR_INVALID_PARAMETER;
    return NO_ERROR;
}

// As many entries as fit (under ListAllOrNothing, none unless all do). With
// more left, the call fails with ERROR_MORE_DATA, the bytes the rest needs
// and the resume handle at the first one left.
BOOL EnumServicesStatusExW(SC_HANDLE hSCManager, SC_ENUM_TYPE InfoLevel, DWORD dwServiceType,
                           DWORD dwServiceState, LPBYTE lpServices, DWORD cbBufSize,
                           LPDWORD pcbBytesNeeded, LPDWORD lpServicesReturned,
                           LPDWORD lpResumeHandle, LPCWSTR pszGroupName) {
    CallScope call("EnumServicesStatusExW");
    if (call.Injected()) {
        call.Fail(call.InjectedError());
        return FALSE;
    }
    std::lock_guard<std::mutex> held(g_simLock);
    if (!sim::ManagerAllows(call, hSCManager, SC_MANAGER_ENUMERATE_SERVICE)) return FALSE;
    if (!pcbBytesNeeded || !lpServicesReturned) {
        sim::Problem("EnumServicesStatusExW was given no place for its counts");
        call.FailLocked(RPC_X_NULL_REF_POINTER);
        return FALSE;
    }
    if (DWORD error = CheckEnumArguments(InfoLevel, dwServiceType, dwServiceState)) {
        call.FailLocked(error);
        return FALSE;
    }
    sim::CatchUpServices();
    const std::vector<const ServiceRecord*> listed =
        ListedServices(dwServiceType, dwServiceState, pszGroupName);
    std::size_t next = lpResumeHandle ? *lpResumeHandle : 0;
    DWORD returned = 0;
    const bool allOrNothing = g_sim.listAllOrNothing && BytesFrom(listed, next) > cbBufSize;
    if (lpServices && !allOrNothing) next = PackEntries(listed, next, lpServices, cbBufSize, returned);
    *lpServicesReturned = returned;
    const DWORD rest = BytesFrom(listed, next);
    *pcbBytesNeeded = rest;
    if (lpResumeHandle) *lpResumeHandle = rest ? static_cast<DWORD>(next) : 0;
    if (!rest) return TRUE;
    call.FailLocked(ERROR_MORE_DATA);
    return FALSE;
}

// The name into the caller's buffer, whose size counts characters: on
// ERROR_INSUFFICIENT_BUFFER it says the length needed, without the null.
static BOOL GiveName(CallScope& call, const std::wstring& name, LPWSTR buffer, LPDWORD cchBuffer) {
    const DWORD length = static_cast<DWORD>(name.size());
    if (!buffer || *cchBuffer <= length) {
        *cchBuffer = length;
        call.FailLocked(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(buffer, name.c_str(), (name.size() + 1) * sizeof(WCHAR));
    *cchBuffer = length;
    return TRUE;
}

// Finds the service by its name, or else by its display name.
static const ServiceRecord* Named(CallScope& call, SC_HANDLE manager, LPCWSTR name,
                                  bool byDisplayName, LPDWORD cchBuffer) {
    if (!sim::ManagerAllows(call, manager, SC_MANAGER_CONNECT)) return nullptr;
    if (!name || !cchBuffer) {
        sim::Problem(std::string(call.name()) + " was given no name or no buffer size");
        call.FailLocked(RPC_X_NULL_REF_POINTER);
        return nullptr;
    }
    for (const ServiceRecord& record : g_sim.services) {
        if (sim::SameName(byDisplayName ? record.displayName : record.name, name)) return &record;
    }
    call.FailLocked(ERROR_SERVICE_DOES_NOT_EXIST);
    return nullptr;
}

BOOL GetServiceKeyNameW(SC_HANDLE hSCManager, LPCWSTR lpDisplayName, LPWSTR lpServiceName,
                        LPDWORD lpcchBuffer) {
    CallScope call("GetServiceKeyNameW");
    if (call.Injected()) {
        call.Fail(call.InjectedError());
        return FALSE;
    }
    std::lock_guard<std::mutex> held(g_simLock);
    const ServiceRecord* record =
        Named(call, hSCManager, lpDisplayName, /*byDisplayName=*/true, lpcchBuffer);
    return record ? GiveName(call, record->name, lpServiceName, lpcchBuffer) : FALSE;
}

BOOL GetServiceDisplayNameW(SC_HANDLE hSCManager, LPCWSTR lpServiceName, LPWSTR lpDisplayName,
                            LPDWORD lpcchBuffer) {
    CallScope call("GetServiceDisplayNameW");
    if (call.Injected()) {
        call.Fail(call.InjectedError());
        return FALSE;
    }
    std::lock_guard<std::mutex> held(g_simLock);
    const ServiceRecord* record =
        Named(call, hSCManager, lpServiceName, /*byDisplayName=*/false, lpcchBuffer);
    return record ? GiveName(call, record->displayName, lpDisplayName, lpcchBuffer) : FALSE;
}
