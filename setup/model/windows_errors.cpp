#include "setup/model/windows_errors.h"

#include <cstdio>
#include <cwctype>

#include "setup/model/configuration_review.h"

static bool IsDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

// The length of a printf-style conversion at text[i] (just after its %):
// flags, width, precision, size prefixes, then the conversion letter; 0 if
// there is none.
static std::size_t PrintfInsertLength(const std::wstring& text, std::size_t i) {
    std::size_t j = i;
    while (j < text.size() && std::wstring(L"-+#0").find(text[j]) != std::wstring::npos) ++j;
    while (j < text.size() && (IsDigit(text[j]) || text[j] == L'.' || text[j] == L'*')) ++j;
    while (j < text.size() && std::wstring(L"hlLwIzjt").find(text[j]) != std::wstring::npos) {
        if (text[j] == L'I' && text.compare(j, 3, L"I64") == 0) j += 2;
        ++j;
    }
    if (j < text.size() && std::wstring(L"sScCdiuxXp").find(text[j]) != std::wstring::npos) {
        return j + 1 - i;
    }
    return 0;
}

// Blanks doubled, at either end, or before a mark that ends a clause, as a
// left-out insert leaves them.
static std::wstring TidyBlanks(const std::wstring& text) {
    std::wstring out;
    for (wchar_t c : text) {
        if (c == L' ' && (out.empty() || out.back() == L' ')) continue;
        if (std::wstring(L".,;:)").find(c) != std::wstring::npos && !out.empty() &&
            out.back() == L' ') {
            out.pop_back();
        }
        out += c;
    }
    while (!out.empty() && out.back() == L' ') out.pop_back();
    return out;
}

// Takes the next value into out, or leaves the insert out with a "0x"
// written right before it.
static void PutValue(const std::vector<std::wstring>& values, std::size_t index,
                     std::wstring& out) {
    if (index < values.size()) {
        out += values[index];
        return;
    }
    if (out.size() >= 2 && out.compare(out.size() - 2, 2, L"0x") == 0) out.resize(out.size() - 2);
}

std::wstring FillMessageInserts(const std::wstring& message,
                                const std::vector<std::wstring>& values) {
    std::wstring out;
    std::size_t printfIndex = 0;
    for (std::size_t i = 0; i < message.size(); ++i) {
        if (message[i] != L'%' || i + 1 >= message.size()) {
            out += message[i];
            continue;
        }
        const wchar_t next = message[i + 1];
        const std::size_t printfLength = PrintfInsertLength(message, i + 1);
        if (next == L'0' && printfLength == 0) break;
        if (next == L'%' || next == L'.' || next == L'!') {
            out += next;
            ++i;
        } else if (next == L'n' || next == L'r' || next == L't' || next == L'b') {
            out += L' ';
            ++i;
        } else if (IsDigit(next) && next != L'0') {
            std::size_t j = i + 1;
            std::size_t number = 0;
            while (j < message.size() && IsDigit(message[j]) && j < i + 3) {
                number = number * 10 + static_cast<std::size_t>(message[j++] - L'0');
            }
            if (j < message.size() && message[j] == L'!') {
                std::size_t close = message.find(L'!', j + 1);
                if (close != std::wstring::npos) j = close + 1;
            }
            PutValue(values, number - 1, out);
            i = j - 1;
        } else if (printfLength != 0) {
            PutValue(values, printfIndex++, out);
            i += printfLength;
        } else {
            out += message[i];
        }
    }
    return TidyBlanks(out);
}

std::wstring WindowsErrorText(DWORD error, MessageLookup system,
                              const std::vector<std::wstring>& values) {
    std::wstring text = FillMessageInserts(system(error), values);
    if (text.empty()) text = L"(Windows has no text for it.)";
    return L"Windows error " + std::to_wstring(error) + L": " + text;
}

// exit(-1) or a main that returns -2 reads as a code this high too; no
// status of an exception lies there, so such a code is the program's own.
constexpr DWORD kLeastSmallNegativeCode = 0xFFFF0000u;  // -65536

bool IsNtStatusError(DWORD code) {
    return code >= 0xC0000000u && code < kLeastSmallNegativeCode;
}

static std::wstring EightDigitHex(DWORD code) {
    wchar_t text[16];
    std::swprintf(text, 16, L"0x%08X", static_cast<unsigned>(code));
    return text;
}

// "4294967295 (0xFFFFFFFF, -1)": a small negative number also as the program
// gave it.
static std::wstring CodeInNumbers(DWORD code) {
    std::wstring text = std::to_wstring(code) + L" (" + EightDigitHex(code);
    if (code >= kLeastSmallNegativeCode) text += L", " + std::to_wstring(static_cast<long long>(code) - (1LL << 32));
    return text + L")";
}

static std::wstring OrNoText(const std::wstring& text) {
    return text.empty() ? L"no text" : text;
}

// The codes the launcher ends with for failures of its own, besides the
// program's: what it cannot find, open, read or start (a folder, the
// environment file, the program), its options refused, memory.
static bool LauncherMayEndWith(DWORD code) {
    switch (code) {
    case ERROR_FILE_NOT_FOUND: case ERROR_PATH_NOT_FOUND: case ERROR_ACCESS_DENIED:
    case ERROR_NOT_ENOUGH_MEMORY: case ERROR_INVALID_NAME:
    case 13:   // ERROR_INVALID_DATA: the environment file
    case 87:   // ERROR_INVALID_PARAMETER: its options
    case 193:  // ERROR_BAD_EXE_FORMAT: the program
    case 223:  // ERROR_FILE_TOO_LARGE: the environment file
    case 267:  // ERROR_DIRECTORY: the working folder
        return true;
    default: return false;
    }
}

std::wstring ExplainExitCode(DWORD win32ExitCode, DWORD serviceSpecificExitCode, Started started,
                             const std::wstring& program, const MessageLookups& lookups) {
    const DWORD code = serviceSpecificExitCode;
    const bool wrapped = started != Started::kByService;
    std::wstring text = std::to_wstring(win32ExitCode) + L": ";
    if (win32ExitCode == kServiceSpecificError) {
        const std::wstring number = CodeInNumbers(code);
        const std::wstring who = wrapped ? L"the program" : L"the service";
        if (IsNtStatusError(code)) {
            return text + who + L" crashed: it ended with status " + number + L", " +
                   OrNoText(FillMessageInserts(lookups.ntstatus(code), {}));
        }
        const bool launcherMay = started == Started::kByLauncher && LauncherMayEndWith(code);
        const std::wstring ended = launcherMay
                                       ? L"the program, or the launcher that runs it, ended with exit code "
                                       : who + L" ended with its own exit code ";
        std::wstring explained = text + ended + number + L", which as a Windows error reads: " +
                                 OrNoText(FillMessageInserts(lookups.system(code), {}));
        if (launcherMay) {
            explained += L" The launcher ends with such a code when it cannot make the log folder, "
                         L"read the environment file or start the program; its log, if it has "
                         L"one, says which.";
        }
        return explained;
    }
    std::wstring meaning =
        wrapped ? ExplainWrapperExitCode(win32ExitCode, started == Started::kByLauncher
                                                            ? L"the launcher"
                                                            : L"the program")
                : L"";
    if (meaning.empty()) meaning = FillMessageInserts(lookups.system(win32ExitCode), {program});
    return text + OrNoText(meaning);
}
