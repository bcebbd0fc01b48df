// The example in docs/wrapper.md of a program that sees the stop coming, run by the
// wrapper: it learns of the stop from its service's status and ends by
// itself, long before the stop timeout would have it terminated.
#include "e2e/wrapper_service_fixture.h"

#include <cstdio>

namespace {

std::string ReadNote(const std::wstring& path) {
    FILE* file = _wfopen(path.c_str(), L"r");
    if (!file) return "";
    char text[64] = {};
    size_t read = std::fread(text, 1, sizeof(text) - 1, file);
    std::fclose(file);
    return std::string(text, read);
}

}  // namespace

class StopAwareChild : public WrapperService {
protected:
    void TearDown() override {
        // After a failure the program may still run, holding a handle that
        // keeps the service from being deleted.
        EndProcessesNamed(FileName(g_stopAwareChildPath));
        DeleteFileW(note_.c_str());
        WrapperService::TearDown();
    }
    std::wstring note_;
};

TEST_F(StopAwareChild, EndsByItselfSoonAfterTheStopAndTheStopIsClean) {
    const DWORD stopTimeoutMs = 30000;
    note_ = folder_ + L"\\stop seen.txt";
    DeleteFileW(note_.c_str());
    Install({std::to_wstring(stopTimeoutMs), g_stopAwareChildPath, note_});
    Start();
    ASSERT_TRUE(WaitForState(SERVICE_RUNNING, 15000)) << Seen();

    ASSERT_EQ(Control(SERVICE_CONTROL_STOP), DWORD(ERROR_SUCCESS));
    ASSERT_TRUE(WaitForState(SERVICE_STOPPED, 10000)) << Seen();

    // At most two progress reports: the program ended within about two
    // seconds of the stop, with 28 left before a termination was due.
    const std::vector<std::string> seen = Summaries(ServiceReports());
    const std::string hint = std::to_string(stopTimeoutMs);
    ASSERT_GE(seen.size(), 4u) << Seen();
    ASSERT_LE(seen.size(), 6u) << Seen();
    EXPECT_EQ(seen[0], "START_PENDING accepted=0x105 exit=0 cp=1 hint=10000");
    EXPECT_EQ(seen[1], "RUNNING accepted=0x105 exit=0 cp=0 hint=0");
    for (size_t i = 2; i + 1 < seen.size(); ++i) {
        EXPECT_EQ(seen[i], "STOP_PENDING accepted=0x105 exit=0 cp=" + std::to_string(i - 1) +
                               " hint=" + hint);
    }
    EXPECT_EQ(seen.back(), "STOPPED exit=0 cp=0 hint=0");
    // The program's own end: a terminated one writes no note.
    EXPECT_EQ(ReadNote(note_), "stop seen\n");
}
