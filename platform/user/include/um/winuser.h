// Text calls of the user interface library: upper-casing and wsprintf. Upper-casing follows the
// kernel side's table (ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic letters); in ANSI text a
// letter whose upper-case form the code page lacks stays as it is.
#pragma once
#include <cstdarg>

#include "um/windef.h"

extern "C" {
// lpsz points to text, upper-cased in place; the result is lpsz. A value below 0x10000 is one
// character, upper-cased and returned in the low word.
LPSTR WINAPI CharUpperA(LPSTR lpsz);
LPWSTR WINAPI CharUpperW(LPWSTR lpsz);
// Upper-cases cchLength characters in place (zeros included) and returns cchLength.
DWORD WINAPI CharUpperBuffA(LPSTR lpsz, DWORD cchLength);
DWORD WINAPI CharUpperBuffW(LPWSTR lpsz, DWORD cchLength);

// printf-style formatting into a buffer of at most 1,024 characters with its terminating zero; the
// result is the characters stored without it. The conversions are the C runtime's integer, character
// and text ones (%s is the form's own text, %ls / %S the other width's, "%ls" UTF-16 in wsprintfA);
// floating-point conversions are not formatted: the conversion's own letter stands in the text and
// takes no argument.
int WINAPIV wsprintfA(LPSTR lpOut, LPCSTR lpFmt, ...);
int WINAPIV wsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, ...);
int WINAPI wvsprintfA(LPSTR lpOut, LPCSTR lpFmt, va_list arglist);
int WINAPI wvsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, va_list arglist);
}
#include "um/winuserresources.h"
#include "um/winuserwindows.h"
#include "um/winusercontrols.h"
#include "um/winuserdialogs.h"
#include "um/winuserpaint.h"
