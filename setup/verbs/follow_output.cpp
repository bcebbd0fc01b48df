#include "setup/verbs/follow_output.h"

#include "setup/console.h"
#include "setup/manager/launched_program.h"
#include "setup/manager/service_reading.h"
#include "setup/model/config_json.h"
#include "setup/model/program_search.h"
#include "setup/model/service_command_line.h"
#include "setup/model/state_report.h"
#include "setup/model/text.h"
#include "setup/model/windows_errors.h"
#include "setup/verbs/commands.h"
#include "setup/windows_messages.h"

using nlohmann::json;

PendingReportSink PendingSink(const VerbOutput& out, json& list) {
    list = json::array();
    if (!out.json) return [](const SERVICE_STATUS_PROCESS& s) { PrintOut(PendingLine(s)); };
    return [&list](const SERVICE_STATUS_PROCESS& s) { list.push_back(PendingJson(s)); };
}

void PutStatus(json& phase, const SERVICE_STATUS_PROCESS& status,
               const std::wstring& commandLine) {
    phase["status"] = StatusJson(StatusReportOf(status), ExplainedExitCode(status, commandLine));
}

// Says what is about to happen unless the service is so already; a state
// that cannot be read is left for the follow to report.
static void Announce(const VerbOutput& out, const ScHandle& service, DWORD settled,
                     const std::wstring& text) {
    SERVICE_STATUS_PROCESS status = {};
    if (ReadStatus(service.handle, status) != NO_ERROR || status.dwCurrentState != settled) {
        Say(out, text);
    }
}

FollowResult AwaitProgram(const ScHandle& service, const std::wstring& commandLine,
                          FollowResult started) {
    if (!started.ended || started.stateBefore == SERVICE_RUNNING ||
        started.status.dwCurrentState != SERVICE_RUNNING) {
        return started;
    }
    const ServiceCommandLine line = DecodeServiceCommandLine(commandLine);
    if (!line.launcher) return started;
    started.status = AwaitLaunchedProgram(service.handle, started.status,
                                          ProcessFileName(line.program), kProgramStartMs);
    return started;
}

// A start or a stop, announced, with each pending report and the phase's
// document.
static FollowResult FollowStateChange(VerbOutput& out, const ScHandle& service,
                                      const std::wstring& commandLine, json& phase,
                                      bool start) {
    const DWORD settled = start ? SERVICE_RUNNING : SERVICE_STOPPED;
    phase = json::object();
    Announce(out, service, settled,
             std::wstring(start ? L"Starting" : L"Stopping") + L" the service " +
                 Printable(out.name) + L"...\n");
    json pending;
    const PendingReportSink sink = PendingSink(out, pending);
    FollowResult result =
        start ? StartAndFollow(service.handle, sink) : StopAndFollow(service.handle, sink);
    if (start) result = AwaitProgram(service, commandLine, result);
    phase[start ? "alreadyRunning" : "alreadyStopped"] = result.stateBefore == settled;
    phase["pendingReports"] = pending;
    PutStatus(phase, result.status, commandLine);
    return result;
}

FollowResult FollowStart(VerbOutput& out, const ScHandle& service, const std::wstring& commandLine,
                         json& phase) {
    return FollowStateChange(out, service, commandLine, phase, /*start=*/true);
}

FollowResult FollowStop(VerbOutput& out, const ScHandle& service, const std::wstring& commandLine,
                        json& phase) {
    const FollowResult result =
        FollowStateChange(out, service, commandLine, phase, /*start=*/false);
    if (result.ended && result.stateBefore != SERVICE_STOPPED) {
        Say(out, L"  stopped, exit code " + ExplainedExitCode(result.status, commandLine) + L"\n");
    }
    return result;
}
