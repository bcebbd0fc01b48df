// What start, stop, restart, status, list and remove share: text printed as
// they go, or one JSON document printed at the end, and the following of a
// start or a stop with each pending report handed on.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "setup/manager/service_follow.h"
#include "setup/verbs/verb_output.h"

// The verb's output. With json, nothing is printed until Finish, and the
// document holds what the text would have said.
struct VerbOutput {
    bool json;
    std::wstring name;  // the service's; empty for list
    nlohmann::json document;
};

// The document starts as {"name": name}, or {} without a name.
VerbOutput NewOutput(bool json, const std::wstring& name);

// Text for standard output; nothing with json.
void Say(const VerbOutput& out, const std::wstring& text);

// "Warning: <text> Windows error N: ..." on the error stream, or an entry
// of the document's "warnings" list.
void Warn(VerbOutput& out, const std::wstring& text, DWORD error);

// "Cannot <verb> the service <name>: <problem> Windows error N: ...<after>"
// on the error stream, or the document's "error" object; error may be
// NO_ERROR. Prints the document, and gives exitCode.
int Fail(VerbOutput& out, const wchar_t* verb, const std::wstring& problem, DWORD error,
         int exitCode, const std::wstring& after = L"");

// A start that ended with the service stopped: "Cannot <verb> the service
// <name>: it stopped again, with exit code <explained>.", or the document's
// "error" object with the exit code as its code. Gives kExitFailed.
int FailStoppedAgain(VerbOutput& out, const wchar_t* verb, const SERVICE_STATUS_PROCESS& status,
                     const std::wstring& commandLine);

// Prints the document, and gives exitCode.
int Finish(VerbOutput& out, int exitCode);

// The last exit code explained as show explains it, for a service with
// this configured command line.
std::wstring ExplainedExitCode(const SERVICE_STATUS_PROCESS& status,
                               const std::wstring& commandLine);

// Hands each pending report on: a line of text, or an entry of list.
PendingReportSink PendingSink(const VerbOutput& out, nlohmann::json& list);

// A start or a stop followed as the verbs report it: "Starting the service
// X..." (or "Stopping") unless there is nothing to do, each pending report,
// and after a stop the exit code explained. phase gets "alreadyRunning" (or
// "alreadyStopped"), "pendingReports" and "status". The handle needs
// SERVICE_QUERY_STATUS and SERVICE_START or SERVICE_STOP.
FollowResult FollowStart(VerbOutput& out, SC_HANDLE service, const std::wstring& commandLine,
                         nlohmann::json& phase);
FollowResult FollowStop(VerbOutput& out, SC_HANDLE service, const std::wstring& commandLine,
                        nlohmann::json& phase);

// The followed state in the document's form: "status" with the exit code
// explained.
void PutStatus(nlohmann::json& phase, const SERVICE_STATUS_PROCESS& status,
               const std::wstring& commandLine);
