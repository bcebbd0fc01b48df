#include "setup/model/option_values.h"

#include <cstdint>

#include "setup/model/name_rules.h"
#include "setup/model/text.h"

namespace {

struct StartChoice {
    const wchar_t* word;
    StartSetting setting;
};
const StartChoice kStartChoices[] = {
    {L"auto", {SERVICE_AUTO_START, false}},
    {L"delayed-auto", {SERVICE_AUTO_START, true}},
    {L"demand", {SERVICE_DEMAND_START, false}},
    {L"disabled", {SERVICE_DISABLED, false}},
    {L"manual", {SERVICE_DEMAND_START, false}},  // as the services list calls it
};

struct SidChoice {
    const wchar_t* word;
    SidType type;
};
const SidChoice kSidChoices[] = {
    {L"none", SidType::None},
    {L"unrestricted", SidType::Unrestricted},
    {L"restricted", SidType::Restricted},
};

}  // namespace

static bool IsAsciiControl(wchar_t c) {
    return c < 0x20 || c == 0x7F;
}

std::wstring ServiceNameProblem(const std::wstring& name, bool creating) {
    if (name.empty()) return L"the service's name is empty.";
    const std::wstring shown = L"the service's name \"" + Printable(name) + L"\"";
    if (name.size() > kMaxServiceNameLength) {
        return L"the service's name is " + std::to_wstring(name.size()) +
               L" characters long; Windows takes at most 256.";
    }
    if (name.find_first_of(L"/\\") != std::wstring::npos) {
        return shown + L" holds a / or \\, which Windows does not allow in a service's name.";
    }
    if (!creating) return L"";
    for (wchar_t c : name) {
        if (IsAsciiControl(c)) return shown + L" holds a control character.";
    }
    if (name.find(L'"') != std::wstring::npos) {
        return shown + L" holds a quotation mark, which no command line can pass on to "
                       L"sc.exe or to this program as it is.";
    }
    if (name.front() == L' ' || name.back() == L' ') {
        return shown + L" starts or ends with a blank, which is easily lost when typed.";
    }
    const std::wstring invisible = FirstInvisibleCharacter(name);
    if (!invisible.empty()) {
        return shown + L" holds the invisible character " + invisible +
               L", so that it looks like another name.";
    }
    return ReservedNameProblem(name);
}

std::wstring DisplayNameProblem(const std::wstring& displayName) {
    if (displayName.empty()) return L"--display-name needs a text.";
    if (displayName.size() > kMaxServiceNameLength) {
        return L"the display name is " + std::to_wstring(displayName.size()) +
               L" characters long; Windows takes at most 256.";
    }
    if (HoldsLineBreak(displayName)) {
        return L"the display name holds a line break, which the services list cannot show.";
    }
    return L"";
}

std::wstring DescriptionProblem(const std::wstring& description) {
    if (HoldsLineBreak(description)) {
        return L"the description holds a line break, which the services list and sc.exe show "
               L"as one line run together; give it as one line.";
    }
    return L"";
}

std::optional<DWORD> ParseWholeNumber(const std::wstring& text) {
    if (text.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - L'0');
        if (value > 0xFFFFFFFFu) return std::nullopt;
    }
    return static_cast<DWORD>(value);
}

std::optional<StartSetting> ParseStartWord(const std::wstring& word) {
    for (const StartChoice& choice : kStartChoices) {
        if (SameIgnoringCase(word, choice.word)) return choice.setting;
    }
    return std::nullopt;
}

const wchar_t* StartTypeName(DWORD startType, bool delayedAutoStart) {
    // The manager keeps the delayed flag for any service but heeds it only
    // for an automatic start.
    const bool delayed = startType == SERVICE_AUTO_START && delayedAutoStart;
    for (const StartChoice& choice : kStartChoices) {
        if (choice.setting.startType == startType && choice.setting.delayedAutoStart == delayed) {
            return choice.word;
        }
    }
    if (startType == SERVICE_BOOT_START) return L"boot";
    return startType == SERVICE_SYSTEM_START ? L"system" : L"unknown";
}

// Characters Windows refuses in an account or domain name.
static bool IsAccountNamePart(const std::wstring& part) {
    if (part.empty()) return false;
    for (wchar_t c : part) {
        const bool refused = std::wstring(L"\"/\\[]:;|=,+*?<>@").find(c) != std::wstring::npos;
        if (IsAsciiControl(c) || refused) {
            return false;
        }
    }
    return true;
}

std::wstring ParseAccount(const std::wstring& text, const std::wstring& serviceName,
                          std::wstring& account) {
    const std::pair<const wchar_t*, const wchar_t*> kBuiltIn[] = {
        {L"LocalSystem", kLocalSystemAccount},
        {L"LocalService", kLocalServiceAccount},
        {L"NetworkService", kNetworkServiceAccount},
        {kLocalServiceAccount, kLocalServiceAccount},
        {kNetworkServiceAccount, kNetworkServiceAccount},
    };
    for (const auto& builtIn : kBuiltIn) {
        if (SameIgnoringCase(text, builtIn.first)) {
            account = builtIn.second;
            return L"";
        }
    }
    const std::size_t slash = text.find(L'\\');
    const std::wstring domain = text.substr(0, slash);
    const std::wstring user = slash == std::wstring::npos ? L"" : text.substr(slash + 1);
    if (slash != std::wstring::npos && SameIgnoringCase(domain, L"NT SERVICE")) {
        if (!SameIgnoringCase(user, serviceName)) {
            return L"the virtual account \"" + text + L"\" is another service's; this service's "
                   L"own is NT SERVICE\\" + serviceName + L".";
        }
        account = L"NT SERVICE\\" + serviceName;
        return L"";
    }
    if (slash == std::wstring::npos || !IsAccountNamePart(domain) || !IsAccountNamePart(user)) {
        return L"--account takes LocalSystem, LocalService, NetworkService, NT SERVICE\\<name> "
               L"(the service's virtual account), DOMAIN\\name$ (a group managed service "
               L"account), or DOMAIN\\user or .\\user (a user account), not \"" +
               Printable(text) + L"\".";
    }
    if (user.back() == L'$' && domain == L".") {
        return L"\"" + text + L"\" names a group managed service account, which belongs to a "
               L"domain: give the domain's name instead of \".\".";
    }
    account = text;
    return L"";
}

std::wstring ParseRestartDelays(const std::wstring& text, std::vector<DWORD>& delaysMs) {
    delaysMs.clear();
    if (SameIgnoringCase(text, L"none")) return L"";
    const std::wstring rule =
        L"--restart-on-failure takes one to three delays in milliseconds, separated by commas "
        L"(for the first, the second and every later failure), each from 0 to 4294967295 in "
        L"the digits 0-9 alone, or none; \"" + Printable(text) + L"\" is not that.";
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(L',', start);
        std::optional<DWORD> delayMs = ParseWholeNumber(text.substr(start, comma - start));
        if (!delayMs || delaysMs.size() == 3) return rule;
        delaysMs.push_back(*delayMs);
        if (comma == std::wstring::npos) return L"";
        start = comma + 1;
    }
}

static bool IsPrivilegeName(const std::wstring& name) {
    const std::wstring lower = LowerAscii(name);
    const std::wstring suffix = L"privilege";
    if (lower.size() <= 2 + suffix.size() || lower.compare(0, 2, L"se") != 0 ||
        lower.compare(lower.size() - suffix.size(), suffix.size(), suffix) != 0) {
        return false;
    }
    for (wchar_t c : lower) {
        if (c < L'a' || c > L'z') return false;
    }
    return true;
}

std::wstring ParsePrivileges(const std::wstring& text, std::vector<std::wstring>& privileges) {
    privileges.clear();
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(L',', start);
        const std::wstring name = text.substr(start, comma - start);
        if (!IsPrivilegeName(name)) {
            return L"--required-privileges takes privilege names such as "
                   L"SeChangeNotifyPrivilege, separated by commas; \"" + Printable(name) +
                   L"\" is not one.";
        }
        for (const std::wstring& earlier : privileges) {
            if (SameIgnoringCase(earlier, name)) {
                return L"--required-privileges names " + name + L" twice.";
            }
        }
        privileges.push_back(name);
        if (comma == std::wstring::npos) return L"";
        start = comma + 1;
    }
}

std::optional<SidType> ParseSidTypeWord(const std::wstring& word) {
    for (const SidChoice& choice : kSidChoices) {
        if (SameIgnoringCase(word, choice.word)) return choice.type;
    }
    return std::nullopt;
}

const wchar_t* SidTypeName(SidType type) {
    for (const SidChoice& choice : kSidChoices) {
        if (choice.type == type) return choice.word;
    }
    return L"unknown";
}
