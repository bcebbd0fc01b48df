// Text for the person who runs the setup program: the one place that
// decides how it reaches a console, a file or a pipe.
#pragma once

#include <string>

#include "platform/platform.h"

// A console gets the text as UTF-16 through WriteConsoleW, which shows any
// character its font has, whatever the code page. A file or pipe gets UTF-8
// with CR LF line ends, which other programs and editors read as text.
void PrintOut(const std::wstring& text);
void PrintError(const std::wstring& text);

// The platform's own words for an error code, without the number; empty if
// it has none. An insert such as %1 is left out, never printed raw.
std::wstring SystemMessage(DWORD error);

// The same words with their inserts as they are, for the model's
// explanations, which fill them (MessageLookup).
std::wstring SystemMessageTemplate(DWORD error);

// ntdll's words for an NTSTATUS code, such as 0xC0000005; empty if it has
// none. Inserts are left as they are, for the model to fill.
std::wstring NtStatusMessage(DWORD status);

// "Windows error 5: Access is denied."
std::wstring WindowsError(DWORD error);
