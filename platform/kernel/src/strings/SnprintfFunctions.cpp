// The entry points of the formatter: Windows' _snprintf family with its return convention, and the
// stand-in's own string-returning Format.
#include "km/format.h"

#include "Formatter.h"
#include "standin/format.h"
#include "standin/verifier.h"

#include <climits>

namespace {

using standin::formatter::Output;
using standin::formatter::Result;

template <class CharT>
int BoundedFormat(const char* function, CharT* buffer, size_t count, const CharT* format, va_list args)
{
    if (!buffer && count > 0) {
        standin::VerifierReport("format", std::string(function) + ": null buffer with count " + std::to_string(count));
        return -1;
    }
    // A null buffer with count 0 asks only for the length, so the whole text is measured.
    const bool measuring = !buffer;
    Output<CharT> out(buffer, count);
    if (standin::formatter::Format(out, format, args, !measuring) == Result::Refused)
        return -1;
    const size_t length = out.Length();
    if ((length > count && !measuring) || length > INT_MAX)
        return -1;
    if (length < count)
        buffer[length] = 0;
    return static_cast<int>(length);
}

template <class CharT>
std::basic_string<CharT> GrowingFormat(const CharT* format, va_list args)
{
    std::basic_string<CharT> text;
    Output<CharT> out(text);
    standin::formatter::Format(out, format, args, false);
    return text;
}

} // namespace

extern "C" int _vsnprintf(char* buffer, size_t count, const char* format, va_list args)
{
    return BoundedFormat("_vsnprintf", buffer, count, format, args);
}

extern "C" int _snprintf(char* buffer, size_t count, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const int result = BoundedFormat("_snprintf", buffer, count, format, args);
    va_end(args);
    return result;
}

extern "C" int _vsnwprintf(WCHAR* buffer, size_t count, const WCHAR* format, va_list args)
{
    return BoundedFormat("_vsnwprintf", buffer, count, format, args);
}

extern "C" int _snwprintf(WCHAR* buffer, size_t count, const WCHAR* format, ...)
{
    va_list args;
    va_start(args, format);
    const int result = BoundedFormat("_snwprintf", buffer, count, format, args);
    va_end(args);
    return result;
}

namespace standin {

std::string FormatV(const char* format, va_list args)
{
    return GrowingFormat(format, args);
}

std::string Format(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::string text = GrowingFormat(format, args);
    va_end(args);
    return text;
}

std::u16string FormatV(const char16_t* format, va_list args)
{
    return GrowingFormat(format, args);
}

std::u16string Format(const char16_t* format, ...)
{
    va_list args;
    va_start(args, format);
    std::u16string text = GrowingFormat(format, args);
    va_end(args);
    return text;
}

} // namespace standin
