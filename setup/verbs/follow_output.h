// A start or a stop followed as start, stop, restart and remove print it:
// each pending report as it comes, and the exit code explained.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "setup/manager/service_follow.h"
#include "setup/manager/service_handles.h"
#include "setup/verbs/verb_output.h"

// Hands each pending report on: a line of text, or an entry of list.
PendingReportSink PendingSink(const VerbOutput& out, nlohmann::json& list);

// A start or a stop followed as the verbs report it: "Starting the service
// X..." (or "Stopping") unless there is nothing to do, each pending report,
// and after a stop the exit code explained. phase gets "alreadyRunning" (or
// "alreadyStopped"), "pendingReports" and "status". The handle needs
// SERVICE_QUERY_STATUS and SERVICE_START or SERVICE_STOP.
FollowResult FollowStart(VerbOutput& out, const ScHandle& service, const std::wstring& commandLine,
                         nlohmann::json& phase);
FollowResult FollowStop(VerbOutput& out, const ScHandle& service, const std::wstring& commandLine,
                        nlohmann::json& phase);

// After a start that the service reports running: with the launcher in its
// command line, the state once the program has started too, or once the
// service has stopped again because the launcher could not start it (a
// missing program, a malformed environment file), within kProgramStartMs.
constexpr DWORD kProgramStartMs = 10000;
FollowResult AwaitProgram(const ScHandle& service, const std::wstring& commandLine,
                          FollowResult started);

// The followed state in the document's form: "status" with the exit code
// explained.
void PutStatus(nlohmann::json& phase, const SERVICE_STATUS_PROCESS& status,
               const std::wstring& commandLine);
