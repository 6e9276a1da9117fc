// wsprintf and wvsprintf: the kernel side's formatter, into at most 1,024 characters, without the
// floating-point conversions.
#include "standin/format.h"
#include "um/winuser.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

constexpr size_t kLimit = 1024; // characters, the terminating zero included

bool IsFloating(char16_t c)
{
    return c == 'e' || c == 'E' || c == 'f' || c == 'g' || c == 'G' || c == 'a' || c == 'A';
}

// The format with each floating-point conversion replaced by its letter, so it prints that letter and
// takes no argument. Every other conversion passes unchanged.
template <typename CharT>
std::basic_string<CharT> WithoutFloating(const CharT* format)
{
    std::basic_string<CharT> out;
    const CharT* p = format;
    while (*p) {
        if (*p != '%') {
            out += *p++;
            continue;
        }
        const CharT* start = p++;
        if (*p == '%') {
            out += start[0];
            out += *p++;
            continue;
        }
        // Flags, width, precision and size prefixes.
        while (*p && (*p == '-' || *p == '+' || *p == ' ' || *p == '#' || *p == '0' || (*p >= '1' && *p <= '9') ||
                      *p == '.' || *p == '*' || *p == 'h' || *p == 'l' || *p == 'L' || *p == 'I' || *p == 'w'))
            ++p;
        if (*p && IsFloating(*p)) {
            out += *p++;
            continue;
        }
        out.append(start, p);
        if (*p)
            out += *p++;
    }
    return out;
}

template <typename CharT>
int Store(CharT* out, const std::basic_string<CharT>& text)
{
    const size_t length = std::min(text.size(), kLimit - 1);
    std::memcpy(out, text.data(), length * sizeof(CharT));
    out[length] = 0;
    return static_cast<int>(length);
}

} // namespace

extern "C" int WINAPI wvsprintfA(LPSTR lpOut, LPCSTR lpFmt, va_list arglist)
{
    if (!lpOut || !lpFmt)
        return 0;
    return Store(lpOut, standin::FormatV(WithoutFloating(lpFmt).c_str(), arglist));
}

extern "C" int WINAPI wvsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, va_list arglist)
{
    if (!lpOut || !lpFmt)
        return 0;
    return Store(lpOut, standin::FormatV(WithoutFloating(lpFmt).c_str(), arglist));
}

extern "C" int WINAPIV wsprintfA(LPSTR lpOut, LPCSTR lpFmt, ...)
{
    va_list args;
    va_start(args, lpFmt);
    const int length = wvsprintfA(lpOut, lpFmt, args);
    va_end(args);
    return length;
}

extern "C" int WINAPIV wsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, ...)
{
    va_list args;
    va_start(args, lpFmt);
    const int length = wvsprintfW(lpOut, lpFmt, args);
    va_end(args);
    return length;
}
