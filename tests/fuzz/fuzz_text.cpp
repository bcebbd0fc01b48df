#include <cstdio>
#include <cstdlib>

#include "tests/fuzz/fuzz_checks.h"

// The length of the well-formed UTF-8 sequence that starts with a byte above
// 0x7F, and its code point; 0 if there is none.
static std::size_t DecodeSequence(const std::uint8_t* data, std::size_t size, char32_t& point) {
    static const char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};  // shorter forms are overlong
    const std::uint8_t lead = data[0];
    std::size_t length = 0;
    if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
    } else if (lead >= 0xE0 && lead < 0xF0) {
        length = 3;
    } else if (lead >= 0xC2 && lead < 0xE0) {
        length = 2;
    } else {
        return 0;
    }
    if (length > size) return 0;
    point = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((data[i] & 0xC0) != 0x80) return 0;
        point = point << 6 | (data[i] & 0x3F);
    }
    if (point < kLeast[length] || point > 0x10FFFF) return 0;
    return length;
}

std::wstring DecodeText(const std::uint8_t* data, std::size_t size) {
    std::wstring text;
    for (std::size_t i = 0; i < size;) {
        char32_t point = 0;
        if (data[i] < 0x80) {
            text += static_cast<wchar_t>(data[i++]);
        } else if (std::size_t length = DecodeSequence(data + i, size - i, point)) {
            if (point >= 0x10000) {
                point -= 0x10000;
                text += static_cast<wchar_t>(0xD800 + (point >> 10));
                text += static_cast<wchar_t>(0xDC00 + (point & 0x3FF));
            } else {
                text += static_cast<wchar_t>(point);
            }
            i += length;
        } else {
            text += static_cast<wchar_t>(0xDC00 + data[i++]);
        }
    }
    return text;
}

std::string Describe(const std::wstring& text) {
    std::string described;
    for (wchar_t unit : text) {
        if (unit >= 0x20 && unit < 0x7F) {
            described += static_cast<char>(unit);
        } else {
            char code[16];
            std::snprintf(code, sizeof(code), "<U+%04X>", static_cast<unsigned>(unit));
            described += code;
        }
    }
    return described;
}

std::string Describe(const std::vector<std::wstring>& elements) {
    std::string described;
    for (const std::wstring& element : elements) described += "[" + Describe(element) + "]";
    return described;
}

void Judge(const std::string& difference) {
    if (difference.empty()) return;
    std::fprintf(stderr, "%s\n", difference.c_str());
    std::abort();
}
