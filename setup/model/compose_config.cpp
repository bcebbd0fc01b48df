#include "setup/model/compose_config.h"

#include "service/service_state.h"

static RecoveryPolicy ComposeRecovery(RecoveryPolicy base, const ConfigOptions& options) {
    if (options.restartDelaysMs) {
        base = RestartPolicy(*options.restartDelaysMs, base.resetPeriodSeconds);
    }
    if (options.resetPeriodSeconds) base.resetPeriodSeconds = *options.resetPeriodSeconds;
    return base;
}

// What install and set alike take from options that were given; current is
// the record set starts from (an empty one for install).
static void TakeGiven(const ConfigOptions& options, const ServiceConfig& current,
                      DesiredConfig& desired) {
    ServiceConfig& config = desired.config;
    if (options.displayName) config.displayName = *options.displayName;
    if (options.description) config.description = *options.description;
    if (options.start) {
        config.startType = options.start->startType;
        config.delayedAutoStart = options.start->delayedAutoStart;
    }
    if (options.account) config.account = *options.account;
    if (options.dependencies) config.dependencies = *options.dependencies;
    // Without restart actions the flag changes nothing; it is left as it is.
    if (options.restartDelaysMs) {
        config.failureOnNonZeroExit = options.restartDelaysMs->empty()
                                          ? current.failureOnNonZeroExit
                                          : std::optional<bool>(true);
    }
    desired.recoveryGiven = options.restartDelaysMs || options.resetPeriodSeconds;
    if (options.sidType) config.sidType = options.sidType;
    if (options.requiredPrivileges) config.requiredPrivileges = options.requiredPrivileges;
}

DesiredConfig ComposeInstallConfig(const std::wstring& name, const ConfigOptions& options,
                                   const std::wstring& wrapperPath, const std::wstring& program,
                                   const std::wstring& defaultLogDir) {
    DesiredConfig desired{};
    ServiceConfig& config = desired.config;
    const DWORD stopTimeoutMs = options.stopTimeoutMs.value_or(kDefaultStopTimeoutMs);
    config.name = name;
    config.commandLine = ComposeCommandLine(
        wrapperPath, stopTimeoutMs, program, options.arguments,
        ComposeInstallLauncher(name, options.launch, wrapperPath, defaultLogDir));
    config.displayName = name;
    config.description = L"Runs " + program + L" as a service.";
    config.startType = SERVICE_AUTO_START;
    config.delayedAutoStart = false;
    config.account = kLocalSystemAccount;
    config.preshutdownTimeoutMs = stopTimeoutMs;
    config.failureOnNonZeroExit = true;
    TakeGiven(options, ServiceConfig{}, desired);
    config.recovery = ComposeRecovery(DefaultRecovery(), options);
    return desired;
}

DesiredConfig ComposeSetConfig(const ServiceConfig& current, const ConfigOptions& options,
                               const std::wstring& wrapperPath, const std::wstring& program,
                               const std::wstring& defaultLogDir) {
    DesiredConfig desired{current, false};
    ServiceConfig& config = desired.config;
    const ServiceCommandLine& line = current.commandLine;
    const DWORD stopTimeoutMs = options.stopTimeoutMs.value_or(line.stopTimeoutMs);
    const std::wstring& wrapper = wrapperPath.empty() ? line.wrapperPath : wrapperPath;
    config.commandLine = ComposeCommandLine(
        wrapper, stopTimeoutMs, options.program ? program : line.program,
        options.program ? options.arguments : line.arguments,
        ComposeSetLauncher(line.launcher, current.name, options.launch, wrapper, defaultLogDir));
    // Unchanged elements keep the stored text, however it was quoted: set
    // writes only what it was given.
    if (config.commandLine.elements == line.elements) config.commandLine = line;
    if (options.stopTimeoutMs) config.preshutdownTimeoutMs = *options.stopTimeoutMs;
    TakeGiven(options, current, desired);
    if (desired.recoveryGiven) {
        config.recovery = ComposeRecovery(current.recovery.value_or(DefaultRecovery()), options);
    }
    return desired;
}
