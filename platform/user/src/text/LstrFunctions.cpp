// lstrlen, lstrcmp, lstrcmpi and lstrcpyn.
#include "standin/text.h"
#include "text/AnsiText.h"
#include "um/winbase.h"

#include <string>
#include <string_view>

namespace {

bool IsLower(char16_t c)
{
    return standin::UpcaseCharacter(c) != c;
}

// Alphabetical order first (letters compared by their upper-case forms), then, for texts equal but
// for case, the first difference of case: lower case first.
int Compare(std::u16string_view a, std::u16string_view b, bool ignoreCase)
{
    const size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i) {
        const char16_t x = standin::UpcaseCharacter(a[i]);
        const char16_t y = standin::UpcaseCharacter(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    if (ignoreCase)
        return 0;
    for (size_t i = 0; i < common; ++i)
        if (a[i] != b[i])
            return IsLower(a[i]) ? -1 : 1;
    return 0;
}

int CompareNullable(const char16_t* a, const char16_t* b, bool ignoreCase)
{
    if (!a || !b)
        return a == b ? 0 : (a ? 1 : -1);
    return Compare(a, b, ignoreCase);
}

int CompareAnsi(const char* a, const char* b, bool ignoreCase)
{
    if (!a || !b)
        return a == b ? 0 : (a ? 1 : -1);
    return Compare(user::WideFromAnsi(a), user::WideFromAnsi(b), ignoreCase);
}

template <typename CharT>
CharT* CopyN(CharT* to, const CharT* from, int max)
{
    if (!to || !from || max < 1)
        return nullptr;
    int i = 0;
    for (; i < max - 1 && from[i]; ++i)
        to[i] = from[i];
    to[i] = 0;
    return to;
}

} // namespace

extern "C" int WINAPI lstrlenA(LPCSTR lpString)
{
    return lpString ? static_cast<int>(std::char_traits<char>::length(lpString)) : 0;
}

extern "C" int WINAPI lstrlenW(LPCWSTR lpString)
{
    return lpString ? static_cast<int>(std::char_traits<char16_t>::length(lpString)) : 0;
}

extern "C" int WINAPI lstrcmpA(LPCSTR lpString1, LPCSTR lpString2)
{
    return CompareAnsi(lpString1, lpString2, false);
}

extern "C" int WINAPI lstrcmpW(LPCWSTR lpString1, LPCWSTR lpString2)
{
    return CompareNullable(lpString1, lpString2, false);
}

extern "C" int WINAPI lstrcmpiA(LPCSTR lpString1, LPCSTR lpString2)
{
    return CompareAnsi(lpString1, lpString2, true);
}

extern "C" int WINAPI lstrcmpiW(LPCWSTR lpString1, LPCWSTR lpString2)
{
    return CompareNullable(lpString1, lpString2, true);
}

extern "C" LPSTR WINAPI lstrcpynA(LPSTR lpString1, LPCSTR lpString2, int iMaxLength)
{
    return CopyN(lpString1, lpString2, iMaxLength);
}

extern "C" LPWSTR WINAPI lstrcpynW(LPWSTR lpString1, LPCWSTR lpString2, int iMaxLength)
{
    return CopyN(lpString1, lpString2, iMaxLength);
}
