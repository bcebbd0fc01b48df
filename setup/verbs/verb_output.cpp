#include "setup/verbs/verb_output.h"

#include "setup/console.h"
#include "setup/model/config_json.h"
#include "setup/model/service_command_line.h"
#include "setup/model/text.h"
#include "setup/model/windows_errors.h"
#include "setup/verbs/commands.h"
#include "setup/windows_messages.h"

using nlohmann::json;

// The document as UTF-16 for PrintOut, which writes UTF-8 to a file or a
// pipe and UTF-16 to a console.
static std::wstring FromUtf8(const std::string& text) {
    if (text.empty()) return L"";
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
    return wide;
}

void PrintJson(const nlohmann::json& document) {
    PrintOut(FromUtf8(JsonDocument(document)));
}

VerbOutput NewOutput(bool json, const std::wstring& name) {
    VerbOutput out{json, name, json::object()};
    if (!name.empty()) out.document["name"] = JsonText(name);
    return out;
}

void Say(const VerbOutput& out, const std::wstring& text) {
    if (!out.json) PrintOut(text);
}

void SayOnErrors(const VerbOutput& out, const std::wstring& text) {
    if (!out.json) PrintError(text);
}

void Warn(VerbOutput& out, const std::wstring& text, DWORD error) {
    const std::wstring sentence = text + L" " + WindowsError(error);
    if (!out.json) {
        PrintError(WarningLine(sentence));
        return;
    }
    json warning = ErrorJson(sentence, error, SystemMessage(error));
    out.document["warnings"].push_back(warning["error"]);
}

static std::wstring Cannot(const VerbOutput& out, const wchar_t* verb) {
    return std::wstring(L"Cannot ") + verb +
           (out.name.empty() ? L"" : L" the service " + Printable(out.name)) + L": ";
}

int FailWithMessage(VerbOutput& out, const std::wstring& message, DWORD error, int exitCode) {
    const std::optional<DWORD> code =
        error != NO_ERROR ? std::optional<DWORD>(error) : std::nullopt;
    const VerbReport report =
        FailureReport(message + L"\n", code, out.document, SystemMessageTemplate);
    return FinishWith(out, report, exitCode);
}

int Fail(VerbOutput& out, const wchar_t* verb, const std::wstring& problem, DWORD error,
         int exitCode, const std::wstring& after) {
    std::wstring message = Cannot(out, verb) + problem;
    if (error != NO_ERROR) message += L" " + WindowsError(error);
    return FailWithMessage(out, message + after, error, exitCode);
}

void Put(VerbOutput& out, const VerbReport& report) {
    if (out.json) {
        out.document = report.document;
    } else if (report.failed) {
        PrintError(report.text);
    } else {
        PrintOut(report.text);
    }
}

int Finish(VerbOutput& out, int exitCode) {
    if (out.json) PrintJson(out.document);
    return exitCode;
}

int FinishWith(VerbOutput& out, const VerbReport& report, int exitCode) {
    Put(out, report);
    return Finish(out, exitCode);
}

std::wstring ExplainedExitCode(const SERVICE_STATUS_PROCESS& status,
                               const std::wstring& commandLine) {
    const ServiceCommandLine line = DecodeServiceCommandLine(commandLine);
    const Started started = !line.wrapped ? Started::kByService
                            : line.launcher ? Started::kByLauncher
                                            : Started::kByWrapper;
    return ExplainExitCode(status.dwWin32ExitCode, status.dwServiceSpecificExitCode, started,
                           line.decoded ? line.program : L"",
                           MessageLookups{SystemMessageTemplate, NtStatusMessage});
}

std::wstring ExplainedExitSentence(const SERVICE_STATUS_PROCESS& status,
                                  const std::wstring& commandLine) {
    std::wstring explained = ExplainedExitCode(status, commandLine);
    // The platform's words end their own sentence.
    if (explained.empty() || explained.back() != L'.') explained += L".";
    return explained;
}

int FailStoppedAgain(VerbOutput& out, const wchar_t* verb, const SERVICE_STATUS_PROCESS& status,
                     const std::wstring& commandLine) {
    return FailWithMessage(out,
                           Cannot(out, verb) + L"it stopped again, with exit code " +
                               ExplainedExitSentence(status, commandLine),
                           status.dwWin32ExitCode, kExitFailed);
}
