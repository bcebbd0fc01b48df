// The simulated service control manager: its types, constants and calls as
// the 64-bit Windows headers declare them, and what tests script into it and
// read back. Included by sim_platform.h after the basic types; never alone.
#pragma once

#include <optional>
#include <string>
#include <vector>

// ---- Types, as the 64-bit Windows headers lay them out.
typedef struct SC_HANDLE__* SC_HANDLE;
typedef struct SERVICE_STATUS_HANDLE__* SERVICE_STATUS_HANDLE;

struct SERVICE_STATUS {
    DWORD dwServiceType;
    DWORD dwCurrentState;
    DWORD dwControlsAccepted;
    DWORD dwWin32ExitCode;
    DWORD dwServiceSpecificExitCode;
    DWORD dwCheckPoint;
    DWORD dwWaitHint;
};
typedef SERVICE_STATUS* LPSERVICE_STATUS;

struct SERVICE_STATUS_PROCESS {
    DWORD dwServiceType;
    DWORD dwCurrentState;
    DWORD dwControlsAccepted;
    DWORD dwWin32ExitCode;
    DWORD dwServiceSpecificExitCode;
    DWORD dwCheckPoint;
    DWORD dwWaitHint;
    DWORD dwProcessId;
    DWORD dwServiceFlags;
};
typedef SERVICE_STATUS_PROCESS* LPSERVICE_STATUS_PROCESS;

typedef VOID (*LPSERVICE_MAIN_FUNCTIONW)(DWORD dwNumServicesArgs, LPWSTR* lpServiceArgVectors);
typedef DWORD (*LPHANDLER_FUNCTION_EX)(DWORD dwControl, DWORD dwEventType, LPVOID lpEventData,
                                       LPVOID lpContext);

struct SERVICE_TABLE_ENTRYW {
    LPWSTR lpServiceName;
    LPSERVICE_MAIN_FUNCTIONW lpServiceProc;
};

enum SC_STATUS_TYPE { SC_STATUS_PROCESS_INFO = 0 };
enum SC_ENUM_TYPE { SC_ENUM_PROCESS_INFO = 0 };
enum SC_ACTION_TYPE {
    SC_ACTION_NONE = 0,
    SC_ACTION_RESTART = 1,
    SC_ACTION_REBOOT = 2,
    SC_ACTION_RUN_COMMAND = 3
};

struct SC_ACTION {
    SC_ACTION_TYPE Type;
    DWORD Delay;
};
typedef SC_ACTION* LPSC_ACTION;

struct SERVICE_DESCRIPTIONW {
    LPWSTR lpDescription;
};

struct SERVICE_FAILURE_ACTIONSW {
    DWORD dwResetPeriod;
    LPWSTR lpRebootMsg;
    LPWSTR lpCommand;
    DWORD cActions;
    SC_ACTION* lpsaActions;
};

struct SERVICE_DELAYED_AUTO_START_INFO {
    BOOL fDelayedAutostart;
};

struct SERVICE_FAILURE_ACTIONS_FLAG {
    BOOL fFailureActionsOnNonCrashFailures;
};

struct SERVICE_SID_INFO {
    DWORD dwServiceSidType;
};

struct SERVICE_REQUIRED_PRIVILEGES_INFOW {
    LPWSTR pmszRequiredPrivileges;
};

struct SERVICE_PRESHUTDOWN_INFO {
    DWORD dwPreshutdownTimeout;
};

struct QUERY_SERVICE_CONFIGW {
    DWORD dwServiceType;
    DWORD dwStartType;
    DWORD dwErrorControl;
    LPWSTR lpBinaryPathName;
    LPWSTR lpLoadOrderGroup;
    DWORD dwTagId;
    LPWSTR lpDependencies;
    LPWSTR lpServiceStartName;
    LPWSTR lpDisplayName;
};
typedef QUERY_SERVICE_CONFIGW* LPQUERY_SERVICE_CONFIGW;

struct ENUM_SERVICE_STATUS_PROCESSW {
    LPWSTR lpServiceName;
    LPWSTR lpDisplayName;
    SERVICE_STATUS_PROCESS ServiceStatusProcess;
};
typedef ENUM_SERVICE_STATUS_PROCESSW* LPENUM_SERVICE_STATUS_PROCESSW;

static_assert(sizeof(SERVICE_STATUS) == 28, "SERVICE_STATUS is seven DWORDs");
static_assert(sizeof(SERVICE_STATUS_PROCESS) == 36, "SERVICE_STATUS_PROCESS is nine DWORDs");
static_assert(sizeof(SC_ACTION) == 8, "SC_ACTION as on x64");
static_assert(sizeof(SERVICE_FAILURE_ACTIONSW) == 40, "SERVICE_FAILURE_ACTIONSW as on x64");
static_assert(sizeof(QUERY_SERVICE_CONFIGW) == 64, "QUERY_SERVICE_CONFIGW as on x64");
static_assert(sizeof(ENUM_SERVICE_STATUS_PROCESSW) == 56, "ENUM_SERVICE_STATUS_PROCESSW as on x64");

// ---- Constants, with the platform's values.
constexpr DWORD SERVICE_KERNEL_DRIVER = 0x00000001;
constexpr DWORD SERVICE_FILE_SYSTEM_DRIVER = 0x00000002;
constexpr DWORD SERVICE_ADAPTER = 0x00000004;
constexpr DWORD SERVICE_RECOGNIZER_DRIVER = 0x00000008;
constexpr DWORD SERVICE_DRIVER = 0x0000000B;
constexpr DWORD SERVICE_WIN32_OWN_PROCESS = 0x00000010;
constexpr DWORD SERVICE_WIN32_SHARE_PROCESS = 0x00000020;
constexpr DWORD SERVICE_WIN32 = 0x00000030;
constexpr DWORD SERVICE_INTERACTIVE_PROCESS = 0x00000100;
constexpr DWORD SERVICE_TYPE_ALL = 0x0000013F;

constexpr DWORD SERVICE_BOOT_START = 0x00000000;
constexpr DWORD SERVICE_SYSTEM_START = 0x00000001;
constexpr DWORD SERVICE_AUTO_START = 0x00000002;
constexpr DWORD SERVICE_DEMAND_START = 0x00000003;
constexpr DWORD SERVICE_DISABLED = 0x00000004;

constexpr DWORD SERVICE_ERROR_IGNORE = 0x00000000;
constexpr DWORD SERVICE_ERROR_NORMAL = 0x00000001;
constexpr DWORD SERVICE_ERROR_SEVERE = 0x00000002;
constexpr DWORD SERVICE_ERROR_CRITICAL = 0x00000003;

constexpr DWORD SERVICE_NO_CHANGE = 0xFFFFFFFF;
constexpr WCHAR SC_GROUP_IDENTIFIERW = L'+';

constexpr DWORD SERVICE_ACTIVE = 0x00000001;
constexpr DWORD SERVICE_INACTIVE = 0x00000002;
constexpr DWORD SERVICE_STATE_ALL = 0x00000003;

constexpr DWORD SERVICE_STOPPED = 1;
constexpr DWORD SERVICE_START_PENDING = 2;
constexpr DWORD SERVICE_STOP_PENDING = 3;
constexpr DWORD SERVICE_RUNNING = 4;
constexpr DWORD SERVICE_CONTINUE_PENDING = 5;
constexpr DWORD SERVICE_PAUSE_PENDING = 6;
constexpr DWORD SERVICE_PAUSED = 7;

constexpr DWORD SERVICE_ACCEPT_STOP = 0x001;
constexpr DWORD SERVICE_ACCEPT_PAUSE_CONTINUE = 0x002;
constexpr DWORD SERVICE_ACCEPT_SHUTDOWN = 0x004;
constexpr DWORD SERVICE_ACCEPT_PARAMCHANGE = 0x008;
constexpr DWORD SERVICE_ACCEPT_NETBINDCHANGE = 0x010;
constexpr DWORD SERVICE_ACCEPT_PRESHUTDOWN = 0x100;

constexpr DWORD SERVICE_CONTROL_STOP = 0x01;
constexpr DWORD SERVICE_CONTROL_PAUSE = 0x02;
constexpr DWORD SERVICE_CONTROL_CONTINUE = 0x03;
constexpr DWORD SERVICE_CONTROL_INTERROGATE = 0x04;
constexpr DWORD SERVICE_CONTROL_SHUTDOWN = 0x05;
constexpr DWORD SERVICE_CONTROL_PARAMCHANGE = 0x06;
constexpr DWORD SERVICE_CONTROL_PRESHUTDOWN = 0x0F;

constexpr DWORD SERVICE_RUNS_IN_SYSTEM_PROCESS = 0x00000001;

// Access rights: the standard ones, the manager's, a service's.
constexpr DWORD DELETE = 0x00010000;
constexpr DWORD READ_CONTROL = 0x00020000;
constexpr DWORD WRITE_DAC = 0x00040000;
constexpr DWORD WRITE_OWNER = 0x00080000;
constexpr DWORD STANDARD_RIGHTS_REQUIRED = 0x000F0000;
constexpr DWORD STANDARD_RIGHTS_READ = READ_CONTROL;
constexpr DWORD STANDARD_RIGHTS_WRITE = READ_CONTROL;
constexpr DWORD STANDARD_RIGHTS_EXECUTE = READ_CONTROL;
constexpr DWORD MAXIMUM_ALLOWED = 0x02000000;
constexpr DWORD GENERIC_READ = 0x80000000;
constexpr DWORD GENERIC_WRITE = 0x40000000;
constexpr DWORD GENERIC_EXECUTE = 0x20000000;
constexpr DWORD GENERIC_ALL = 0x10000000;

constexpr DWORD SC_MANAGER_CONNECT = 0x0001;
constexpr DWORD SC_MANAGER_CREATE_SERVICE = 0x0002;
constexpr DWORD SC_MANAGER_ENUMERATE_SERVICE = 0x0004;
constexpr DWORD SC_MANAGER_LOCK = 0x0008;
constexpr DWORD SC_MANAGER_QUERY_LOCK_STATUS = 0x0010;
constexpr DWORD SC_MANAGER_MODIFY_BOOT_CONFIG = 0x0020;
constexpr DWORD SC_MANAGER_ALL_ACCESS = STANDARD_RIGHTS_REQUIRED | 0x003F;

constexpr DWORD SERVICE_QUERY_CONFIG = 0x0001;
constexpr DWORD SERVICE_CHANGE_CONFIG = 0x0002;
constexpr DWORD SERVICE_QUERY_STATUS = 0x0004;
constexpr DWORD SERVICE_ENUMERATE_DEPENDENTS = 0x0008;
constexpr DWORD SERVICE_START = 0x0010;
constexpr DWORD SERVICE_STOP = 0x0020;
constexpr DWORD SERVICE_PAUSE_CONTINUE = 0x0040;
constexpr DWORD SERVICE_INTERROGATE = 0x0080;
constexpr DWORD SERVICE_USER_DEFINED_CONTROL = 0x0100;
constexpr DWORD SERVICE_ALL_ACCESS = STANDARD_RIGHTS_REQUIRED | 0x01FF;

constexpr DWORD SERVICE_CONFIG_DESCRIPTION = 1;
constexpr DWORD SERVICE_CONFIG_FAILURE_ACTIONS = 2;
constexpr DWORD SERVICE_CONFIG_DELAYED_AUTO_START_INFO = 3;
constexpr DWORD SERVICE_CONFIG_FAILURE_ACTIONS_FLAG = 4;
constexpr DWORD SERVICE_CONFIG_SERVICE_SID_INFO = 5;
constexpr DWORD SERVICE_CONFIG_REQUIRED_PRIVILEGES_INFO = 6;
constexpr DWORD SERVICE_CONFIG_PRESHUTDOWN_INFO = 7;

constexpr DWORD SERVICE_SID_TYPE_NONE = 0x00000000;
constexpr DWORD SERVICE_SID_TYPE_UNRESTRICTED = 0x00000001;
constexpr DWORD SERVICE_SID_TYPE_RESTRICTED = 0x00000003;

constexpr DWORD ERROR_INVALID_SERVICE_CONTROL = 1052;
constexpr DWORD ERROR_DEPENDENT_SERVICES_RUNNING = 1051;
constexpr DWORD ERROR_SERVICE_REQUEST_TIMEOUT = 1053;
constexpr DWORD ERROR_SERVICE_ALREADY_RUNNING = 1056;
constexpr DWORD ERROR_SERVICE_DISABLED = 1058;
constexpr DWORD ERROR_SERVICE_DOES_NOT_EXIST = 1060;
constexpr DWORD ERROR_SERVICE_CANNOT_ACCEPT_CTRL = 1061;
constexpr DWORD ERROR_SERVICE_NOT_ACTIVE = 1062;
constexpr DWORD ERROR_BROKEN_PIPE = 109;
constexpr DWORD ERROR_FAILED_SERVICE_CONTROLLER_CONNECT = 1063;
constexpr DWORD ERROR_SERVICE_SPECIFIC_ERROR = 1066;
constexpr DWORD ERROR_SERVICE_LOGON_FAILED = 1069;
constexpr DWORD ERROR_SERVICE_MARKED_FOR_DELETE = 1072;
constexpr DWORD ERROR_SERVICE_EXISTS = 1073;
constexpr DWORD ERROR_SERVICE_NEVER_STARTED = 1077;
constexpr DWORD ERROR_DUPLICATE_SERVICE_NAME = 1078;
constexpr DWORD ERROR_NO_SUCH_PRIVILEGE = 1313;
constexpr DWORD RPC_X_NULL_REF_POINTER = 1780;

// ---- Functions, with the platform's signatures and documented results.
BOOL StartServiceCtrlDispatcherW(const SERVICE_TABLE_ENTRYW* lpServiceStartTable);
SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerExW(LPCWSTR lpServiceName,
                                                    LPHANDLER_FUNCTION_EX lpHandlerProc,
                                                    LPVOID lpContext);
BOOL SetServiceStatus(SERVICE_STATUS_HANDLE hServiceStatus, LPSERVICE_STATUS lpServiceStatus);

SC_HANDLE OpenSCManagerW(LPCWSTR lpMachineName, LPCWSTR lpDatabaseName, DWORD dwDesiredAccess);
SC_HANDLE OpenServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName, DWORD dwDesiredAccess);
SC_HANDLE CreateServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName, LPCWSTR lpDisplayName,
                         DWORD dwDesiredAccess, DWORD dwServiceType, DWORD dwStartType,
                         DWORD dwErrorControl, LPCWSTR lpBinaryPathName, LPCWSTR lpLoadOrderGroup,
                         LPDWORD lpdwTagId, LPCWSTR lpDependencies, LPCWSTR lpServiceStartName,
                         LPCWSTR lpPassword);
BOOL DeleteService(SC_HANDLE hService);
BOOL CloseServiceHandle(SC_HANDLE hSCObject);

BOOL ChangeServiceConfigW(SC_HANDLE hService, DWORD dwServiceType, DWORD dwStartType,
                          DWORD dwErrorControl, LPCWSTR lpBinaryPathName, LPCWSTR lpLoadOrderGroup,
                          LPDWORD lpdwTagId, LPCWSTR lpDependencies, LPCWSTR lpServiceStartName,
                          LPCWSTR lpPassword, LPCWSTR lpDisplayName);
BOOL QueryServiceConfigW(SC_HANDLE hService, LPQUERY_SERVICE_CONFIGW lpServiceConfig,
                         DWORD cbBufSize, LPDWORD pcbBytesNeeded);
BOOL ChangeServiceConfig2W(SC_HANDLE hService, DWORD dwInfoLevel, LPVOID lpInfo);
BOOL QueryServiceConfig2W(SC_HANDLE hService, DWORD dwInfoLevel, LPBYTE lpBuffer, DWORD cbBufSize,
                          LPDWORD pcbBytesNeeded);

BOOL QueryServiceStatusEx(SC_HANDLE hService, SC_STATUS_TYPE InfoLevel, LPBYTE lpBuffer,
                          DWORD cbBufSize, LPDWORD pcbBytesNeeded);
BOOL StartServiceW(SC_HANDLE hService, DWORD dwNumServiceArgs, LPCWSTR* lpServiceArgVectors);
BOOL ControlService(SC_HANDLE hService, DWORD dwControl, LPSERVICE_STATUS lpServiceStatus);

BOOL EnumServicesStatusExW(SC_HANDLE hSCManager, SC_ENUM_TYPE InfoLevel, DWORD dwServiceType,
                           DWORD dwServiceState, LPBYTE lpServices, DWORD cbBufSize,
                           LPDWORD pcbBytesNeeded, LPDWORD lpServicesReturned,
                           LPDWORD lpResumeHandle, LPCWSTR pszGroupName);
BOOL GetServiceKeyNameW(SC_HANDLE hSCManager, LPCWSTR lpDisplayName, LPWSTR lpServiceName,
                        LPDWORD lpcchBuffer);
BOOL GetServiceDisplayNameW(SC_HANDLE hSCManager, LPCWSTR lpServiceName, LPWSTR lpDisplayName,
                            LPDWORD lpcchBuffer);

// ---- Scripting the manager and reading its database back (tests only).
namespace sim {

// A service in the simulated manager's database, as Windows keeps it.
struct ServiceRecord {
    std::wstring name;
    std::wstring displayName;
    std::wstring binaryPathName;
    std::wstring serviceStartName = L"LocalSystem";  // what a null account is stored as
    bool passwordSet = false;  // a non-empty password was given; its text is not kept
    std::wstring loadOrderGroup;
    std::vector<std::wstring> dependencies;  // services, and groups after SC_GROUP_IDENTIFIERW
    DWORD serviceType = SERVICE_WIN32_OWN_PROCESS;
    DWORD startType = SERVICE_DEMAND_START;
    DWORD errorControl = SERVICE_ERROR_NORMAL;
    std::wstring description;
    bool delayedAutoStart = false;
    DWORD preshutdownTimeoutMs = 180000;  // the platform's default
    DWORD resetPeriodS = 0;               // failure actions: when the failure count resets
    std::wstring rebootMessage;
    std::wstring failureCommand;
    std::vector<SC_ACTION> failureActions;
    bool failureActionsOnNonCrashFailures = false;
    DWORD serviceSidType = SERVICE_SID_TYPE_NONE;
    std::vector<std::wstring> requiredPrivileges;
    // dwServiceType follows serviceType; dwProcessId is 0 while stopped.
    SERVICE_STATUS_PROCESS status = {SERVICE_WIN32_OWN_PROCESS, SERVICE_STOPPED, 0,
                                     ERROR_SERVICE_NEVER_STARTED, 0, 0, 0, 0, 0};
    bool markedForDelete = false;  // gone once its last handle is closed
};

// One status a scripted service reports, a given virtual time after the call
// that set it going: StartServiceW for its start, ControlService for its stop.
struct StatusReport {
    DWORD afterMs;
    DWORD state;
    DWORD checkPoint = 0;
    DWORD waitHintMs = 0;
    DWORD win32ExitCode = NO_ERROR;
    DWORD serviceSpecificExitCode = 0;
};

// How a service behaves when started and stopped. Without a script it
// runs at once when started and stops at once when told to.
struct ServiceScript {
    DWORD startError = NO_ERROR;  // StartServiceW fails with it; nothing starts
    std::vector<StatusReport> start = {{0, SERVICE_RUNNING}};
    DWORD stopError = NO_ERROR;  // ControlService(STOP) fails with it; nothing changes
    // The stop is carried out, and yet ControlService(STOP) fails with it:
    // Wine's manager answers ERROR_BROKEN_PIPE to a stop that crossed the
    // service's own stopped report.
    DWORD stopAnswerError = NO_ERROR;
    // After a stop was delivered. Empty, or ending before SERVICE_STOPPED:
    // the service never stops.
    std::vector<StatusReport> stop = {{0, SERVICE_STOPPED}};
    DWORD controlsAccepted = SERVICE_ACCEPT_STOP;  // in every report but the stopped one
    DWORD processId = 0;  // 0: the simulator picks one per start
};

// The wrapper's runs: the process is started by the manager for a service
// of its database, the one the first service argument names (the default
// name when none is given). The dispatcher puts it there, with the command
// line as its binary path, and its reports become its status.
constexpr const wchar_t* kDispatchedServiceName = L"morvi-firmware-updater-service-wrapper";

// Puts a service into the database as if made by hand, whatever its fields.
// Its status stands as given: a running one takes the stop only if its
// dwControlsAccepted says so.
void AddService(const ServiceRecord& record);
// Scripts the service of that name, now or once it is created.
void ScriptService(const std::wstring& name, const ServiceScript& script);
// The manager answers ERROR_INVALID_LEVEL for this level of
// ChangeServiceConfig2W (onChange) and of QueryServiceConfig2W (onQuery).
void RefuseConfigLevel(DWORD level, bool onChange, bool onQuery);
// EnumServicesStatusExW gives no entry unless every one left fits, as
// Wine's manager does: a caller must grow its buffer to the size needed
// rather than follow the resume handle.
void ListAllOrNothing(bool allOrNothing);
// The manager as Wine's: failure actions are set but cannot be read; the
// flag, the delayed start, the SID type and the required privileges are
// refused both ways; listing is all or nothing.
void ManagerAsWine();

// The services that still exist, as the virtual clock has brought them.
std::vector<ServiceRecord> Services();
std::optional<ServiceRecord> ServiceNamed(const std::wstring& name);
std::vector<std::pair<std::wstring, DWORD>> PreshutdownTimeoutsWritten();  // service name, value

}  // namespace sim
