#include "setup/model/service_config.h"

#include "setup/model/text.h"

const wchar_t kLocalSystemAccount[] = L"LocalSystem";
const wchar_t kLocalServiceAccount[] = L"NT AUTHORITY\\LocalService";
const wchar_t kNetworkServiceAccount[] = L"NT AUTHORITY\\NetworkService";

RecoveryPolicy DefaultRecovery() {
    return RestartPolicy({10000, 30000, 60000}, kDefaultResetPeriodSeconds);
}

RecoveryPolicy RestartPolicy(const std::vector<DWORD>& delaysMs, DWORD resetPeriodSeconds) {
    RecoveryPolicy policy{{}, resetPeriodSeconds};
    for (DWORD delayMs : delaysMs) policy.actions.push_back({RecoveryActionType::Restart, delayMs});
    return policy;
}

bool SameRecovery(const RecoveryPolicy& a, const RecoveryPolicy& b) {
    if (a.actions.empty() && b.actions.empty()) return true;
    if (a.resetPeriodSeconds != b.resetPeriodSeconds || a.actions.size() != b.actions.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.actions.size(); ++i) {
        if (a.actions[i].type != b.actions[i].type) return false;
        // A delay means nothing to an action that does nothing.
        if (a.actions[i].type != RecoveryActionType::None &&
            a.actions[i].delayMs != b.actions[i].delayMs) {
            return false;
        }
    }
    return true;
}

static bool StartsWithIgnoringCase(const std::wstring& text, const std::wstring& prefix) {
    return text.size() >= prefix.size() && SameIgnoringCase(text.substr(0, prefix.size()), prefix);
}

AccountKind AccountKindOf(const std::wstring& account) {
    if (account.empty() || SameIgnoringCase(account, kLocalSystemAccount) ||
        SameIgnoringCase(account, L".\\LocalSystem")) {
        return AccountKind::LocalSystem;
    }
    if (SameIgnoringCase(account, kLocalServiceAccount) ||
        SameIgnoringCase(account, L"NT AUTHORITY\\Local Service")) {
        return AccountKind::LocalService;
    }
    if (SameIgnoringCase(account, kNetworkServiceAccount) ||
        SameIgnoringCase(account, L"NT AUTHORITY\\Network Service")) {
        return AccountKind::NetworkService;
    }
    if (StartsWithIgnoringCase(account, L"NT SERVICE\\")) return AccountKind::Virtual;
    if (account.back() == L'$' && !StartsWithIgnoringCase(account, L".\\")) {
        return AccountKind::GroupManaged;
    }
    return AccountKind::User;
}

LPCWSTR ServiceStartName(const std::wstring& account) {
    return AccountKindOf(account) == AccountKind::LocalSystem ? nullptr : account.c_str();
}

// The manager's own spelling for the three built-in accounts, so that
// "NT AUTHORITY\Local Service" and "NT AUTHORITY\LocalService" are one.
static std::wstring CanonicalAccount(const std::wstring& account) {
    switch (AccountKindOf(account)) {
    case AccountKind::LocalSystem: return LowerAscii(kLocalSystemAccount);
    case AccountKind::LocalService: return LowerAscii(kLocalServiceAccount);
    case AccountKind::NetworkService: return LowerAscii(kNetworkServiceAccount);
    default: return LowerAscii(account);
    }
}

bool SameAccount(const std::wstring& a, const std::wstring& b) {
    return CanonicalAccount(a) == CanonicalAccount(b);
}

// Service and privilege names compare without regard to case, and a list
// of them has no order that means anything.
bool SameNames(const std::vector<std::wstring>& a, const std::vector<std::wstring>& b) {
    auto holdsAll = [](const std::vector<std::wstring>& x, const std::vector<std::wstring>& y) {
        for (const std::wstring& name : x) {
            bool found = false;
            for (const std::wstring& other : y) found = found || SameIgnoringCase(name, other);
            if (!found) return false;
        }
        return true;
    };
    return holdsAll(a, b) && holdsAll(b, a);
}

std::vector<std::wstring> SplitMultiString(LPCWSTR text) {
    std::vector<std::wstring> names;
    if (!text) return names;
    for (const wchar_t* p = text; *p; p += names.back().size() + 1) names.emplace_back(p);
    return names;
}

std::wstring JoinMultiString(const std::vector<std::wstring>& names) {
    std::wstring text;
    for (const std::wstring& name : names) {
        text += name;
        text += L'\0';
    }
    text += L'\0';  // c_str() adds the last null
    return text;
}

DWORD ServiceSidTypeValue(SidType type) {
    switch (type) {
    case SidType::None: return 0;          // SERVICE_SID_TYPE_NONE
    case SidType::Unrestricted: return 1;  // SERVICE_SID_TYPE_UNRESTRICTED
    case SidType::Restricted: return 3;    // SERVICE_SID_TYPE_RESTRICTED
    }
    return 0;
}

std::optional<SidType> SidTypeFromValue(DWORD value) {
    for (SidType type : {SidType::None, SidType::Unrestricted, SidType::Restricted}) {
        if (ServiceSidTypeValue(type) == value) return type;
    }
    return std::nullopt;
}

ServiceConfig DecodeStoredService(const StoredService& stored) {
    ServiceConfig config;
    config.name = stored.name;
    config.commandLine = DecodeServiceCommandLine(stored.binaryPathName);
    config.displayName = stored.displayName;
    config.description = stored.description;
    config.startType = stored.startType;
    config.delayedAutoStart = stored.delayedAutoStart;
    config.account =
        stored.serviceStartName.empty() ? kLocalSystemAccount : stored.serviceStartName;
    config.preshutdownTimeoutMs = stored.preshutdownTimeoutMs;
    config.recovery = stored.failureActions;
    config.failureOnNonZeroExit = stored.failureActionsOnNonCrashFailures;
    config.dependencies = stored.dependencies;
    if (stored.serviceSidType) config.sidType = SidTypeFromValue(*stored.serviceSidType);
    config.requiredPrivileges = stored.requiredPrivileges;
    return config;
}
