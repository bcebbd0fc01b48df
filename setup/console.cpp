#include "setup/console.h"

#include <algorithm>

#include "setup/model/console_bytes.h"

static void WriteToConsole(HANDLE console, const std::wstring& text) {
    const wchar_t* next = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        // Consoles take a limited amount per call.
        DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(left, 8192));
        DWORD written = 0;
        if (!WriteConsoleW(console, next, chunk, &written, /*lpReserved=*/nullptr) ||
            written == 0) {
            return;
        }
        next += written;
        left -= written;
    }
}

static void WriteToFile(HANDLE file, const std::wstring& text) {
    std::wstring lines;
    lines.reserve(text.size() + text.size() / 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\n' && (i == 0 || text[i - 1] != L'\r')) lines += L'\r';
        lines += text[i];
    }
    if (lines.empty()) return;
    int bytes = WideCharToMultiByte(CP_UTF8, 0, lines.data(), static_cast<int>(lines.size()),
                                    nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return;
    std::string utf8(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, lines.data(), static_cast<int>(lines.size()), &utf8[0], bytes,
                        nullptr, nullptr);
    const char* next = utf8.data();
    DWORD left = static_cast<DWORD>(utf8.size());
    while (left > 0) {
        DWORD written = 0;
        if (!WriteFile(file, next, left, &written, /*lpOverlapped=*/nullptr) || written == 0) {
            return;
        }
        next += written;
        left -= written;
    }
}

// Nowhere to write (no standard handle) is not worth failing for.
static void Write(DWORD stream, const std::wstring& text) {
    HANDLE handle = GetStdHandle(stream);
    if (!handle || handle == INVALID_HANDLE_VALUE) return;
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode)) {
        WriteToConsole(handle, text);
    } else {
        WriteToFile(handle, text);
    }
}

void PrintOut(const std::wstring& text) {
    Write(STD_OUTPUT_HANDLE, text);
}

void PrintError(const std::wstring& text) {
    Write(STD_ERROR_HANDLE, text);
}

static void WriteBytes(HANDLE file, const std::string& bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        const DWORD ask = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 20));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data() + done, ask, &written, /*lpOverlapped=*/nullptr) ||
            written == 0) {
            return;
        }
        done += written;
    }
}

static std::wstring FromUtf8(const std::string& text) {
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    if (length <= 0) return L"";
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), size, &wide[0], length);
    return wide;
}

void PrintOutBytes(const std::string& bytes, std::string& carry, bool last) {
    HANDLE handle = GetStdHandle(STD_OUTPUT_HANDLE);
    if (!handle || handle == INVALID_HANDLE_VALUE) return;
    DWORD mode = 0;
    if (!GetConsoleMode(handle, &mode)) {
        WriteBytes(handle, bytes);
        return;
    }
    for (const ByteRun& run : SplitUtf8Runs(carry, bytes, last)) {
        if (run.utf8) {
            WriteToConsole(handle, FromUtf8(SpelledOutControls(run.bytes)));
        } else {
            WriteBytes(handle, run.bytes);
        }
    }
}
