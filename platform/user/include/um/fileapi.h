// Opening devices: CreateFile on "\\.\<name>" (a symbolic link of the object namespace, such as one
// a driver made with IoCreateSymbolicLink) or on a device-interface path "\\?\<...>#{<class
// guid>}\<reference string>" as CM_Get_Device_Interface_List gives it. The open travels to the driver
// as IRP_MJ_CREATE; the part of the path after the link's name reaches the driver as the file
// object's FileName. Ordinary file paths ("C:\...") are not served here.
#pragma once
#include "um/minwinbase.h"
#include "um/windef.h"

// Access rights (shared with the kernel side's definitions).
#ifndef GENERIC_READ
#define GENERIC_READ 0x80000000UL
#define GENERIC_WRITE 0x40000000UL
#define GENERIC_EXECUTE 0x20000000UL
#define GENERIC_ALL 0x10000000UL
#endif
#ifndef FILE_SHARE_READ
#define FILE_SHARE_READ 0x00000001UL
#define FILE_SHARE_WRITE 0x00000002UL
#define FILE_SHARE_DELETE 0x00000004UL
#endif
#ifndef FILE_ATTRIBUTE_NORMAL
#define FILE_ATTRIBUTE_NORMAL 0x00000080UL
#endif

// Creation dispositions.
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5

// Flags of dwFlagsAndAttributes.
#define FILE_FLAG_WRITE_THROUGH 0x80000000UL
#define FILE_FLAG_OVERLAPPED 0x40000000UL
#define FILE_FLAG_NO_BUFFERING 0x20000000UL
#define FILE_FLAG_RANDOM_ACCESS 0x10000000UL
#define FILE_FLAG_SEQUENTIAL_SCAN 0x08000000UL

extern "C" {
// Returns a user handle to a new file object on the device, or INVALID_HANDLE_VALUE with the last
// error set: ERROR_FILE_NOT_FOUND for a name nothing answers to (or a disabled interface),
// ERROR_PATH_NOT_FOUND / ERROR_INVALID_NAME for a malformed path, ERROR_INVALID_PARAMETER for a bad
// disposition, ERROR_ACCESS_DENIED for an exclusive device already open, and for a failing create
// request the Win32 form of the driver's status. hTemplateFile and lpSecurityAttributes are ignored.
// A handle opened with FILE_FLAG_OVERLAPPED is accepted; requests on it are still served
// synchronously.
HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
// The same with a name in the ANSI code page (Windows-1252).
HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
}
