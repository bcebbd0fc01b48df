#include "setup/model/account_lookup.h"

#include "setup/model/service_config.h"
#include "setup/model/text.h"

std::wstring NameToLookUp(const std::wstring& account, const std::wstring& computerName) {
    if (account.compare(0, 2, L".\\") == 0) return computerName + account.substr(1);
    return account;
}

constexpr DWORD kNoneMapped = 1332;  // ERROR_NONE_MAPPED: no account of that name

static const wchar_t* KindWords(int sidNameUse) {
    switch (sidNameUse) {
    case 2: return L"a group";
    case 3: return L"a domain";
    case 4: return L"a group (an alias, such as the computer's own groups)";
    case 5: return L"a well-known group";
    case 6: return L"a deleted account";
    case 9: return L"a computer";
    case 10: return L"an integrity label";
    default: return L"not a user account";
    }
}

std::wstring JudgeLookedUpAccount(const std::wstring& given, const AccountLookup& lookup,
                                  std::wstring& account) {
    const std::wstring shown = L"the account \"" + Printable(given) + L"\"";
    if (lookup.error == kNoneMapped) {
        return shown + L" does not exist on this computer or in its domain: a service cannot "
                       L"log on as it.";
    }
    if (lookup.error != NO_ERROR) {
        return shown + L" could not be looked up, so whether a service can log on as it is "
                       L"not known. Windows error " + std::to_wstring(lookup.error) + L".";
    }
    const std::pair<const wchar_t*, const wchar_t*> kSystemAccounts[] = {
        {L"S-1-5-18", kLocalSystemAccount},
        {L"S-1-5-19", kLocalServiceAccount},
        {L"S-1-5-20", kNetworkServiceAccount},
    };
    for (const auto& system : kSystemAccounts) {
        if (lookup.sid == system.first) {
            account = system.second;
            return L"";
        }
    }
    if (lookup.sidNameUse == kSidTypeUser) {
        account = given;
        return L"";
    }
    return shown + L" is " + KindWords(lookup.sidNameUse) + L" (" + lookup.sid +
           L"), not an account: a service runs as one account, and Windows cannot log on as a "
           L"group. Name a user account, or a group managed service account (DOMAIN\\name$).";
}
