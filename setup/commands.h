// The setup program's verbs, each run to its end; they give the exit code.
#pragma once

#include <string>

#include "setup/model/setup_options.h"

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitWarned = 3;  // show found something that cannot work or is unsafe

int RunInstall(const SetupCommand& command);
int RunApply(const SetupCommand& command);
int RunSet(const SetupCommand& command);
int RunShow(const SetupCommand& command);
int RunRemove(const std::wstring& name);
