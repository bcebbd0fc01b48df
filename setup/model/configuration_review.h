// The judging of a service's configuration as show reads it back: what the
// wrapper will make of it, and what cannot work or is unsafe.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "setup/model/service_config.h"

struct ConfigurationReview {
    bool wrapped;                        // the manager starts service-wrapper.exe
    std::optional<DWORD> stopTimeoutMs;  // as the wrapper will read it
    std::vector<std::wstring> warnings;  // each makes show fail
    std::vector<std::wstring> notes;
};

// Whether a file of this full path exists; given by the caller, so that the
// judging itself touches nothing.
typedef bool (*FileExistsFunction)(const std::wstring& path);

// Reads the command line, the pre-shutdown timeout and the account of a
// record as the manager gives it back.
ConfigurationReview ReviewConfiguration(const ServiceConfig& config, FileExistsFunction fileExists);

// What each element of a command line is to the wrapper (and to the
// launcher when it is the wrapper's child), or to any program.
std::vector<const wchar_t*> ElementRoles(const std::vector<std::wstring>& elements, bool wrapped);

// The elements one to a line, each with its index and role and in brackets,
// so that blanks at either end and empty elements show, and control
// characters as marks (<LF>, <TAB>) so that they neither break the listing
// nor hide in it. An element holding a %NAME% reference says on its line
// that the manager replaces it at start.
std::wstring FormatElements(const std::vector<std::wstring>& elements, bool wrapped);

// The meaning of the wrapper's exit codes; empty for those the platform's
// own message explains. child: what the wrapper starts, "the program" or
// "the launcher".
std::wstring ExplainWrapperExitCode(DWORD exitCode, const wchar_t* child = L"the program");

// Text the manager changes before the program sees it: a %NAME% reference,
// which it replaces with the variable's value.
bool HoldsEnvironmentReference(const std::wstring& text);
