// The stand-in's event log: the written entries, in order, bounded in number.
#pragma once
#include "BoundedLog.h"
#include "km/eventlog.h"
#include "standin/eventlog.h"

namespace standin {

class EventLog {
public:
    static EventLog& Instance();

    // Numbers the entry, stamps it with the system time and keeps it.
    void Write(EventLogEntry entry);
    BoundedLog<EventLogEntry>& Entries() { return entries_; }

private:
    EventLog() : entries_(kEventLogCapacity) {}
    BoundedLog<EventLogEntry> entries_;
};

} // namespace standin
