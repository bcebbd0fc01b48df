// The user account install, apply and set are given, looked up before
// anything is written.
#include "setup/manager/account_reading.h"
#include "setup/model/account_lookup.h"
#include "setup/verbs/config_verbs.h"

static std::wstring ComputerName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
    return GetComputerNameW(name, &length) ? std::wstring(name, length) : L".";
}

CheckProblem CheckUserAccount(ServiceConfig& config) {
    if (AccountKindOf(config.account) != AccountKind::User) return {};
    const AccountLookup lookup = LookUpAccountName(NameToLookUp(config.account, ComputerName()));
    std::wstring account;
    const std::wstring problem = JudgeLookedUpAccount(config.account, lookup, account);
    if (!problem.empty()) return {problem, lookup.error};
    config.account = account;
    return {};
}
