// The configuration of a wrapped service as one record: what install and
// apply write, what set changes, what show reads back and compares. Pure:
// the platform layer reads and writes it through the manager.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "setup/model/service_command_line.h"

// SERVICE_SID_TYPE_NONE, _UNRESTRICTED and _RESTRICTED.
enum class SidType { None, Unrestricted, Restricted };

// SC_ACTION_NONE, _RESTART, _REBOOT and _RUN_COMMAND, with their values.
enum class RecoveryActionType { None = 0, Restart = 1, Reboot = 2, RunCommand = 3 };

struct RecoveryAction {
    RecoveryActionType type;
    DWORD delayMs;
};

// The manager's recovery settings (SERVICE_CONFIG_FAILURE_ACTIONS). Action i
// answers failure i+1; the last one answers every later failure too. No
// actions: Windows does not restart the service after a failure.
struct RecoveryPolicy {
    std::vector<RecoveryAction> actions;
    DWORD resetPeriodSeconds;  // failure count back to 0 after this long without one
};

enum class AccountKind {
    LocalSystem,
    LocalService,
    NetworkService,
    Virtual,       // NT SERVICE\<the service's own name>
    GroupManaged,  // DOMAIN\name$: the domain keeps its password
    User,          // DOMAIN\user or .\user: needs a password
};

// Each optional field is none where the manager could not report it (Wine
// keeps no delayed start, recovery, SID type or privileges); on the desired
// side, none where the setting is left as it is.
struct ServiceConfig {
    std::wstring name;
    ServiceCommandLine commandLine;
    std::wstring displayName;
    std::optional<std::wstring> description;  // empty: none is set
    DWORD startType;                          // SERVICE_AUTO_START, _DEMAND_START, ...
    std::optional<bool> delayedAutoStart;     // heeded for SERVICE_AUTO_START only
    std::wstring account;                     // as the manager takes and gives it
    std::optional<DWORD> preshutdownTimeoutMs;
    std::optional<RecoveryPolicy> recovery;
    std::optional<bool> failureOnNonZeroExit;  // SERVICE_CONFIG_FAILURE_ACTIONS_FLAG
    std::vector<std::wstring> dependencies;    // services (or +groups) that must run first
    std::optional<SidType> sidType;
    std::optional<std::vector<std::wstring>> requiredPrivileges;
    // show: the manager gives an empty list whatever it keeps (Wine's does).
    bool dependenciesUnread = false;
};

// A record to write, and whether its recovery settings were asked for by
// name: a manager that cannot keep them then fails the write, while the
// default recovery that cannot be kept gives a warning only. SID type and
// privileges are written only when asked for, which the record's own
// optional fields say.
struct DesiredConfig {
    ServiceConfig config;
    bool recoveryGiven;
};

constexpr DWORD kDefaultResetPeriodSeconds = 86400;

// Restart after 10 s, 30 s, then 60 s for every later failure; reset after a day.
RecoveryPolicy DefaultRecovery();

// Restart actions with these delays; none at all for an empty list.
RecoveryPolicy RestartPolicy(const std::vector<DWORD>& delaysMs, DWORD resetPeriodSeconds);

// Same effect: the same actions and reset period, and any two policies
// without actions, whose reset period means nothing.
bool SameRecovery(const RecoveryPolicy& a, const RecoveryPolicy& b);

// The account names as the manager takes them.
extern const wchar_t kLocalSystemAccount[];     // LocalSystem
extern const wchar_t kLocalServiceAccount[];    // NT AUTHORITY\LocalService
extern const wchar_t kNetworkServiceAccount[];  // NT AUTHORITY\NetworkService

// The kind of an account as the manager gives it back (an empty name is
// LocalSystem). NT SERVICE\ names another service's virtual account only if
// it is not this service's own; that is still Virtual.
AccountKind AccountKindOf(const std::wstring& account);

// The account for the manager's lpServiceStartName: null for LocalSystem.
LPCWSTR ServiceStartName(const std::wstring& account);

// Equal as the manager compares accounts: any case, and LocalSystem however
// it is spelled (empty, LocalSystem, .\LocalSystem).
bool SameAccount(const std::wstring& a, const std::wstring& b);

bool SameNames(const std::vector<std::wstring>& a, const std::vector<std::wstring>& b);

// What the manager gives back for a service, field by field as the query
// calls return it; each optional part is none where its query failed.
struct StoredService {
    std::wstring name;
    std::wstring binaryPathName;    // QUERY_SERVICE_CONFIGW
    std::wstring displayName;
    DWORD startType;
    std::wstring serviceStartName;  // empty or null: LocalSystem
    std::vector<std::wstring> dependencies;  // SplitMultiString(lpDependencies)
    std::optional<std::wstring> description;
    std::optional<bool> delayedAutoStart;
    std::optional<DWORD> preshutdownTimeoutMs;
    std::optional<RecoveryPolicy> failureActions;
    std::optional<bool> failureActionsOnNonCrashFailures;
    std::optional<DWORD> serviceSidType;     // SERVICE_SID_TYPE_*
    std::optional<std::vector<std::wstring>> requiredPrivileges;  // SplitMultiString too
};

ServiceConfig DecodeStoredService(const StoredService& stored);

// A list of names as the manager's double-null-terminated strings hold it
// (each name ended by a null, then one more), and back: the joined text's
// c_str() is such a string. A null pointer is an empty list.
std::vector<std::wstring> SplitMultiString(LPCWSTR text);
std::wstring JoinMultiString(const std::vector<std::wstring>& names);

// The SERVICE_SID_TYPE_* value of a SID type, and back (none for a value
// the manager does not define).
DWORD ServiceSidTypeValue(SidType type);
std::optional<SidType> SidTypeFromValue(DWORD value);
