// A log's bytes on their way to a console. The launcher writes its own lines
// in UTF-8, and so do most programs; a console shows bytes in its own code
// page, in which UTF-8 reads as other characters. So the text that is UTF-8
// goes to the console as text, and whatever is not (a program writing in
// the console's code page, or binary) goes as the bytes it is.
#pragma once

#include <string>
#include <vector>

// A stretch of bytes: well-formed UTF-8, or not.
struct ByteRun {
    bool utf8;
    std::string bytes;
};

// carry, then bytes, split into runs. A sequence that the bytes end in the
// middle of is kept in carry for the next call, which may complete it, and so
// is a carriage return they end in, which a line feed may follow; with last,
// either goes out as it is.
std::vector<ByteRun> SplitUtf8Runs(std::string& carry, const std::string& bytes, bool last);

// UTF-8 text for a console, with each control character spelled out as the
// listings spell it (<CR>, <U+001B>) but for a tab, a line feed and a
// carriage return before one. The program's output is not to be trusted: a
// console would act on the others, and a lone carriage return, a backspace or
// an escape sequence could hide or rewrite the lines shown before it.
std::string SpelledOutControls(const std::string& utf8);
