#include "setup/model/service_sid.h"

#include "platform/platform.h"
#include "setup/model/service_config.h"

static std::uint32_t RotateLeft(std::uint32_t value, unsigned bits) {
    return (value << bits) | (value >> (32 - bits));
}

static void Sha1Block(const std::uint8_t* block, std::array<std::uint32_t, 5>& h) {
    std::uint32_t w[80];
    for (int i = 0; i < 16; ++i) {
        w[i] = std::uint32_t(block[4 * i]) << 24 | std::uint32_t(block[4 * i + 1]) << 16 |
               std::uint32_t(block[4 * i + 2]) << 8 | std::uint32_t(block[4 * i + 3]);
    }
    for (int i = 16; i < 80; ++i) w[i] = RotateLeft(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
    std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
    for (int i = 0; i < 80; ++i) {
        std::uint32_t f = 0, k = 0;
        if (i < 20) {
            f = (b & c) | (~b & d), k = 0x5A827999;
        } else if (i < 40) {
            f = b ^ c ^ d, k = 0x6ED9EBA1;
        } else if (i < 60) {
            f = (b & c) | (b & d) | (c & d), k = 0x8F1BBCDC;
        } else {
            f = b ^ c ^ d, k = 0xCA62C1D6;
        }
        const std::uint32_t next = RotateLeft(a, 5) + f + e + k + w[i];
        e = d, d = c, c = RotateLeft(b, 30), b = a, a = next;
    }
    h[0] += a, h[1] += b, h[2] += c, h[3] += d, h[4] += e;
}

std::array<std::uint8_t, 20> Sha1(const std::string& bytes) {
    std::array<std::uint32_t, 5> h = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    std::string padded = bytes + '\x80';
    while (padded.size() % 64 != 56) padded += '\0';
    const std::uint64_t bits = std::uint64_t(bytes.size()) * 8;
    for (int shift = 56; shift >= 0; shift -= 8) padded += char((bits >> shift) & 0xFF);
    for (std::size_t at = 0; at < padded.size(); at += 64) {
        Sha1Block(reinterpret_cast<const std::uint8_t*>(padded.data() + at), h);
    }
    std::array<std::uint8_t, 20> digest{};
    for (int i = 0; i < 20; ++i) digest[i] = std::uint8_t(h[i / 4] >> (24 - 8 * (i % 4)));
    return digest;
}

// The name as UTF-16LE code units; the host's wchar_t holds whole code
// points, which are split into surrogates here as Windows stores them.
static std::string Utf16LeBytes(const std::wstring& text) {
    std::string bytes;
    auto unit = [&bytes](std::uint32_t u) {
        bytes += char(u & 0xFF);
        bytes += char((u >> 8) & 0xFF);
    };
    for (wchar_t c : text) {
        const std::uint32_t point = static_cast<std::uint32_t>(c);
        if (point > 0xFFFF) {
            unit(0xD800 + ((point - 0x10000) >> 10));
            unit(0xDC00 + ((point - 0x10000) & 0x3FF));
        } else {
            unit(point);
        }
    }
    return bytes;
}

// Windows upper-cases the name by its own table, the same in every locale,
// non-ASCII letters included; the invariant locale's mapping is that table.
// The one platform call of the model: no table of our own could match it.
static std::wstring UpperAsWindows(const std::wstring& name) {
    std::wstring upper = name;
    if (name.empty()) return upper;
    const int length = static_cast<int>(name.size());
    if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, name.c_str(), length, &upper[0],
                      length, nullptr, nullptr, 0) != length) {
        for (wchar_t& c : upper) c = c >= L'a' && c <= L'z' ? wchar_t(c - L'a' + L'A') : c;
    }
    return upper;
}

std::wstring ServiceSidOf(const std::wstring& serviceName) {
    const std::wstring upper = UpperAsWindows(serviceName);
    const std::array<std::uint8_t, 20> digest = Sha1(Utf16LeBytes(upper));
    std::wstring sid = L"S-1-5-80";
    for (int i = 0; i < 5; ++i) {
        const std::uint32_t part = std::uint32_t(digest[4 * i]) |
                                   std::uint32_t(digest[4 * i + 1]) << 8 |
                                   std::uint32_t(digest[4 * i + 2]) << 16 |
                                   std::uint32_t(digest[4 * i + 3]) << 24;
        sid += L"-" + std::to_wstring(part);
    }
    return sid;
}

std::optional<std::wstring> SidOfBuiltInAccount(const std::wstring& account) {
    switch (AccountKindOf(account)) {
    case AccountKind::LocalSystem: return std::wstring(L"S-1-5-18");
    case AccountKind::LocalService: return std::wstring(L"S-1-5-19");
    case AccountKind::NetworkService: return std::wstring(L"S-1-5-20");
    case AccountKind::Virtual: return ServiceSidOf(account.substr(account.find(L'\\') + 1));
    case AccountKind::GroupManaged:
    case AccountKind::User: break;
    }
    return std::nullopt;
}
