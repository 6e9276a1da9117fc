// Basic Win32 types with their Windows names and widths (64-bit build: DWORD and LONG are 32 bits,
// WCHAR is char16_t, handles and pointers 64 bits). Every user-side header of the stand-in includes
// this one; the aliases it shares with the kernel side name the same types.
#pragma once
#include "shared/guiddef.h"

#include <cstddef>
#include <cstdint>

#define WINAPI
#define WINAPIV
#ifndef VOID
#define VOID void
#endif
#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

using BOOL = int;
using PBOOL = BOOL*;
using BYTE = uint8_t;
using PBYTE = BYTE*;
using LPBYTE = BYTE*;
using WORD = uint16_t;
using DWORD = uint32_t;
using PDWORD = DWORD*;
using LPDWORD = DWORD*;
using ACCESS_MASK = DWORD;
using CHAR = char;
using UCHAR = uint8_t;
using SHORT = int16_t;
using USHORT = uint16_t;
using INT = int;
using UINT = unsigned int;
using LONG = int32_t;
using ULONG = uint32_t;
using PULONG = ULONG*;
using LONGLONG = int64_t;
using ULONGLONG = uint64_t;
using LONG_PTR = intptr_t;
using ULONG_PTR = uintptr_t;
using DWORD_PTR = ULONG_PTR;
using SIZE_T = size_t;
using BOOLEAN = uint8_t;
using WCHAR = char16_t;
using PVOID = void*;
using LPVOID = void*;
using LPCVOID = const void*;
using HANDLE = void*;
using PHANDLE = HANDLE*;
using LPHANDLE = HANDLE*;
using LPSTR = CHAR*;
using LPCSTR = const CHAR*;
using PWSTR = WCHAR*;
using LPWSTR = WCHAR*;
using PCWSTR = const WCHAR*;
using LPCWSTR = const WCHAR*;
using PZZWSTR = WCHAR*; // zero-terminated strings one after the other, ended by one more zero
using NTSTATUS = LONG;
using PLONG = LONG*;
using LPLONG = LONG*;
using LPBOOL = BOOL*;
using LPCH = CHAR*;
using LPCCH = const CHAR*;
using LPWCH = WCHAR*;
using LPCWCH = const WCHAR*;
using PSTR = CHAR*;
using PCSTR = const CHAR*;
using LSTATUS = LONG;

// The longest path the Win32 path forms take ("\\?\" paths excepted), terminating zero included.
#define MAX_PATH 260

// Handles and records of the window manager. A handle type is a pointer to its own incomplete
// struct, so that handles of different kinds do not mix; HMODULE is HINSTANCE and HCURSOR is HICON,
// as on Windows.
struct HWND__;
using HWND = HWND__*;
struct HINSTANCE__;
using HINSTANCE = HINSTANCE__*;
using HMODULE = HINSTANCE;
struct HICON__;
using HICON = HICON__*;
using HCURSOR = HICON;
struct HBRUSH__;
using HBRUSH = HBRUSH__*;
struct HMENU__;
using HMENU = HMENU__*;
using INT_PTR = intptr_t;
using UINT_PTR = uintptr_t;
using WPARAM = UINT_PTR;
using LPARAM = LONG_PTR;
using LRESULT = LONG_PTR;
using ATOM = WORD;

struct POINT {
    LONG x;
    LONG y;
};
using PPOINT = POINT*;
using LPPOINT = POINT*;
struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};
using PRECT = RECT*;
using LPRECT = RECT*;
using LPCRECT = const RECT*;
struct SIZE {
    LONG cx;
    LONG cy;
};
using PSIZE = SIZE*;
using LPSIZE = SIZE*;
