// What the end-to-end tests and the demo do to a service from the outside:
// compose its configured command line, install and remove it, read its
// status, and find the processes it runs. Watching its reports is in
// status_watch.h.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>
#include <vector>

std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& text);

// The last component of a path, after the last backslash or slash.
std::wstring FileName(const std::wstring& path);

// A Unix path as Wine's drive Z: shows it; any other text is left alone.
std::wstring WindowsPath(const std::wstring& path);

// One element quoted so that CommandLineToArgvW gives it back unchanged,
// whatever quotation marks, backslashes or spaces it holds.
std::wstring QuoteArgument(const std::wstring& argument);

// The service's configured command line: the wrapper in quotation marks (the
// first element is read up to the next quotation mark, with no escapes), then
// each element quoted for the wrapper's own splitting.
std::wstring BuildBinaryPath(const std::wstring& wrapperPath,
                             const std::vector<std::wstring>& elements);

// Creates an own-process, demand-start service, replacing one of the same
// name that an earlier, interrupted run left behind. Null on failure.
SC_HANDLE InstallService(SC_HANDLE manager, const std::wstring& name,
                         const std::wstring& binaryPath);

// Gives the service this command line from its next start on.
bool ChangeBinaryPath(SC_HANDLE manager, const std::wstring& name, const std::wstring& binaryPath);

// Stops the service if it still runs (killing its process if it does not
// stop within timeoutMs) and deletes it. False if it could not be deleted.
bool RemoveService(SC_HANDLE manager, const std::wstring& name, DWORD timeoutMs);

const char* StateName(DWORD state);

// The status now, as QueryServiceStatusEx gives it; dwCurrentState is 0 if
// the query failed.
SERVICE_STATUS_PROCESS QueryStatus(SC_HANDLE manager, const std::wstring& name);

// The pre-shutdown timeout in the service's configuration; false if it could
// not be read.
bool ReadPreshutdownTimeout(SC_HANDLE manager, const std::wstring& name, DWORD& timeoutMs);
bool WritePreshutdownTimeout(SC_HANDLE manager, const std::wstring& name, DWORD timeoutMs);

// The pids of running processes whose exe has this file name.
std::vector<DWORD> ProcessesNamed(const std::wstring& exeName);

// The pids of processes that this one started and whose exe has this file
// name, as a process snapshot shows them.
std::vector<DWORD> ChildrenOf(DWORD parentPid, const std::wstring& exeName);

// Terminates every running process whose exe has this file name, and gives
// each a bounded time to go.
void EndProcessesNamed(const std::wstring& exeName);
