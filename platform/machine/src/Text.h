// Text conversions the machine needs between the registry's UTF-16, host paths and reports, and
// the case-insensitive comparisons of Windows names (ASCII folding, as the names here are ASCII).
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace platform {

std::u16string Utf16(std::string_view utf8);
std::string Utf8(std::u16string_view text);
std::u16string UpperAscii(std::u16string_view text);
std::u16string LowerAscii(std::u16string_view text);
bool EqualNoCase(std::u16string_view a, std::u16string_view b);
bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix);
// Upper-case hexadecimal of `value`, `digits` wide.
std::u16string Hex(unsigned long long value, int digits);

// The strings of a REG_MULTI_SZ value (UTF-16LE bytes), without the empty one that ends the list.
std::vector<std::u16string> SplitMultiString(const std::vector<unsigned char>& bytes);
// The text of a REG_SZ / REG_EXPAND_SZ value up to its first zero.
std::u16string StringFromBytes(const std::vector<unsigned char>& bytes);

} // namespace platform
