#include "setup/manager/logon_right.h"

#include <new>

#include <ntsecapi.h>

#include "setup/manager/account_reading.h"

static const wchar_t kServiceLogonRight[] = L"SeServiceLogonRight";

static DWORD LookUpSid(const std::wstring& account, BYTE (&sid)[SECURITY_MAX_SID_SIZE]) {
    DWORD sidSize = sizeof(sid);
    wchar_t domain[256];
    DWORD domainLength = sizeof(domain) / sizeof(domain[0]);
    SID_NAME_USE use;
    if (LookupAccountNameW(/*lpSystemName=*/nullptr, NameToLookUp(account, ComputerName()).c_str(), sid, &sidSize,
                           domain, &domainLength, &use)) {
        return NO_ERROR;
    }
    return GetLastError();
}

static bool IsServiceLogonRight(const LSA_UNICODE_STRING& right) {
    const int length = static_cast<int>(right.Length / sizeof(wchar_t));
    return CompareStringOrdinal(right.Buffer, length, kServiceLogonRight, -1,
                                /*bIgnoreCase=*/TRUE) == CSTR_EQUAL;
}

// Whether the account holds the right; an account the policy knows
// nothing of holds none.
static DWORD HoldsRight(LSA_HANDLE policy, PSID sid, bool& holds) {
    holds = false;
    PLSA_UNICODE_STRING rights = nullptr;
    ULONG count = 0;
    const NTSTATUS status = LsaEnumerateAccountRights(policy, sid, &rights, &count);
    const NTSTATUS kObjectNameNotFound = static_cast<NTSTATUS>(0xC0000034);
    if (status == kObjectNameNotFound) return NO_ERROR;
    if (status != 0) return LsaNtStatusToWinError(status);
    for (ULONG i = 0; i < count; ++i) holds = holds || IsServiceLogonRight(rights[i]);
    LsaFreeMemory(rights);
    return NO_ERROR;
}

static DWORD Grant(const std::wstring& account, bool& granted) {
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD error = LookUpSid(account, sid);
    if (error != NO_ERROR) return error;
    LSA_OBJECT_ATTRIBUTES attributes = {};
    LSA_HANDLE policy = nullptr;
    NTSTATUS status = LsaOpenPolicy(/*SystemName=*/nullptr, &attributes,
                                    POLICY_LOOKUP_NAMES | POLICY_CREATE_ACCOUNT, &policy);
    if (status != 0) return LsaNtStatusToWinError(status);
    bool holds = false;
    error = HoldsRight(policy, sid, holds);
    if (error == NO_ERROR && !holds) {
        // The call takes the right's name by a non-const pointer; it only reads it.
        const USHORT bytes = static_cast<USHORT>(sizeof(kServiceLogonRight));
        LSA_UNICODE_STRING right = {static_cast<USHORT>(bytes - sizeof(wchar_t)), bytes,
                                    const_cast<PWSTR>(kServiceLogonRight)};
        status = LsaAddAccountRights(policy, sid, &right, 1);
        error = status == 0 ? NO_ERROR : LsaNtStatusToWinError(status);
        granted = error == NO_ERROR;
    }
    LsaClose(policy);
    return error;
}

DWORD GrantServiceLogonRight(const std::wstring& account, bool& granted) {
    granted = false;
    // The service exists by now and is deleted again on a failure: running
    // out of memory here is one, not an exception past it.
    try {
        return Grant(account, granted);
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}
