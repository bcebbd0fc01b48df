#include <optional>

#include "child/wrapper_arguments.h"
#include "tests/fuzz/fuzz_checks.h"

// The model's character classes, as the runtime (msvcrt under Wine 8) shows
// them when every UTF-16 unit is tried. White space: 9 to 13 and the Unicode
// space, line and paragraph separators, but not U+0085 or U+180E. Digits:
// ASCII and seventeen other scripts, each a run of ten from its zero, but not
// every Unicode decimal digit (NKo's and Limbu's, for one, are not read).
static bool IsSpace(wchar_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
           c == 0x205F || c == 0x3000;
}

static int Digit(wchar_t c) {
    static const unsigned kZeros[] = {
        0x0030, 0x0660, 0x06F0, 0x0966, 0x09E6, 0x0A66, 0x0AE6, 0x0B66, 0x0C66,
        0x0CE6, 0x0D66, 0x0E50, 0x0ED0, 0x0F20, 0x1040, 0x17E0, 0x1810, 0xFF10,
    };
    for (unsigned zero : kZeros) {
        if (static_cast<unsigned>(c) - zero < 10) return static_cast<int>(c - zero);
    }
    return -1;
}

// The conversion's rules written out plainly, the digits kept as decimal text
// so that the range is checked without arithmetic that could overflow: white
// space, at most one sign, then the digits; none is a failure, a value above
// 4294967295 is a failure, and a minus sign negates modulo 2^32.
static std::optional<DWORD> Model(const wchar_t* text) {
    const wchar_t* p = text;
    while (IsSpace(*p)) ++p;
    const bool negative = *p == L'-';
    if (*p == L'-' || *p == L'+') ++p;
    if (Digit(*p) < 0) return std::nullopt;
    std::string digits;  // without leading zeros
    for (; Digit(*p) >= 0; ++p) {
        if (!digits.empty() || Digit(*p) != 0) digits += static_cast<char>('0' + Digit(*p));
    }
    const std::string kLargest = "4294967295";
    const bool tooLong = digits.size() > kLargest.size();
    if (tooLong || (digits.size() == kLargest.size() && digits > kLargest)) return std::nullopt;
    DWORD value = 0;
    for (char d : digits) value = value * 10 + static_cast<DWORD>(d - '0');
    return negative ? static_cast<DWORD>(0u - value) : value;
}

static std::string Shown(const std::optional<DWORD>& ms) {
    return ms ? std::to_string(*ms) : "a failure";
}

static std::string Compare(const std::wstring& text) {
    const std::optional<DWORD> expected = Model(text.c_str());
    const std::optional<DWORD> parsed = ParseStopTimeout(text.c_str());
    if (parsed == expected) return "";
    return "the stop timeout " + Describe(text) + " gives " + Shown(parsed) + ", the model " +
           Shown(expected);
}

std::string CheckStopTimeout(const std::uint8_t* data, std::size_t size) {
    return Compare(DecodeText(data, size));
}

std::string CheckEveryUnit() {
    for (unsigned unit = 1; unit <= 0xFFFF; ++unit) {
        const wchar_t c = static_cast<wchar_t>(unit);
        for (const std::wstring& text : {std::wstring{c, L'7'}, std::wstring{L'7', c}}) {
            std::string difference = Compare(text);
            if (!difference.empty()) return difference;
        }
    }
    return "";
}
