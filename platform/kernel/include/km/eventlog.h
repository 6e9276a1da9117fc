// The system event log as drivers reach it: error-log packets (IoAllocateErrorLogEntry,
// IoWriteErrorLogEntry, IoFreeErrorLogEntry), and the stand-in's log behind them: the entries in the
// order they were written, which tests read, and their text, rendered through the message table
// registered for the entry's source the way the event viewer renders it.
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

// ---- The stand-in's event log -----------------------------------------------------------------

namespace standin {

// Pool tag of error-log entries: PoolFailTag(kErrorLogPoolTag) makes IoAllocateErrorLogEntry fail.
constexpr ULONG kErrorLogPoolTag = MakePoolTag("IoEr");

// One written entry.
struct EventLogEntry {
    uint64_t recordNumber = 0;           // 1 for the first entry of the process; numbers are never reused
    LONGLONG timeWritten = 0;            // system time (100-ns units since 1601, UTC)
    std::string source;                  // the event-log source: the driver's name ("\Driver\X" gives "X")
    std::u16string objectName;           // insert %1: the device object's name, else the driver's name
    ULONG messageId = 0;                 // the packet's ErrorCode
    std::vector<std::u16string> inserts; // the packet's strings: %2, %3, ...
    std::vector<UCHAR> dumpData;
    UCHAR majorFunctionCode = 0;
    UCHAR retryCount = 0;
    USHORT eventCategory = 0;
    ULONG uniqueErrorValue = 0;
    NTSTATUS finalStatus = 0;
    ULONG sequenceNumber = 0;
    ULONG ioControlCode = 0;
    LONGLONG deviceOffset = 0;
    bool malformed = false; // the packet broke its bounds; what lay inside them was kept
};

// The log keeps the newest kEventLogCapacity entries (or as many as SetEventLogCapacity says);
// older ones are dropped and counted.
constexpr size_t kEventLogCapacity = 100000;
void SetEventLogCapacity(size_t capacity);

// Every entry kept, oldest first.
std::vector<EventLogEntry> EventLogEntries();
size_t EventLogCount();
// Entries dropped to keep within kEventLogCapacity since the last clear.
uint64_t EventLogDropped();
// Empties the log (record numbers go on counting).
void EventLogClear();

// One message of a compiled message table: its id and its text as the message file gives it (UTF-8),
// with the inserts and escapes of message-file syntax still in place.
struct MessageTableEntry {
    ULONG id;
    const char* text;
};

// Makes `entries` the message table of an event-log source (case-insensitive name), replacing any
// table it had. The entries are copied. This is where the machine's event log puts the table it
// finds through the source's "EventMessageFile".
void RegisterMessageTable(std::string_view source, const MessageTableEntry* entries, size_t count);
void UnregisterMessageTable(std::string_view source);

// A message text with its inserts in place, by message-file rules: %1 to %99 take inserts[0] to
// inserts[98] (an insert not supplied stays as written); %n!fmt! formats the insert with the printf
// conversion fmt (text conversions pad or cut it, integer conversions read it as a number);
// %% gives %, %n a line break (CR LF), %r a carriage return, %t a tab, %b and "% " a space, %. a
// full stop, %! an exclamation mark, and %0 ends the text there. Inserts are not read for escapes.
std::string FormatEventMessage(std::string_view text, const std::vector<std::u16string>& inserts);

// The entry's text as the event viewer shows it: its source's message for its id with %1 the object
// name and %2 on the packet's strings; when the source has no table or the table no such id,
// "The description for Event ID 0x<id> from source <source> cannot be found. The following
// information was included with the event:" followed by each insert on a line of its own.
std::string RenderEventLogEntry(const EventLogEntry& entry);

// "Success", "Information", "Warning" or "Error", from the two top bits of a message id.
const char* EventSeverityName(ULONG messageId);

// The whole log as text, one entry a line, oldest first:
//   <local date and time> <source> <severity> 0x<message id> <rendered text>
// with the date and time as "YYYY-MM-DD hh:mm:ss.mmm". Line breaks inside the text start a
// continuation line that begins with a tab; line breaks at its end are dropped. Every line ends
// with "\n".
std::string EventLogText();

} // namespace standin
