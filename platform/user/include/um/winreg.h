// The registry for applications, over the machine's one tree (the kernel side's registry):
// HKEY_LOCAL_MACHINE is "\Registry\Machine" and HKEY_CLASSES_ROOT "\Registry\Machine\SOFTWARE\Classes"
// (the machine's classes only). The other predefined keys give ERROR_INVALID_HANDLE. A key handle
// is a user handle of a kernel key object; close it with RegCloseKey. Key and value names ignore
// case. The A forms take names and REG_SZ, REG_EXPAND_SZ and REG_MULTI_SZ data in the ANSI code
// page (Windows-1252) and convert them; every other type passes as bytes. Every function returns a
// Win32 error code (ERROR_SUCCESS 0) and leaves the last error alone.
#pragma once
#include "um/minwinbase.h"
#include "um/windef.h"
#include "um/winnt.h"
#include "shared/registrytypes.h"

struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;
using REGSAM = ACCESS_MASK;

#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)((LONG)0x80000000))
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)((LONG)0x80000001))
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)((LONG)0x80000002))
#define HKEY_USERS ((HKEY)(ULONG_PTR)((LONG)0x80000003))
#define HKEY_PERFORMANCE_DATA ((HKEY)(ULONG_PTR)((LONG)0x80000004))
#define HKEY_CURRENT_CONFIG ((HKEY)(ULONG_PTR)((LONG)0x80000005))

extern "C" {
// Opens lpSubKey below hKey (a predefined key or an open key; NULL or "" opens hKey itself again)
// with samDesired. ERROR_FILE_NOT_FOUND for a missing key, ERROR_ACCESS_DENIED when a later call
// needs access the handle lacks, ERROR_INVALID_HANDLE for an unknown or unsupported key,
// ERROR_INVALID_PARAMETER without phkResult or with ulOptions other than 0.
LSTATUS WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);
LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);
// Opens lpSubKey, making it and every missing key on its path; *lpdwDisposition tells whether the
// last key was made (REG_CREATED_NEW_KEY) or found (REG_OPENED_EXISTING_KEY). lpClass is kept as the
// new keys' class. lpSecurityAttributes and Reserved are not used.
LSTATUS WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass, DWORD dwOptions,
                               REGSAM samDesired, const LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                               PHKEY phkResult, LPDWORD lpdwDisposition);
LSTATUS WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions,
                               REGSAM samDesired, const LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                               PHKEY phkResult, LPDWORD lpdwDisposition);
// Closes an open key; a predefined key is left as it is (ERROR_SUCCESS).
LSTATUS WINAPI RegCloseKey(HKEY hKey);
// Reads a value of hKey (NULL or "" names the default value). With lpData NULL, only *lpcbData
// (the size) and *lpType are set. A buffer too small gives ERROR_MORE_DATA with *lpcbData the size
// needed; ERROR_FILE_NOT_FOUND for a missing value; ERROR_INVALID_PARAMETER for lpData without
// lpcbData.
LSTATUS WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                                LPDWORD lpcbData);
LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                                LPDWORD lpcbData);
// Sets a value to the cbData bytes at lpData (a REG_SZ's include its terminating zero).
// ERROR_INVALID_PARAMETER for NULL data with a size.
LSTATUS WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                              DWORD cbData);
LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                              DWORD cbData);
// ERROR_FILE_NOT_FOUND for a missing value.
LSTATUS WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName);
LSTATUS WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName);
// Deletes the key lpSubKey (not empty) below hKey; ERROR_ACCESS_DENIED when it has sub-keys,
// ERROR_FILE_NOT_FOUND when it is missing, ERROR_INVALID_PARAMETER for NULL.
LSTATUS WINAPI RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey);
LSTATUS WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey);
// Deletes lpSubKey with everything below it; with lpSubKey NULL, hKey's values and sub-keys (hKey
// stays).
LSTATUS WINAPI RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey);
LSTATUS WINAPI RegDeleteTreeA(HKEY hKey, LPCSTR lpSubKey);
// The dwIndex-th sub-key's name (in the registry's order) into lpName, *lpcchName characters with
// the terminating zero on entry, the length without it on return. ERROR_MORE_DATA when the name
// does not fit, ERROR_NO_MORE_ITEMS past the last. lpClass and lpftLastWriteTime may be NULL.
LSTATUS WINAPI RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                             LPWSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime);
LSTATUS WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                             LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime);
// The dwIndex-th value (in the order values were first set): its name as for RegEnumKeyEx, its type
// and data as for RegQueryValueEx. ERROR_MORE_DATA when the name or the data does not fit (with
// *lpcbData the size needed), ERROR_NO_MORE_ITEMS past the last.
LSTATUS WINAPI RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName,
                             LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
LSTATUS WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                             LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
}
