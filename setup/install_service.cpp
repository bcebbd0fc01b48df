#include "setup/install_service.h"

#include "service/service_state.h"
#include "setup/model/service_config.h"

// The settings CreateServiceW has no parameter for. Gives the step that
// failed, or nothing. Allocates nothing, so that nothing can throw while
// the service exists half configured.
static std::optional<InstallFailure> Configure(SC_HANDLE service, const InstallPlan& plan) {
    if (!plan.description.empty()) {
        // The record's field is not const, but the call only reads it.
        SERVICE_DESCRIPTIONW description = {const_cast<LPWSTR>(plan.description.c_str())};
        if (!ChangeServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, &description)) {
            return InstallFailure{L"cannot set the description", LastErrorOf(), true, false,
                                  NO_ERROR};
        }
    }
    if (plan.delayedAutoStart) {
        SERVICE_DELAYED_AUTO_START_INFO delayed = {TRUE};
        if (!ChangeServiceConfig2W(service, SERVICE_CONFIG_DELAYED_AUTO_START_INFO, &delayed)) {
            return InstallFailure{L"cannot set the delayed automatic start", LastErrorOf(), true,
                                  false, NO_ERROR};
        }
    }
    SERVICE_PRESHUTDOWN_INFO preshutdown = {plan.preshutdownTimeoutMs};
    if (!ChangeServiceConfig2W(service, SERVICE_CONFIG_PRESHUTDOWN_INFO, &preshutdown)) {
        return InstallFailure{L"cannot set the pre-shutdown timeout", LastErrorOf(), true, false,
                              NO_ERROR};
    }
    return std::nullopt;
}

std::optional<InstallFailure> InstallService(const InstallPlan& plan) {
    SC_HANDLE manager = OpenSCManagerW(/*lpMachineName=*/nullptr, /*lpDatabaseName=*/nullptr,
                                       SC_MANAGER_CREATE_SERVICE);
    if (!manager) {
        return InstallFailure{L"cannot open the service control manager to create a service",
                              LastErrorOf(), false, false, NO_ERROR};
    }
    // No password: the accounts offered have none. The manager takes an
    // empty one for the built-in accounts, and none at all for a virtual or
    // group managed account.
    const AccountKind kind = AccountKindOf(plan.serviceStartName ? plan.serviceStartName : L"");
    const bool managed = kind == AccountKind::Virtual || kind == AccountKind::GroupManaged;
    SC_HANDLE service = CreateServiceW(
        manager, plan.name.c_str(), plan.displayName.c_str(), SERVICE_CHANGE_CONFIG | DELETE,
        SERVICE_WIN32_OWN_PROCESS, plan.startType, SERVICE_ERROR_NORMAL, plan.commandLine.c_str(),
        /*lpLoadOrderGroup=*/nullptr, /*lpdwTagId=*/nullptr, /*lpDependencies=*/nullptr,
        plan.serviceStartName, /*lpPassword=*/managed ? nullptr : L"");
    if (!service) {
        DWORD error = LastErrorOf();
        CloseServiceHandle(manager);
        return InstallFailure{L"cannot create the service", error, false, false, NO_ERROR};
    }
    std::optional<InstallFailure> failure = Configure(service, plan);
    if (failure && !DeleteService(service)) {
        failure->leftBehind = true;
        failure->removeError = LastErrorOf();
    }
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return failure;
}
