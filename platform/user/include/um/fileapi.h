// Files and devices. CreateFile opens
// - files on the machine's drives: "C:\dir\name", "\\?\C:\dir\name", a name relative to the current
//   directory ("name", "dir\name", "..\name"), or to the current drive's root ("\dir\name"). Win32
//   names are made whole first: '/' reads as '\', "." and ".." steps are taken (never above the
//   drive's root). The open is the kernel side's ZwCreateFile on "\??\C:\dir\name", so a file written
//   here is the one a driver opens as "\DosDevices\C:\dir\name";
// - devices: "\\.\<name>" (a symbolic link of the object namespace, such as one a driver made with
//   IoCreateSymbolicLink) or a device-interface path "\\?\<...>#{<class guid>}\<reference string>"
//   as CM_Get_Device_Interface_List gives it. The open travels to the driver as IRP_MJ_CREATE; the
//   part of the path after the link's name reaches the driver as the file object's FileName.
// Every call here is synchronous.
#pragma once
#include "um/minwinbase.h"
#include "um/windef.h"
#include "um/winnt.h"

#ifndef FILE_SHARE_READ
#define FILE_SHARE_READ 0x00000001UL
#define FILE_SHARE_WRITE 0x00000002UL
#define FILE_SHARE_DELETE 0x00000004UL
#endif
#ifndef FILE_ATTRIBUTE_NORMAL
#define FILE_ATTRIBUTE_READONLY 0x00000001UL
#define FILE_ATTRIBUTE_HIDDEN 0x00000002UL
#define FILE_ATTRIBUTE_SYSTEM 0x00000004UL
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020UL
#define FILE_ATTRIBUTE_NORMAL 0x00000080UL
#define FILE_ATTRIBUTE_TEMPORARY 0x00000100UL
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
#define FILE_FLAG_DELETE_ON_CLOSE 0x04000000UL
#define FILE_FLAG_BACKUP_SEMANTICS 0x02000000UL

extern "C" {
// Returns a user handle, or INVALID_HANDLE_VALUE with the last error set.
// Files: on success the last error is ERROR_ALREADY_EXISTS when CREATE_ALWAYS or OPEN_ALWAYS found
// the file there, else ERROR_SUCCESS. Failures: ERROR_FILE_EXISTS (CREATE_NEW on an existing file),
// ERROR_FILE_NOT_FOUND (a missing file), ERROR_PATH_NOT_FOUND (a missing folder or drive),
// ERROR_SHARING_VIOLATION (an open handle does not share what is asked, or asks what this open does
// not share), ERROR_INVALID_NAME (a malformed name), ERROR_ACCESS_DENIED (a folder, a link, a
// delete-pending file, the host's refusal), ERROR_BAD_NETPATH (a "\\server\share" name),
// ERROR_INVALID_PARAMETER (a bad disposition, TRUNCATE_EXISTING without GENERIC_WRITE), and
// ERROR_NOT_SUPPORTED for FILE_FLAG_OVERLAPPED. FILE_FLAG_DELETE_ON_CLOSE removes the file when the
// handle closes; FILE_FLAG_BACKUP_SEMANTICS lets a folder open.
// Devices: ERROR_FILE_NOT_FOUND for a name nothing answers to (or a disabled interface),
// ERROR_PATH_NOT_FOUND / ERROR_INVALID_NAME for a malformed path, ERROR_INVALID_PARAMETER for a bad
// disposition, ERROR_ACCESS_DENIED for an exclusive device already open, and for a failing create
// request the Win32 form of the driver's status. A device handle opened with FILE_FLAG_OVERLAPPED is
// accepted; requests on it are still served synchronously.
// hTemplateFile and lpSecurityAttributes are ignored.
HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
// The same with a name in the ANSI code page (Windows-1252).
HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
// Reads up to nNumberOfBytesToRead bytes at the handle's file pointer and moves it past them. A
// read at or past the end succeeds with *lpNumberOfBytesRead 0. FALSE with ERROR_NOT_SUPPORTED for
// an lpOverlapped, ERROR_INVALID_PARAMETER without lpNumberOfBytesRead, ERROR_NOACCESS for a NULL
// buffer with a length, ERROR_ACCESS_DENIED without read access, ERROR_INVALID_HANDLE for a handle
// that is not a file's.
BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                     LPOVERLAPPED lpOverlapped);
// Writes at the handle's file pointer (at the end for a handle with append access only); the same
// failures, and ERROR_DISK_FULL when the host has no room. *lpNumberOfBytesWritten counts what was
// written, failures included.
BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped);
// Removes a file (named as for CreateFile). A handle open on it that does not share deleting gives
// ERROR_SHARING_VIOLATION; a folder ERROR_ACCESS_DENIED; a missing file ERROR_FILE_NOT_FOUND.
BOOL WINAPI DeleteFileW(LPCWSTR lpFileName);
BOOL WINAPI DeleteFileA(LPCSTR lpFileName);
}
