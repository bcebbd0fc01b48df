// How a write through the manager failed, and the words for it: the
// records the platform layer fills, the text the verbs print.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "setup/model/compare_configs.h"
#include "setup/model/windows_errors.h"

// What a write left to say besides its outcome: settings the manager could
// not keep and that were not asked for by name (the default recovery where
// the manager answers ERROR_INVALID_LEVEL), in words, and the writes left
// out for that reason, whose changes therefore did not happen; and whether
// the user account was given the right to log on as a service, which it
// lacked.
struct WriteNotes {
    std::vector<std::wstring> warnings;
    std::vector<ConfigWrite> notWritten;
    bool logonRightGranted = false;
};

// The warning for the default recovery left out.
extern const wchar_t kRecoveryNotKeptWarning[];

// "Gave the account .\svc the right to log on as a service (SeServiceLogonRight), which it lacked."
std::wstring LogonRightGrantedText(const std::wstring& account);

// A display name that another service has already, as its display name or
// as its name: the manager answers ERROR_DUPLICATE_SERVICE_NAME for it.
struct TakenDisplayName {
    std::wstring displayName;
    std::wstring owner;  // that service's name; empty if it could not be found
};

// "The display name [X] is already used by the service Y; ..."
std::wstring TakenDisplayNameText(const TakenDisplayName& taken);

struct InstallFailure {
    const wchar_t* step;  // what could not be done, in words
    DWORD error;
    bool created;  // the step came after the creation, and the service was deleted again
    // The service could not be deleted again; then removeError says why.
    bool leftBehind;
    DWORD removeError;
    std::optional<TakenDisplayName> takenDisplayName = std::nullopt;
};

// "Cannot install X: <step>. Windows error ...", then what is left: nothing
// (never created, or deleted again), or the service, with how to remove it.
std::wstring InstallFailureText(const std::wstring& name, const InstallFailure& failure,
                                MessageLookup system);

// A write of apply or set that failed part way, and the writing back of
// what had been changed before it.
struct ChangeFailure {
    const wchar_t* step;  // what could not be done: "cannot set the description"
    DWORD error;
    std::vector<ConfigWrite> restored;  // written back as they were
    struct Unrestored {
        ConfigWrite write;
        DWORD error;  // NO_ERROR: the manager could not report what it was before
    };
    std::vector<Unrestored> unrestored;  // could not be written back
    std::optional<TakenDisplayName> takenDisplayName = std::nullopt;
    // The manager keeps one password per service: a user account written
    // back after another was written has lost its own.
    bool passwordLost = false;
};

// "Cannot change X: <step>. Windows error ...", then either that what was
// already changed was written back (naming it) or nothing had been changed
// yet, or, for each write that could not be restored, its fields with the
// value they have now and the one they had. A new password written is
// never written back, since the old one cannot be read: the text says so.
std::wstring ChangeFailureText(const std::wstring& name, const std::vector<ConfigChange>& changes,
                               const ChangeFailure& failure, MessageLookup system);

// Whether a new password was written before the failure, or the account
// written back lost its own: a password is never written back, since the
// old one cannot be read.
bool PasswordStays(const std::vector<ConfigChange>& changes, const ChangeFailure& failure);

// The fields a write carries, in words, the password left out: "stop
// timeout, program".
std::wstring WriteFieldsText(const std::vector<ConfigChange>& changes, ConfigWrite write);
