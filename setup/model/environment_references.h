// %NAME% references in a service's command line. The service control
// manager replaces them each time it starts the service, in the whole line,
// with the values of the variables it has itself (the system's, not the
// installing person's); a reference to a variable it does not have is left
// as written. The setup program judges the line as the wrapper will then
// read it.
#pragma once

#include <string>
#include <vector>

#include "setup/model/service_command_line.h"

// The text with each %NAME% replaced as ExpandEnvironmentStringsW does:
// names in any letter case; "%%", a lone "%", and a name of no variable
// left as written. variables: "NAME=VALUE" entries, as an environment block
// holds them.
struct Expansion {
    std::wstring text;
    std::vector<std::wstring> unknownNames;  // the names of no variable, in order
};
Expansion ExpandReferences(const std::wstring& text, const std::vector<std::wstring>& variables);

// Why a path written with references (what: "program", "wrapper") cannot
// be the file started once they are replaced: a name of no variable, or a
// result that is no full path. Empty when it can.
std::wstring ReferencedPathProblem(const wchar_t* what, const std::wstring& given,
                                   const Expansion& expansion);

// The line as the wrapper will read it: its text with the references
// replaced, split and decoded again.
ServiceCommandLine AsStarted(const ServiceCommandLine& line,
                             const std::vector<std::wstring>& variables);

// The folder the line's launcher logs into once the manager has replaced
// the references of the line, without a separator at its end: the one the
// launcher makes and writes. Empty without the launcher or without a log.
std::wstring StartedLogDir(const ServiceCommandLine& line,
                           const std::vector<std::wstring>& variables);

// A path of the launcher's as a message names it: the one it will use,
// bracketed, and, when the manager's replacing changes it (more than by a
// separator at the end, which the launcher's folder is named without), as
// written too:
// "[C:\logs\Windows_NT] (written as [C:\logs\%OS%])".
std::wstring NamedAsStarted(const std::wstring& started, const std::wstring& written);

// Where the line, its references replaced, no longer splits into its own
// elements with theirs replaced (a value that ends in a backslash or holds
// a quotation mark runs into the next element); empty when it does.
std::wstring StartedSplitProblem(const ServiceCommandLine& line,
                                 const std::vector<std::wstring>& variables);
