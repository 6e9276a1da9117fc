// The value of one hexadecimal digit, as GUID text and registration scripts write them.
#pragma once

namespace user {

// 0 to 15, or -1 for a character that is not a hexadecimal digit.
inline int HexDigit(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

} // namespace user
