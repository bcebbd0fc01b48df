#include "setup/verbs/state_verbs.h"

#include "setup/verbs/commands.h"
#include "setup/console.h"
#include "setup/model/config_json.h"
#include "setup/model/exit_codes.h"
#include "setup/model/service_command_line.h"
#include "setup/model/state_report.h"
#include "setup/model/text.h"
#include "setup/manager/service_lookup.h"
#include "setup/verbs/verb_output.h"

using nlohmann::json;

VerbOutput NewOutput(bool json, const std::wstring& name) {
    VerbOutput out{json, name, json::object()};
    if (!name.empty()) out.document["name"] = JsonText(name);
    return out;
}

void Say(const VerbOutput& out, const std::wstring& text) {
    if (!out.json) PrintOut(text);
}

void Warn(VerbOutput& out, const std::wstring& text, DWORD error) {
    const std::wstring sentence = text + L" " + WindowsError(error);
    if (!out.json) {
        PrintError(L"Warning: " + sentence + L"\n");
        return;
    }
    json warning = ErrorJson(sentence, error, SystemMessage(error));
    out.document["warnings"].push_back(warning["error"]);
}

static std::wstring Cannot(const VerbOutput& out, const wchar_t* verb) {
    return std::wstring(L"Cannot ") + verb +
           (out.name.empty() ? L"" : L" the service " + Printable(out.name)) + L": ";
}

// The message on the error stream, or the document's "error" object with
// the code and its text.
static int Emit(VerbOutput& out, const std::wstring& message, DWORD error, int exitCode) {
    const std::optional<DWORD> code =
        error != NO_ERROR ? std::optional<DWORD>(error) : std::nullopt;
    const VerbReport report =
        FailureReport(message + L"\n", code, out.document, SystemMessageTemplate);
    return PrintReport(report, out.json, exitCode);
}

int Fail(VerbOutput& out, const wchar_t* verb, const std::wstring& problem, DWORD error,
         int exitCode, const std::wstring& after) {
    std::wstring message = Cannot(out, verb) + problem;
    if (error != NO_ERROR) message += L" " + WindowsError(error);
    return Emit(out, message + after, error, exitCode);
}

int FailStoppedAgain(VerbOutput& out, const wchar_t* verb, const SERVICE_STATUS_PROCESS& status,
                     const std::wstring& commandLine) {
    std::wstring explained = ExplainedExitCode(status, commandLine);
    // The platform's words end their own sentence.
    if (explained.empty() || explained.back() != L'.') explained += L".";
    return Emit(out, Cannot(out, verb) + L"it stopped again, with exit code " + explained,
                status.dwWin32ExitCode, kExitFailed);
}

int Finish(VerbOutput& out, int exitCode) {
    if (out.json) PrintJson(out.document);
    return exitCode;
}

std::wstring ExplainedExitCode(const SERVICE_STATUS_PROCESS& status,
                               const std::wstring& commandLine) {
    const ServiceCommandLine line = DecodeServiceCommandLine(commandLine);
    return ExplainExitCode(status.dwWin32ExitCode, status.dwServiceSpecificExitCode, line.wrapped,
                           line.decoded ? line.program : L"",
                           MessageLookups{SystemMessageTemplate, NtStatusMessage});
}

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
static void Announce(const VerbOutput& out, SC_HANDLE service, DWORD settled,
                     const std::wstring& text) {
    SERVICE_STATUS_PROCESS status = {};
    if (ReadStatus(service, status) != NO_ERROR || status.dwCurrentState != settled) {
        Say(out, text);
    }
}

FollowResult FollowStart(VerbOutput& out, SC_HANDLE service, const std::wstring& commandLine,
                         json& phase) {
    phase = json::object();
    Announce(out, service, SERVICE_RUNNING,
             L"Starting the service " + Printable(out.name) + L"...\n");
    json pending;
    const FollowResult result = StartAndFollow(service, PendingSink(out, pending));
    phase["alreadyRunning"] = result.stateBefore == SERVICE_RUNNING;
    phase["pendingReports"] = pending;
    PutStatus(phase, result.status, commandLine);
    return result;
}

FollowResult FollowStop(VerbOutput& out, SC_HANDLE service, const std::wstring& commandLine,
                        json& phase) {
    phase = json::object();
    Announce(out, service, SERVICE_STOPPED,
             L"Stopping the service " + Printable(out.name) + L"...\n");
    json pending;
    const FollowResult result = StopAndFollow(service, PendingSink(out, pending));
    phase["alreadyStopped"] = result.stateBefore == SERVICE_STOPPED;
    phase["pendingReports"] = pending;
    PutStatus(phase, result.status, commandLine);
    if (result.ended && result.stateBefore != SERVICE_STOPPED) {
        Say(out, L"  stopped, exit code " + ExplainedExitCode(result.status, commandLine) + L"\n");
    }
    return result;
}
