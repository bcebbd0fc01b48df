#include "launcher/environment.h"

#include <algorithm>
#include <unordered_map>
#include <utility>

// One code point from strict UTF-8 at bytes[i], advancing i; -1 when the
// bytes there are not UTF-8 (overlong forms and surrogates included).
static long DecodeUtf8(const std::string& bytes, std::size_t& i) {
    const unsigned char lead = static_cast<unsigned char>(bytes[i++]);
    if (lead < 0x80) return lead;
    int more = 0;
    long point = 0;
    long least = 0;
    if ((lead & 0xE0) == 0xC0) {
        more = 1, point = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        more = 2, point = lead & 0x0F, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        more = 3, point = lead & 0x07, least = 0x10000;
    } else {
        return -1;
    }
    for (; more > 0; --more) {
        if (i == bytes.size()) return -1;
        const unsigned char next = static_cast<unsigned char>(bytes[i++]);
        if ((next & 0xC0) != 0x80) return -1;
        point = (point << 6) | (next & 0x3F);
    }
    if (point < least || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return -1;
    return point;
}

// One line's text as UTF-16; false if it is not UTF-8 or holds a NUL, which
// an environment block cannot carry.
static bool LineToWide(const std::string& line, std::wstring& wide) {
    wide.clear();
    for (std::size_t i = 0; i < line.size();) {
        const long point = DecodeUtf8(line, i);
        if (point <= 0) return false;
        if (point < 0x10000) {
            wide += static_cast<wchar_t>(point);
        } else {
            wide += static_cast<wchar_t>(0xD800 + ((point - 0x10000) >> 10));
            wide += static_cast<wchar_t>(0xDC00 + ((point - 0x10000) & 0x3FF));
        }
    }
    return true;
}

static bool IsBlankOrComment(const std::wstring& line) {
    const std::size_t first = line.find_first_not_of(L" \t");
    return first == std::wstring::npos || line[first] == L'#';
}

// Why a line is no NAME=VALUE pair, or empty.
static std::wstring PairProblem(const std::wstring& line) {
    const std::size_t equals = line.find(L'=');
    if (equals == std::wstring::npos || equals == 0) return L"the line is not NAME=VALUE";
    if (NameHasBlankAround(line)) {
        return L"the name has a blank before or after it; write NAME=VALUE with nothing around the name";
    }
    if (line.find(L'\r') != std::wstring::npos) {
        return L"the line holds a carriage return that does not end it; save the file with Windows or Unix line ends";
    }
    return L"";
}

static EnvironmentFile RefuseLine(unsigned number, std::wstring error) {
    return EnvironmentFile{false, {}, number, std::move(error)};
}

EnvironmentFile ParseEnvironmentFile(const std::string& bytes) {
    EnvironmentFile file{true, {}, 0, L""};
    std::size_t start = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    std::wstring line;
    for (unsigned number = 1; start < bytes.size(); ++number) {
        std::size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        std::string text = bytes.substr(start, end - start);
        start = end + 1;
        if (!text.empty() && text.back() == '\r') text.pop_back();
        if (!LineToWide(text, line)) return RefuseLine(number, L"the line is not UTF-8 text");
        if (IsBlankOrComment(line)) continue;
        std::wstring problem = PairProblem(line);
        if (!problem.empty()) return RefuseLine(number, std::move(problem));
        file.pairs.push_back(line);
    }
    return file;
}

// An entry's name: up to its first '=' after the first character, so that
// the per-drive entries (=C:=C:\dir) are named =C:.
static std::wstring EntryName(const std::wstring& entry) {
    const std::size_t equals = entry.find(L'=', 1);
    return entry.substr(0, equals);
}

// Windows compares names without regard to case; ASCII folding covers the
// names programs use.
static std::wstring FoldedName(const std::wstring& entry) {
    std::wstring name = EntryName(entry);
    for (wchar_t& c : name) {
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    }
    return name;
}

// Each name is looked up once, by its folded form: a file of many thousand
// pairs, up to the size the launcher reads, merges at once.
std::vector<std::wstring> MergeEnvironment(const std::vector<std::wstring>& own,
                                           const std::vector<std::wstring>& commandLine,
                                           const std::vector<std::wstring>& file) {
    std::vector<std::pair<std::wstring, std::wstring>> named;  // folded name, entry
    std::unordered_map<std::wstring, std::size_t> byName;
    for (const auto* source : {&own, &commandLine, &file}) {
        for (const std::wstring& entry : *source) {
            std::wstring name = FoldedName(entry);
            const auto found = byName.emplace(name, named.size());
            if (found.second) {
                named.emplace_back(std::move(name), entry);
            } else {
                named[found.first->second].second = entry;
            }
        }
    }
    std::stable_sort(named.begin(), named.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::wstring> entries;
    entries.reserve(named.size());
    for (auto& pair : named) entries.push_back(std::move(pair.second));
    return entries;
}

std::wstring EnvironmentBlock(const std::vector<std::wstring>& entries) {
    std::wstring block;
    for (const std::wstring& entry : entries) {
        block += entry;
        block += L'\0';
    }
    block += L'\0';
    if (entries.empty()) block += L'\0';  // an empty block is still two NULs
    return block;
}

std::vector<std::wstring> SplitEnvironmentBlock(const wchar_t* block) {
    std::vector<std::wstring> entries;
    for (const wchar_t* p = block; *p; p += entries.back().size() + 1) entries.emplace_back(p);
    return entries;
}
