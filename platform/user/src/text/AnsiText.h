// ANSI (Windows-1252) text and UTF-16 in both directions, for the A forms of every area.
#pragma once
#include <string>
#include <string_view>

namespace user {

std::u16string WideFromAnsi(std::string_view text);
// A character the code page lacks becomes '?'.
std::string AnsiFromWide(std::u16string_view text);
// Zero-terminated text in; an empty text for NULL.
inline std::u16string WideFromAnsi(const char* text)
{
    return text ? WideFromAnsi(std::string_view(text)) : std::u16string();
}

} // namespace user
