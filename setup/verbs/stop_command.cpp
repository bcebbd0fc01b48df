// stop: the stop asked for and followed until the service has stopped, each
// stop-pending report printed, with the exit code it stopped with.
#include "setup/verbs/commands.h"
#include "setup/model/text.h"
#include "setup/manager/service_lookup.h"
#include "setup/verbs/follow_output.h"

int RunStop(const std::wstring& name, bool json) {
    VerbOutput out = NewOutput(json, name);
    ServiceHandles handles;
    if (auto failure = OpenServiceByName(
            name, SERVICE_STOP | SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG, handles)) {
        return Fail(out, L"stop", failure->problem, failure->error, kExitFailed);
    }
    std::wstring commandLine;
    ReadCommandLine(handles.service.handle, commandLine);

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
