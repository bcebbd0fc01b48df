// A fixture that installs the real wrapper as a service under a name of the
// test's own, with a copy of the test child in a folder whose name has
// spaces, and removes both again however the test ends. A test may ask for
// more services, each with its own name and its own copy of the child.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/service_control.h"
#include "tools/status_watch.h"

// Set by main from the driver's arguments, as Windows paths.
extern std::wstring g_wrapperPath;
extern std::wstring g_testChildPath;
extern std::wstring g_setupPath;
extern std::wstring g_stopAwareChildPath;
extern std::wstring g_launcherPath;           // beside the wrapper
extern std::wstring g_launchedProgramPath;    // the program the launcher's tests run
extern std::wstring g_lateAnswerServicePath;  // a service whose stop is answered late

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

// The summaries of the running report and of the report of a clean stop.
constexpr const char* kRunning = "RUNNING accepted=0x105 exit=0 cp=0 hint=0";
constexpr const char* kStoppedClean = "STOPPED exit=0 cp=0 hint=0";

// Wine's process creation fails with ERROR_INTERNAL_ERROR when the new
// process dies before it is initialised, as it does when its heap lies over
// the shared user data page (without Wine's preloader, about one process in
// several thousand), both when the manager starts the wrapper and when the
// wrapper starts its child.
// True for a start that failed in exactly that way before anything of the
// test ran: StartServiceW gave 1359, or the wrapper stopped with 1359 without
// having reported running and its child never started. Such a start is made
// once more; no other failure is.
bool IsWineProcessCreationFault(DWORD startResult, const std::vector<Report>& reports,
                                bool childStarted);

// The process's exit code once it has ended within timeoutMs, else STILL_ACTIVE.
DWORD ExitCodeOnceEnded(HANDLE process, DWORD timeoutMs);

// A file of these bytes, made anew; a test fails when it cannot be made.
void WriteTextFile(const std::wstring& path, const std::string& text);
// The file's bytes, read while others may write it; empty if it cannot be read.
std::string ReadFileText(const std::wstring& path);

class WrapperService : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The test's services are numbered from 0, the one named name_ with its
    // child at childPath_; service n > 0 adds "-n" to both names. Each call
    // below acts on service 0 unless told otherwise.
    void UseServices(size_t count);
    std::wstring ServiceName(size_t service) const;
    std::wstring ChildPath(size_t service) const;

    // Copies the test child into this test's folder and gives it a behaviour:
    // "exit-now", "exit-after <ms>", "run-forever" or "run-until-released".
    // Returns its path.
    std::wstring PrepareChild(const char* behaviour, size_t service = 0);

    // Lets a "run-until-released" child end by itself, with this exit code.
    void ReleaseChild(DWORD exitCode = 0, size_t service = 0);

    // (Re)installs the service with the wrapper and these elements after it,
    // with a pre-shutdown timeout the wrapper is expected to overwrite.
    void Install(const std::vector<std::wstring>& elements, size_t service = 0);

    // Starts watching, then starts the service with these start parameters,
    // and waits until the start has come to running or stopped. A start that
    // Wine's process creation failed is made once more, and says so.
    // StartServiceW's own result is not judged otherwise: it fails with 1053
    // when the wrapper has already stopped by the time it returns.
    void Start(const std::vector<std::wstring>& parameters = {});
    // The same for several services at once.
    void StartTogether(const std::vector<size_t>& services);

    bool WaitForState(DWORD state, DWORD timeoutMs, size_t service = 0);
    // Until every service being watched has reported this state.
    bool WaitForStateOfAll(DWORD state, DWORD timeoutMs);
    const std::vector<Report>& ServiceReports(size_t service = 0) const;
    // The reports so far, for failure messages.
    std::string Seen(size_t service = 0) const;

    // ControlService's result, or its error; a stop whose answer Wine lost
    // counts as answered if the service took it, and says so.
    DWORD Control(DWORD control, size_t service = 0);

    bool WaitForRecord(ChildRecord& record, DWORD timeoutMs, size_t service = 0);

    // Whether the child was started: it wrote its record, or a process of
    // its exe is alive.
    bool ChildStarted(size_t service = 0);

    // The wrapper process that reported running, to wait on and read its
    // exit code; null if none did or it is gone.
    HANDLE OpenWrapperProcess(size_t service = 0);

    // Closes the service's watch, whose handles would keep a deleted service
    // of this name alive in the manager.
    void EndWatching(size_t service = 0);

    static constexpr DWORD kMarkerPreshutdownMs = 777;

    SC_HANDLE manager_ = nullptr;
    std::wstring name_;
    std::wstring folder_;
    std::wstring childPath_;
    std::vector<StatusWatch*> watches_;  // one per service; null until it is started

private:
    // After a stop answered ERROR_BROKEN_PIPE: whether the service stopped,
    // having taken the stop.
    bool TookTheStop(size_t service);
    void StartServices(const std::vector<size_t>& services,
                       const std::vector<std::wstring>& parameters);
    // One start of each of these services, as Start describes; gives those
    // whose start Wine's process creation failed.
    std::vector<size_t> StartOnce(const std::vector<size_t>& services,
                                  const std::vector<std::wstring>& parameters);
    // The watches of the services started so far. Every watch armed on this
    // thread is pumped at every wait, so none misses a report.
    std::vector<StatusWatch*> Watching() const;
};
