#include "child/wrapper_arguments.h"

#include <cerrno>
#include <cwchar>

std::optional<WrapperArguments> ParseWrapperArguments() {
    int count = 0;
    LPWSTR* elements = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!elements) return std::nullopt;
    return WrapperArguments{elements, count};
}

std::optional<DWORD> ParseStopTimeout(LPCWSTR text) {
    const std::wstring copy(text);  // may throw std::bad_alloc; the caller's guard takes it
    wchar_t* end = nullptr;
    errno = 0;
    const unsigned long value = crt::wcstoul(copy.c_str(), &end, 10);
    if (end == copy.c_str()) return std::nullopt;
    if (errno == ERANGE) return std::nullopt;
    return static_cast<DWORD>(value);
}

bool CanQuoteProgram(LPCWSTR program) {
    return std::wcschr(program, L'"') == nullptr;
}

// Inside quotation marks the platform's splitting reads backslashes as escapes
// only in a run that reaches a quotation mark: such runs are doubled, plus one
// backslash to make an inner mark literal. A run at the end of the element
// reaches the closing mark, so it is doubled too.
void AppendQuotedArgument(std::wstring& line, LPCWSTR argument) {
    line += L'"';
    std::size_t backslashes = 0;
    for (const wchar_t* p = argument; *p; ++p) {
        if (*p == L'\\') {
            ++backslashes;
            continue;
        }
        line.append(*p == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        line += *p;
        backslashes = 0;
    }
    line.append(2 * backslashes, L'\\');
    line += L'"';
}

// The program goes in verbatim: the platform reads a quoted program name up to
// the next quotation mark and takes no escapes in it.
std::wstring BuildChildCommandLine(const LPWSTR* elements, int count) {
    std::wstring line = L"\"";
    line += elements[2];
    line += L'"';
    for (int i = 3; i < count; ++i) {
        line += L' ';
        AppendQuotedArgument(line, elements[i]);
    }
    return line;
}

// A bare element ends at a blank; quotation marks and an empty element need
// quoting too. Newlines and vertical tabs are quoted as well: some splitters
// take them for blanks, and quoting them costs nothing.
void AppendArgument(std::wstring& line, const std::wstring& argument) {
    if (argument.empty() || argument.find_first_of(L" \t\n\v\r\"") != std::wstring::npos) {
        AppendQuotedArgument(line, argument.c_str());
        return;
    }
    line += argument;  // outside quotation marks backslashes are literal
}

// cmd.exe, which runs a batch file, ends a word or a command at these.
static const wchar_t kCmdSpecials[] = L"&|<>^(),;=";

static bool HoldsCmdSpecial(const std::wstring& text) {
    return text.find_first_of(kCmdSpecials) != std::wstring::npos;
}

bool NamesBatchFile(const std::wstring& program) {
    const std::size_t end = program.find_last_not_of(L". ");
    if (end == std::wstring::npos || end < 3) return false;
    std::wstring extension = program.substr(end - 3, 4);
    for (wchar_t& c : extension) {
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    }
    return extension == L".bat" || extension == L".cmd";
}

std::wstring ComposeCommandLine(const std::vector<std::wstring>& elements) {
    std::wstring line;
    if (elements.empty()) return line;
    const std::wstring& program = elements[0];
    const bool quote = program.empty() || program.find_first_of(L" \t") != std::wstring::npos ||
                       HoldsCmdSpecial(program);
    if (quote) line += L'"';
    line += program;
    if (quote) line += L'"';
    // cmd.exe reads a batch file's arguments itself: bare, & would end the
    // batch's command and run the rest as another.
    const bool batch = NamesBatchFile(program);
    for (std::size_t i = 1; i < elements.size(); ++i) {
        line += L' ';
        if (batch && HoldsCmdSpecial(elements[i])) {
            AppendQuotedArgument(line, elements[i].c_str());
        } else {
            AppendArgument(line, elements[i]);
        }
    }
    return line;
}
