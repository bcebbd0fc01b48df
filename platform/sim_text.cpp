// The platform's case mapping, from the host's Unicode tables: the C.UTF-8
// locale maps every letter, where the plain C locale maps only ASCII.
#include "platform/platform.h"

#include <locale.h>
#include <wctype.h>

#include <cwchar>

#include "platform/sim_internal.h"

static wchar_t UpperUnit(wchar_t c) {
    static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(nullptr));
    if (!utf8 || static_cast<std::uint32_t>(c) > 0xFFFF) return c;
    const wint_t upper = towupper_l(static_cast<wint_t>(c), utf8);
    return upper > 0xFFFF ? c : static_cast<wchar_t>(upper);
}

int LCMapStringEx(LPCWSTR lpLocaleName, DWORD dwMapFlags, LPCWSTR lpSrcStr, int cchSrc,
                  LPWSTR lpDestStr, int cchDest, LPNLSVERSIONINFO, LPVOID, LPARAM) {
    if (dwMapFlags != LCMAP_UPPERCASE || !lpLocaleName || *lpLocaleName != L'\0') {
        sim::t_lastError = ERROR_INVALID_FLAGS;
        return 0;
    }
    if (!lpSrcStr || cchSrc == 0 || cchSrc < -1 || cchDest < 0) {
        sim::t_lastError = ERROR_INVALID_PARAMETER;
        return 0;
    }
    const int length = cchSrc == -1 ? static_cast<int>(std::wcslen(lpSrcStr)) + 1 : cchSrc;
    if (cchDest == 0) return length;
    if (cchDest < length) {
        sim::t_lastError = ERROR_INSUFFICIENT_BUFFER;
        return 0;
    }
    for (int i = 0; i < length; ++i) lpDestStr[i] = UpperUnit(lpSrcStr[i]);
    return length;
}
