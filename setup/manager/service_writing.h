// Writing a service's configuration all or nothing: a new service is
// deleted again when a step fails, and changes already made to an existing
// one are written back as they were. Reaches the platform only through
// platform.h, so it is built on the host too, where the simulated manager
// can refuse any step.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "setup/model/compare_configs.h"
#include "setup/model/service_config.h"
#include "setup/model/write_outcome.h"

// Gives the account the right to log on as a service where it lacks it:
// NO_ERROR, with granted true when it was given now; else the error. The
// setup program passes the platform's own (logon_right.h, Windows only);
// tests pass one of theirs.
typedef DWORD (*LogonRightGrant)(const std::wstring& account, bool& granted);

// The rights a handle needs for WriteChanges: restart actions can be
// written only by one that may also start the service.
constexpr DWORD kChangeAccess = SERVICE_CHANGE_CONFIG | SERVICE_START;

// install: CreateServiceW with the desired record (its dependencies among
// them), then each setting CreateServiceW has no parameter for: the
// description, the delayed start, the pre-shutdown timeout, the recovery
// settings' flag and actions, and the SID type and required privileges
// where they are given; last, for a user account, the right to log on as a
// service, through grant when it is not null. If a step fails, the
// service is deleted again. password is null, or the user account's
// password, which the caller wipes after the call. Every handle is closed
// on return.
std::optional<InstallFailure> CreateConfiguredService(const DesiredConfig& desired,
                                                      LPCWSTR password, WriteNotes& notes,
                                                      LogonRightGrant grant = nullptr);

// apply and set: makes the changes (CompareConfigs(current, desired)) with
// ChangeServiceConfigW (SERVICE_NO_CHANGE for what does not change) and the
// ChangeServiceConfig2W levels that differ, in that order. If a write fails,
// the writes already made are written back from current, in reverse order.
// The handle needs kChangeAccess. A password, when given, goes with the
// ChangeServiceConfigW write, which is then made even if nothing else of
// it changes; it cannot be written back. Once every write is made, a user
// account that is new, or got a new password, is given the right to log on
// as a service through grant, when it is not null; if that fails, the
// writes are written back as for any other.
std::optional<ChangeFailure> WriteChanges(SC_HANDLE service, const ServiceConfig& current,
                                          const DesiredConfig& desired,
                                          const std::vector<ConfigChange>& changes,
                                          LPCWSTR password, WriteNotes& notes,
                                          LogonRightGrant grant = nullptr);
