// The commands the setup program suggests to a person, written so that they
// can be pasted into cmd.exe as they are.
#pragma once

#include <string>

#include "setup/model/service_command_line.h"

// The text as one argument for cmd.exe's prompt, with nothing in it
// expanded or acted on: each stretch between percent signs in quotation
// marks, which keep & | < > ^ and blanks literal, and each percent sign
// outside them as ^%, which the prompt leaves as it is once it has removed
// the caret. An empty text is "".
std::wstring CmdQuoted(const std::wstring& text);

// service-wrapper-setup start "<name>", in the form above.
std::wstring StartHint(const std::wstring& name);

// Why a service whose command line does not start service-wrapper.exe is
// left alone by a command that changes or deletes services, or empty for a
// wrapped one: the file it starts, and how to delete it on purpose.
// whatIsDone: "changed", "removed".
std::wstring NotWrappedProblem(const std::wstring& name, const ServiceCommandLine& line,
                               const std::wstring& whatIsDone);
