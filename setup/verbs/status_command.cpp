// status: one line for a person, and an exit code for a script: 0 running,
// 3 any other state, 4 no such service, 1 the state could not be read.
#include "setup/verbs/commands.h"
#include "setup/model/config_text.h"
#include "setup/model/state_report.h"
#include "setup/model/text.h"
#include "setup/manager/config_age_reading.h"
#include "setup/manager/service_lookup.h"
#include "setup/verbs/follow_output.h"

int RunStatus(const std::wstring& name, bool json) {
    VerbOutput out = NewOutput(json, name);
    ServiceHandles handles;
    if (auto failure =
            OpenServiceByName(name, SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG, handles)) {
        return Fail(out, L"read the state of", failure->problem, failure->error,
                    failure->error == ERROR_SERVICE_DOES_NOT_EXIST ? kStatusNoSuchService
                                                                   : kExitFailed);
    }
    SERVICE_STATUS_PROCESS status = {};
    const DWORD error = ReadStatus(handles.service.handle, status);
    std::wstring commandLine;
    if (error == NO_ERROR) ReadCommandLine(handles.service.handle, commandLine);
    CloseServiceHandles(handles);
    if (error != NO_ERROR) {
        return Fail(out, L"read the state of", L"the service control manager did not give it.",
                    error, kExitFailed);
    }

    PutStatus(out.document, status, commandLine);
    const std::optional<bool> changed = ReadChangedSinceStart(name, status);
    out.document["configurationChangedSinceStart"] =
        changed ? nlohmann::json(*changed) : nlohmann::json(nullptr);
    Say(out, StatusLine(name, StatusReportOf(status), ExplainedExitCode(status, commandLine)));
    if (changed.value_or(false)) Say(out, L"  " + NoteLine(kChangedSinceStartText));
    return Finish(out, status.dwCurrentState == SERVICE_RUNNING ? kExitDone : kStatusNotRunning);
}
