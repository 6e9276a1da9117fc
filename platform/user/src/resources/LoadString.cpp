// LoadStringA and LoadStringW over the module's string table: blocks of 16 strings, each a count
// of UTF-16 units and the units, checked against the block's size before use.
#include "text/AnsiText.h"
#include "um/errhandlingapi.h"
#include "um/winerror.h"
#include "um/winuser.h"

#include <cstring>
#include <string>

namespace {

constexpr WORD kUsEnglish = 1033;

// The string uID in the module, or an empty view (and the last error set) when it has none.
std::u16string_view FindString(HINSTANCE instance, UINT uID)
{
    if (uID > 0xFFFF) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return {};
    }
    HRSRC found = FindResourceExW(instance, reinterpret_cast<LPCWSTR>(RT_STRING),
                                  MAKEINTRESOURCEW(uID / 16 + 1), kUsEnglish);
    if (!found)
        return {};
    const DWORD size = SizeofResource(instance, found);
    const auto* bytes = static_cast<const unsigned char*>(LockResource(LoadResource(instance, found)));
    if (!bytes)
        return {};
    size_t at = 0;
    for (UINT index = 0;; ++index) {
        WORD count = 0;
        if (at + 2 > size)
            break;
        std::memcpy(&count, bytes + at, 2);
        at += 2;
        if (at + size_t{count} * 2 > size)
            break;
        if (index == uID % 16) {
            if (count == 0)
                break;
            return {reinterpret_cast<const char16_t*>(bytes + at), count};
        }
        at += size_t{count} * 2;
    }
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return {};
}

} // namespace

extern "C" int WINAPI LoadStringW(HINSTANCE hInstance, UINT uID, LPWSTR lpBuffer, int cchBufferMax)
{
    if (!lpBuffer || cchBufferMax < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::u16string_view text = FindString(hInstance, uID);
    if (text.empty())
        return 0;
    if (cchBufferMax == 0) {
        *reinterpret_cast<const WCHAR**>(lpBuffer) = text.data();
        return static_cast<int>(text.size());
    }
    const size_t copied = std::min(text.size(), static_cast<size_t>(cchBufferMax) - 1);
    std::memcpy(lpBuffer, text.data(), copied * sizeof(WCHAR));
    lpBuffer[copied] = 0;
    return static_cast<int>(copied);
}

extern "C" int WINAPI LoadStringA(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer, int cchBufferMax)
{
    if (!lpBuffer || cchBufferMax <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::u16string_view text = FindString(hInstance, uID);
    if (text.empty())
        return 0;
    const std::string ansi = user::AnsiFromWide(text);
    const size_t copied = std::min(ansi.size(), static_cast<size_t>(cchBufferMax) - 1);
    std::memcpy(lpBuffer, ansi.data(), copied);
    lpBuffer[copied] = 0;
    return static_cast<int>(copied);
}
