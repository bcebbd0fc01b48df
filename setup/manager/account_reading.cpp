#include "setup/manager/account_reading.h"

#include <sddl.h>

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
