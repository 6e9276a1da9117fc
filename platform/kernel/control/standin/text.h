// The system code page and UTF-8 as the user side's text conversions reach them: the same tables
// and conversions the kernel's string functions and formatter use, so that text converted on
// either side reads alike. Stand-in facilities, not Windows functions: drivers never see them.
#pragma once
#include <string>
#include <string_view>

namespace standin {

// The wide character of a byte of the system code page (Windows-1252). The five bytes 1252 leaves
// undefined map to the control characters of the same value.
char16_t CodePageToWide(unsigned char byte);
// The code-page byte of a wide character; false when the code page has none (each half of a
// surrogate pair included).
bool WideToCodePage(char16_t wide, char* byte);
// The upper-case form the case-insensitive comparisons use (ASCII, Latin-1, Latin Extended-A, Greek
// and Cyrillic letters; every other character is its own).
char16_t UpcaseCharacter(char16_t wide);

// False when the text holds an unpaired surrogate; `out` then holds what came before it.
bool Utf16ToUtf8(std::u16string_view text, std::string* out);
// An unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8Lossy(std::u16string_view text);
// False when the bytes are not well-formed UTF-8 (overlong forms, surrogates and values past
// U+10FFFF included); `*badOffset` then receives the offset of the first bad byte.
bool Utf8ToUtf16(std::string_view text, std::u16string* out, size_t* badOffset = nullptr);

} // namespace standin
