// stop: the stop asked for and followed until the service has stopped, each
// stop-pending report printed, with the exit code it stopped with.
#include "setup/verbs/commands.h"
#include "setup/model/config_json.h"
#include "setup/model/text.h"
#include "setup/manager/service_lookup.h"
#include "setup/verbs/follow_output.h"

// --no-wait: the stop asked for, and the state the service answered with.
static int AskAndReturn(VerbOutput& out, const ScHandle& service,
                        const std::wstring& commandLine) {
    const FollowResult result = AskToStop(service.handle);
    out.document["alreadyStopped"] = result.stateBefore == SERVICE_STOPPED;
    PutStatus(out.document, result.status, commandLine);
    if (!result.ended) return Fail(out, L"stop", result.problem, result.error, kExitFailed);
    Say(out, result.stateBefore == SERVICE_STOPPED
                 ? L"The service " + Printable(out.name) + L" is already stopped.\n"
                 : L"Asked the service " + Printable(out.name) + L" to stop; it is " +
                       StateWord(result.status.dwCurrentState) + L".\n");
    return Finish(out, kExitDone);
}

int RunStop(const std::wstring& name, bool json, bool noWait) {
    VerbOutput out = NewOutput(json, name);
    ServiceHandles handles;
    if (auto failure = OpenServiceByName(
            name, SERVICE_STOP | SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG, handles)) {
        return Fail(out, L"stop", failure->problem, failure->error, kExitFailed);
    }
    std::wstring commandLine;
    ReadCommandLine(handles.service.handle, commandLine);

    if (noWait) {
        const int exitCode = AskAndReturn(out, handles.service, commandLine);
        CloseServiceHandles(handles);
        return exitCode;
    }
    nlohmann::json phase;
    const FollowResult result = FollowStop(out, handles.service, commandLine, phase);
    CloseServiceHandles(handles);
    out.document.update(phase);
    if (!result.ended) return Fail(out, L"stop", result.problem, result.error, kExitFailed);
    Say(out, result.stateBefore == SERVICE_STOPPED
                 ? L"The service " + Printable(name) + L" is already stopped.\n"
                 : L"Stopped the service " + Printable(name) + L".\n");
    return Finish(out, kExitDone);
}
