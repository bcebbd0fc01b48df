// The accounts of the simulated computer and the security calls that name
// them: the lookup of a name, a SID as text, the computer's own name.
#include "platform/platform.h"

#include <cstdlib>
#include <cstring>
#include <cwctype>

#include "platform/sim_internal.h"

namespace sim {

void SetComputerName(const std::wstring& name) {
    std::lock_guard<std::mutex> held(g_simLock);
    g_sim.computerName = name;
}

void AddAccount(const std::wstring& domain, const std::wstring& name, const std::wstring& sid,
                SID_NAME_USE use) {
    std::lock_guard<std::mutex> held(g_simLock);
    g_sim.accounts.push_back(Account{domain, name, sid, use});
}

}  // namespace sim

using sim::Account;
using sim::CallScope;
using sim::g_sim;
using sim::g_simLock;

namespace {

// The lookup compares names without regard to letter case.
bool SameAccountName(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::towlower(a[i]) != std::towlower(b[i])) return false;
    }
    return true;
}

// DOMAIN\name, or a name alone, which any domain the computer knows may hold.
// Hold g_simLock.
const Account* FindAccount(const std::wstring& given) {
    const std::size_t slash = given.find(L'\\');
    const std::wstring name = slash == std::wstring::npos ? given : given.substr(slash + 1);
    for (const Account& account : g_sim.accounts) {
        if (slash != std::wstring::npos && !SameAccountName(account.domain, given.substr(0, slash))) {
            continue;
        }
        if (SameAccountName(account.name, name)) return &account;
    }
    return nullptr;
}

// S-1-<authority>-<subauthority>... in the binary layout: revision, count,
// the authority in six bytes high first, the subauthorities low first.
std::vector<BYTE> BinarySid(const std::wstring& text) {
    std::vector<unsigned long long> parts;  // the revision, the authority, the subauthorities
    const wchar_t* at = text.c_str() + 2;   // after S-
    for (;;) {
        wchar_t* end = nullptr;
        parts.push_back(std::wcstoull(at, &end, 10));
        if (*end != L'-') break;
        at = end + 1;
    }
    std::vector<BYTE> sid = {static_cast<BYTE>(parts[0]), static_cast<BYTE>(parts.size() - 2)};
    for (int shift = 40; shift >= 0; shift -= 8) sid.push_back(static_cast<BYTE>(parts[1] >> shift));
    for (std::size_t i = 2; i < parts.size(); ++i) {
        for (int shift = 0; shift < 32; shift += 8) sid.push_back(static_cast<BYTE>(parts[i] >> shift));
    }
    return sid;
}

}  // namespace

BOOL LookupAccountNameW(LPCWSTR lpSystemName, LPCWSTR lpAccountName, PSID Sid, LPDWORD cbSid,
                        LPWSTR ReferencedDomainName, LPDWORD cchReferencedDomainName,
                        PSID_NAME_USE peUse) {
    CallScope call("LookupAccountNameW");
    if (call.Injected()) {
        call.Fail(call.InjectedError());
        return FALSE;
    }
    if (lpSystemName || !lpAccountName || !cbSid || !cchReferencedDomainName || !peUse) {
        call.Fail(ERROR_INVALID_PARAMETER);  // this computer only
        return FALSE;
    }
    std::lock_guard<std::mutex> held(g_simLock);
    const Account* account = FindAccount(lpAccountName);
    if (!account) {
        call.FailLocked(ERROR_NONE_MAPPED);
        return FALSE;
    }
    const std::vector<BYTE> sid = BinarySid(account->sid);
    const DWORD domainLength = static_cast<DWORD>(account->domain.size());
    if (!Sid || *cbSid < sid.size() || !ReferencedDomainName ||
        *cchReferencedDomainName <= domainLength) {
        *cbSid = static_cast<DWORD>(sid.size());
        *cchReferencedDomainName = domainLength + 1;
        call.FailLocked(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(Sid, sid.data(), sid.size());
    *cbSid = static_cast<DWORD>(sid.size());
    std::memcpy(ReferencedDomainName, account->domain.c_str(), (domainLength + 1) * sizeof(WCHAR));
    *cchReferencedDomainName = domainLength;
    *peUse = account->use;
    return TRUE;
}

BOOL ConvertSidToStringSidW(PSID Sid, LPWSTR* StringSid) {
    CallScope call("ConvertSidToStringSidW");
    const BYTE* sid = static_cast<const BYTE*>(Sid);
    if (call.Injected() || !sid || sid[0] != 1 || !StringSid) {
        call.Fail(call.Injected() ? call.InjectedError() : ERROR_INVALID_SID);
        return FALSE;
    }
    unsigned long long authority = 0;
    for (int i = 2; i < 8; ++i) authority = authority << 8 | sid[i];
    std::wstring text = L"S-1-" + std::to_wstring(authority);
    for (int i = 0; i < sid[1]; ++i) {
        const BYTE* part = sid + 8 + 4 * i;
        text += L"-" + std::to_wstring(DWORD(part[0]) | DWORD(part[1]) << 8 |
                                       DWORD(part[2]) << 16 | DWORD(part[3]) << 24);
    }
    const std::size_t bytes = (text.size() + 1) * sizeof(WCHAR);
    void* block = std::malloc(bytes);
    std::memcpy(block, text.c_str(), bytes);
    std::lock_guard<std::mutex> held(g_simLock);
    g_sim.localAllocs[block] = bytes;
    *StringSid = static_cast<LPWSTR>(block);
    return TRUE;
}

BOOL GetComputerNameW(LPWSTR lpBuffer, LPDWORD nSize) {
    CallScope call("GetComputerNameW");
    std::lock_guard<std::mutex> held(g_simLock);
    const DWORD length = static_cast<DWORD>(g_sim.computerName.size());
    if (call.Injected() || !nSize || !lpBuffer || *nSize <= length) {
        if (nSize && !call.Injected()) *nSize = length + 1;
        call.FailLocked(call.Injected() ? call.InjectedError() : ERROR_BUFFER_OVERFLOW);
        return FALSE;
    }
    std::memcpy(lpBuffer, g_sim.computerName.c_str(), (length + 1) * sizeof(WCHAR));
    *nSize = length;
    return TRUE;
}
