// What the simulated manager's source files share: finding services by name
// as the manager compares names, checking a handle's rights, bringing the
// scripted services up to the virtual clock, and packing strings into a
// caller's buffer as the Query calls do. Hold g_simLock for all of it.
#pragma once

#include "platform/sim_internal.h"

namespace sim {

// The manager compares names without regard to letter case.
std::wstring Folded(const std::wstring& name);
bool SameName(const std::wstring& a, const std::wstring& b);
ServiceRecord* FindService(const std::wstring& name);
bool ValidServiceName(LPCWSTR name);

// Type, start type and error control as the manager accepts them for a
// new or changed service: NO_ERROR or ERROR_INVALID_PARAMETER.
DWORD CheckServiceValues(DWORD serviceType, DWORD startType, DWORD errorControl);
// Another service than `self` has this as its name or its display name.
bool DisplayNameTaken(const std::wstring& displayName, const ServiceRecord* self);

// The record behind an open service handle that holds the right. Otherwise
// fails the call (ERROR_ACCESS_DENIED, or ERROR_INVALID_HANDLE and a problem
// for a handle that is not open) and gives null.
ServiceRecord* ServiceFor(CallScope& call, SC_HANDLE handle, DWORD right);
// The same for a manager handle.
bool ManagerAllows(CallScope& call, SC_HANDLE handle, DWORD right);

// The script of a service, or the default one.
ServiceScript ScriptOf(const std::wstring& name);
// Applies every scripted report whose time the clock has reached.
void CatchUpServices();
bool Active(const ServiceRecord& record);  // any state but stopped
// The status the manager gives a service it has just started, before the
// service's first report; a process id of 0 picks the next one.
void MarkStartPending(ServiceRecord& record, DWORD processId);

// The Query calls' buffer protocol: with no buffer, or one too small, the
// call fails with ERROR_INSUFFICIENT_BUFFER and says the size it needs.
bool RoomFor(CallScope& call, const void* buffer, DWORD size, DWORD needed, LPDWORD bytesNeeded);

// A string's bytes with its terminating null; a list's with the final one.
DWORD StringBytes(const std::wstring& text);
DWORD MultiStringBytes(const std::vector<std::wstring>& list);
// Writes the text at the offset into the buffer and moves the offset past it.
LPWSTR PackString(LPBYTE buffer, DWORD& offset, const std::wstring& text);
LPWSTR PackMultiString(LPBYTE buffer, DWORD& offset, const std::vector<std::wstring>& list);
// A double-null-terminated list as its strings.
std::vector<std::wstring> SplitMultiString(LPCWSTR list);

}  // namespace sim
