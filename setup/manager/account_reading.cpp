#include "setup/manager/account_reading.h"

#include "setup/model/service_sid.h"

std::wstring ComputerName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
    return GetComputerNameW(name, &length) ? std::wstring(name, length) : L".";
}

AccountLookup LookUpAccountName(const std::wstring& name) {
    AccountLookup lookup{NO_ERROR, 0, L""};
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof(sid);
    wchar_t domain[256];
    DWORD domainLength = 256;
    SID_NAME_USE use = SidTypeUnknown;
    if (!LookupAccountNameW(/*lpSystemName=*/nullptr, name.c_str(), sid, &sidSize, domain,
                            &domainLength, &use)) {
        lookup.error = GetLastError();
        return lookup;
    }
    lookup.sidNameUse = static_cast<int>(use);
    LPWSTR text = nullptr;
    if (ConvertSidToStringSidW(sid, &text)) {
        lookup.sid = text;
        LocalFree(text);
    }
    return lookup;
}

DWORD AccountSidOf(const std::wstring& account, std::wstring& sid) {
    if (std::optional<std::wstring> known = SidOfBuiltInAccount(account)) {
        sid = *known;
        return NO_ERROR;
    }
    const AccountLookup lookup = LookUpAccountName(NameToLookUp(account, ComputerName()));
    if (lookup.error != NO_ERROR) return lookup.error;
    // The SID the lookup gave fails to become text only for want of memory.
    if (lookup.sid.empty()) return ERROR_NOT_ENOUGH_MEMORY;
    sid = lookup.sid;
    return NO_ERROR;
}
