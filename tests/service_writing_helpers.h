// What the tests of the service store share: records to write, a service
// read back from the simulated manager as show reads it, and the install
// sequence's fixture.
#pragma once

#include <algorithm>

#include <gtest/gtest.h>

#include "setup/model/compose_config.h"
#include "setup/manager/service_reading.h"
#include "setup/manager/service_writing.h"
#include "tests/setup_test_paths.h"

namespace store_test {

using setup_test::kProgram;
using setup_test::kWrapper;

// How many times the store made this call of the simulated manager.
inline int CallCount(const char* name) {
    std::vector<std::string> calls = sim::ServiceCallNames();
    return static_cast<int>(std::count(calls.begin(), calls.end(), name));
}

// Every option given, each to a value other than its default.
inline ConfigOptions EveryOption() {
    ConfigOptions o;
    o.stopTimeoutMs = 30000;
    o.displayName = L"My Updater";
    o.description = L"Keeps the firmware current";
    o.start = StartSetting{SERVICE_AUTO_START, true};
    o.account = L"NT AUTHORITY\\LocalService";
    o.dependencies = {{L"Tcpip", L"Dnscache"}};
    o.restartDelaysMs = {{1000, 2000}};
    o.resetPeriodSeconds = 600;
    o.sidType = SidType::Restricted;
    o.requiredPrivileges = {{L"SeChangeNotifyPrivilege", L"SeImpersonatePrivilege"}};
    o.arguments = {L"--mode", L"svc"};
    return o;
}

// What install and apply would write for these options.
inline DesiredConfig Desired(ConfigOptions options, const std::wstring& name = L"MyUpdater") {
    options.program = L"u.exe";
    return ComposeInstallConfig(name, options, kWrapper, kProgram);
}

// The platform's granting of the right to log on as a service, as the
// store sees it: each account asked for, and the answer the test chose.
struct GrantScript {
    DWORD error = NO_ERROR;
    bool held = false;  // the account holds the right already
    std::vector<std::wstring> asked;
};
inline GrantScript g_grant;

inline DWORD ScriptedGrant(const std::wstring& account, bool& granted) {
    g_grant.asked.push_back(account);
    granted = g_grant.error == NO_ERROR && !g_grant.held;
    return g_grant.error;
}

// The service as show reads it: every handle closed again.
inline ServiceConfig ReadBack(const std::wstring& name) {
    ServiceHandles handles;
    StoredService stored;
    EXPECT_FALSE(OpenServiceByName(name, SERVICE_QUERY_CONFIG, handles));
    EXPECT_EQ(ReadStoredService(handles.service.handle, name, stored), NO_ERROR);
    return DecodeStoredService(stored);
}

// The install sequence's tests: each begins with a fresh simulated manager
// and may end by checking that no handle is open and nothing was misused.
class InstallSequence : public testing::Test {
protected:
    void SetUp() override { sim::Reset(); }

    void ExpectNoHandleOrProblemLeft() {
        EXPECT_EQ(sim::OpenHandleCount(), 0);
        EXPECT_EQ(sim::Problems(), std::vector<std::string>());
    }
};

}  // namespace store_test
