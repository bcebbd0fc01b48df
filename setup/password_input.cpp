#include "setup/password_input.h"

#include "setup/console.h"
#include "setup/model/text.h"

// The console's input mode before echo was turned off, for the handler
// that puts it back when Ctrl+C ends the program mid-line. Set before the
// handler is registered, read only after.
static HANDLE g_console;
static DWORD g_consoleMode;

// Runs on a thread of its own. FALSE: the default handler then ends the
// program, as it would have.
static BOOL WINAPI RestoreEcho(DWORD /*controlType*/) {
    SetConsoleMode(g_console, g_consoleMode);
    return FALSE;
}

void WipePassword(Password& password) {
    SecureZeroMemory(password.text, sizeof(password.text));
    password.length = 0;
}

// One character at a time, so that nothing of the line is left in a
// buffer of ours but the password itself.
static std::wstring ReadConsoleLine(HANDLE console, Password& password) {
    bool tooLong = false;
    for (;;) {
        wchar_t c = 0;
        DWORD read = 0;
        if (!ReadConsoleW(console, &c, 1, &read, /*pInputControl=*/nullptr) || read == 0) {
            return L"no password was typed.";  // Ctrl+C, or the console went away
        }
        if (c == L'\n') break;
        if (c == L'\r') continue;
        if (password.length == kMostPasswordCharacters) {
            tooLong = true;
        } else {
            password.text[password.length++] = c;
        }
        SecureZeroMemory(&c, sizeof(c));
    }
    password.text[password.length] = L'\0';
    return tooLong ? L"the password is longer than the 256 characters Windows takes." : L"";
}

static std::wstring ReadWithoutEcho(HANDLE console, DWORD mode, Password& password) {
    g_console = console;
    g_consoleMode = mode;
    SetConsoleCtrlHandler(RestoreEcho, /*Add=*/TRUE);
    SetConsoleMode(console, (mode & ~ENABLE_ECHO_INPUT) | ENABLE_LINE_INPUT |
                                ENABLE_PROCESSED_INPUT);
    std::wstring why = ReadConsoleLine(console, password);
    SetConsoleMode(console, mode);
    SetConsoleCtrlHandler(RestoreEcho, /*Add=*/FALSE);
    PrintError(L"\n");  // the line end that was typed, unseen
    return why;
}

// UTF-8 up to the first line end, byte by byte, so that nothing after the
// first line is taken from the script's input.
static std::wstring ReadFileLine(HANDLE input, Password& password) {
    char bytes[kMostPasswordCharacters * 4 + 3];
    std::size_t count = 0;
    bool ended = false;
    bool tooLong = false;
    for (;;) {
        char byte = 0;
        DWORD read = 0;
        if (!ReadFile(input, &byte, 1, &read, /*lpOverlapped=*/nullptr) || read == 0) break;
        ended = true;
        if (byte == '\n') break;
        if (count == sizeof(bytes)) {
            tooLong = true;
        } else {
            bytes[count++] = byte;
        }
    }
    if (count > 0 && bytes[count - 1] == '\r') --count;
    std::size_t start = 0;
    if (count >= 3 && bytes[0] == '\xEF' && bytes[1] == '\xBB' && bytes[2] == '\xBF') start = 3;
    int length = 0;
    if (!tooLong && count > start) {
        length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes + start,
                                     static_cast<int>(count - start), password.text,
                                     static_cast<int>(kMostPasswordCharacters));
        tooLong = length == 0 && GetLastError() == ERROR_INSUFFICIENT_BUFFER;
    }
    const bool decoded = length > 0 || count == start;
    SecureZeroMemory(bytes, sizeof(bytes));
    password.length = static_cast<std::size_t>(length);
    password.text[password.length] = L'\0';
    if (!ended) return L"standard input gave no password: it is empty.";
    if (tooLong) return L"the password is longer than the 256 characters Windows takes.";
    if (!decoded) return L"the first line of standard input is not UTF-8 text.";
    return L"";
}

std::wstring ReadPassword(const std::wstring& account, bool fromStandardInput,
                          Password& password) {
    password.length = 0;
    password.text[0] = L'\0';
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    const bool console = input && input != INVALID_HANDLE_VALUE && GetConsoleMode(input, &mode);
    std::wstring why;
    if (console) {
        if (!fromStandardInput) PrintError(L"Password for " + Printable(account) + L": ");
        why = ReadWithoutEcho(input, mode, password);
    } else if (fromStandardInput) {
        why = ReadFileLine(input, password);
    } else {
        return L"the user account " + Printable(account) + L" needs its password, and there is "
               L"no console to type it at. Give --password-stdin and the password as the first "
               L"line of standard input.";
    }
    if (why.empty() && password.length == 0) {
        why = L"the password is empty; Windows does not let a service log on with an empty one.";
    }
    if (!why.empty()) WipePassword(password);
    return why;
}
