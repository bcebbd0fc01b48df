#include "launcher/log_folder_access.h"

#include <algorithm>
#include <cstdio>

static const wchar_t kSystemSid[] = L"S-1-5-18";
static const wchar_t kAdministratorsSid[] = L"S-1-5-32-544";

AccessList LogFolderAccessList(const std::wstring& accountSid, const std::wstring& serviceSid) {
    const std::uint8_t inherited = kObjectInheritAce | kContainerInheritAce;
    AccessList list{true, {}};
    list.entries.push_back({AccessEntryType::Allow, inherited, kFileAllAccess, kSystemSid});
    list.entries.push_back(
        {AccessEntryType::Allow, inherited, kFileAllAccess, kAdministratorsSid});
    if (accountSid != kSystemSid) {
        list.entries.push_back({AccessEntryType::Allow, inherited, kLogWriterRights, accountSid});
    }
    if (!serviceSid.empty() && serviceSid != accountSid) {
        list.entries.push_back({AccessEntryType::Allow, inherited, kLogWriterRights, serviceSid});
    }
    return list;
}

static bool SameEntry(const AccessEntry& a, const AccessEntry& b) {
    return a.type == b.type && a.flags == b.flags && a.mask == b.mask && a.sid == b.sid;
}

static bool SameList(const AccessList& a, const AccessList& b) {
    return a.present == b.present &&
           std::equal(a.entries.begin(), a.entries.end(), b.entries.begin(), b.entries.end(), SameEntry);
}

bool MadeWithoutServiceSid(const AccessList& list, const std::wstring& accountSid, const std::wstring& serviceSid) {
    return serviceSid != accountSid && SameList(list, LogFolderAccessList(accountSid));
}

std::optional<std::wstring> LogFolderAccount(const AccessList& list) {
    if (!list.present || list.entries.empty()) return std::nullopt;
    const std::size_t size = list.entries.size();
    const std::wstring sid = size >= 3 ? list.entries[2].sid : kSystemSid;
    if (!SameList(list, LogFolderAccessList(sid, size == 4 ? list.entries[3].sid : L""))) return std::nullopt;
    return sid;
}

static std::wstring FlagsSddl(std::uint8_t flags) {
    std::wstring text;
    if (flags & kObjectInheritAce) text += L"OI";
    if (flags & kContainerInheritAce) text += L"CI";
    if (flags & kInheritOnlyAce) text += L"IO";
    if (flags & kInheritedAce) text += L"ID";
    return text;
}

std::wstring AccessListSddl(const AccessList& list) {
    if (!list.present) return L"";
    std::wstring text = L"D:P";
    for (const AccessEntry& entry : list.entries) {
        if (entry.type == AccessEntryType::Other) continue;
        wchar_t mask[16];
        std::swprintf(mask, 16, L"0x%X", static_cast<unsigned>(entry.mask));
        text += entry.type == AccessEntryType::Allow ? L"(A;" : L"(D;";
        text += FlagsSddl(entry.flags) + L";" + mask + L";;;" + entry.sid + L")";
    }
    return text;
}
