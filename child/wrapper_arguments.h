// The wrapper's own command line and the child's, composed from it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

// The wrapper's command line split into its elements: 0 is the wrapper,
// 1 the stop timeout, 2 the child's program, 3 and later its arguments.
struct WrapperArguments {
    LPWSTR* elements;  // from CommandLineToArgvW; the caller releases it with LocalFree
    int count;
};

// Splits the process's own command line; nothing when it cannot be split.
std::optional<WrapperArguments> ParseWrapperArguments();

// Reads the stop timeout as the runtime's wcstoul does in base 10, within
// 32 bits; nothing when no digits are found or the value is out of range.
// Throws std::bad_alloc only if the copy of the text cannot be made.
std::optional<DWORD> ParseStopTimeout(LPCWSTR text);

// The program element is put in quotation marks verbatim, and the platform
// reads a quoted program up to the next quotation mark: one that holds a
// quotation mark itself cannot be passed on faithfully.
bool CanQuoteProgram(LPCWSTR program);

// Appends one argument in quotation marks so that CommandLineToArgvW, and so
// the child's own splitting, gives it back unchanged: spaces, an empty text,
// quotation marks and backslashes included.
void AppendQuotedArgument(std::wstring& line, LPCWSTR argument);

// Appends one argument as a shell would write it: bare where the platform's
// splitting gives it back as it is, else quoted as AppendQuotedArgument does.
void AppendArgument(std::wstring& line, const std::wstring& argument);

// Whether the program is a batch file, which Windows runs through cmd.exe:
// its name ends in .bat or .cmd, in any letter case, once the trailing dots
// and blanks the platform drops are dropped.
bool NamesBatchFile(const std::wstring& program);

// A command line for programs that read it themselves (cmd.exe takes a
// quoted "/c" for a program name): each element quoted only where it must
// be. Element 0, the program, is quoted when it is empty or holds a blank or
// a character cmd.exe ends a word at (&|<>^(),;=), and takes no escapes; it
// cannot hold a quotation mark (see CanQuoteProgram). When it names a batch
// file (.bat or .cmd, any case), which cmd.exe runs reading the line itself,
// an argument holding one of those characters is quoted too.
std::wstring ComposeCommandLine(const std::vector<std::wstring>& elements);

// The child's command line: element 2 in quotation marks, then each further
// element quoted so that the child's own splitting gives it back unchanged.
std::wstring BuildChildCommandLine(const LPWSTR* elements, int count);
