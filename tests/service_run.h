// Runs the wrapper as a whole on the simulated platform and checks what
// every run must end with.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "service/service_state.h"

extern "C" int wmain(int argc, wchar_t** argv);

constexpr DWORD kAccepted = 0x105;
constexpr const wchar_t* kChildPath = L"C:\\Tools\\upd.exe";

// The simulator and the service record as at the start of a process.
void ResetWorld();

// wmain to its end: the dispatcher returns once the service thread has.
void RunWrapper(const std::wstring& commandLine);

// One expected report: every field of the record.
SERVICE_STATUS Status(DWORD state, DWORD accepted, DWORD exitCode, DWORD checkPoint,
                      DWORD waitHintMs);
std::string Describe(const SERVICE_STATUS& status);
std::vector<SERVICE_STATUS> ReportedRecords();
std::vector<std::uint64_t> ReportTimes();
// Virtual times at which the service thread began a wait of the given length.
std::vector<std::uint64_t> WaitTimes(const char* call, DWORD timeoutMs);

testing::AssertionResult SameRecords(const std::vector<SERVICE_STATUS>& expected,
                                     const std::vector<SERVICE_STATUS>& actual);

// What every run ends with: the stopped report is the last report and the
// only one, with the given exit codes, and no other report carries a
// service-specific code; every handle and the element vector are released;
// no child is left running; the service thread returned; the platform saw
// nothing it would refuse.
void ExpectSoundEnd(DWORD exitCode, DWORD serviceSpecificExitCode = 0);
void ExpectNothingLeft();

// The service thread's n-th platform call (from 1) that has this name, in
// the last run.
int IndexOfServiceCall(const char* name);

inline const SERVICE_STATUS kStartPending = Status(SERVICE_START_PENDING, kAccepted, 0, 1, 10000);
inline const SERVICE_STATUS kRunning = Status(SERVICE_RUNNING, kAccepted, 0, 0, 0);

inline SERVICE_STATUS Stopped(DWORD exitCode, DWORD accepted = kAccepted) {
    return Status(SERVICE_STOPPED, accepted, exitCode, 0, 0);
}

// The report of a child that ended by itself with a non-zero code.
inline SERVICE_STATUS StoppedByFailedChild(DWORD childExitCode) {
    SERVICE_STATUS status = Stopped(ERROR_SERVICE_SPECIFIC_ERROR);
    status.dwServiceSpecificExitCode = childExitCode;
    return status;
}

inline SERVICE_STATUS StopPending(DWORD checkPoint, DWORD timeoutMs) {
    return Status(SERVICE_STOP_PENDING, kAccepted, 0, checkPoint, timeoutMs);
}

inline void ChildExitsAfter(DWORD ms, DWORD exitCode = 0) {
    sim::ChildScript child;
    child.kind = sim::ChildKind::ExitsAfter;
    child.exitAfterMs = ms;
    child.exitCode = exitCode;
    sim::ScriptChild(child);
}

inline void ChildIgnoresStop() {
    sim::ChildScript child;
    child.kind = sim::ChildKind::NeverExits;
    sim::ScriptChild(child);
}

class ServiceRun : public testing::Test {
protected:
    void SetUp() override { ResetWorld(); }
};
