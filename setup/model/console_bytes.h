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
// middle of is kept in carry for the next call, which may complete it; with
// last, it goes out as it is.
std::vector<ByteRun> SplitUtf8Runs(std::string& carry, const std::string& bytes, bool last);
