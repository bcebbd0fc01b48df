// The password of a user account, read from the person at the console or
// from a script's standard input, never from the command line or the
// environment, and wiped once it has been written.
#pragma once

#include <cstddef>
#include <string>

#include "platform/platform.h"

// The longest password Windows takes for an account.
constexpr std::size_t kMostPasswordCharacters = 256;

// A password as read, in a buffer of fixed size that is never copied or
// grown, so that wiping it leaves no copy behind.
struct Password {
    wchar_t text[kMostPasswordCharacters + 1];  // null-terminated
    std::size_t length;
};

// Reads the password of the account: with fromStandardInput, the first line
// of standard input (UTF-8 from a file or a pipe); else typed at the console
// after a prompt on the error stream. A console never echoes it, and gets
// its echo back afterwards, on Ctrl+C too. Gives why it could not be read,
// or empty.
std::wstring ReadPassword(const std::wstring& account, bool fromStandardInput,
                          Password& password);

// Overwrites the whole buffer in a way the compiler cannot leave out.
void WipePassword(Password& password);
