// Names compared as Windows compares module paths, registry words and replacement names here:
// ASCII letters without regard to case, every other character as it is.
#pragma once
#include <algorithm>
#include <string_view>

namespace user {

inline char16_t AsciiUpper(char16_t c)
{
    return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

inline bool SameTextIgnoringAsciiCase(std::u16string_view a, std::u16string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char16_t x, char16_t y) {
               return AsciiUpper(x) == AsciiUpper(y);
           });
}

} // namespace user
