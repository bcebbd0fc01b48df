// How every verb prints what it has to say: text on standard output, a
// failure's on the error stream, or, with --json, one JSON document on
// standard output and nothing else there.
#pragma once

#include <nlohmann/json.hpp>

#include "setup/model/write_report.h"

// One document on standard output, UTF-8 in a file or a pipe.
void PrintJson(const nlohmann::json& document);

// The report's text on its stream, or its document. Gives exitCode.
int PrintReport(const VerbReport& report, bool json, int exitCode);
