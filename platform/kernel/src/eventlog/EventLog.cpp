// The stand-in's event log and the functions through which tests read it.
#include "EventLog.h"

#include "km/time.h"
#include "standin/eventlog.h"

namespace standin {

EventLog& EventLog::Instance()
{
    static EventLog* log = new EventLog; // never destroyed: drivers may log while the process ends
    return *log;
}

void EventLog::Write(EventLogEntry entry)
{
    entries_.Add(
        std::move(entry),
        [](EventLogEntry& e, uint64_t number) {
            LARGE_INTEGER now;
            KeQuerySystemTime(&now);
            e.recordNumber = number;
            e.timeWritten = now.QuadPart;
        },
        [](const EventLogEntry&) {});
}

std::vector<EventLogEntry> EventLogEntries()
{
    return EventLog::Instance().Entries().Items();
}

size_t EventLogCount()
{
    return EventLog::Instance().Entries().Count();
}

uint64_t EventLogDropped()
{
    return EventLog::Instance().Entries().Dropped();
}

void SetEventLogCapacity(size_t capacity)
{
    EventLog::Instance().Entries().SetCapacity(capacity);
}

void EventLogClear()
{
    EventLog::Instance().Entries().Clear();
}

} // namespace standin
