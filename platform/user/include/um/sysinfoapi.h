// The machine's Windows directory, "C:\Windows".
#pragma once
#include "um/windef.h"

extern "C" {
// Copies "C:\Windows" and returns 10, its length without the terminating zero; when uSize is too
// small (or lpBuffer NULL) writes nothing and returns 11, the size the text needs with its zero.
UINT WINAPI GetWindowsDirectoryW(LPWSTR lpBuffer, UINT uSize);
UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize);
// Milliseconds of the machine's clock since it started (wrapping after 49.7 days).
DWORD WINAPI GetTickCount();
}
