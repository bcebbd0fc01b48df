// The values the setup program's options take, each read by one rule and
// refused with one plain sentence that names the rule.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "setup/model/service_config.h"

// The longest service name and display name the manager takes.
constexpr std::size_t kMaxServiceNameLength = 256;

// Why a service name cannot be used, or empty. Windows refuses an empty
// name, one longer than 256 characters and one holding / or \. A service
// being created is also refused a control character, a quotation mark and
// a blank at either end, which no command line or hint can carry faithfully,
// an invisible character and a reserved name (see name_rules.h).
std::wstring ServiceNameProblem(const std::wstring& name, bool creating);
// A display name or a description is refused a line break.
std::wstring DisplayNameProblem(const std::wstring& displayName);
std::wstring DescriptionProblem(const std::wstring& description);

// A whole number as every numeric option takes it (milliseconds, seconds,
// restart delays): the digits 0-9 alone, nothing before or after them, at
// most 4294967295. Stricter than the wrapper's own reading of its stop
// timeout, so that what is written reads the same to a person as to it.
std::optional<DWORD> ParseWholeNumber(const std::wstring& text);

struct StartSetting {
    DWORD startType;  // SERVICE_AUTO_START, _DEMAND_START or _DISABLED
    bool delayedAutoStart;
};

// auto, delayed-auto, demand (or manual) or disabled, in any case.
std::optional<StartSetting> ParseStartWord(const std::wstring& word);

// The --start word for a stored start type, as the manager heeds it.
const wchar_t* StartTypeName(DWORD startType, bool delayedAutoStart);

// --account: the account as the manager takes it (see service_config.h),
// for the service of this name. Gives the problem, or empty.
std::wstring ParseAccount(const std::wstring& text, const std::wstring& serviceName,
                          std::wstring& account);

// --restart-on-failure: one to three delays in ms, or none (no recovery,
// an empty list). Gives the problem, or empty.
std::wstring ParseRestartDelays(const std::wstring& text, std::vector<DWORD>& delaysMs);

// --required-privileges: names of the form Se...Privilege, comma-separated.
std::wstring ParsePrivileges(const std::wstring& text, std::vector<std::wstring>& privileges);

// --sid-type: none, unrestricted or restricted, in any case.
std::optional<SidType> ParseSidTypeWord(const std::wstring& word);
const wchar_t* SidTypeName(SidType type);
