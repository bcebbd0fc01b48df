// Linked into a benchmark-only build of the wrapper, never shipped. The
// wrapper's objects reach CommandLineToArgvW through its import slot
// (shellapi.h declares the function dllimport); defining that slot here
// takes the place of shell32's, so the same objects load shell32 for the one
// split and release it after. The difference in a running wrapper's
// footprint is what keeping shell32, and what it brings, loaded costs.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

using SplitFunction = LPWSTR*(WINAPI*)(LPCWSTR, int*);

static LPWSTR* WINAPI SplitWithShell32OnDemand(LPCWSTR lpCmdLine, int* pNumArgs) {
    HMODULE shell32 = LoadLibraryW(L"shell32.dll");
    if (!shell32) return nullptr;
    auto split = reinterpret_cast<SplitFunction>(
        reinterpret_cast<void*>(GetProcAddress(shell32, "CommandLineToArgvW")));
    LPWSTR* elements = split ? split(lpCmdLine, pNumArgs) : nullptr;
    // The vector comes from LocalAlloc and outlives shell32; keep the
    // split's error for the caller across the release.
    DWORD error = GetLastError();
    FreeLibrary(shell32);
    SetLastError(error);
    return elements;
}

SplitFunction g_commandLineToArgvWSlot asm("__imp_CommandLineToArgvW") = SplitWithShell32OnDemand;
