// What the ".reg" reader and writer share: the header line and the names of the two root keys.
#pragma once
#include <string_view>

namespace standin::registry {

constexpr std::string_view kRegFileHeader = "Windows Registry Editor Version 5.00";

struct RegFileRoot {
    std::string_view fileName;   // as written in key lines
    std::u16string_view keyName; // the key below "\Registry"
};
constexpr RegFileRoot kRegFileRoots[] = {
    {"HKEY_LOCAL_MACHINE", u"MACHINE"},
    {"HKEY_USERS", u"USER"},
};

// Line breaks cannot stand in a quoted name or string of ".reg" text.
constexpr bool IsLineBreak(char16_t c)
{
    return c == u'\r' || c == u'\n';
}

} // namespace standin::registry
