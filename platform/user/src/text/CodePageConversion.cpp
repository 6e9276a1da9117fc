// MultiByteToWideChar and WideCharToMultiByte over the kernel side's code page and UTF-8.
#include "standin/text.h"
#include "text/AnsiText.h"
#include "um/errhandlingapi.h"
#include "um/stringapiset.h"
#include "um/winerror.h"

#include <climits>
#include <cstring>
#include <string>

namespace {

enum class Page { Ansi, Utf8, Unknown };

Page PageOf(UINT codePage)
{
    switch (codePage) {
    case CP_ACP:
    case CP_THREAD_ACP:
    case 1252:
        return Page::Ansi;
    case CP_UTF8:
        return Page::Utf8;
    default:
        return Page::Unknown;
    }
}

int Fail(DWORD error)
{
    SetLastError(error);
    return 0;
}

// UTF-8 to UTF-16; each byte of a malformed sequence becomes U+FFFD unless `strict`. One pass: each
// conversion stops at the first bad byte with what came before it, and the next starts after it.
bool DecodeUtf8(std::string_view bytes, bool strict, std::u16string* out)
{
    out->clear();
    std::u16string part; // keeps its room from one piece to the next
    while (true) {
        size_t bad = 0;
        const bool whole = standin::Utf8ToUtf16(bytes, &part, &bad);
        *out += part;
        if (whole)
            return true;
        if (strict)
            return false;
        *out += u'\xFFFD';
        bytes.remove_prefix(bad + 1);
    }
}

// Copies `text` out, or measures it; the result as both functions return it.
template <typename CharT>
int Deliver(const std::basic_string<CharT>& text, CharT* out, int size)
{
    if (text.size() > static_cast<size_t>(INT_MAX))
        return Fail(ERROR_INVALID_PARAMETER);
    const int length = static_cast<int>(text.size());
    if (size == 0)
        return length;
    if (length > size)
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(out, text.data(), text.size() * sizeof(CharT));
    return length;
}

} // namespace

namespace user {

std::u16string WideFromAnsi(std::string_view text)
{
    std::u16string wide;
    wide.reserve(text.size());
    for (const char c : text)
        wide += standin::CodePageToWide(static_cast<unsigned char>(c));
    return wide;
}

std::string AnsiFromWide(std::u16string_view text)
{
    std::string ansi;
    ansi.reserve(text.size());
    for (const char16_t c : text) {
        char byte = '?';
        standin::WideToCodePage(c, &byte);
        ansi += byte;
    }
    return ansi;
}

} // namespace user

extern "C" int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCCH lpMultiByteStr, int cbMultiByte,
                                          LPWSTR lpWideCharStr, int cchWideChar)
{
    const Page page = PageOf(CodePage);
    if (page == Page::Unknown)
        return Fail(ERROR_INVALID_PARAMETER);
    const DWORD allowed = page == Page::Utf8 ? MB_ERR_INVALID_CHARS : (MB_PRECOMPOSED | MB_ERR_INVALID_CHARS);
    if (dwFlags & ~allowed)
        return Fail(ERROR_INVALID_FLAGS);
    if (!lpMultiByteStr || cbMultiByte == 0 || cbMultiByte < -1 || cchWideChar < 0 ||
        (!lpWideCharStr && cchWideChar > 0))
        return Fail(ERROR_INVALID_PARAMETER);
    const size_t length = cbMultiByte == -1 ? std::strlen(lpMultiByteStr) + 1 : static_cast<size_t>(cbMultiByte);
    const std::string_view bytes(lpMultiByteStr, length);
    std::u16string wide;
    if (page == Page::Ansi)
        wide = user::WideFromAnsi(bytes);
    else if (!DecodeUtf8(bytes, (dwFlags & MB_ERR_INVALID_CHARS) != 0, &wide))
        return Fail(ERROR_NO_UNICODE_TRANSLATION);
    return Deliver(wide, lpWideCharStr, cchWideChar);
}

extern "C" int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWCH lpWideCharStr, int cchWideChar,
                                          LPSTR lpMultiByteStr, int cbMultiByte, LPCCH lpDefaultChar,
                                          LPBOOL lpUsedDefaultChar)
{
    const Page page = PageOf(CodePage);
    if (page == Page::Unknown)
        return Fail(ERROR_INVALID_PARAMETER);
    const DWORD allowed = page == Page::Utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    if (dwFlags & ~allowed)
        return Fail(ERROR_INVALID_FLAGS);
    if (!lpWideCharStr || cchWideChar == 0 || cchWideChar < -1 || cbMultiByte < 0 ||
        (!lpMultiByteStr && cbMultiByte > 0))
        return Fail(ERROR_INVALID_PARAMETER);
    if (page == Page::Utf8 && (lpDefaultChar || lpUsedDefaultChar))
        return Fail(ERROR_INVALID_PARAMETER);
    const size_t length = cchWideChar == -1 ? std::char_traits<char16_t>::length(lpWideCharStr) + 1
                                            : static_cast<size_t>(cchWideChar);
    const std::u16string_view wide(lpWideCharStr, length);
    std::string bytes;
    if (page == Page::Utf8) {
        if (dwFlags & WC_ERR_INVALID_CHARS) {
            if (!standin::Utf16ToUtf8(wide, &bytes))
                return Fail(ERROR_NO_UNICODE_TRANSLATION);
        } else {
            bytes = standin::Utf16ToUtf8Lossy(wide);
        }
    } else {
        const char fallback = lpDefaultChar ? *lpDefaultChar : '?';
        bool usedDefault = false;
        bytes.reserve(wide.size());
        for (const char16_t c : wide) {
            char byte = 0;
            if (!standin::WideToCodePage(c, &byte)) {
                byte = fallback;
                usedDefault = true;
            }
            bytes += byte;
        }
        if (lpUsedDefaultChar)
            *lpUsedDefaultChar = usedDefault ? TRUE : FALSE;
    }
    return Deliver(bytes, lpMultiByteStr, cbMultiByte);
}
