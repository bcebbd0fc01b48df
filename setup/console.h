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

// A log's bytes, for standard output: a file or pipe gets them as they are;
// a console gets what is UTF-8 in them as text, and the rest as bytes, read
// in its code page. carry holds a character the bytes ended inside, for the
// next call; with last, it goes out too.
void PrintOutBytes(const std::string& bytes, std::string& carry, bool last);
