// The simulated service control manager's database, pinned where the setup
// program relies on it: names refused as Windows refuses them, the right
// each call needs on its handle, and each call made to fail on demand.
#include <functional>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "tests/sim_manager_fixture.h"

namespace {

using sim_test::Outcome;
using sim_test::SimulatedManager;

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

}  // namespace
