// File I/O of the kernel: ZwCreateFile, ZwReadFile, ZwWriteFile and ZwQueryInformationFile with
// their records and constants (ZwClose is in km/object.h, InitializeObjectAttributes too). File
// names take the forms "\DosDevices\C:\dir\file", "\??\C:\dir\file" and "C:\dir\file"; drive letters
// are folders under the machine's root, looked up case-insensitively. Handles are synchronous:
// every call has finished when it returns, and its IO_STATUS_BLOCK holds the outcome.
#pragma once
#include "km/object.h"
#include "km/types.h"

// The outcome of an I/O call: the status, and the byte count moved (or, for ZwCreateFile, one of
// the FILE_SUPERSEDED .. FILE_DOES_NOT_EXIST values).
struct IO_STATUS_BLOCK {
    union {
        NTSTATUS Status;
        PVOID Pointer;
    };
    ULONG_PTR Information;
};
using PIO_STATUS_BLOCK = IO_STATUS_BLOCK*;
static_assert(sizeof(IO_STATUS_BLOCK) == 16);

using PIO_APC_ROUTINE = VOID(NTAPI*)(PVOID ApcContext, PIO_STATUS_BLOCK IoStatusBlock, ULONG Reserved);

enum FILE_INFORMATION_CLASS {
    FileDirectoryInformation = 1,
    FileBasicInformation = 4,
    FileStandardInformation = 5,
    FilePositionInformation = 14,
    FileEndOfFileInformation = 20,
};
using PFILE_INFORMATION_CLASS = FILE_INFORMATION_CLASS*;

struct FILE_STANDARD_INFORMATION {
    LARGE_INTEGER AllocationSize;
    LARGE_INTEGER EndOfFile;
    ULONG NumberOfLinks;
    BOOLEAN DeletePending;
    BOOLEAN Directory;
};
using PFILE_STANDARD_INFORMATION = FILE_STANDARD_INFORMATION*;
static_assert(sizeof(FILE_STANDARD_INFORMATION) == 24);

struct FILE_POSITION_INFORMATION {
    LARGE_INTEGER CurrentByteOffset;
};
using PFILE_POSITION_INFORMATION = FILE_POSITION_INFORMATION*;
static_assert(sizeof(FILE_POSITION_INFORMATION) == 8);

// Access rights (the standard and generic ones are in km/access.h).
#include "km/access.h"

#define FILE_READ_DATA 0x0001UL
#define FILE_WRITE_DATA 0x0002UL
#define FILE_APPEND_DATA 0x0004UL
#define FILE_READ_EA 0x0008UL
#define FILE_WRITE_EA 0x0010UL
#define FILE_READ_ATTRIBUTES 0x0080UL
#define FILE_WRITE_ATTRIBUTES 0x0100UL
#define FILE_GENERIC_READ                                                                                    \
    (STANDARD_RIGHTS_READ | FILE_READ_DATA | FILE_READ_ATTRIBUTES | FILE_READ_EA | SYNCHRONIZE)
#define FILE_GENERIC_WRITE                                                                                   \
    (STANDARD_RIGHTS_WRITE | FILE_WRITE_DATA | FILE_WRITE_ATTRIBUTES | FILE_WRITE_EA | FILE_APPEND_DATA |    \
     SYNCHRONIZE)

// Share access.
#ifndef FILE_SHARE_READ
#define FILE_SHARE_READ 0x00000001UL
#define FILE_SHARE_WRITE 0x00000002UL
#define FILE_SHARE_DELETE 0x00000004UL
#endif

// File attributes.
#define FILE_ATTRIBUTE_READONLY 0x00000001UL
#define FILE_ATTRIBUTE_HIDDEN 0x00000002UL
#define FILE_ATTRIBUTE_SYSTEM 0x00000004UL
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010UL
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020UL
#ifndef FILE_ATTRIBUTE_NORMAL
#define FILE_ATTRIBUTE_NORMAL 0x00000080UL
#endif

// Create dispositions.
#define FILE_SUPERSEDE 0x00000000UL
#define FILE_OPEN 0x00000001UL
#define FILE_CREATE 0x00000002UL
#define FILE_OPEN_IF 0x00000003UL
#define FILE_OVERWRITE 0x00000004UL
#define FILE_OVERWRITE_IF 0x00000005UL

// Create options.
#define FILE_DIRECTORY_FILE 0x00000001UL
#define FILE_WRITE_THROUGH 0x00000002UL
#define FILE_SEQUENTIAL_ONLY 0x00000004UL
#define FILE_NO_INTERMEDIATE_BUFFERING 0x00000008UL
#define FILE_SYNCHRONOUS_IO_ALERT 0x00000010UL
#define FILE_SYNCHRONOUS_IO_NONALERT 0x00000020UL
#define FILE_NON_DIRECTORY_FILE 0x00000040UL
#define FILE_RANDOM_ACCESS 0x00000800UL
#define FILE_DELETE_ON_CLOSE 0x00001000UL

// IO_STATUS_BLOCK.Information after ZwCreateFile.
#define FILE_SUPERSEDED 0x00000000UL
#define FILE_OPENED 0x00000001UL
#define FILE_CREATED 0x00000002UL
#define FILE_OVERWRITTEN 0x00000003UL
#define FILE_EXISTS 0x00000004UL
#define FILE_DOES_NOT_EXIST 0x00000005UL

// Special ByteOffset values of ZwReadFile/ZwWriteFile (LowPart with HighPart -1).
#define FILE_WRITE_TO_END_OF_FILE 0xFFFFFFFFUL
#define FILE_USE_FILE_POINTER_POSITION 0xFFFFFFFEUL

extern "C" {
// Opens or creates the file that ObjectAttributes names (RootDirectory must be NULL). Missing files
// give STATUS_OBJECT_NAME_NOT_FOUND, missing folders STATUS_OBJECT_PATH_NOT_FOUND.
NTSTATUS NTAPI ZwCreateFile(PHANDLE FileHandle, ACCESS_MASK DesiredAccess,
                            POBJECT_ATTRIBUTES ObjectAttributes, PIO_STATUS_BLOCK IoStatusBlock,
                            PLARGE_INTEGER AllocationSize, ULONG FileAttributes, ULONG ShareAccess,
                            ULONG CreateDisposition, ULONG CreateOptions, PVOID EaBuffer, ULONG EaLength);
// Reads at ByteOffset, or at the current position when ByteOffset is NULL; the position moves past
// the bytes read. Reading at or beyond the end gives STATUS_END_OF_FILE.
NTSTATUS NTAPI ZwReadFile(HANDLE FileHandle, HANDLE Event, PIO_APC_ROUTINE ApcRoutine, PVOID ApcContext,
                          PIO_STATUS_BLOCK IoStatusBlock, PVOID Buffer, ULONG Length,
                          PLARGE_INTEGER ByteOffset, PULONG Key);
// Writes at ByteOffset, or at the current position when ByteOffset is NULL (at the end for a handle
// opened with FILE_APPEND_DATA only).
NTSTATUS NTAPI ZwWriteFile(HANDLE FileHandle, HANDLE Event, PIO_APC_ROUTINE ApcRoutine, PVOID ApcContext,
                           PIO_STATUS_BLOCK IoStatusBlock, PVOID Buffer, ULONG Length,
                           PLARGE_INTEGER ByteOffset, PULONG Key);
// Fills FileInformation with the record of the class; STATUS_INFO_LENGTH_MISMATCH when Length is
// shorter than the record.
NTSTATUS NTAPI ZwQueryInformationFile(HANDLE FileHandle, PIO_STATUS_BLOCK IoStatusBlock,
                                      PVOID FileInformation, ULONG Length,
                                      FILE_INFORMATION_CLASS FileInformationClass);
}

// Rights and records beyond the ones above: the generic mapping's execute and all-access forms,
// and the end-of-file record of ZwSetInformationFile.
#define FILE_EXECUTE 0x0020UL
#define FILE_GENERIC_EXECUTE (READ_CONTROL | FILE_READ_ATTRIBUTES | FILE_EXECUTE | SYNCHRONIZE)
#define FILE_ALL_ACCESS (STANDARD_RIGHTS_REQUIRED | SYNCHRONIZE | 0x1FFUL)

struct FILE_END_OF_FILE_INFORMATION {
    LARGE_INTEGER EndOfFile;
};
using PFILE_END_OF_FILE_INFORMATION = FILE_END_OF_FILE_INFORMATION*;
static_assert(sizeof(FILE_END_OF_FILE_INFORMATION) == 8);

extern "C" {
// Moves the file pointer (FilePositionInformation) or sets the file's size
// (FileEndOfFileInformation, which needs FILE_WRITE_DATA); other classes give
// STATUS_INVALID_INFO_CLASS.
NTSTATUS NTAPI ZwSetInformationFile(HANDLE FileHandle, PIO_STATUS_BLOCK IoStatusBlock, PVOID FileInformation,
                                    ULONG Length, FILE_INFORMATION_CLASS FileInformationClass);
}
