// What install, apply and set print, made from their outcome alone: the
// text, and the one JSON document that --json prints instead. Neither is
// ever given the password of a user account, which therefore cannot reach
// either.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "setup/audit/findings_report.h"
#include "setup/model/compare_configs.h"
#include "setup/model/windows_errors.h"
#include "setup/model/service_config.h"
#include "setup/model/setup_options.h"
#include "setup/model/write_outcome.h"

// "Changed the service X:" and one "label: old -> new" line per change, and
// which of them wait for a restart when the service runs; or the one line
// that it is already as asked and nothing was changed.
std::wstring RenderChangesText(const std::wstring& name, const std::vector<ConfigChange>& changes,
                               bool running);

// {"changed": true|false, "changes": [{"field", "old", "new", "needsRestart"}], "needsRestart"}
nlohmann::json ChangesJson(const std::vector<ConfigChange>& changes);

struct VerbReport {
    bool failed;              // text for the error stream, else for standard output
    std::wstring text;
    nlohmann::json document;  // a failure's holds an "error" object
};

// A failure in words, and the document with an "error" object added: the
// message (without its last line end), the Windows error, and the
// platform's text for it; code and text null for a failure that is no
// Windows error.
VerbReport FailureReport(const std::wstring& message, std::optional<DWORD> error,
                         nlohmann::json document, MessageLookup system);

// Before anything was written: "Cannot install X: why", what the checks
// found, and "Nothing was installed." (apply: "installed or changed", set:
// "changed"). error may be NO_ERROR.
VerbReport RefusalReport(Verb verb, const std::wstring& name, const std::wstring& why,
                         DWORD error, const CheckFindings& checks, MessageLookup system);

// A service installed with this record: install's report, the account's new
// right, the write's warnings and what the checks found.
// {"name", "installed": true, "changed": true, "service", "logonRightGranted",
//  "warnings", "notes", "accessFindings"}
VerbReport InstallReport(const std::wstring& name, const ServiceConfig& written,
                         const WriteNotes& notes, const CheckFindings& checks);

// install's report for each outcome its write may have, made before the
// service is created, so that little is left to go wrong once it exists: a
// failure reported then would be for a service that is installed. The
// outcomes: whether the manager kept the default recovery (else it was left
// out), and whether the account was given the right to log on as a service.
struct InstallReports {
    VerbReport recoveryKept[2];      // by logonRightGranted
    VerbReport recoveryLeftOut[2];
};
InstallReports PrepareInstallReports(const std::wstring& name, const ServiceConfig& desired,
                                     const CheckFindings& checks);

// The report made for the outcome the write noted.
const VerbReport& ChooseInstallReport(const InstallReports& reports, const WriteNotes& notes);

VerbReport InstallFailureReport(const std::wstring& name, const InstallFailure& failure,
                                const CheckFindings& checks, MessageLookup system);

// The changes made, as RenderChangesText words them (a running service's
// wait for a restart is left out when one follows), then as install's; the
// account is the one the service has now.
// {"name", "installed": false, "changed", "changes", "needsRestart",
//  "running", "restarted": false, "logonRightGranted", "warnings", "notes",
//  "accessFindings"}
VerbReport ChangesReport(const std::wstring& name, const std::wstring& account,
                         const std::vector<ConfigChange>& made, const WriteNotes& notes,
                         const CheckFindings& checks, bool running, bool restartFollows);

// {"name", "changed", "restored", "notRestored", "error", "warnings", ...}:
// the fields of the writes written back, and of those that could not be
// ("password" among them once a new one was written).
VerbReport ChangeFailureReport(const std::wstring& name, const std::vector<ConfigChange>& changes,
                               const ChangeFailure& failure, const CheckFindings& checks,
                               MessageLookup system);
