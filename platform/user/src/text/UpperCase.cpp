// CharUpper and CharUpperBuff, with the kernel side's upper-casing; ANSI text goes through the code
// page and keeps a letter whose upper-case form the code page lacks.
#include "standin/text.h"
#include "um/winuser.h"

#include <cstdint>
#include <cstring>

namespace {

char UpcaseAnsi(char c)
{
    const char16_t upper = standin::UpcaseCharacter(standin::CodePageToWide(static_cast<unsigned char>(c)));
    char byte = c;
    return standin::WideToCodePage(upper, &byte) ? byte : c;
}

// A pointer value below 0x10000 carries one character instead of text.
bool IsCharacter(const void* p)
{
    return reinterpret_cast<uintptr_t>(p) < 0x10000;
}

} // namespace

extern "C" DWORD WINAPI CharUpperBuffA(LPSTR lpsz, DWORD cchLength)
{
    if (!lpsz)
        return 0;
    for (DWORD i = 0; i < cchLength; ++i)
        lpsz[i] = UpcaseAnsi(lpsz[i]);
    return cchLength;
}

extern "C" DWORD WINAPI CharUpperBuffW(LPWSTR lpsz, DWORD cchLength)
{
    if (!lpsz)
        return 0;
    for (DWORD i = 0; i < cchLength; ++i)
        lpsz[i] = standin::UpcaseCharacter(lpsz[i]);
    return cchLength;
}

extern "C" LPSTR WINAPI CharUpperA(LPSTR lpsz)
{
    if (IsCharacter(lpsz)) {
        const auto c = static_cast<char>(reinterpret_cast<uintptr_t>(lpsz) & 0xFF);
        return reinterpret_cast<LPSTR>(static_cast<uintptr_t>(static_cast<unsigned char>(UpcaseAnsi(c))));
    }
    CharUpperBuffA(lpsz, static_cast<DWORD>(std::strlen(lpsz)));
    return lpsz;
}

extern "C" LPWSTR WINAPI CharUpperW(LPWSTR lpsz)
{
    if (IsCharacter(lpsz)) {
        const auto c = static_cast<char16_t>(reinterpret_cast<uintptr_t>(lpsz) & 0xFFFF);
        return reinterpret_cast<LPWSTR>(static_cast<uintptr_t>(standin::UpcaseCharacter(c)));
    }
    CharUpperBuffW(lpsz, static_cast<DWORD>(std::char_traits<char16_t>::length(lpsz)));
    return lpsz;
}
