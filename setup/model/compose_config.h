// The record to write, composed from the options: over the defaults for
// install and apply, over the current record for set.
#pragma once

#include <string>

#include "setup/model/service_config.h"
#include "setup/model/setup_options.h"

// install and apply: every option not given at its default. The wrapper
// and the program are the full paths the platform layer resolved.
// Defaults: stop timeout 120000 ms, display name = name, description "Runs
// <program> as a service.", start auto, LocalSystem, pre-shutdown timeout =
// stop timeout, DefaultRecovery() with a non-zero exit counted as a failure,
// no dependencies; SID type and privileges left as they are; the program
// run through the launcher beside the wrapper, its log in defaultLogDir,
// unless --direct.
DesiredConfig ComposeInstallConfig(const std::wstring& name, const ConfigOptions& options,
                                   const std::wstring& wrapperPath, const std::wstring& program,
                                   const std::wstring& defaultLogDir = L"");

// set: only what is given changes. The current record must be decoded
// (current.commandLine.decoded); wrapperPath is the resolved --wrapper, or
// empty to keep the current one; program is the resolved program when
// options.program is given. A new stop timeout is also the new pre-shutdown
// timeout. Recovery options change the current policy (the default one
// where the manager cannot report it). The launcher as ComposeSetLauncher
// makes it.
DesiredConfig ComposeSetConfig(const ServiceConfig& current, const ConfigOptions& options,
                               const std::wstring& wrapperPath, const std::wstring& program,
                               const std::wstring& defaultLogDir = L"");
