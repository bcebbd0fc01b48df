// start: the start asked for and followed until the service runs, or until
// it has stopped again, with the exit code explained.
#include "setup/verbs/commands.h"
#include "setup/model/text.h"
#include "setup/manager/service_lookup.h"
#include "setup/verbs/follow_output.h"

int RunStart(const std::wstring& name, bool json) {
    VerbOutput out = NewOutput(json, name);
    ServiceHandles handles;
    if (auto failure = OpenServiceByName(
            name, SERVICE_START | SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG, handles)) {
        return Fail(out, L"start", failure->problem, failure->error, kExitFailed);
    }
    // Only to explain an exit code: a service whose configuration cannot be
    // read is started all the same.
    std::wstring commandLine;
    ReadCommandLine(handles.service.handle, commandLine);

    nlohmann::json phase;
    const FollowResult result = FollowStart(out, handles.service, commandLine, phase);
    CloseServiceHandles(handles);
    out.document.update(phase);
    const SERVICE_STATUS_PROCESS& status = result.status;
    if (!result.ended) return Fail(out, L"start", result.problem, result.error, kExitFailed);
    if (status.dwCurrentState == SERVICE_STOPPED) {
        return FailStoppedAgain(out, L"start", status, commandLine);
    }
    const std::wstring pid = std::to_wstring(status.dwProcessId);
    Say(out, result.stateBefore == SERVICE_RUNNING
                 ? L"The service " + Printable(name) + L" is already running, pid " + pid + L".\n"
                 : L"Started the service " + Printable(name) + L": running, pid " + pid + L".\n");
    return Finish(out, kExitDone);
}
