// How a verb's outcome reaches the person or the script that ran it: text
// on the two streams, or, with --json, one JSON document on standard
// output whatever the outcome, failures included.
#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/platform.h"

// The document, UTF-8, as the only thing on standard output.
void PrintJson(const nlohmann::json& document);

// A failure: the message on the error stream, or the document with an
// "error" object added (the message, the Windows error and its text; null
// for a failure that is no Windows error). Gives exitCode.
int ReportFailure(bool json, const std::wstring& message, std::optional<DWORD> error,
                  nlohmann::json document, int exitCode);
