// The setup program's verbs, each run to its end; they give the exit code.
#pragma once

#include <string>

#include "setup/model/setup_options.h"

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitWarned = 3;  // show found something that cannot work or is unsafe
// status, for scripts, as service managers on other systems answer: 0
// running, 3 in any other state, 4 no such service, 1 the state unread.
constexpr int kStatusNotRunning = 3;
constexpr int kStatusNoSuchService = 4;

int RunInstall(const SetupCommand& command);
int RunApply(const SetupCommand& command);
int RunSet(const SetupCommand& command);
int RunShow(const SetupCommand& command);
// noWait: ask and return, without following the stop.
int RunRemove(const std::wstring& name, bool json, bool noWait);
int RunStart(const std::wstring& name, bool json);
int RunStop(const std::wstring& name, bool json, bool noWait);
int RunRestart(const std::wstring& name, bool json);
int RunStatus(const std::wstring& name, bool json);
int RunList(bool json);
int RunLogs(const SetupCommand& command);
