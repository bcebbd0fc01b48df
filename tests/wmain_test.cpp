#include "service/service_main.h"

#include "service_run.h"

namespace {

using ProcessEntry = ServiceRun;

TEST_F(ProcessEntry, DispatchesTheServiceAndReturnsZeroAfterTheRun) {
    ChildExitsAfter(10);
    RunWrapper(L"service-wrapper.exe 1000 C:\\Tools\\upd.exe");
    EXPECT_EQ(L"MyServiceWrapper", sim::DispatchTableName());
    EXPECT_EQ(std::vector<std::wstring>{kDefaultServiceName}, sim::RegisteredNames());
    ExpectSoundEnd(0);
}

TEST_F(ProcessEntry, StartedByHandItReturnsZeroAndDoesNothing) {
    sim::SetOutsideManager(true);
    RunWrapper(L"service-wrapper.exe 1000 C:\\Tools\\upd.exe");
    ASSERT_EQ(1u, sim::Calls().size());
    EXPECT_EQ(std::string("StartServiceCtrlDispatcherW"), sim::Calls()[0].name);
    EXPECT_TRUE(sim::Calls()[0].failed);
    EXPECT_TRUE(sim::Reports().empty());
    EXPECT_TRUE(sim::CreatedCommandLines().empty());
}

TEST_F(ProcessEntry, ReturnsZeroWhateverBecameOfTheRun) {
    sim::ChildScript child;
    child.kind = sim::ChildKind::FailsToLaunch;
    sim::ScriptChild(child);
    RunWrapper(L"service-wrapper.exe 1000 C:\\Tools\\missing.exe");  // checks wmain's 0 itself
    ExpectSoundEnd(ERROR_FILE_NOT_FOUND);
}

}  // namespace
