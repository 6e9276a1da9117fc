// The character tables as the stand-in's control surface offers them to the user side.
#include "CharacterTables.h"
#include "standin/text.h"

namespace standin {

char16_t CodePageToWide(unsigned char byte)
{
    return chars::AnsiToWide(byte);
}

bool WideToCodePage(char16_t wide, char* byte)
{
    const char narrow = chars::WideToAnsi(wide);
    if (narrow == '?' && wide != u'?')
        return false;
    *byte = narrow;
    return true;
}

char16_t UpcaseCharacter(char16_t wide)
{
    return chars::Upcase(wide);
}

} // namespace standin
