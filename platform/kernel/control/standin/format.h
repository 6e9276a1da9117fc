// The stand-in's own formatter: the whole text of a printf-style format, with the conversions the
// kernel's _snprintf family accepts. Stand-in facilities, not Windows functions: drivers never see
// them.
#pragma once
#include "km/format.h"

#include <cstdarg>
#include <string>

namespace standin {

// The whole formatted text. A refused format (null, or %n) yields the text up to the refusal and
// a verifier report.
std::string Format(const char* format, ...);
std::string FormatV(const char* format, va_list args);
std::u16string Format(const char16_t* format, ...);
std::u16string FormatV(const char16_t* format, va_list args);

} // namespace standin
