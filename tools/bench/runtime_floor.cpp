// Built like the wrapper (static C++ runtime, unused sections dropped,
// stripped) and using the same parts of the runtime: wide strings, a mutex,
// operator new with the exceptions it throws, wcstoul. It does nothing else,
// so its size is what those parts cost, and the wrapper's size beside it is
// what the wrapper's own code adds. scripts/bench checks from the link maps
// that both pull in the same runtime archive members.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cerrno>
#include <cwchar>
#include <mutex>
#include <new>
#include <optional>
#include <string>

static std::mutex g_lock;

static std::optional<DWORD> Read(const std::wstring& text) {
    wchar_t* end = nullptr;
    errno = 0;
    unsigned long value = std::wcstoul(text.c_str(), &end, 10);
    if (end == text.c_str() || errno == ERANGE) return std::nullopt;
    return static_cast<DWORD>(value);
}

extern "C" int wmain(int argc, wchar_t** argv) {
    try {
        std::wstring text = argc > 1 ? argv[1] : L"";
        text += L' ';
        std::lock_guard<std::mutex> hold(g_lock);
        std::optional<DWORD> value = Read(text);
        return value ? int(*value) : ERROR_BAD_ARGUMENTS;
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    } catch (...) {
        return ERROR_GEN_FAILURE;
    }
}
