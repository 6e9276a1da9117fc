// The C runtime's formatting into a counted buffer, with Windows' rules, declared for both sides:
// one implementation, the kernel side's formatter, serves the driver and user mode alike.
#pragma once
#include <cstdarg>
#include <cstddef>

extern "C" {

// Formats into buffer, at most count characters. Result, with len the length of the full text:
//   len <  count: the text and a terminating zero are stored; returns len.
//   len == count: the text is stored WITHOUT a terminating zero; returns len.
//   len >  count: the first count characters are stored, no terminating zero; returns -1.
// Callers terminate the buffer themselves. A null buffer with count 0 only measures: returns len.
// A null format, a null buffer with count > 0, or a %n conversion is refused: -1, with a verifier
// report.
int _snprintf(char* buffer, size_t count, const char* format, ...);
int _vsnprintf(char* buffer, size_t count, const char* format, va_list args);
// The same for wide text; count and the result are in UTF-16 units (WCHARs).
int _snwprintf(char16_t* buffer, size_t count, const char16_t* format, ...);
int _vsnwprintf(char16_t* buffer, size_t count, const char16_t* format, va_list args);

} // extern "C"
