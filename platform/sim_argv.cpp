// The platform's command line, its splitting and the runtime's wcstoul, as
// the host build simulates them.
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "platform/sim_internal.h"

static bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t';
}

// The program name takes no escapes: a quoted one runs to the next quotation
// mark, which is dropped, and whatever follows it starts the next element even
// without a blank; an unquoted one runs to the first blank, its quotation
// marks kept as they are.
static const wchar_t* TakeProgram(const wchar_t* s, std::wstring& program) {
    if (*s != L'"') {
        while (*s && !IsBlank(*s)) program += *s++;
        return s;
    }
    ++s;
    while (*s && *s != L'"') program += *s++;
    return *s ? s + 1 : s;
}

// One element after the program. Backslashes count only before a quotation
// mark: 2n of them give n and leave the mark to quote, 2n+1 give n and a
// literal mark. A run of unescaped marks counts in threes together with the
// mark that opened the quoted part, if one is open: each full three gives a
// literal mark, one left over leaves a quoted part open, two close it. So ""
// inside quotes gives a mark and ends the quoted part.
static const wchar_t* TakeArgument(const wchar_t* s, std::wstring& argument) {
    bool quoted = false;
    while (*s && (quoted || !IsBlank(*s))) {
        std::size_t backslashes = 0;
        while (*s == L'\\') {
            ++backslashes;
            ++s;
        }
        if (*s != L'"') {
            argument.append(backslashes, L'\\');
            if (backslashes == 0) argument += *s++;
            continue;
        }
        argument.append(backslashes / 2, L'\\');
        int marks = quoted ? 1 : 0;
        if (backslashes % 2 == 1) {
            argument += L'"';
        } else {
            ++marks;
        }
        ++s;
        for (; *s == L'"'; ++s) ++marks;
        argument.append(marks / 3, L'"');
        quoted = marks % 3 == 1;
    }
    return s;
}

std::vector<std::wstring> sim::SplitCommandLine(const wchar_t* line, const std::wstring& modulePath) {
    if (!line || !*line) return {modulePath};
    std::vector<std::wstring> elements(1);
    const wchar_t* s = TakeProgram(line, elements[0]);
    for (;;) {
        while (IsBlank(*s)) ++s;
        if (!*s) return elements;
        elements.emplace_back();
        s = TakeArgument(s, elements.back());
    }
}

// What the runtime skips before a number: the platform's white space, which
// is more than the ASCII blanks and controls.
static bool IsRuntimeSpace(wchar_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
           c == 0x205F || c == 0x3000;
}

// The runtime reads the decimal digits of several scripts besides ASCII (the
// Arabic-Indic ٣ is 3); digits above 9 are ASCII letters only. -1 for none.
static int DigitValue(wchar_t c) {
    static const wchar_t kZeros[] = {
        0x0030, 0x0660, 0x06F0, 0x0966, 0x09E6, 0x0A66, 0x0AE6, 0x0B66, 0x0C66, 0x0CE6,
        0x0D66, 0x0E50, 0x0ED0, 0x0F20, 0x1040, 0x17E0, 0x1810, 0xFF10,
    };
    for (wchar_t zero : kZeros) {
        if (c >= zero && c <= zero + 9) return c - zero;
    }
    if (c >= L'a' && c <= L'z') return c - L'a' + 10;
    if (c >= L'A' && c <= L'Z') return c - L'A' + 10;
    return -1;
}

// unsigned long is 32 bits in the Windows runtime. A magnitude beyond that
// gives ERANGE and the largest value, or 1 under a minus sign (the largest
// value negated); within it, a minus sign negates modulo 2^32.
unsigned long crt::wcstoul(const wchar_t* text, wchar_t** end, int base) {
    constexpr std::uint64_t kMax = 0xFFFFFFFFu;
    if (base < 0 || base == 1 || base > 36) {
        errno = EINVAL;
        return 0;
    }
    const wchar_t* p = text;
    while (IsRuntimeSpace(*p)) ++p;
    const bool negative = *p == L'-';
    if (*p == L'-' || *p == L'+') ++p;
    if ((base == 0 || base == 16) && DigitValue(p[0]) == 0 && (p[1] == L'x' || p[1] == L'X')) {
        base = 16;
        p += 2;
    }
    if (base == 0) base = DigitValue(*p) == 0 ? 8 : 10;

    const wchar_t* digits = p;
    std::uint64_t magnitude = 0;  // held at kMax + 1 once past the range
    for (int digit = DigitValue(*p); digit >= 0 && digit < base; digit = DigitValue(*++p)) {
        magnitude = magnitude * base + digit;
        if (magnitude > kMax) magnitude = kMax + 1;
    }
    // With no digits the end is the start of the text, even past blanks and a sign.
    if (end) *end = const_cast<wchar_t*>(p == digits ? text : p);
    if (magnitude > kMax) {
        errno = ERANGE;
        return negative ? 1 : kMax;
    }
    return negative ? (kMax + 1 - magnitude) & kMax : magnitude;
}

using sim::CallScope;
using sim::g_sim;
using sim::g_simLock;

LPWSTR GetCommandLineW() {
    CallScope call("GetCommandLineW");
    std::lock_guard<std::mutex> held(g_simLock);
    return &g_sim.commandLine[0];
}

LPWSTR* CommandLineToArgvW(LPCWSTR lpCmdLine, int* pNumArgs) {
    CallScope call("CommandLineToArgvW");
    if (call.Injected() || !pNumArgs) {
        call.Fail(call.Injected() ? call.InjectedError() : ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::wstring modulePath;
    {
        std::lock_guard<std::mutex> held(g_simLock);
        modulePath = g_sim.modulePath;
    }
    std::vector<std::wstring> elements = sim::SplitCommandLine(lpCmdLine, modulePath);
    // One block, as the platform gives it: the pointers, then the strings.
    std::size_t bytes = (elements.size() + 1) * sizeof(LPWSTR);
    for (const std::wstring& e : elements) bytes += (e.size() + 1) * sizeof(WCHAR);
    auto* block = static_cast<unsigned char*>(std::malloc(bytes));
    auto** vector = reinterpret_cast<LPWSTR*>(block);
    auto* text = reinterpret_cast<WCHAR*>(block + (elements.size() + 1) * sizeof(LPWSTR));
    for (std::size_t i = 0; i < elements.size(); ++i) {
        vector[i] = text;
        std::memcpy(text, elements[i].c_str(), (elements[i].size() + 1) * sizeof(WCHAR));
        text += elements[i].size() + 1;
    }
    vector[elements.size()] = nullptr;
    *pNumArgs = static_cast<int>(elements.size());
    std::lock_guard<std::mutex> held(g_simLock);
    g_sim.localAllocs[block] = bytes;
    return vector;
}

HLOCAL LocalFree(HLOCAL hMem) {
    CallScope call("LocalFree");
    if (!hMem) return nullptr;
    std::unique_lock<std::mutex> held(g_simLock);
    auto it = g_sim.localAllocs.find(hMem);
    if (it == g_sim.localAllocs.end()) {
        sim::Problem("LocalFree was given memory that is not allocated");
        held.unlock();
        call.Fail(ERROR_INVALID_HANDLE);
        return hMem;
    }
    std::free(it->first);
    g_sim.localAllocs.erase(it);
    ++g_sim.localFrees;
    held.unlock();
    if (call.Injected()) {
        call.Fail(call.InjectedError());
        return hMem;
    }
    return nullptr;
}

