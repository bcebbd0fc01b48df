// Exit codes and Windows errors in words. Pure: the platform's message
// lookups are passed in, so that the words can be tested on the host.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

// The platform's text for a code (FormatMessageW from the system, or from
// ntdll's message table for an NTSTATUS), inserts left as they are and the
// line end trimmed; empty where there is none.
typedef std::wstring (*MessageLookup)(DWORD code);

// ERROR_SERVICE_SPECIFIC_ERROR: the service's own exit code is in
// dwServiceSpecificExitCode. The host platform does not name it.
constexpr DWORD kServiceSpecificError = 1066;

struct MessageLookups {
    MessageLookup system;
    MessageLookup ntstatus;
};

// A message with its inserts filled: %1 ... %99 (with or without a !format!
// after it) by the given values in turn, printf-style ones (%s, %p, %08lx)
// in the same order; an insert without a value is left out, with a "0x"
// right before it, and the blanks it leaves are tidied. %% gives %, %n a
// blank, %0 ends the text. No raw insert is ever left in it.
std::wstring FillMessageInserts(const std::wstring& message,
                                const std::vector<std::wstring>& values);

// "Windows error 5: Access is denied." or "Windows error 1234: (Windows has
// no text for it.)", with the inserts filled by values.
std::wstring WindowsErrorText(DWORD error, MessageLookup system,
                              const std::vector<std::wstring>& values = {});

// An exit code as a codeword of the NTSTATUS kind: 0xC0000000 and above, an
// error status, which a process gets when it ends by an exception; but not
// one that reads as a small negative number (-1 to -65536), which the
// program returned itself.
bool IsNtStatusError(DWORD code);

// The last exit code of a service, explained: for 1066 the program's own
// code in decimal and hexadecimal with the platform's text for it (an
// NTSTATUS from ntdll's table, with the words that the program crashed; any
// other from the system's), for the wrapper's own codes their meaning, for
// the rest the system's text. program fills a %1 insert. "1066: ..." etc.
// started: what the service's process starts, which is what ended with
// the code (through the launcher, the launcher's own failures end it with
// their Windows error too).
enum class Started { kByService, kByWrapper, kByLauncher };
std::wstring ExplainExitCode(DWORD win32ExitCode, DWORD serviceSpecificExitCode, Started started,
                             const std::wstring& program, const MessageLookups& lookups);
