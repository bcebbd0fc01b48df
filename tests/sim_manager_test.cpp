// The simulated service control manager, pinned where the setup program
// relies on it: the Query calls' buffer protocol, SERVICE_NO_CHANGE, levels
// a manager may not know, the rights a handle holds, a scripted service's
// life followed on the virtual clock, and listing with a small buffer.
#include <functional>
#include <tuple>

#include <gtest/gtest.h>

#include "platform/platform.h"

namespace {

// A Query call with a buffer of the given size; gives the result, the
// error and the size it says it needs.
using Query = std::function<BOOL(LPBYTE buffer, DWORD size, LPDWORD needed)>;

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

SERVICE_STATUS_PROCESS StatusOf(SC_HANDLE service) {
    SERVICE_STATUS_PROCESS status = {};
    DWORD needed = 0;
    EXPECT_TRUE(QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO,
                                     reinterpret_cast<LPBYTE>(&status), sizeof(status), &needed));
    return status;
}

// NO_ERROR for a call that succeeded, else its error.
DWORD Outcome(BOOL ok) {
    return ok ? NO_ERROR : GetLastError();
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

// What CreateServiceW and ChangeServiceConfigW refuse, with another
// service "Other" (shown as "Other shown") in the database.
TEST_F(SimulatedManager, NamesAreRefusedAsWindowsRefusesThem) {
    struct Refusal {
        const char* what;
        std::wstring name;
        const wchar_t* displayName;
        DWORD error;  // of CreateServiceW; of ChangeServiceConfigW for the display name
    };
    const Refusal kRefusals[] = {
        {"256 characters", std::wstring(256, L'n'), nullptr, NO_ERROR},
        {"257 characters", std::wstring(257, L'n'), nullptr, ERROR_INVALID_NAME},
        {"a slash", L"a/b", nullptr, ERROR_INVALID_NAME},
        {"a backslash", L"a\\b", nullptr, ERROR_INVALID_NAME},
        {"an existing name", L"OTHER", nullptr, ERROR_SERVICE_EXISTS},
        {"another's display name", L"New", L"other SHOWN", ERROR_DUPLICATE_SERVICE_NAME},
        {"another's name as display name", L"New", L"oTHER", ERROR_DUPLICATE_SERVICE_NAME},
    };
    SC_HANDLE other = Create(L"Other", L"Other shown");
    for (const Refusal& r : kRefusals) {
        SCOPED_TRACE(r.what);
        SC_HANDLE created = Create(r.name.c_str(), r.displayName);
        EXPECT_EQ(Outcome(created != nullptr), r.error);
        if (created) {
            DeleteService(created);
            CloseServiceHandle(created);
        }
    }
    auto rename = [](SC_HANDLE s, LPCWSTR displayName) {
        return Outcome(ChangeServiceConfigW(s, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                                            nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                            displayName));
    };
    SC_HANDLE mine = Create(L"Mine");
    EXPECT_EQ(rename(mine, L"OTHER SHOWN"), ERROR_DUPLICATE_SERVICE_NAME);
    EXPECT_EQ(rename(mine, L"MINE"), NO_ERROR);
    // A service marked for deletion keeps its name until its last handle closes.
    DeleteService(other);
    EXPECT_EQ(Outcome(Create(L"Other") != nullptr), ERROR_SERVICE_MARKED_FOR_DELETE);
    EXPECT_EQ(Outcome(OpenServiceW(manager_, L"Absent", 0) != nullptr), ERROR_SERVICE_DOES_NOT_EXIST);
    CloseServiceHandle(other);
    CloseServiceHandle(mine);
    EXPECT_EQ(sim::Services().size(), 1u);
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

int UsesOf(const char* call) {
    int uses = 0;
    for (const sim::Call& c : sim::Calls()) uses += std::string(c.name) == call;
    return uses;
}

// Each call can be made to fail, for the rollback paths; and it needs its
// right on the handle, which one generic right includes and the others do
// not, and nothing more.
TEST_F(SimulatedManager, EachCallNeedsItsRightAndCanBeMadeToFail) {
    BYTE buffer[512];
    DWORD needed = 0;
    DWORD returned = 0;
    DWORD length = 64;
    SERVICE_STATUS status;
    SERVICE_PRESHUTDOWN_INFO preshutdown = {5000};
    auto config = reinterpret_cast<LPQUERY_SERVICE_CONFIGW>(buffer);
    auto text = reinterpret_cast<LPWSTR>(buffer);
    const DWORD same = SERVICE_NO_CHANGE;
    const struct {
        const char* call;
        bool onManager;  // the call takes the manager's handle, else the service's
        DWORD right;     // 0: connecting to the manager is enough
        DWORD generic;   // the generic right that includes it
        std::function<BOOL(SC_HANDLE)> make;
    } kUses[] = {
        {"QueryServiceConfigW", false, SERVICE_QUERY_CONFIG, GENERIC_READ,
         [&](SC_HANDLE s) { return QueryServiceConfigW(s, config, sizeof(buffer), &needed); }},
        {"QueryServiceConfig2W", false, SERVICE_QUERY_CONFIG, GENERIC_READ, [&](SC_HANDLE s) {
             return QueryServiceConfig2W(s, SERVICE_CONFIG_PRESHUTDOWN_INFO, buffer, 4, &needed);
         }},
        {"ChangeServiceConfigW", false, SERVICE_CHANGE_CONFIG, GENERIC_WRITE, [&](SC_HANDLE s) {
             return ChangeServiceConfigW(s, same, same, same, nullptr, nullptr, nullptr, nullptr,
                                         nullptr, nullptr, nullptr);
         }},
        {"ChangeServiceConfig2W", false, SERVICE_CHANGE_CONFIG, GENERIC_WRITE, [&](SC_HANDLE s) {
             return ChangeServiceConfig2W(s, SERVICE_CONFIG_PRESHUTDOWN_INFO, &preshutdown);
         }},
        {"QueryServiceStatusEx", false, SERVICE_QUERY_STATUS, GENERIC_READ, [&](SC_HANDLE s) {
             return QueryServiceStatusEx(s, SC_STATUS_PROCESS_INFO, buffer, 36, &needed);
         }},
        {"StartServiceW", false, SERVICE_START, GENERIC_EXECUTE,
         [&](SC_HANDLE s) { return StartServiceW(s, 0, nullptr); }},
        {"ControlService", false, SERVICE_STOP, GENERIC_EXECUTE,
         [&](SC_HANDLE s) { return ControlService(s, SERVICE_CONTROL_STOP, &status); }},
        {"DeleteService", false, DELETE, 0, [&](SC_HANDLE s) { return DeleteService(s); }},
        {"CreateServiceW", true, SC_MANAGER_CREATE_SERVICE, GENERIC_WRITE, [&](SC_HANDLE m) {
             SC_HANDLE created = CreateServiceW(m, L"New", nullptr, 0, SERVICE_WIN32_OWN_PROCESS,
                                                SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                                L"n.exe", nullptr, nullptr, nullptr, nullptr, nullptr);
             return created && CloseServiceHandle(created);
         }},
        {"EnumServicesStatusExW", true, SC_MANAGER_ENUMERATE_SERVICE, GENERIC_READ, [&](SC_HANDLE m) {
             return EnumServicesStatusExW(m, SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_STATE_ALL,
                                          buffer, sizeof(buffer), &needed, &returned, nullptr,
                                          nullptr);
         }},
        {"OpenServiceW", true, 0, 0, [&](SC_HANDLE m) {
             SC_HANDLE opened = OpenServiceW(m, L"Svc", 0);
             return opened && CloseServiceHandle(opened);
         }},
        {"GetServiceKeyNameW", true, 0, 0,
         [&](SC_HANDLE m) { return GetServiceKeyNameW(m, L"Svc", text, &length); }},
        {"GetServiceDisplayNameW", true, 0, 0,
         [&](SC_HANDLE m) { return GetServiceDisplayNameW(m, L"Svc", text, &length); }},
    };
    for (const auto& u : kUses) {
        SCOPED_TRACE(u.call);
        sim::Reset();
        manager_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        CloseServiceHandle(Create(L"Svc"));
        auto errorWith = [&](DWORD access) {
            SC_HANDLE handle = u.onManager ? OpenSCManagerW(nullptr, nullptr, access)
                                           : OpenServiceW(manager_, L"Svc", access);
            SetLastError(NO_ERROR);
            DWORD error = u.make(handle) ? NO_ERROR : GetLastError();
            CloseServiceHandle(handle);
            return error;
        };
        const DWORD all = u.onManager ? SC_MANAGER_ALL_ACCESS : SERVICE_ALL_ACCESS;
        sim::FailCall(u.call, UsesOf(u.call) + 1, ERROR_GEN_FAILURE);
        EXPECT_EQ(errorWith(all), ERROR_GEN_FAILURE);
        if (!u.right) continue;
        EXPECT_EQ(errorWith(all & ~u.right), ERROR_ACCESS_DENIED);
        for (DWORD generic : {GENERIC_READ, GENERIC_WRITE, GENERIC_EXECUTE}) {
            if (generic != u.generic) {
                EXPECT_EQ(errorWith(generic), ERROR_ACCESS_DENIED) << generic;
            }
        }
        if (u.generic) {
            EXPECT_NE(errorWith(u.generic), ERROR_ACCESS_DENIED);
        }
        EXPECT_NE(errorWith(u.right), ERROR_ACCESS_DENIED);
    }
}

// ---- A service's life on the virtual clock.

// A status as first seen: state, checkpoint, exit code, virtual time.
using Seen = std::tuple<DWORD, DWORD, DWORD, ULONGLONG>;

// The follow loop the setup program runs: sleep, query, until the state
// settles or the bound passes. Gives each change as first seen.
std::vector<Seen> Follow(SC_HANDLE service, DWORD settled, ULONGLONG boundMs) {
    std::vector<Seen> seen;
    const ULONGLONG began = GetTickCount64();
    for (;;) {
        SERVICE_STATUS_PROCESS s = StatusOf(service);
        if (seen.empty() || std::get<0>(seen.back()) != s.dwCurrentState ||
            std::get<1>(seen.back()) != s.dwCheckPoint) {
            seen.emplace_back(s.dwCurrentState, s.dwCheckPoint, s.dwWin32ExitCode, GetTickCount64());
        }
        if (s.dwCurrentState == settled || GetTickCount64() - began > boundMs) return seen;
        Sleep(250);
    }
}

TEST_F(SimulatedManager, AScriptedLifeIsSeenThroughAFollowLoop) {
    sim::ServiceScript script;
    script.start = {{0, SERVICE_START_PENDING, 1, 3000}, {1000, SERVICE_START_PENDING, 2, 3000},
                    {2600, SERVICE_RUNNING}};
    script.stop = {{0, SERVICE_STOP_PENDING, 1, 5000}, {2000, SERVICE_STOP_PENDING, 2, 5000},
                   {3100, SERVICE_STOPPED, 0, 0, ERROR_SERVICE_SPECIFIC_ERROR, 42}};
    script.processId = 4242;
    sim::ScriptService(L"svc", script);  // before it exists, in any letter case
    CloseServiceHandle(Create(L"Svc"));
    SC_HANDLE service = OpenServiceW(manager_, L"Svc", GENERIC_ALL);
    EXPECT_EQ(StatusOf(service).dwWin32ExitCode, ERROR_SERVICE_NEVER_STARTED);

    ASSERT_TRUE(StartServiceW(service, 0, nullptr));
    EXPECT_EQ(Follow(service, SERVICE_RUNNING, 10000),
              (std::vector<Seen>{Seen(SERVICE_START_PENDING, 1, 0, 0),
                                 Seen(SERVICE_START_PENDING, 2, 0, 1000),
                                 Seen(SERVICE_RUNNING, 0, 0, 2750)}));
    EXPECT_EQ(StatusOf(service).dwProcessId, 4242u);
    EXPECT_EQ(StatusOf(service).dwControlsAccepted, DWORD(SERVICE_ACCEPT_STOP));
    EXPECT_EQ(Outcome(StartServiceW(service, 0, nullptr)), ERROR_SERVICE_ALREADY_RUNNING);

    SERVICE_STATUS answer = {};
    ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &answer));
    EXPECT_EQ(answer.dwCurrentState, SERVICE_STOP_PENDING);
    EXPECT_EQ(answer.dwWaitHint, 5000u);
    EXPECT_EQ(Follow(service, SERVICE_STOPPED, 10000),
              (std::vector<Seen>{Seen(SERVICE_STOP_PENDING, 1, 0, 2750),
                                 Seen(SERVICE_STOP_PENDING, 2, 0, 4750),
                                 Seen(SERVICE_STOPPED, 0, ERROR_SERVICE_SPECIFIC_ERROR, 6000)}));
    const SERVICE_STATUS_PROCESS stopped = StatusOf(service);
    EXPECT_EQ(stopped.dwServiceSpecificExitCode, 42u);
    EXPECT_EQ(stopped.dwProcessId, 0u);
    EXPECT_EQ(stopped.dwControlsAccepted, 0u);

    // Stopping a stopped service fails, and says how it stands.
    answer = {};
    EXPECT_EQ(Outcome(ControlService(service, SERVICE_CONTROL_STOP, &answer)), ERROR_SERVICE_NOT_ACTIVE);
    EXPECT_EQ(answer.dwCurrentState, SERVICE_STOPPED);
    EXPECT_EQ(answer.dwWin32ExitCode, ERROR_SERVICE_SPECIFIC_ERROR);
    CloseServiceHandle(service);
}

TEST_F(SimulatedManager, StartAndStopAreRefusedAsWindowsRefusesThem) {
    struct Refusal {
        const char* what;
        std::function<void(SC_HANDLE service, sim::ServiceScript& script)> arrange;
        DWORD control;  // 0: StartServiceW
        DWORD error;
        DWORD stateAfter;  // also written back by the refusals that concern the state
    };
    auto running = [](SC_HANDLE s, sim::ServiceScript& script) {
        sim::ScriptService(L"Svc", script);
        StartServiceW(s, 0, nullptr);
    };
    const Refusal kRefusals[] = {
        {"start one whose account cannot log on",
         [](SC_HANDLE, sim::ServiceScript& script) { script.startError = ERROR_SERVICE_LOGON_FAILED; },
         0, ERROR_SERVICE_LOGON_FAILED, SERVICE_STOPPED},
        {"start one marked for deletion", [](SC_HANDLE s, sim::ServiceScript&) { DeleteService(s); },
         0, ERROR_SERVICE_MARKED_FOR_DELETE, SERVICE_STOPPED},
        {"stop one that refuses", [&](SC_HANDLE s, sim::ServiceScript& script) {
             script.stopError = ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
             running(s, script);
         },
         SERVICE_CONTROL_STOP, ERROR_SERVICE_CANNOT_ACCEPT_CTRL, SERVICE_RUNNING},
        {"stop one that does not accept it", [&](SC_HANDLE s, sim::ServiceScript& script) {
             script.controlsAccepted = 0;
             running(s, script);
         },
         SERVICE_CONTROL_STOP, ERROR_INVALID_SERVICE_CONTROL, SERVICE_RUNNING},
        {"stop one still starting", [&](SC_HANDLE s, sim::ServiceScript& script) {
             script.start = {{0, SERVICE_START_PENDING, 1, 3000}};
             script.controlsAccepted = 0;
             running(s, script);
         },
         SERVICE_CONTROL_STOP, ERROR_SERVICE_CANNOT_ACCEPT_CTRL, SERVICE_START_PENDING},
        {"stop one already stopping", [&](SC_HANDLE s, sim::ServiceScript& script) {
             script.stop = {{0, SERVICE_STOP_PENDING, 1, 3000}};  // and never stops
             running(s, script);
             SERVICE_STATUS first;
             ControlService(s, SERVICE_CONTROL_STOP, &first);
         },
         SERVICE_CONTROL_STOP, ERROR_SERVICE_CANNOT_ACCEPT_CTRL, SERVICE_STOP_PENDING},
        {"stop one another running service depends on", [&](SC_HANDLE s, sim::ServiceScript& script) {
             running(s, script);
             sim::ServiceRecord dependent;
             dependent.name = L"Dependent";
             dependent.dependencies = {L"SVC"};
             dependent.status.dwCurrentState = SERVICE_RUNNING;
             sim::AddService(dependent);
         },
         SERVICE_CONTROL_STOP, ERROR_DEPENDENT_SERVICES_RUNNING, SERVICE_RUNNING},
    };
    for (const Refusal& r : kRefusals) {
        SCOPED_TRACE(r.what);
        sim::Reset();
        manager_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        CloseServiceHandle(Create(L"Svc"));
        SC_HANDLE service = OpenServiceW(manager_, L"Svc", MAXIMUM_ALLOWED);
        sim::ServiceScript script;
        r.arrange(service, script);
        sim::ScriptService(L"Svc", script);
        SERVICE_STATUS answer = {};
        EXPECT_EQ(Outcome(r.control ? ControlService(service, r.control, &answer)
                                    : StartServiceW(service, 0, nullptr)),
                  r.error);
        EXPECT_EQ(StatusOf(service).dwCurrentState, r.stateAfter);
        const bool concernsState = r.error == ERROR_INVALID_SERVICE_CONTROL ||
                                   r.error == ERROR_SERVICE_CANNOT_ACCEPT_CTRL ||
                                   r.error == ERROR_SERVICE_NOT_ACTIVE;
        EXPECT_EQ(answer.dwCurrentState, concernsState ? r.stateAfter : 0u);
        CloseServiceHandle(service);
    }
}

// ---- Listing.

// What an entry of the listing takes: its record, its name and its display
// name (the name and " shown").
DWORD EntryBytes(const std::wstring& name) {
    return static_cast<DWORD>(sizeof(ENUM_SERVICE_STATUS_PROCESSW) +
                              (2 * name.size() + 8) * sizeof(WCHAR));
}

TEST_F(SimulatedManager, ListingGivesAsManyAsFitAndResumesWhereItStopped) {
    const std::vector<std::wstring> sorted = {L"Alpha", L"bravo", L"charlie", L"delta", L"Echo"};
    for (const wchar_t* name : {L"delta", L"Alpha", L"charlie", L"Echo", L"bravo"}) {
        sim::ServiceRecord record;
        record.name = name;
        record.displayName = std::wstring(name) + L" shown";
        if (name[0] == L'c') record.status.dwCurrentState = SERVICE_RUNNING;
        sim::AddService(record);
    }
    DWORD total = 0;
    for (const std::wstring& name : sorted) total += EntryBytes(name);
    DWORD needed = 0;
    DWORD returned = 0;
    // Just short of the first two entries: sometimes one fits, sometimes two.
    const DWORD size = EntryBytes(sorted[0]) + EntryBytes(sorted[1]) - sizeof(WCHAR);
    std::vector<std::wstring> names;
    DWORD resume = 0;
    for (int call = 0; names.size() < sorted.size() && call <= 5; ++call) {
        SCOPED_TRACE(call);  // the first one with no buffer at all
        std::vector<BYTE> buffer(call ? size : 0);
        BOOL done = EnumServicesStatusExW(manager_, SC_ENUM_PROCESS_INFO, SERVICE_WIN32,
                                          SERVICE_STATE_ALL, call ? buffer.data() : nullptr,
                                          call ? size : 0, &needed, &returned, &resume, nullptr);
        const auto* entries = reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSW*>(buffer.data());
        DWORD used = 0;
        for (DWORD i = 0; i < returned; ++i) {
            names.emplace_back(entries[i].lpServiceName);
            EXPECT_EQ(std::wstring(entries[i].lpDisplayName), names.back() + L" shown");
            used += EntryBytes(names.back());
        }
        DWORD rest = 0;  // what the first call, with no entry returned, says it needs: all
        for (std::size_t i = names.size(); i < sorted.size(); ++i) rest += EntryBytes(sorted[i]);
        EXPECT_LE(used, buffer.size());
        EXPECT_EQ(done, rest == 0);
        if (rest) {
            EXPECT_EQ(GetLastError(), ERROR_MORE_DATA);
            EXPECT_GT(used + EntryBytes(sorted[names.size()]), buffer.size()) << "another would fit";
            EXPECT_EQ(needed, rest);
            EXPECT_EQ(resume, names.size());
        } else {
            EXPECT_EQ(resume, 0u);
        }
    }
    EXPECT_EQ(names, sorted);

    // As Wine's manager lists: nothing until the buffer holds every entry.
    sim::ListAllOrNothing(true);
    std::vector<BYTE> all(total);
    resume = 0;
    EXPECT_EQ(Outcome(EnumServicesStatusExW(manager_, SC_ENUM_PROCESS_INFO, SERVICE_WIN32,
                                            SERVICE_STATE_ALL, all.data(), total - 1, &needed,
                                            &returned, &resume, nullptr)),
              ERROR_MORE_DATA);
    EXPECT_EQ(std::make_tuple(returned, needed, resume), std::make_tuple(0u, total, 0u));
    EXPECT_TRUE(EnumServicesStatusExW(manager_, SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_STATE_ALL,
                                      all.data(), total, &needed, &returned, &resume, nullptr));
    EXPECT_EQ(returned, 5u);
    EXPECT_TRUE(EnumServicesStatusExW(manager_, SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_ACTIVE,
                                      all.data(), total, &needed, &returned, nullptr, nullptr));
    ASSERT_EQ(returned, 1u);
    EXPECT_STREQ(reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSW*>(all.data())->lpServiceName,
                 L"charlie");
}

TEST_F(SimulatedManager, NamesTranslateWithTheLengthProtocol) {
    CloseServiceHandle(Create(L"Updater", L"Firmware Updater"));
    struct Translation {
        bool toKey;
        const wchar_t* given;
        const wchar_t* expected;  // null: no such service
    };
    const Translation kTranslations[] = {
        {true, L"firmware updater", L"Updater"},
        {false, L"UPDATER", L"Firmware Updater"},
        {true, L"Updater", nullptr},
        {false, L"Firmware Updater", nullptr},
    };
    for (const Translation& t : kTranslations) {
        SCOPED_TRACE(testing::PrintToString(t.given));
        auto translate = t.toKey ? GetServiceKeyNameW : GetServiceDisplayNameW;
        wchar_t buffer[64];
        DWORD length = 0;
        EXPECT_EQ(Outcome(translate(manager_, t.given, buffer, &length)),
                  t.expected ? ERROR_INSUFFICIENT_BUFFER : ERROR_SERVICE_DOES_NOT_EXIST);
        if (!t.expected) continue;
        EXPECT_EQ(length, std::wcslen(t.expected));  // and no room for the null yet
        EXPECT_EQ(Outcome(translate(manager_, t.given, buffer, &length)), ERROR_INSUFFICIENT_BUFFER);
        length += 1;
        EXPECT_TRUE(translate(manager_, t.given, buffer, &length));
        EXPECT_STREQ(buffer, t.expected);
        EXPECT_EQ(length, std::wcslen(t.expected));
    }
}

}  // namespace
