// The message table a driver file carries, as a Windows driver carries its compiled message file as a
// resource: the file exports StandinMessageTable and StandinMessageTableCount with C linkage
// (tools/mcgen/mcgen.py writes them), and the machine's event log reads them through the
// "EventMessageFile" value of the driver's event-log source.
#pragma once
#include "km/types.h"

namespace standin {

// One message of a compiled message table: its id and its text as the message file gives it (UTF-8),
// with the inserts and escapes of message-file syntax still in place.
struct MessageTableEntry {
    ULONG id;
    const char* text;
};

} // namespace standin
