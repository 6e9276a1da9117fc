// The lstr text calls; MulDiv.
#pragma once
#include "um/windef.h"

extern "C" {
// Characters before the terminating zero; 0 for NULL.
int WINAPI lstrlenA(LPCSTR lpString);
int WINAPI lstrlenW(LPCWSTR lpString);
// Negative, zero or positive as the first text sorts before, with or after the second. Letters
// compare alphabetically whatever their case, and only when that finds no difference does the
// case decide, lower case first ("a" < "b" < "B" < "c"); other characters compare by their code. The
// ANSI forms compare the texts' UTF-16 forms. NULL sorts before any text.
int WINAPI lstrcmpA(LPCSTR lpString1, LPCSTR lpString2);
int WINAPI lstrcmpW(LPCWSTR lpString1, LPCWSTR lpString2);
// The same with case ignored.
int WINAPI lstrcmpiA(LPCSTR lpString1, LPCSTR lpString2);
int WINAPI lstrcmpiW(LPCWSTR lpString1, LPCWSTR lpString2);
// Copies at most iMaxLength - 1 characters and a terminating zero; returns lpString1, or NULL
// for NULL arguments or iMaxLength below 1.
LPSTR WINAPI lstrcpynA(LPSTR lpString1, LPCSTR lpString2, int iMaxLength);
LPWSTR WINAPI lstrcpynW(LPWSTR lpString1, LPCWSTR lpString2, int iMaxLength);
// nNumber x nNumerator / nDenominator in 64 bits, rounded half away from zero; -1 for a zero
// denominator or a result beyond 32 bits.
int WINAPI MulDiv(int nNumber, int nNumerator, int nDenominator);
}
