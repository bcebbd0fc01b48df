// The user account install, apply and set are given, looked up before
// anything is written.
#include "setup/manager/account_reading.h"
#include "setup/model/account_lookup.h"
#include "setup/verbs/config_verbs.h"

CheckProblem CheckUserAccount(ServiceConfig& config) {
    if (AccountKindOf(config.account) != AccountKind::User) return {};
    const AccountLookup lookup = LookUpAccountName(NameToLookUp(config.account, ComputerName()));
    std::wstring account;
    const std::wstring problem = JudgeLookedUpAccount(config.account, lookup, account);
    if (!problem.empty()) return {problem, lookup.error};
    config.account = account;
    return {};
}
