// The stand-in's event log: the written entries, in order, bounded in number.
#pragma once
#include "BoundedLog.h"
#include "km/eventlog.h"
#include "standin/eventlog.h"

#include <functional>
#include <mutex>

namespace standin {

class EventLog {
public:
    static EventLog& Instance();

    // Numbers the entry, stamps it with the system time and keeps it.
    void Write(EventLogEntry entry);
    BoundedLog<EventLogEntry>& Entries() { return entries_; }
    void SetWriteHandler(std::function<void(const EventLogEntry&)> handler);

private:
    EventLog() : entries_(kEventLogCapacity) {}
    BoundedLog<EventLogEntry> entries_;
    // Held across numbering an entry and handing it to the handler, so the handler sees the
    // entries in the order of their numbers.
    std::mutex writeLock_;
    std::function<void(const EventLogEntry&)> handler_;
};

} // namespace standin
