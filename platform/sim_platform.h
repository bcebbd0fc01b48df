// The simulated platform of the host build: the Windows types, constants and
// functions that the wrapper uses, with the same names, layouts and values,
// backed by a deterministic simulator (virtual clock, scripted children,
// scripted failures and controls, a journal of everything that happened).
// Included through platform.h only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// ---- Types, as the 64-bit Windows headers lay them out.
typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef std::uint32_t DWORD;
typedef std::uint64_t ULONGLONG;
typedef void VOID;
typedef void* LPVOID;
typedef void* HANDLE;
typedef void* HLOCAL;
typedef wchar_t WCHAR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef BYTE* LPBYTE;
typedef DWORD* LPDWORD;
typedef std::intptr_t LPARAM;
typedef void* LPNLSVERSIONINFO;  // only ever null here

#define WINAPI
#define TRUE 1
#define FALSE 0

struct SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
};
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;

struct PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
};
typedef PROCESS_INFORMATION* LPPROCESS_INFORMATION;

struct STARTUPINFOW {
    DWORD cb;
    LPWSTR lpReserved;
    LPWSTR lpDesktop;
    LPWSTR lpTitle;
    DWORD dwX;
    DWORD dwY;
    DWORD dwXSize;
    DWORD dwYSize;
    DWORD dwXCountChars;
    DWORD dwYCountChars;
    DWORD dwFillAttribute;
    DWORD dwFlags;
    WORD wShowWindow;
    WORD cbReserved2;
    LPBYTE lpReserved2;
    HANDLE hStdInput;
    HANDLE hStdOutput;
    HANDLE hStdError;
};
typedef STARTUPINFOW* LPSTARTUPINFOW;

static_assert(sizeof(PROCESS_INFORMATION) == 24, "PROCESS_INFORMATION as on x64");
static_assert(sizeof(STARTUPINFOW) == 104, "STARTUPINFOW as on x64");

// ---- Constants, with the platform's values.
constexpr DWORD NO_ERROR = 0;
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_GEN_FAILURE = 31;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_INVALID_NAME = 123;
constexpr DWORD ERROR_INVALID_LEVEL = 124;
constexpr DWORD ERROR_BAD_ARGUMENTS = 160;
constexpr DWORD ERROR_MORE_DATA = 234;
constexpr DWORD ERROR_INVALID_FLAGS = 1004;
constexpr DWORD ERROR_BUFFER_OVERFLOW = 111;
constexpr DWORD ERROR_NONE_MAPPED = 1332;
constexpr DWORD ERROR_INVALID_SID = 1337;

constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_ABANDONED = 0x80;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
constexpr DWORD INFINITE = 0xFFFFFFFF;
constexpr DWORD STILL_ACTIVE = 259;

// The service control manager: the wrapper's own calls and the setup program's.
#include "platform/sim_service_manager.h"

// ---- Functions, with the platform's signatures and documented results.
LPWSTR GetCommandLineW();
LPWSTR* CommandLineToArgvW(LPCWSTR lpCmdLine, int* pNumArgs);
HLOCAL LocalFree(HLOCAL hMem);

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset, BOOL bInitialState,
                    LPCWSTR lpName);
BOOL SetEvent(HANDLE hEvent);
BOOL CloseHandle(HANDLE hObject);
BOOL CreateProcessW(LPCWSTR lpApplicationName, LPWSTR lpCommandLine,
                    LPSECURITY_ATTRIBUTES lpProcessAttributes, LPSECURITY_ATTRIBUTES lpThreadAttributes,
                    BOOL bInheritHandles, DWORD dwCreationFlags, LPVOID lpEnvironment,
                    LPCWSTR lpCurrentDirectory, LPSTARTUPINFOW lpStartupInfo,
                    LPPROCESS_INFORMATION lpProcessInformation);
DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
DWORD WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll,
                             DWORD dwMilliseconds);
BOOL TerminateProcess(HANDLE hProcess, unsigned int uExitCode);
BOOL GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode);
void Sleep(DWORD dwMilliseconds);
ULONGLONG GetTickCount64();
DWORD GetLastError();
void SetLastError(DWORD dwErrCode);

// Case mapping by the platform's own table: the invariant locale and
// LCMAP_UPPERCASE only, each UTF-16 unit on its own, so that a character
// beyond the basic plane keeps its case as it does on Windows.
#define LOCALE_NAME_INVARIANT L""
constexpr DWORD LCMAP_UPPERCASE = 0x00000200;
int LCMapStringEx(LPCWSTR lpLocaleName, DWORD dwMapFlags, LPCWSTR lpSrcStr, int cchSrc,
                  LPWSTR lpDestStr, int cchDest, LPNLSVERSIONINFO lpVersionInformation,
                  LPVOID lpReserved, LPARAM sortHandle);

// Accounts of this computer, as its security policy looks them up. A name
// is DOMAIN\name (the computer's own accounts under its name) or the name
// alone; "." is no domain to the lookup.
typedef void* PSID;
enum SID_NAME_USE {
    SidTypeUser = 1, SidTypeGroup, SidTypeDomain, SidTypeAlias, SidTypeWellKnownGroup,
    SidTypeDeletedAccount, SidTypeInvalid, SidTypeUnknown, SidTypeComputer, SidTypeLabel,
};
typedef SID_NAME_USE* PSID_NAME_USE;
constexpr DWORD SECURITY_MAX_SID_SIZE = 68;
constexpr DWORD MAX_COMPUTERNAME_LENGTH = 15;
BOOL LookupAccountNameW(LPCWSTR lpSystemName, LPCWSTR lpAccountName, PSID Sid, LPDWORD cbSid,
                        LPWSTR ReferencedDomainName, LPDWORD cchReferencedDomainName,
                        PSID_NAME_USE peUse);
BOOL ConvertSidToStringSidW(PSID Sid, LPWSTR* StringSid);  // freed with LocalFree
BOOL GetComputerNameW(LPWSTR lpBuffer, LPDWORD nSize);

// The runtime's conversion as the Windows runtime does it: unsigned long is
// 32 bits there, so out-of-range values give ERANGE at 4294967295, not at 2^64.
namespace crt {
unsigned long wcstoul(const wchar_t* text, wchar_t** end, int base);
}

// ---- Driving and observing the simulator (tests only).
namespace sim {

enum class Thread { Service, Dispatcher };

enum class ChildKind { ExitsAfter, NeverExits, FailsToLaunch };
struct ChildScript {
    ChildKind kind = ChildKind::NeverExits;
    DWORD exitAfterMs = 0;                    // ExitsAfter: virtual ms after creation
    DWORD exitCode = 0;                       // ExitsAfter: the code it ends with
    DWORD launchError = ERROR_FILE_NOT_FOUND; // FailsToLaunch: what GetLastError gives
};

enum class When { Before, After };

struct Report {
    SERVICE_STATUS status;
    std::uint64_t timeMs;
    Thread thread;
};

struct Call {
    const char* name;  // the function's name, a string literal
    Thread thread;
    std::uint64_t timeMs;  // virtual time when the call began
    DWORD argument;        // the timeout of a wait, the control of a handler call, else 0
    bool failed;           // the call gave its failure result
};

// Back to a fresh platform: time 0, no objects, no scripts, empty journals.
void Reset();

// Scripting.
void SetCommandLine(const std::wstring& commandLine);
void SetModulePath(const std::wstring& path);  // what an empty command line splits into
void SetServiceArgs(const std::vector<std::wstring>& args);  // what ServiceMain is given
void SetOutsideManager(bool outside);  // the dispatcher call fails at once, as from a console
void ScriptChild(const ChildScript& script);
// The n-th use (from 1) of the named call fails with the given error.
void FailCall(const std::string& name, int nth, DWORD error);
// The service thread's n-th platform call (from 1, as counted in ServiceCalls()) fails.
void FailServiceCall(int index, DWORD error);
// The service thread's n-th allocation (from 1) throws std::bad_alloc.
void FailAllocation(int nth);
// Controls handed to the dispatcher thread right before or after the service
// thread's n-th platform call. The handler must have finished before the
// service thread's next wait, or the run records a problem.
void DeliverControls(int serviceCallIndex, When when, const std::vector<DWORD>& controls);
// Controls delivered when the virtual clock reaches the given time during a wait.
void DeliverControlAtTime(std::uint64_t timeMs, DWORD control);
// The computer's name (SIMHOST unless set), and an account its lookup knows:
// its domain (the computer's name for its own), name, SID as text and kind.
void SetComputerName(const std::wstring& name);
void AddAccount(const std::wstring& domain, const std::wstring& name, const std::wstring& sid,
                SID_NAME_USE use);
// Keep at most this many reports and calls in the journals (the first ones);
// later reports are only counted. For runs of millions of polls.
void LimitJournals(std::size_t count);

// Observing.
std::uint64_t Now();
const std::vector<Report>& Reports();
std::size_t ReportCount();
std::vector<Call> Calls();
std::vector<std::string> ServiceCallNames();
bool CallCanFail(const std::string& name);
std::vector<std::wstring> RegisteredNames();
std::wstring DispatchTableName();
std::vector<std::wstring> CreatedCommandLines();
std::vector<STARTUPINFOW> StartupInfos();
std::vector<std::uint64_t> TerminationTimes();
int OpenHandleCount();
int OutstandingLocalAllocs();
int LocalFreeCount();
int ServiceAllocationCount();
bool ChildLeftRunning();
bool ServiceThreadReturned();
// Anything the platform would not have accepted or that could not finish:
// a handle closed twice, a lock-order deadlock, a wait that could never end.
std::vector<std::string> Problems();

}  // namespace sim
