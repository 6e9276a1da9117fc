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

#include "shared/crtformat.h"

