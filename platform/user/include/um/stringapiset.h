// Conversions between code-page text and UTF-16. Code pages: CP_ACP, CP_THREAD_ACP and 1252
// (Windows-1252, one byte a character, the tables of the kernel side) and CP_UTF8; any other is
// ERROR_INVALID_PARAMETER.
#pragma once
#include "um/windef.h"
#include "um/winnls.h"

extern "C" {
// Converts cbMultiByte bytes (-1: up to and with the terminating zero) into lpWideCharStr and
// returns the characters written; with cchWideChar 0, writes nothing and returns the characters
// needed. 0 with the last error: ERROR_INSUFFICIENT_BUFFER when cchWideChar is too small (nothing
// written), ERROR_INVALID_PARAMETER for a NULL source, a length of 0 or below -1, or a NULL
// destination with a size; ERROR_INVALID_FLAGS for flags other than MB_PRECOMPOSED and
// MB_ERR_INVALID_CHARS (only the latter for CP_UTF8); ERROR_NO_UNICODE_TRANSLATION for malformed
// UTF-8 with MB_ERR_INVALID_CHARS (without it each bad byte becomes U+FFFD).
int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCCH lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar);
// The other way. For the ANSI code page, a character it cannot hold becomes *lpDefaultChar ('?'
// when NULL) and sets *lpUsedDefaultChar TRUE (FALSE otherwise); flags other than
// WC_NO_BEST_FIT_CHARS are ERROR_INVALID_FLAGS. For CP_UTF8 lpDefaultChar and lpUsedDefaultChar must
// be NULL (ERROR_INVALID_PARAMETER), an unpaired surrogate becomes U+FFFD, or with
// WC_ERR_INVALID_CHARS fails with ERROR_NO_UNICODE_TRANSLATION.
int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWCH lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCCH lpDefaultChar, LPBOOL lpUsedDefaultChar);
}
