// How install, apply, set and show report a failure: text on the error
// stream, or, with --json, one JSON document on standard output.
#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/platform.h"

// A failure: the message on the error stream, or the document with an
// "error" object added (the message, the Windows error and its text; null
// for a failure that is no Windows error). Gives exitCode.
int ReportFailure(bool json, const std::wstring& message, std::optional<DWORD> error,
                  nlohmann::json document, int exitCode);
