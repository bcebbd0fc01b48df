// The simulated manager's configuration calls, pinned where the setup
// program relies on them: the Query calls' buffer protocol,
// SERVICE_NO_CHANGE, and the levels a manager may not know.
#include <cwchar>
#include <functional>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "tests/sim_manager_fixture.h"

namespace {

using sim_test::Outcome;
using sim_test::SimulatedManager;

// A Query call with a buffer of the given size; gives the result, the
// error and the size it says it needs.
using Query = std::function<BOOL(LPBYTE buffer, DWORD size, LPDWORD needed)>;

// Asks for the size with no buffer, is refused once more one byte short,
// then reads into a buffer of exactly that size (so that the address
// sanitizer catches a byte written past it).
std::vector<BYTE> ReadWithSizeProtocol(const Query& query) {
    DWORD needed = 0;
    EXPECT_FALSE(query(nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    std::vector<BYTE> buffer(needed);
    DWORD again = 0;
    EXPECT_FALSE(query(buffer.data(), needed - 1, &again));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(again, needed);
    EXPECT_TRUE(query(buffer.data(), needed, &again));
    return buffer;
}

std::vector<std::wstring> MultiString(LPCWSTR list) {
    std::vector<std::wstring> strings;
    for (LPCWSTR at = list; *at; at += std::wcslen(at) + 1) strings.emplace_back(at);
    return strings;
}

TEST_F(SimulatedManager, QueriesPackEverythingIntoTheSizeTheyAskFor) {
    SC_HANDLE service = CreateServiceW(
        manager_, L"Updater", L"The Updater", SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
        SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, L"\"C:\\W\\w.exe\" 30000", nullptr, nullptr,
        L"Tcpip\0+NetworkProvider\0", /*lpServiceStartName=*/nullptr, /*lpPassword=*/nullptr);
    SC_ACTION actions[] = {{SC_ACTION_RESTART, 60000}, {SC_ACTION_RUN_COMMAND, 1000}};
    SERVICE_FAILURE_ACTIONSW failure = {86400, nullptr, const_cast<LPWSTR>(L"notify.cmd"), 2, actions};
    SERVICE_DESCRIPTIONW description = {const_cast<LPWSTR>(L"Keeps it current")};
    SERVICE_REQUIRED_PRIVILEGES_INFOW privileges = {
        const_cast<LPWSTR>(L"SeChangeNotifyPrivilege\0SeShutdownPrivilege\0")};
    ASSERT_TRUE(ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, &failure));
    ASSERT_TRUE(ChangeServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, &description));
    ASSERT_TRUE(ChangeServiceConfig2W(service, SERVICE_CONFIG_REQUIRED_PRIVILEGES_INFO, &privileges));

    auto config = ReadWithSizeProtocol([&](LPBYTE b, DWORD n, LPDWORD needed) {
        return QueryServiceConfigW(service, reinterpret_cast<LPQUERY_SERVICE_CONFIGW>(b), n, needed);
    });
    const auto& c = *reinterpret_cast<const QUERY_SERVICE_CONFIGW*>(config.data());
    EXPECT_EQ(c.dwStartType, SERVICE_AUTO_START);
    EXPECT_STREQ(c.lpBinaryPathName, L"\"C:\\W\\w.exe\" 30000");
    EXPECT_STREQ(c.lpLoadOrderGroup, L"");
    EXPECT_EQ(MultiString(c.lpDependencies), (std::vector<std::wstring>{L"Tcpip", L"+NetworkProvider"}));
    EXPECT_STREQ(c.lpServiceStartName, L"LocalSystem");
    EXPECT_STREQ(c.lpDisplayName, L"The Updater");

    auto level = [&](DWORD infoLevel) {
        return ReadWithSizeProtocol([&](LPBYTE b, DWORD n, LPDWORD needed) {
            return QueryServiceConfig2W(service, infoLevel, b, n, needed);
        });
    };
    auto f = level(SERVICE_CONFIG_FAILURE_ACTIONS);
    const auto& read = *reinterpret_cast<const SERVICE_FAILURE_ACTIONSW*>(f.data());
    EXPECT_EQ(read.dwResetPeriod, 86400u);
    EXPECT_EQ(read.lpRebootMsg, nullptr);
    EXPECT_STREQ(read.lpCommand, L"notify.cmd");
    ASSERT_EQ(read.cActions, 2u);
    EXPECT_EQ(read.lpsaActions[1].Type, SC_ACTION_RUN_COMMAND);
    EXPECT_EQ(read.lpsaActions[0].Delay, 60000u);
    auto d = level(SERVICE_CONFIG_DESCRIPTION);
    EXPECT_STREQ(reinterpret_cast<const SERVICE_DESCRIPTIONW*>(d.data())->lpDescription,
                 L"Keeps it current");
    auto p = level(SERVICE_CONFIG_REQUIRED_PRIVILEGES_INFO);
    EXPECT_EQ(MultiString(reinterpret_cast<const SERVICE_REQUIRED_PRIVILEGES_INFOW*>(p.data())
                              ->pmszRequiredPrivileges),
              (std::vector<std::wstring>{L"SeChangeNotifyPrivilege", L"SeShutdownPrivilege"}));
    auto s = level(SERVICE_CONFIG_PRESHUTDOWN_INFO);
    EXPECT_EQ(reinterpret_cast<const SERVICE_PRESHUTDOWN_INFO*>(s.data())->dwPreshutdownTimeout,
              180000u);

    // A null action list leaves the actions and their reset period as they are.
    SERVICE_FAILURE_ACTIONSW textOnly = {0, const_cast<LPWSTR>(L"bye"), nullptr, 0, nullptr};
    ASSERT_TRUE(ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, &textOnly));
    const sim::ServiceRecord record = *sim::ServiceNamed(L"updater");
    EXPECT_EQ(record.failureActions.size(), 2u);
    EXPECT_EQ(record.resetPeriodS, 86400u);
    EXPECT_EQ(record.rebootMessage, L"bye");
    EXPECT_EQ(record.failureCommand, L"notify.cmd");
    CloseServiceHandle(service);
}

// The main settings in one line, to compare them all at once.
std::wstring MainSettings(const sim::ServiceRecord& r) {
    std::wstring line = std::to_wstring(r.serviceType) + L"|" + std::to_wstring(r.startType) +
                        L"|" + std::to_wstring(r.errorControl) + L"|" + r.binaryPathName + L"|" +
                        r.loadOrderGroup + L"|" + r.serviceStartName + L"|" +
                        (r.passwordSet ? L"password" : L"none") + L"|" + r.displayName;
    for (const std::wstring& dependency : r.dependencies) line += L"|" + dependency;
    return line;
}

// SERVICE_NO_CHANGE and null pointers everywhere but in one argument: that
// setting changes and every other one stays.
TEST_F(SimulatedManager, ChangeServiceConfigChangesOnlyWhatItIsGiven) {
    struct Arguments {
        DWORD type = SERVICE_NO_CHANGE, start = SERVICE_NO_CHANGE, errorControl = SERVICE_NO_CHANGE;
        LPCWSTR binary = nullptr, group = nullptr, dependencies = nullptr, account = nullptr,
                password = nullptr, displayName = nullptr;
    };
    using sim::ServiceRecord;
    const struct {
        const char* what;
        std::function<void(Arguments&)> give;
        std::function<void(ServiceRecord&)> expect;
    } kChanges[] = {
        {"nothing", [](Arguments&) {}, [](ServiceRecord&) {}},
        {"type", [](Arguments& a) { a.type = SERVICE_WIN32_SHARE_PROCESS; },
         [](ServiceRecord& r) { r.serviceType = SERVICE_WIN32_SHARE_PROCESS; }},
        {"start", [](Arguments& a) { a.start = SERVICE_DISABLED; },
         [](ServiceRecord& r) { r.startType = SERVICE_DISABLED; }},
        {"error control", [](Arguments& a) { a.errorControl = SERVICE_ERROR_SEVERE; },
         [](ServiceRecord& r) { r.errorControl = SERVICE_ERROR_SEVERE; }},
        {"binary", [](Arguments& a) { a.binary = L"C:\\T\\t.exe"; },
         [](ServiceRecord& r) { r.binaryPathName = L"C:\\T\\t.exe"; }},
        {"group", [](Arguments& a) { a.group = L"Net"; }, [](ServiceRecord& r) { r.loadOrderGroup = L"Net"; }},
        {"empty dependencies", [](Arguments& a) { a.dependencies = L"\0"; },
         [](ServiceRecord& r) { r.dependencies.clear(); }},
        {"account", [](Arguments& a) { a.account = L".\\svc"; },
         [](ServiceRecord& r) { r.serviceStartName = L".\\svc"; }},
        {"password", [](Arguments& a) { a.password = L"secret"; },
         [](ServiceRecord& r) { r.passwordSet = true; }},
        {"display name", [](Arguments& a) { a.displayName = L"Shown"; },
         [](ServiceRecord& r) { r.displayName = L"Shown"; }},
    };
    for (const auto& c : kChanges) {
        SCOPED_TRACE(c.what);
        SC_HANDLE service = Create(L"Svc", L"Svc shown", L"Tcpip\0");
        ServiceRecord expected = *sim::ServiceNamed(L"Svc");
        c.expect(expected);
        Arguments a;
        c.give(a);
        EXPECT_TRUE(ChangeServiceConfigW(service, a.type, a.start, a.errorControl, a.binary, a.group,
                                         nullptr, a.dependencies, a.account, a.password,
                                         a.displayName));
        EXPECT_EQ(MainSettings(*sim::ServiceNamed(L"Svc")), MainSettings(expected));
        DeleteService(service);
        CloseServiceHandle(service);
    }
}

TEST_F(SimulatedManager, LevelsTheManagerDoesNotKeepAnswerInvalidLevel) {
    struct Level {
        DWORD level;
        bool changeRefused;  // under ManagerAsWine
        bool queryRefused;
    };
    const Level kLevels[] = {
        {SERVICE_CONFIG_DESCRIPTION, false, false},
        {SERVICE_CONFIG_FAILURE_ACTIONS, false, true},
        {SERVICE_CONFIG_DELAYED_AUTO_START_INFO, true, true},
        {SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, true, true},
        {SERVICE_CONFIG_SERVICE_SID_INFO, true, true},
        {SERVICE_CONFIG_REQUIRED_PRIVILEGES_INFO, true, true},
        {SERVICE_CONFIG_PRESHUTDOWN_INFO, false, false},
        {0, true, true},  // unknown: refused by any manager
        {8, true, true},
    };
    SC_HANDLE service = Create(L"Svc");
    sim::ManagerAsWine();
    for (const Level& l : kLevels) {
        SCOPED_TRACE(l.level);
        // Zeros mean "nothing" at every level: no text, no actions, flags off.
        BYTE zeros[64] = {};
        DWORD needed = 0;
        EXPECT_EQ(Outcome(ChangeServiceConfig2W(service, l.level, zeros)),
                  l.changeRefused ? ERROR_INVALID_LEVEL : NO_ERROR);
        EXPECT_EQ(Outcome(QueryServiceConfig2W(service, l.level, zeros, sizeof(zeros), &needed)),
                  l.queryRefused ? ERROR_INVALID_LEVEL : NO_ERROR);
    }
    CloseServiceHandle(service);
}

}  // namespace
