// Formatted text with Windows' printf rules, for narrow and wide (WCHAR) output: the _snprintf
// family the driver calls; the safe forms returning a string for the stand-in's own use are in
// standin/format.h. All of
// them share one formatter; docs/platform-strings.md lists its rules and where they differ from
// glibc's printf (l is 32 bits, I64 and I size prefixes, %S / %ls / %ws wide text, %Z / %wZ
// counted strings, %p as 16 upper-case digits, three-digit exponents, %n refused).
//
// These functions carry no printf format attribute on purpose: the compiler's checks know glibc's
// conversions, not these.
#pragma once
#include <cstdarg>
#include <cstddef>
#include <string>

#include "km/types.h"

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
// The same for wide text; count and the result are in WCHARs.
int _snwprintf(WCHAR* buffer, size_t count, const WCHAR* format, ...);
int _vsnwprintf(WCHAR* buffer, size_t count, const WCHAR* format, va_list args);

} // extern "C"

