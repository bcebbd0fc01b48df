// A fixture that installs the real wrapper as a service under a name of the
// test's own, with a copy of the test child in a folder whose name has
// spaces, and removes both again however the test ends.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/service_control.h"

// Set by main from the driver's arguments, as Windows paths.
extern std::wstring g_wrapperPath;
extern std::wstring g_testChildPath;
extern std::wstring g_setupPath;

// What the test child wrote down about itself.
struct ChildRecord {
    DWORD pid;
    std::wstring commandLine;
    std::vector<std::wstring> argv;
};

// One line per report, in the shape the assertions compare against. The
// accepted controls are left out of the stopped report: a stopped service
// accepts nothing, whatever the field says.
std::vector<std::string> Summaries(const std::vector<Report>& reports);
std::string Summary(const Report& report);

class WrapperService : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Copies the test child into this test's folder and gives it a behaviour:
    // "exit-now", "exit-after <ms>" or "run-forever". Returns its path.
    std::wstring PrepareChild(const char* behaviour);

    // (Re)installs the service with the wrapper and these elements after it,
    // with a pre-shutdown timeout the wrapper is expected to overwrite.
    void Install(const std::vector<std::wstring>& elements);

    // Starts watching, then starts the service with these start parameters.
    // StartServiceW's own result is not judged: it fails with 1053 when the
    // wrapper has already stopped by the time it returns.
    void Start(const std::vector<std::wstring>& parameters = {});

    bool WaitForState(DWORD state, DWORD timeoutMs);
    const std::vector<Report>& ServiceReports() const;
    // The reports so far, for failure messages.
    std::string Seen() const;

    // ControlService's result, or its error.
    DWORD Control(DWORD control);

    bool WaitForRecord(ChildRecord& record, DWORD timeoutMs);

    // Whether the child was started: it wrote its record, or a process of
    // its exe is alive.
    bool ChildStarted();

    static constexpr DWORD kMarkerPreshutdownMs = 777;

    SC_HANDLE manager_ = nullptr;
    std::wstring name_;
    std::wstring folder_;
    std::wstring childPath_;
    StatusWatch* watch_ = nullptr;
};
