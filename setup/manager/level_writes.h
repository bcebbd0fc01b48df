// Writing a service's settings one at a time, as install, apply and set do:
// each ChangeServiceConfig2W level from a record prepared before the first
// write, the words for a step that failed, the recovery settings a manager
// cannot keep, the password an account takes, the owner of a display name
// already taken, and the right to log on as a service.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "setup/manager/service_handles.h"
#include "setup/manager/service_writing.h"

// What the writes of one record hand to the manager, made before the first
// write: between a write and its undoing nothing is allocated, so nothing
// can throw and leave a service half written.
struct PreparedConfig {
    const ServiceConfig* config;
    std::wstring dependencies;  // double-null-terminated
    std::vector<SC_ACTION> actions;
    std::wstring privileges;  // double-null-terminated
};

PreparedConfig Prepare(const ServiceConfig& config);

// Whether the record holds a value for the level; one it does not hold
// (the manager could not report it) cannot be written.
bool HoldsLevel(const ServiceConfig& config, ConfigWrite write);

// One ChangeServiceConfig2W level from the record, which must hold it.
// Gives NO_ERROR or the error.
DWORD WriteLevel(SC_HANDLE service, ConfigWrite write, const PreparedConfig& prepared);

// What could not be done, in words.
const wchar_t* StepText(ConfigWrite write, DWORD error);

// Where the manager cannot keep the recovery settings that were not asked
// for by name: both levels are left out, since the actions alone would not
// restart a service that reports a failure by its exit code, and the
// caller is told once.
bool LeaveOutRecovery(ConfigWrite write, DWORD error, bool recoveryGiven,
                      std::vector<ConfigWrite>& leftOut);

// The left-out levels noted, with one warning for them all.
void NoteLeftOut(const std::vector<ConfigWrite>& leftOut, WriteNotes& notes);

// For ERROR_DUPLICATE_SERVICE_NAME, the display name and the service that
// has it (found through the manager handle, when it is open); else none.
std::optional<TakenDisplayName> TakenBy(const ScHandle& manager, DWORD error,
                                        const std::wstring& displayName);

// The password the manager takes with an account that has none of its own
// to give: an empty one for the built-in accounts, none at all for a
// virtual or group managed account.
LPCWSTR PasswordFor(const std::wstring& account, LPCWSTR password);

// A user account cannot start the service without the right to log on as
// one; the built-in and virtual accounts have it already.
DWORD GrantIfUser(const std::wstring& account, LogonRightGrant grant, WriteNotes& notes);
