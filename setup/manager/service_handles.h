// The handles of the service control manager: to the manager itself and to
// a service in it, each closed by its one owner, and the one way the verbs
// open a service by name. Reaches the platform only through platform.h.
#pragma once

#include <optional>
#include <string>
#include <utility>

#include "platform/platform.h"

// A handle the manager gave (OpenSCManagerW, OpenServiceW, CreateServiceW),
// closed with CloseServiceHandle when its holder goes. Moved, never copied;
// null means empty.
struct ScHandle {
    SC_HANDLE handle = nullptr;

    ScHandle() = default;
    explicit ScHandle(SC_HANDLE opened) : handle(opened) {}
    ScHandle(ScHandle&& other) noexcept : handle(std::exchange(other.handle, nullptr)) {}
    ScHandle& operator=(ScHandle&& other) noexcept {
        std::swap(handle, other.handle);  // other closes what this held
        return *this;
    }
    ScHandle(const ScHandle&) = delete;
    ScHandle& operator=(const ScHandle&) = delete;
    ~ScHandle() {
        if (handle) CloseServiceHandle(handle);
    }
};

// A service and the manager it was opened through. The service is declared
// last, so that it is closed first.
struct ServiceHandles {
    ScHandle manager;
    ScHandle service;
};

// Closes both now, the service first, rather than when they go.
inline void CloseServiceHandles(ServiceHandles& handles) {
    handles = ServiceHandles{};
}

// A step that failed: what, in words (a sentence for "Cannot ... the
// service X: <problem>"), and the Windows error.
struct StepFailure {
    std::wstring problem;
    DWORD error;
};

// OpenSCManagerW / OpenServiceW on the local machine. Give NO_ERROR, or the
// error (ERROR_SERVICE_DOES_NOT_EXIST for a missing name).
DWORD OpenManager(DWORD access, ScHandle& manager);
DWORD OpenNamedService(const ScHandle& manager, const std::wstring& name, DWORD access,
                       ScHandle& service);

// The manager (SC_MANAGER_CONNECT), then the service with this access. A
// missing name is told apart (ERROR_SERVICE_DOES_NOT_EXIST); any other
// failure to open the service is openProblem. On failure nothing is left
// open.
std::optional<StepFailure> OpenServiceByName(
    const std::wstring& name, DWORD access, ServiceHandles& handles,
    const wchar_t* openProblem = L"cannot open the service.");
