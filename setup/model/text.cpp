#include "setup/model/text.h"

#include <cstdint>
#include <cstdio>

std::wstring LowerAscii(std::wstring text) {
    for (wchar_t& c : text) {
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    }
    return text;
}

bool SameIgnoringCase(const std::wstring& a, const std::wstring& b) {
    return a.size() == b.size() && LowerAscii(a) == LowerAscii(b);
}

std::wstring FileNameOf(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

bool TakenAsWritten(const std::wstring& path) {
    return path.compare(0, 4, L"\\\\?\\") == 0;
}

std::wstring JoinWords(const std::vector<std::wstring>& words) {
    std::wstring text;
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (i > 0) text += i + 1 == words.size() ? L" and " : L", ";
        text += words[i];
    }
    return text;
}

static void AppendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

static bool IsHighSurrogate(std::uint32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

static bool IsLowSurrogate(std::uint32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

std::string ToUtf8(const std::wstring& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t c = static_cast<std::uint32_t>(text[i]);
        if (IsHighSurrogate(c) && i + 1 < text.size() &&
            IsLowSurrogate(static_cast<std::uint32_t>(text[i + 1]))) {
            std::uint32_t low = static_cast<std::uint32_t>(text[++i]);
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        } else if (IsHighSurrogate(c) || IsLowSurrogate(c) || c > 0x10FFFF) {
            c = 0xFFFD;
        }
        AppendUtf8(out, c);
    }
    return out;
}

static bool IsControl(wchar_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}

std::wstring Printable(const std::wstring& text) {
    std::wstring out;
    out.reserve(text.size());
    for (wchar_t c : text) {
        if (!IsControl(c)) {
            out += c;
        } else if (c == L'\t') {
            out += L"<TAB>";
        } else if (c == L'\n') {
            out += L"<LF>";
        } else if (c == L'\r') {
            out += L"<CR>";
        } else {
            wchar_t mark[16];
            std::swprintf(mark, 16, L"<U+%04X>", static_cast<unsigned>(c));
            out += mark;
        }
    }
    return out;
}

std::wstring Bracketed(const std::wstring& text) {
    return L"[" + Printable(text) + L"]";
}

std::wstring WarningLine(const std::wstring& text) {
    return L"Warning: " + text + L"\n";
}

std::wstring NoteLine(const std::wstring& text) {
    return L"Note: " + text + L"\n";
}
