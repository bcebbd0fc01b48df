#include "setup/model/name_rules.h"

#include <cstdint>
#include <cstdio>

#include "setup/model/text.h"

namespace {

struct Range {
    std::uint32_t first;
    std::uint32_t last;
};
// Unicode's format characters (general category Cf), the characters that
// render as nothing (combining grapheme joiner, Hangul and Khmer fillers),
// and the blanks other than U+0020.
const Range kInvisible[] = {
    {0x00A0, 0x00A0}, {0x00AD, 0x00AD}, {0x034F, 0x034F}, {0x0600, 0x0605},
    {0x061C, 0x061C}, {0x06DD, 0x06DD}, {0x070F, 0x070F}, {0x08E2, 0x08E2},
    {0x115F, 0x1160}, {0x17B4, 0x17B5}, {0x180E, 0x180E}, {0x2000, 0x200F},
    {0x202A, 0x202F}, {0x205F, 0x206F}, {0x3000, 0x3000}, {0x3164, 0x3164},
    {0xFEFF, 0xFEFF}, {0xFFA0, 0xFFA0}, {0xFFF9, 0xFFFB}, {0x110BD, 0x110BD},
    {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0001, 0xE0001}, {0xE0020, 0xE007F},
};

const wchar_t* const kDeviceNames[] = {L"con", L"prn", L"aux", L"nul", L"conin$", L"conout$"};

bool IsInvisible(std::uint32_t c) {
    for (const Range& range : kInvisible) {
        if (c >= range.first && c <= range.last) return true;
    }
    return false;
}

bool IsDeviceName(const std::wstring& lower) {
    for (const wchar_t* device : kDeviceNames) {
        if (lower == device) return true;
    }
    return lower.size() == 4 && (lower.compare(0, 3, L"com") == 0 || lower.compare(0, 3, L"lpt") == 0) &&
           lower[3] >= L'0' && lower[3] <= L'9';
}

}  // namespace

std::wstring ReservedNameProblem(const std::wstring& name) {
    if (name == L"." || name == L"..") {
        return L"the service's name \"" + name + L"\" names a folder itself to every file tool.";
    }
    // Windows reads NUL.txt and "NUL " as the device too.
    std::wstring base = LowerAscii(name.substr(0, name.find(L'.')));
    while (!base.empty() && base.back() == L' ') base.pop_back();
    if (!IsDeviceName(base)) return L"";
    return L"the service's name \"" + Printable(name) + L"\" is the name of a device (" +
           name.substr(0, base.size()) +
           L"), which Windows opens in place of any file or folder of that name.";
}

std::wstring FirstInvisibleCharacter(const std::wstring& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t c = static_cast<std::uint32_t>(text[i]);
        // UTF-16 on Windows: a pair of surrogates is one character.
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<std::uint32_t>(text[i + 1]) - 0xDC00);
            ++i;
        }
        if (!IsInvisible(c)) continue;
        wchar_t code[16];
        std::swprintf(code, 16, L"U+%04X", static_cast<unsigned>(c));
        return code;
    }
    return L"";
}

bool HoldsLineBreak(const std::wstring& text) {
    return text.find_first_of(L"\n\r\v\f\x85\x2028\x2029") != std::wstring::npos;
}
