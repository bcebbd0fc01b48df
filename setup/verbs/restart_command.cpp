// restart: the stop followed to its end, then the start followed until the
// service runs; a stopped service is just started.
#include "setup/verbs/commands.h"
#include "setup/model/text.h"
#include "setup/manager/service_lookup.h"
#include "setup/verbs/follow_output.h"

int RunRestart(const std::wstring& name, bool json) {
    VerbOutput out = NewOutput(json, name);
    ServiceHandles handles;
    if (auto failure = OpenServiceByName(name,
                                         SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS |
                                             SERVICE_QUERY_CONFIG,
                                         handles)) {
        return Fail(out, L"restart", failure->problem, failure->error, kExitFailed);
    }
    std::wstring commandLine;
    ReadCommandLine(handles.service.handle, commandLine);

    nlohmann::json& stopPhase = out.document["stop"];
    const FollowResult stop = FollowStop(out, handles.service, commandLine, stopPhase);
    if (!stop.ended) {
        CloseServiceHandles(handles);
        return Fail(out, L"restart", stop.problem, stop.error, kExitFailed,
                    L" It was not started again.");
    }
    nlohmann::json& startPhase = out.document["start"];
    const FollowResult start = FollowStart(out, handles.service, commandLine, startPhase);
    CloseServiceHandles(handles);
    if (!start.ended) return Fail(out, L"restart", start.problem, start.error, kExitFailed);
    const SERVICE_STATUS_PROCESS& status = start.status;
    if (status.dwCurrentState == SERVICE_STOPPED) {
        return FailStoppedAgain(out, L"restart", status, commandLine);
    }
    Say(out, std::wstring(stop.stateBefore == SERVICE_STOPPED ? L"Started" : L"Restarted") +
                 L" the service " + Printable(name) + L": running, pid " +
                 std::to_wstring(status.dwProcessId) + L".\n");
    return Finish(out, kExitDone);
}
