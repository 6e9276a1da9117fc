// The user interface library's resource calls: the standard resource types and the string table.
#pragma once
#include "um/libloaderapi.h"

#define RT_CURSOR MAKEINTRESOURCE(1)
#define RT_BITMAP MAKEINTRESOURCE(2)
#define RT_ICON MAKEINTRESOURCE(3)
#define RT_MENU MAKEINTRESOURCE(4)
#define RT_DIALOG MAKEINTRESOURCE(5)
#define RT_STRING MAKEINTRESOURCE(6)
#define RT_RCDATA MAKEINTRESOURCE(10)

extern "C" {
// String uID of the module's string table (the RT_STRING block uID / 16 + 1, entry uID % 16), in
// the language 1033, else neutral. Copies at most cchBufferMax - 1 characters and a zero and
// returns the characters copied. LoadStringW with cchBufferMax 0 stores in *lpBuffer a read-only
// pointer to the string in the module (not zero-terminated) and returns its length. A missing or
// empty string, or a bad module, returns 0 and leaves the buffer unchanged (ERROR_RESOURCE_NAME_NOT_FOUND
// or the error of FindResourceEx); LoadStringA with cchBufferMax 0 returns 0 with
// ERROR_INVALID_PARAMETER.
int WINAPI LoadStringA(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer, int cchBufferMax);
int WINAPI LoadStringW(HINSTANCE hInstance, UINT uID, LPWSTR lpBuffer, int cchBufferMax);
}
