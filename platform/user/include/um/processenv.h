// The process's current directory: one for the whole process, "C:\" when it starts. Relative file
// names (CreateFile, DeleteFile, SetCurrentDirectory) are taken from it.
#pragma once
#include "um/windef.h"

extern "C" {
// Copies the current directory ("C:\Temp"; the root keeps its backslash, "C:\") and returns its
// length without the terminating zero; when nBufferLength is too small (or lpBuffer NULL), returns
// the length with the terminating zero and writes nothing.
DWORD WINAPI GetCurrentDirectoryW(DWORD nBufferLength, LPWSTR lpBuffer);
DWORD WINAPI GetCurrentDirectoryA(DWORD nBufferLength, LPSTR lpBuffer);
// Makes an existing folder the current directory (named as for CreateFile). FALSE with
// ERROR_FILE_NOT_FOUND or ERROR_PATH_NOT_FOUND when it is missing, ERROR_DIRECTORY when it is a
// file, ERROR_INVALID_NAME for a malformed name, ERROR_INVALID_PARAMETER for NULL.
BOOL WINAPI SetCurrentDirectoryW(LPCWSTR lpPathName);
BOOL WINAPI SetCurrentDirectoryA(LPCSTR lpPathName);
}
