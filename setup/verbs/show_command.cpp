// show: a service's state and configuration read back through the store,
// its command line decoded as the wrapper will read it, and the judging of
// it; in text, or the whole record as JSON.
#include "setup/verbs/commands.h"
#include "setup/console.h"
#include "setup/files.h"
#include "setup/model/config_json.h"
#include "setup/model/config_text.h"
#include "setup/model/configuration_review.h"
#include "setup/model/exit_codes.h"
#include "setup/model/text.h"
#include "setup/manager/service_store.h"
#include "setup/verbs/state_verbs.h"
#include "setup/verbs/verb_output.h"

// Opens the service and reads everything. Gives NO_ERROR, or the error and
// in problem the failure in words.
static DWORD ReadService(const std::wstring& name, StoredService& stored,
                         SERVICE_STATUS_PROCESS& status, std::wstring& problem) {
    SC_HANDLE manager = nullptr;
    DWORD error = OpenManager(SC_MANAGER_CONNECT, manager);
    if (error != NO_ERROR) {
        problem = L"cannot open the service control manager. " + WindowsError(error);
        return error;
    }
    SC_HANDLE service = nullptr;
    error = OpenNamedService(manager, name, SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS, service);
    if (error == ERROR_SERVICE_DOES_NOT_EXIST) {
        problem = L"there is no service of that name. " + WindowsError(error);
    } else if (error != NO_ERROR) {
        problem = L"cannot open the service. " + WindowsError(error);
    } else if ((error = ReadStoredService(service, name, stored)) != NO_ERROR) {
        problem = L"cannot read its configuration. " + WindowsError(error);
    } else if ((error = ReadStatus(service, status)) != NO_ERROR) {
        problem = L"cannot read its state. " + WindowsError(error);
    }
    if (service) CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return error;
}

int RunShow(const SetupCommand& command) {
    StoredService stored;
    SERVICE_STATUS_PROCESS s = {};
    std::wstring problem;
    const DWORD error = ReadService(command.name, stored, s, problem);
    if (error != NO_ERROR) {
        return ReportFailure(command.json,
                             L"Cannot show the service " + Printable(command.name) + L": " +
                                 problem + L"\n",
                             error, {{"name", ToUtf8(command.name)}}, kExitFailed);
    }
    const ServiceConfig config = DecodeStoredService(stored);
    const ConfigurationReview review = ReviewConfiguration(config, FileExists);
    const StatusReport status = StatusReportOf(s);
    const std::wstring program = config.commandLine.decoded ? config.commandLine.program : L"";
    const std::wstring exitCodeText =
        ExplainExitCode(status.win32ExitCode, status.serviceSpecificExitCode, review.wrapped,
                        program, MessageLookups{SystemMessageTemplate, NtStatusMessage});
    const int exitCode = review.warnings.empty() ? kExitDone : kExitWarned;
    if (!command.json) {
        PrintOut(RenderShowText(config, status, exitCodeText, review));
        return exitCode;
    }
    nlohmann::json document = ConfigJson(config);
    document["status"] = StatusJson(status, exitCodeText);
    document["warnings"] = JsonTexts(review.warnings);
    document["notes"] = JsonTexts(review.notes);
    PrintJson(document);
    return exitCode;
}
