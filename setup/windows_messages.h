// The platform's words for its error codes, for every layer that names an
// error: FormatMessageW over the system's table and ntdll's.
#pragma once

#include <string>

#include "platform/platform.h"

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
