// Small text rules the model shares: keywords matched as Windows tools match
// them, text for JSON, and elements made readable in a listing.
#pragma once

#include <string>
#include <vector>

// ASCII letters folded to lower case; anything else as it is. Keywords and
// Windows' own names (services, accounts, privileges) compare this way.
std::wstring LowerAscii(std::wstring text);
bool SameIgnoringCase(const std::wstring& a, const std::wstring& b);

// What follows the last \ or / of a path; the whole path without one.
std::wstring FileNameOf(const std::wstring& path);

// A path that begins with \\?\, which Windows takes as written: / is no
// separator in it, and no dot or blank is dropped.
bool TakenAsWritten(const std::wstring& path);

// "a", "a and b", "a, b and c".
std::wstring JoinWords(const std::vector<std::wstring>& words);

// UTF-8, as JSON is written. wchar_t is UTF-16 on Windows and UTF-32 on the
// host; a lone surrogate, which a Windows string may hold, becomes U+FFFD.
std::string ToUtf8(const std::wstring& text);

// The text with each control character (C0, DEL, C1, and the line and
// paragraph separators) written as a visible mark: <TAB>, <LF>, <CR> or
// <U+001B>. For the text listing only: a line break or a tab printed raw
// would break the listing or hide in it.
std::wstring Printable(const std::wstring& text);

// "[text]", made printable: brackets show blanks at either end and an empty text.
std::wstring Bracketed(const std::wstring& text);

// One finding as every verb prints it, a line each: "Warning: <text>\n",
// "Note: <text>\n".
std::wstring WarningLine(const std::wstring& text);
std::wstring NoteLine(const std::wstring& text);
