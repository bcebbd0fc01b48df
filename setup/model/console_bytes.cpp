#include "setup/model/console_bytes.h"

#include <cstdio>

// The length of the well-formed UTF-8 sequence at text[at] (1 to 4), 0 when
// none starts there (a stray continuation byte, an overlong form, a
// surrogate, past U+10FFFF), or minus the bytes there are when the text ends
// inside one that is well-formed so far.
static int SequenceAt(const std::string& text, std::size_t at) {
    const unsigned char lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80) return 1;
    int length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the second byte's range
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    for (int i = 1; i < length; ++i) {
        if (at + i == text.size()) return -i;
        const unsigned char next = static_cast<unsigned char>(text[at + i]);
        if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xBF)) return 0;
    }
    return length;
}

std::vector<ByteRun> SplitUtf8Runs(std::string& carry, const std::string& bytes, bool last) {
    const std::string text = carry + bytes;
    carry.clear();
    std::vector<ByteRun> runs;
    for (std::size_t at = 0; at < text.size();) {
        const int length = SequenceAt(text, at);
        if (length < 0 && !last) {
            carry = text.substr(at);
            break;
        }
        const bool utf8 = length > 0;
        const std::size_t take = length > 0 ? length : length == 0 ? 1 : text.size() - at;
        if (runs.empty() || runs.back().utf8 != utf8) runs.push_back(ByteRun{utf8, ""});
        runs.back().bytes.append(text, at, take);
        at += take;
    }
    if (!last && carry.empty() && !runs.empty() && runs.back().bytes.back() == '\r') {
        carry = "\r";
        runs.back().bytes.pop_back();
        if (runs.back().bytes.empty()) runs.pop_back();
    }
    return runs;
}

// The code point of the control character the sequence at text[at] is, or
// -1: C0, DEL, C1 (U+0080 to U+009F) and the line and paragraph separators.
static long ControlAt(const std::string& text, std::size_t at) {
    const unsigned char lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x20 || lead == 0x7F) return lead;
    const unsigned char next = at + 1 < text.size() ? static_cast<unsigned char>(text[at + 1]) : 0;
    if (lead == 0xC2 && next >= 0x80 && next <= 0x9F) return next;
    if (lead == 0xE2 && next == 0x80 && at + 2 < text.size()) {
        const unsigned char third = static_cast<unsigned char>(text[at + 2]);
        if (third == 0xA8 || third == 0xA9) return 0x2000 + third - 0x80;
    }
    return -1;
}

std::string SpelledOutControls(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t at = 0; at < utf8.size();) {
        const long control = ControlAt(utf8, at);
        const bool endsLine = control == '\r' && at + 1 < utf8.size() && utf8[at + 1] == '\n';
        if (control < 0 || control == '\t' || control == '\n' || endsLine) {
            out += utf8[at++];
            continue;
        }
        char mark[24];
        std::snprintf(mark, sizeof mark, "<U+%04lX>", static_cast<unsigned long>(control));
        out += control == '\r' ? "<CR>" : mark;
        at += control < 0x80 ? 1 : control < 0x800 ? 2 : 3;
    }
    return out;
}
