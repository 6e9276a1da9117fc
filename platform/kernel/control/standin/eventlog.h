// The event log's store: the entries written, their rendering through the sources' message tables,
// and the text the machine saves. Stand-in facilities, not Windows functions: drivers never see
// them.
#pragma once
#include "km/eventlog.h"
#include "km/messagetable.h"
#include "standin/pool.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

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
// One entry's line (with its continuation lines) as EventLogText shows it.
std::string EventLogEntryText(const EventLogEntry& entry);

// Called with every entry as it is written, numbered and stamped, in the order of their numbers
// (the machine appends it to its log file); none: nothing is called. The handler runs on the
// writer's thread, one call at a time; a call in flight ends before a new handler takes over. It
// must not write to the log itself.
void SetEventLogWriteHandler(std::function<void(const EventLogEntry&)> handler);

} // namespace standin
