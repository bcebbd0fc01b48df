#include "setup/windows_messages.h"

#include "setup/model/windows_errors.h"

static std::wstring Message(DWORD source, LPCVOID module, DWORD code) {
    wchar_t buffer[1024];
    DWORD length = FormatMessageW(
        source | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK, module, code,
        /*dwLanguageId=*/0, buffer, sizeof(buffer) / sizeof(buffer[0]), /*Arguments=*/nullptr);
    std::wstring text(buffer, length);
    while (!text.empty() && (text.back() == L' ' || text.back() == L'\r' || text.back() == L'\n')) {
        text.pop_back();
    }
    return text;
}

std::wstring SystemMessageTemplate(DWORD error) {
    return Message(FORMAT_MESSAGE_FROM_SYSTEM, /*module=*/nullptr, error);
}

std::wstring SystemMessage(DWORD error) {
    return FillMessageInserts(SystemMessageTemplate(error), {});
}

std::wstring NtStatusMessage(DWORD status) {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (!ntdll) return L"";
    return Message(FORMAT_MESSAGE_FROM_HMODULE, ntdll, status);
}

std::wstring WindowsError(DWORD error) {
    return WindowsErrorText(error, SystemMessageTemplate);
}
