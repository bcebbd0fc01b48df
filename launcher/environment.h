// The program's environment: the launcher's own, then the pairs from its
// command line, then those of an environment file, a later pair replacing an
// earlier one of the same name. Values are taken literally.
#pragma once

#include <string>
#include <vector>

struct EnvironmentFile {
    bool ok;
    std::vector<std::wstring> pairs;  // NAME=VALUE, in file order
    unsigned errorLine;               // 1-based; 0 when ok
    std::wstring error;               // in plain words
};

// The file's bytes: UTF-8, an optional byte order mark, lines ending in LF or
// CRLF, blank lines and lines whose first character past blanks is # ignored.
// A line that is not NAME=VALUE with a name and no blank around it, holds a
// lone carriage return, or is not UTF-8, fails the whole file.
EnvironmentFile ParseEnvironmentFile(const std::string& bytes);

// Whether a NAME=VALUE pair's name starts or ends with a blank: "A = 1" names
// a variable "A " no program asks for, where A was most likely meant. Both
// the launcher and the setup program refuse such a pair.
inline bool NameHasBlankAround(const std::wstring& pair) {
    const std::size_t equals = pair.find(L'=');
    if (equals == std::wstring::npos || equals == 0) return false;
    const wchar_t first = pair[0], last = pair[equals - 1];
    return first == L' ' || first == L'\t' || last == L' ' || last == L'\t';
}

// Entries as NAME=VALUE (entries of the launcher's own block may start with
// '=', as the per-drive folders do; they are kept as they are). Names match
// whatever their case, and a later entry replaces an earlier one whole. The
// result is sorted by name, case folded, as the platform expects of an
// environment block.
std::vector<std::wstring> MergeEnvironment(const std::vector<std::wstring>& own,
                                           const std::vector<std::wstring>& commandLine,
                                           const std::vector<std::wstring>& file);

// The block CreateProcessW takes with CREATE_UNICODE_ENVIRONMENT: each entry
// ended by a NUL, the whole ended by one more.
std::wstring EnvironmentBlock(const std::vector<std::wstring>& entries);

// The entries of a block as GetEnvironmentStringsW gives it.
std::vector<std::wstring> SplitEnvironmentBlock(const wchar_t* block);
