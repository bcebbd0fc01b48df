// What the setup program says when asked how to use it: the whole usage,
// one command's part of it, and the line that points there after a mistake.
#pragma once

#include <string>

#include "setup/model/setup_options.h"

std::wstring UsageText();

// The usage of one command: its line, what it does, and its options.
std::wstring VerbHelpText(Verb verb);

// After a mistake: where to read how the command is used; verbWord is the
// command given, or empty when there was none that is known.
std::wstring HelpPointer(const std::wstring& verbWord);
