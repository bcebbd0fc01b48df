// The launcher's settings as show, install's report, the JSON and the list
// of changes give them: decoded from the command line, never from the
// options as typed.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "setup/model/compare_configs.h"
#include "setup/model/service_command_line.h"

// null for a line without the launcher (or not decoded); else {"path",
// "service", "logDir" (null: no log), "logSizeBytes", "logKeep",
// "logTimestamps", "workingDir" (null: the program's folder), "env",
// "envFile" (null: none), "stopSignal" ("ctrl-c" or "none")}.
nlohmann::json LauncherJson(const ServiceCommandLine& line);

// The listing's lines, "  label           value\n" each: the launcher and
// each setting, or that the program is the wrapper's own child.
std::wstring LauncherText(const ServiceCommandLine& line);

// One change per launcher setting that differs; a line that gains or loses
// the launcher is one "launcher" change. Each waits for the next start.
void CompareLaunchers(const ServiceCommandLine& was, const ServiceCommandLine& becomes,
                      std::vector<ConfigChange>& changes);
