// Windows-1252 in both directions and the upper-casing of case-insensitive comparisons.
#include "CharacterTables.h"

#include <array>
#include <cstddef>

namespace standin::chars {
namespace {

// Bytes 0x80 to 0x9F; every other byte is the Latin-1 character of the same value.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

} // namespace

char16_t AnsiToWide(unsigned char byte)
{
    if (byte >= 0x80 && byte <= 0x9F)
        return kHighControls[byte - 0x80];
    return byte;
}

char WideToAnsi(char16_t wide)
{
    if (wide < 0x80 || (wide >= 0xA0 && wide <= 0xFF))
        return static_cast<char>(wide);
    for (std::size_t i = 0; i < kHighControls.size(); ++i)
        if (kHighControls[i] == wide)
            return static_cast<char>(0x80 + i);
    return '?';
}

char16_t Upcase(char16_t c)
{
    if (c < 0x80)
        return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 0x20) : c;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) // Latin-1 small letters except the division sign
        return static_cast<char16_t>(c - 0x20);
    if (c == 0xFF)
        return 0x178;
    // Latin Extended-A pairs capital/small letters on even/odd code points, except in the run
    // 0x139-0x148 and 0x179-0x17E where the capital is odd; 0x131 (dotless i), 0x138 (kra), 0x149
    // and 0x17F have no simple capital here.
    if (c >= 0x100 && c <= 0x17F) {
        if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
            return (c % 2 == 0) ? static_cast<char16_t>(c - 1) : c;
        if (c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F)
            return c;
        return (c % 2 == 1) ? static_cast<char16_t>(c - 1) : c;
    }
    if (c >= 0x3B1 && c <= 0x3CB) // Greek small letters; final sigma takes the capital sigma
        return c == 0x3C2 ? char16_t{0x3A3} : static_cast<char16_t>(c - 0x20);
    if (c >= 0x430 && c <= 0x44F) // Cyrillic small letters
        return static_cast<char16_t>(c - 0x20);
    if (c >= 0x450 && c <= 0x45F)
        return static_cast<char16_t>(c - 0x50);
    return c;
}

} // namespace standin::chars
