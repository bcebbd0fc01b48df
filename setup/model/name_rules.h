// Rules for the names and texts a service is given that Windows takes but
// people and tools trip over: names that mean something else to the file
// system, characters nobody can see, and line breaks in a one-line text.
#pragma once

#include <string>

// . and .., and the device names (CON, PRN, AUX, NUL, COM0-9, LPT0-9,
// CONIN$, CONOUT$, alone or before a dot, in any case): a file or folder of
// that name, which tools make after a service's name, is something else.
// Gives why, or empty.
std::wstring ReservedNameProblem(const std::wstring& name);

// A character that shows as nothing, or as a blank that is not the space:
// format characters (zero-width space and joiners, direction marks and
// embeddings, the byte-order mark, soft hyphen, tags), fillers and the
// other blanks. Two names that differ only by one look the same. Gives the
// first such character as U+XXXX, or empty.
std::wstring FirstInvisibleCharacter(const std::wstring& text);

// Whether the text holds a line break: LF, CR, VT, FF, NEL, or the line or
// paragraph separator.
bool HoldsLineBreak(const std::wstring& text);
