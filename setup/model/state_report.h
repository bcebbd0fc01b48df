// The text and JSON of start, stop, restart, status and list, made from what
// the manager reported: each pending report as it comes, and the listing of
// wrapped services.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/platform.h"
#include "setup/model/config_json.h"
#include "setup/model/service_status.h"
#include "setup/model/windows_errors.h"
#include "setup/model/service_command_line.h"

// "  start pending: checkpoint 1, wait hint 10000 ms\n"; "stop pending"
// likewise, and any other state by its word.
std::wstring PendingLine(const SERVICE_STATUS_PROCESS& status);

// {"state": "starting", "checkPoint": 1, "waitHintMs": 10000}
nlohmann::json PendingJson(const SERVICE_STATUS_PROCESS& status);

// list's table: a heading, then one line per service with its name, its
// state and its program (the stored command line where the wrapper would
// not read one); or one line saying there is none.
std::wstring RenderListText(const std::vector<ListedService>& services);

// For the error stream: a line for each service list could not judge.
std::wstring RenderUnreadText(const std::vector<UnreadService>& unread, MessageLookup system);

// {"services": [{"name", "displayName", "state", "pid", "commandLine",
// "wrapperPath", "stopTimeoutMs", "program", "arguments"}], "unread":
// [{"name", "error": {"message", "code", "text"}}]}; wrapperPath,
// stopTimeoutMs, program and arguments null where the wrapper would not
// read them.
nlohmann::json ListJson(const std::vector<ListedService>& services,
                        const std::vector<UnreadService>& unread, MessageLookup system);
