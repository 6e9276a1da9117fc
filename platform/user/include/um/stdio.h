// The C runtime's formatting into a counted buffer, with Windows' rules: the same functions and
// formatter as the kernel side (floating point included; l is 32 bits; %ls / %S UTF-16 text in the
// narrow forms). Result, with len the length of the whole text and count the buffer's size in
// characters: len < count: the text with its zero, len; len == count: the text without a zero, len;
// len > count: the first count characters, no zero, -1. A NULL buffer with count 0 only measures.
#pragma once
#include <cstdarg>
#include <cstddef>

#include "um/windef.h"

extern "C" {
int _snprintf(char* buffer, size_t count, const char* format, ...);
int _vsnprintf(char* buffer, size_t count, const char* format, va_list args);
int _snwprintf(WCHAR* buffer, size_t count, const WCHAR* format, ...);
int _vsnwprintf(WCHAR* buffer, size_t count, const WCHAR* format, va_list args);
}
