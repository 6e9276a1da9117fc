// Basic kernel types with their Windows names and widths (64-bit build; ULONG is 32 bits, WCHAR is
// char16_t). Every kernel-side header of the stand-in includes this one.
#pragma once
#include <cstddef>
#include <cstdint>

#define NTAPI
#define VOID void
#ifndef IN
#define IN
#define OUT
#define OPTIONAL
#endif

using CHAR = char;
using UCHAR = uint8_t;
using SHORT = int16_t;
using USHORT = uint16_t;
using LONG = int32_t;
using ULONG = uint32_t;
using LONGLONG = int64_t;
using ULONGLONG = uint64_t;
using LONG64 = int64_t;
using ULONG64 = uint64_t;
using LONG_PTR = intptr_t;
using ULONG_PTR = uintptr_t;
using SIZE_T = size_t;
using BOOLEAN = uint8_t;
using WCHAR = char16_t;
using PVOID = void*;
using HANDLE = void*;
using PHANDLE = HANDLE*;
using PCHAR = CHAR*;
using PUCHAR = UCHAR*;
using PUSHORT = USHORT*;
using PULONG = ULONG*;
using PLONG = LONG*;
using PWCHAR = WCHAR*;
using PWSTR = WCHAR*;
using PCWSTR = const WCHAR*;
using PSTR = CHAR*;
using PCSTR = const CHAR*;
using NTSTATUS = LONG;
using KIRQL = UCHAR;
using PKIRQL = KIRQL*;
using KPRIORITY = LONG;
using ACCESS_MASK = ULONG;
using KAFFINITY = ULONG_PTR;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

union LARGE_INTEGER {
    struct {
        ULONG LowPart;
        LONG HighPart;
    } u;
    LONGLONG QuadPart;
};
using PLARGE_INTEGER = LARGE_INTEGER*;
static_assert(sizeof(LARGE_INTEGER) == 8);

union ULARGE_INTEGER {
    struct {
        ULONG LowPart;
        ULONG HighPart;
    } u;
    ULONGLONG QuadPart;
};
using PULARGE_INTEGER = ULARGE_INTEGER*;

#define NT_SUCCESS(Status) (((NTSTATUS)(Status)) >= 0)

// Counted strings. Length and MaximumLength count bytes, not characters; Buffer need not be
// terminated.
struct UNICODE_STRING {
    USHORT Length;
    USHORT MaximumLength;
    PWSTR Buffer;
};
using PUNICODE_STRING = UNICODE_STRING*;
using PCUNICODE_STRING = const UNICODE_STRING*;

struct ANSI_STRING {
    USHORT Length;
    USHORT MaximumLength;
    PCHAR Buffer;
};
using PANSI_STRING = ANSI_STRING*;
using PCANSI_STRING = const ANSI_STRING*;

// Names an object for the create and open functions (registry keys, files, threads).
struct OBJECT_ATTRIBUTES {
    ULONG Length;
    HANDLE RootDirectory;
    PUNICODE_STRING ObjectName;
    ULONG Attributes;
    PVOID SecurityDescriptor;
    PVOID SecurityQualityOfService;
};
using POBJECT_ATTRIBUTES = OBJECT_ATTRIBUTES*;

#define OBJ_INHERIT 0x00000002L
#define OBJ_CASE_INSENSITIVE 0x00000040L
#define OBJ_KERNEL_HANDLE 0x00000200L
