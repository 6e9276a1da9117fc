// The system event log as drivers reach it: error-log packets (IoAllocateErrorLogEntry,
// IoWriteErrorLogEntry, IoFreeErrorLogEntry), and the stand-in's log behind them: the entries in the
// order they were written, which tests read, and their text, rendered through the message table
// registered for the entry's source the way the event viewer renders it (the store and its
// rendering in standin/eventlog.h; the driver file's table in km/messagetable.h).
#pragma once
#include "km/pool.h"
#include "km/types.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// ---- Error-log packets ------------------------------------------------------------------------

// An entry as the driver fills it. The NumberOfStrings inserts are zero-terminated UTF-16 strings,
// one after the other from StringOffset (bytes from the packet's start); DumpDataSize bytes of dump
// data start at DumpData. Both lie inside the size the packet was allocated with.
struct IO_ERROR_LOG_PACKET {
    UCHAR MajorFunctionCode;
    UCHAR RetryCount;
    USHORT DumpDataSize;
    USHORT NumberOfStrings;
    USHORT StringOffset;
    USHORT EventCategory;
    NTSTATUS ErrorCode; // the message id
    ULONG UniqueErrorValue;
    NTSTATUS FinalStatus;
    ULONG SequenceNumber;
    ULONG IoControlCode;
    LARGE_INTEGER DeviceOffset;
    ULONG DumpData[1];
};
using PIO_ERROR_LOG_PACKET = IO_ERROR_LOG_PACKET*;
static_assert(offsetof(IO_ERROR_LOG_PACKET, MajorFunctionCode) == 0);
static_assert(offsetof(IO_ERROR_LOG_PACKET, RetryCount) == 1);
static_assert(offsetof(IO_ERROR_LOG_PACKET, DumpDataSize) == 2);
static_assert(offsetof(IO_ERROR_LOG_PACKET, NumberOfStrings) == 4);
static_assert(offsetof(IO_ERROR_LOG_PACKET, StringOffset) == 6);
static_assert(offsetof(IO_ERROR_LOG_PACKET, EventCategory) == 8);
static_assert(offsetof(IO_ERROR_LOG_PACKET, ErrorCode) == 12);
static_assert(offsetof(IO_ERROR_LOG_PACKET, UniqueErrorValue) == 16);
static_assert(offsetof(IO_ERROR_LOG_PACKET, FinalStatus) == 20);
static_assert(offsetof(IO_ERROR_LOG_PACKET, SequenceNumber) == 24);
static_assert(offsetof(IO_ERROR_LOG_PACKET, IoControlCode) == 28);
static_assert(offsetof(IO_ERROR_LOG_PACKET, DeviceOffset) == 32);
static_assert(offsetof(IO_ERROR_LOG_PACKET, DumpData) == 40);
static_assert(sizeof(IO_ERROR_LOG_PACKET) == 48);

// The largest entry IoAllocateErrorLogEntry grants: 240 bytes, on x64 as on x86. The I/O manager
// hands each entry to the event-log service in a message of 256 bytes, 16 of which are its own.
#define ERROR_LOG_MAXIMUM_SIZE 240

extern "C" {
// A zeroed entry of EntrySize bytes for IoObject (a device or a driver object), from non-paged pool.
// NULL when EntrySize exceeds ERROR_LOG_MAXIMUM_SIZE or is smaller than the packet (a breach), when
// IoObject is NULL or neither kind of object (a breach), or when the pool refuses the block (the
// pool's failure injection applies; the tag is standin::kErrorLogPoolTag). DISPATCH_LEVEL or below.
PVOID NTAPI IoAllocateErrorLogEntry(PVOID IoObject, UCHAR EntrySize);
// Writes the entry into the log and frees it; the caller must not touch it again. A packet whose
// dump data or inserts reach past its size is logged with what lies inside and reported as a
// breach. A pointer IoAllocateErrorLogEntry did not return, or one already written or freed, is a
// breach and changes nothing. DISPATCH_LEVEL or below.
VOID NTAPI IoWriteErrorLogEntry(PVOID ElEntry);
// Frees an entry that will not be written, with the same checks.
VOID NTAPI IoFreeErrorLogEntry(PVOID ElEntry);
}

