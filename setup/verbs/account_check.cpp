// The user account install, apply and set are given, looked up before
// anything is written.
#include "setup/model/account_lookup.h"
#include "setup/verbs/config_verbs.h"

#include <sddl.h>

static std::wstring ComputerName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
    return GetComputerNameW(name, &length) ? std::wstring(name, length) : L".";
}

static AccountLookup LookUp(const std::wstring& name) {
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

CheckProblem CheckUserAccount(ServiceConfig& config) {
    if (AccountKindOf(config.account) != AccountKind::User) return {};
    const AccountLookup lookup = LookUp(NameToLookUp(config.account, ComputerName()));
    std::wstring account;
    const std::wstring problem = JudgeLookedUpAccount(config.account, lookup, account);
    if (!problem.empty()) return {problem, lookup.error};
    config.account = account;
    return {};
}
