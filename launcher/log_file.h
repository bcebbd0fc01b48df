// The log in the log folder, shared by the reader threads and the main
// thread under one lock. Nothing here ends the launcher or the program: what
// cannot be written is counted, and reported once writing works again.
#pragma once

#include <string>

#include "launcher/launcher_options.h"
#include "launcher/log_lines.h"
#include "platform/platform.h"

// Makes the log folder if it is missing (MakeOwnLogFolder) and opens output.log
// for appending. Gives NO_ERROR, or the error that kept the folder from being
// made; a file that cannot be opened now is tried again at each write.
DWORD OpenLog(const LauncherOptions& options);

// Whether a log was asked for and its folder exists.
bool LogIsOpen();

// One read of the program's output, written at once (framed with time and
// stream when timestamps are on).
void WriteOutput(OutputStream stream, const char* bytes, DWORD count);

// A line of the launcher's own, marked as such.
void WriteMarkedLine(const std::string& text);

// Closes the file at the end of the run.
void CloseLog();

// Text beyond ASCII, for the launcher's own lines.
std::string Utf8(const std::wstring& text);
