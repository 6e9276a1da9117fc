// Character tables shared by the string functions and the formatter: the system code page
// (Windows-1252) in both directions, and the upper-casing used by case-insensitive comparisons.
#pragma once

namespace standin::chars {

// The wide character of a code-page byte. The five bytes 1252 leaves undefined (0x81, 0x8D, 0x8F,
// 0x90, 0x9D) map to the control characters of the same value, as Windows maps them.
char16_t AnsiToWide(unsigned char byte);
// The code-page byte of a wide character, '?' when the code page has none (this includes each half
// of a surrogate pair).
char WideToAnsi(char16_t wide);
// Simple upper-case mapping of ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic letters;
// every other character maps to itself.
char16_t Upcase(char16_t wide);

} // namespace standin::chars
