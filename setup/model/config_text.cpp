#include "setup/model/config_text.h"

#include <cstring>

#include "setup/model/launcher_text.h"
#include "setup/model/option_values.h"
#include "setup/model/command_hints.h"
#include "setup/model/text.h"

std::wstring ListText(const std::vector<std::wstring>& texts) {
    if (texts.empty()) return L"(none)";
    std::wstring text;
    for (const std::wstring& item : texts) text += (text.empty() ? L"" : L" ") + Bracketed(item);
    return text;
}

static std::wstring ActionText(const RecoveryAction& action) {
    const std::wstring delay = std::to_wstring(action.delayMs) + L" ms";
    switch (action.type) {
    case RecoveryActionType::Restart: return L"restart after " + delay;
    case RecoveryActionType::Reboot: return L"reboot the computer after " + delay;
    case RecoveryActionType::RunCommand: return L"run a command after " + delay;
    case RecoveryActionType::None: break;
    }
    return L"take no action";
}

std::wstring RecoveryText(const std::optional<RecoveryPolicy>& recovery) {
    if (!recovery) return L"unknown";
    if (recovery->actions.empty()) return L"none";
    std::wstring text;
    const std::size_t count = recovery->actions.size();
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) text += L", ";
        text += ActionText(recovery->actions[i]);
        if (i == count - 1) text += count == 1 ? L" at every failure" : L" at every later failure";
    }
    return text + L"; failures counted anew after " +
           std::to_wstring(recovery->resetPeriodSeconds) + L" s without one";
}

static const wchar_t* const kOrdinals[] = {L"first", L"second", L"third"};

std::vector<std::wstring> RecoveryLines(const ServiceConfig& config) {
    if (!config.recovery) {
        return {L"the service control manager cannot report the recovery settings"};
    }
    const std::vector<RecoveryAction>& actions = config.recovery->actions;
    if (actions.empty()) {
        return {L"none: Windows will not restart the service after a failure"};
    }
    std::vector<std::wstring> lines;
    for (std::size_t i = 0; i < actions.size(); ++i) {
        std::wstring when = i == actions.size() - 1
                                ? (i == 0 ? L"every failure" : L"every later failure")
                                : std::wstring(i < 3 ? kOrdinals[i] : L"next") + L" failure";
        lines.push_back(when + L": " + ActionText(actions[i]));
    }
    lines.push_back(L"failures counted anew after " +
                    std::to_wstring(config.recovery->resetPeriodSeconds) + L" s without one");
    if (!config.failureOnNonZeroExit) {
        lines.push_back(L"whether a non-zero exit code counts as a failure cannot be read");
    } else {
        lines.push_back(*config.failureOnNonZeroExit
                            ? L"a stop with a non-zero exit code counts as a failure"
                            : L"only a crash counts as a failure, not a non-zero exit code");
    }
    return lines;
}

std::wstring StopBehaviourLine(DWORD stopTimeoutMs) {
    if (stopTimeoutMs == 0) return L"A stop ends the program at once.";
    return L"A stop gives the program " + std::to_wstring(stopTimeoutMs) +
           L" ms to end by itself, then ends it.";
}

std::wstring AccountText(const std::wstring& account) {
    switch (AccountKindOf(account)) {
    case AccountKind::LocalSystem: return account + L" (the system's own account)";
    case AccountKind::LocalService: return account + L" (a built-in account with few rights)";
    case AccountKind::NetworkService:
        return account + L" (a built-in account with few rights, the computer's on the network)";
    case AccountKind::Virtual: return account + L" (the service's virtual account)";
    case AccountKind::GroupManaged: return account + L" (a group managed service account)";
    case AccountKind::User: return account + L" (a user account)";
    }
    return account;
}

std::wstring ListingLine(const wchar_t* label, const std::wstring& value) {
    std::wstring text = L"  ";
    text += label;
    text.resize(18, L' ');
    return text + value + L"\n";
}

static std::wstring OrNone(const std::optional<std::wstring>& text) {
    if (!text) return L"(could not be read)";
    return text->empty() ? L"(none)" : Printable(*text);
}

// An empty list of required privileges leaves the service every privilege
// its account has.
static std::wstring PrivilegesText(const std::vector<std::wstring>& privileges) {
    return privileges.empty() ? L"every privilege of the account (none are named)"
                              : ListText(privileges);
}

// The settings both show and install print, in the same words. install
// names the SID type and privileges only where it writes them; show always,
// and says where the manager cannot report them.
static std::wstring SettingsText(const ServiceConfig& config, bool shown) {
    std::wstring text = ListingLine(
        L"start", StartTypeName(config.startType, config.delayedAutoStart.value_or(false)));
    text += ListingLine(L"account", AccountText(config.account));
    const std::wstring unknown = L"unknown: the service control manager cannot report it";
    text += ListingLine(L"dependencies",
                        config.dependenciesUnread ? unknown : ListText(config.dependencies));
    if (config.sidType) {
        text += ListingLine(L"SID type", SidTypeName(*config.sidType));
    } else if (shown) {
        text += ListingLine(L"SID type", unknown);
    }
    if (config.requiredPrivileges) {
        text += ListingLine(L"privileges", PrivilegesText(*config.requiredPrivileges));
    } else if (shown) {
        text += ListingLine(L"privileges", unknown);
    }
    std::vector<std::wstring> recovery = RecoveryLines(config);
    for (std::size_t i = 0; i < recovery.size(); ++i) {
        text += ListingLine(i == 0 ? L"recovery" : L"", recovery[i]);
    }
    return text;
}

static std::wstring ElementsText(const ServiceConfig& config, bool wrapped) {
    std::wstring text =
        L"The command line, as stored:\n  " + Printable(config.commandLine.text) + L"\n";
    text += wrapped ? L"Its elements, as the wrapper reads them:\n"
                    : L"Its elements, as CommandLineToArgvW reads them:\n";
    return text + FormatElements(config.commandLine.elements, wrapped);
}

std::wstring RenderShowText(const ServiceConfig& config, const std::optional<StatusReport>& status,
                            const std::wstring& exitCodeText, const ConfigurationReview& review) {
    std::wstring text = L"Service " + Printable(config.name) + L"\n";
    text += ListingLine(L"display name", OrNone(config.displayName));
    text += ListingLine(L"description", OrNone(config.description));
    if (status) {
        std::wstring state = StateWord(status->currentState);
        if (status->processId != 0) state += L", pid " + std::to_wstring(status->processId);
        text += ListingLine(L"state", state);
        text += ListingLine(L"last exit code", exitCodeText);
    }
    if (review.wrapped && review.stopTimeoutMs) {
        text += ListingLine(L"stop timeout", std::to_wstring(*review.stopTimeoutMs) + L" ms");
    }
    if (config.preshutdownTimeoutMs) {
        text += ListingLine(L"pre-shutdown",
                            std::to_wstring(*config.preshutdownTimeoutMs) + L" ms");
    }
    text += LauncherText(config.commandLine);
    text += SettingsText(config, /*shown=*/true);
    text += ElementsText(config, review.wrapped);
    for (const std::wstring& note : review.notes) text += NoteLine(note);
    for (const std::wstring& warning : review.warnings) text += WarningLine(warning);
    return text;
}

std::wstring RenderInstallReport(const ServiceConfig& config) {
    const ServiceCommandLine& line = config.commandLine;
    std::wstring text = L"Installed the service " + Printable(config.name) + L".\n";
    text += ListingLine(L"display name", Printable(config.displayName));
    text += ListingLine(L"description", OrNone(config.description));
    text += ListingLine(L"stop timeout", std::to_wstring(line.stopTimeoutMs) +
                                             L" ms, also the pre-shutdown timeout");
    text += LauncherText(line);
    text += SettingsText(config, /*shown=*/false);
    text += StopBehaviourLine(line.stopTimeoutMs) + L"\n";
    text += ElementsText(config, /*wrapped=*/true);
    for (std::size_t i = 0; i < line.elements.size(); ++i) {
        if (!HoldsEnvironmentReference(line.elements[i])) continue;
        text += NoteLine(L"element " + std::to_wstring(i) +
                         L" holds a %NAME% reference, which the manager replaces with the "
                         L"variable's value when it starts the service.");
    }
    text += L"Start it with: " + StartHint(config.name) + L"\n";
    return text;
}

std::wstring StatusLine(const std::wstring& name, const StatusReport& status,
                        const std::wstring& exitCodeText) {
    std::wstring text = Printable(name) + L": " + StateWord(status.currentState);
    if (status.processId != 0) text += L", pid " + std::to_wstring(status.processId);
    if (status.currentState == SERVICE_STOPPED) text += L"; last exit code " + exitCodeText;
    return text + L"\n";
}
