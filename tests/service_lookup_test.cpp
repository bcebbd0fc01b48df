// Finding wrapped services on the simulated manager, as Windows lists them
// and as Wine does (nothing until the buffer holds the whole list).
#include "setup/manager/service_lookup.h"

#include <gtest/gtest.h>

namespace {

struct Installed {
    const wchar_t* name;
    std::wstring commandLine;
    bool wrapped;
};

// Services of every kind a machine has, and the wrapper in any folder and
// letter case; a long name each, so that the list outgrows a first buffer.
std::vector<Installed> Machine() {
    const std::wstring arguments(3000, L'a');
    return {
        {L"quoted", L"\"C:\\Program Files\\W\\service-wrapper.exe\" 30000 \"C:\\P\\u.exe\"", true},
        {L"upper case", L"\"D:\\x\\SERVICE-WRAPPER.EXE\" 1000 \"C:\\P\\u.exe\" -v", true},
        {L"unquoted", L"C:\\w\\Service-Wrapper.exe 1000 C:\\P\\u.exe", true},
        // The manager starts the wrapper, which reads its own path only up
        // to the blank: listed, with its program unread.
        {L"unquoted with a blank", L"C:\\Program Files\\w\\service-wrapper.exe 1000 C:\\u.exe",
         true},
        {L"long arguments",
         L"\"C:\\w\\service-wrapper.exe\" 1000 \"C:\\u.exe\" " + arguments, true},
        {L"other program", L"\"C:\\Windows\\System32\\svchost.exe\" -k netsvcs", false},
        {L"wrapper as an argument", L"\"C:\\x\\other.exe\" \"C:\\w\\service-wrapper.exe\"", false},
        {L"longer file name", L"\"C:\\w\\my-service-wrapper.exe\" 1000 C:\\u.exe", false},
        {L"wrapper folder", L"\"C:\\service-wrapper.exe\\u.exe\" 1000", false},
        {L"backup copy", L"\"C:\\w\\service-wrapper.exe.bak\" 1000 C:\\u.exe", false},
    };
}

class ListWrapped : public testing::Test {
protected:
    void SetUp() override { sim::Reset(); }

    // Puts in the machine's services, each with a long name prefix, and
    // 200 others, then lists; gives the names found.
    std::vector<std::wstring> List(DWORD& error, std::vector<ListedService>& services,
                                   std::vector<UnreadService>& unread) {
        for (const Installed& installed : Machine()) {
            sim::ServiceRecord record;
            record.name = std::wstring(L"svc ") + installed.name;
            record.displayName = record.name + L" shown";
            record.binaryPathName = installed.commandLine;
            if (installed.wrapped) {
                record.status.dwCurrentState = SERVICE_RUNNING;
                record.status.dwProcessId = 4242;
            }
            sim::AddService(record);
        }
        for (int i = 0; i < 200; ++i) {
            sim::ServiceRecord record;
            record.name = L"filler service with a long name, number " + std::to_wstring(i);
            record.binaryPathName = L"C:\\Windows\\System32\\svchost.exe -k filler";
            sim::AddService(record);
        }
        const std::optional<StepFailure> failure = ListWrappedServices(services, unread);
        error = failure ? failure->error : NO_ERROR;
        std::vector<std::wstring> names;
        for (const ListedService& service : services) names.push_back(service.name);
        EXPECT_EQ(sim::OpenHandleCount(), 0);
        EXPECT_EQ(sim::Problems(), std::vector<std::string>());
        return names;
    }
};

TEST_F(ListWrapped, FindsEveryWrappedServiceAndNoOtherWhicheverWayTheManagerLists) {
    std::vector<std::wstring> expected;
    for (const Installed& installed : Machine()) {
        if (installed.wrapped) expected.push_back(std::wstring(L"svc ") + installed.name);
    }
    std::sort(expected.begin(), expected.end());
    for (bool asWine : {false, true}) {
        SCOPED_TRACE(asWine ? "all or nothing, as Wine" : "as much as fits, as Windows");
        sim::Reset();
        sim::ListAllOrNothing(asWine);
        DWORD error = ERROR_GEN_FAILURE;
        std::vector<ListedService> services;
        std::vector<UnreadService> unread;
        EXPECT_EQ(List(error, services, unread), expected);
        EXPECT_EQ(error, NO_ERROR);
        EXPECT_TRUE(unread.empty());
        for (const ListedService& service : services) {
            SCOPED_TRACE(testing::PrintToString(service.name));
            EXPECT_EQ(service.displayName, service.name + L" shown");
            EXPECT_EQ(service.status.currentState, DWORD(SERVICE_RUNNING));
            EXPECT_EQ(service.status.processId, 4242u);
            EXPECT_TRUE(service.commandLine.wrapped);
            EXPECT_EQ(service.commandLine.decoded, service.name != L"svc unquoted with a blank");
        }
    }
}

TEST_F(ListWrapped, TellsWhatItCouldNotReadAndLeavesOutWhatWentMeanwhile) {
    const struct {
        const char* what;
        const char* call;
        int nth;
        DWORD error;
        DWORD listError;
        std::size_t found;
        std::vector<UnreadService> unread;
    } kCases[] = {
        {"the listing refused", "EnumServicesStatusExW", 1, ERROR_ACCESS_DENIED,
         ERROR_ACCESS_DENIED, 0, {}},
        // The manager sorts names as it folds them: the first service, then
        // one of the wrapped ones.
        {"one service not opened", "OpenServiceW", 1, ERROR_ACCESS_DENIED, NO_ERROR, 5,
         {{L"filler service with a long name, number 0", ERROR_ACCESS_DENIED}}},
        // The second try of the one whose command line outgrows the buffer.
        {"one configuration not read", "QueryServiceConfigW", 203, ERROR_ACCESS_DENIED, NO_ERROR,
         4, {{L"svc long arguments", ERROR_ACCESS_DENIED}}},
        {"one service deleted meanwhile", "OpenServiceW", 205, ERROR_SERVICE_DOES_NOT_EXIST,
         NO_ERROR, 4, {}},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        sim::Reset();
        sim::FailCall(c.call, c.nth, c.error);
        DWORD error = NO_ERROR;
        std::vector<ListedService> services;
        std::vector<UnreadService> unread;
        List(error, services, unread);
        EXPECT_EQ(error, c.listError);
        EXPECT_EQ(services.size(), c.found);
        ASSERT_EQ(unread.size(), c.unread.size());
        for (std::size_t i = 0; i < unread.size(); ++i) {
            EXPECT_EQ(unread[i].name, c.unread[i].name);
            EXPECT_EQ(unread[i].error, c.unread[i].error);
        }
    }
}

}  // namespace
