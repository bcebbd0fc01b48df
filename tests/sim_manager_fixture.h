// What the tests of the simulated service control manager share: a fresh
// simulator with the manager open, services created the plain way, and
// every handle closed and nothing misused at the end.
#pragma once

#include <gtest/gtest.h>

#include "platform/platform.h"

namespace sim_test {

class SimulatedManager : public testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        manager_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    }

    void TearDown() override {
        CloseServiceHandle(manager_);
        EXPECT_EQ(sim::OpenHandleCount(), 0);
        EXPECT_EQ(sim::Problems(), std::vector<std::string>());
    }

    SC_HANDLE Create(const wchar_t* name, const wchar_t* displayName = nullptr,
                     LPCWSTR dependencies = nullptr) {
        return CreateServiceW(manager_, name, displayName, SERVICE_ALL_ACCESS,
                              SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                              L"C:\\S\\s.exe", nullptr, nullptr, dependencies, nullptr, nullptr);
    }

    SC_HANDLE manager_ = nullptr;
};

// NO_ERROR for a call that succeeded, else its error.
inline DWORD Outcome(BOOL ok) {
    return ok ? NO_ERROR : GetLastError();
}

}  // namespace sim_test
