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
    std::lock_guard hold(writeLock_);
    EventLogEntry written;
    entries_.Add(
        std::move(entry),
        [&](EventLogEntry& e, uint64_t number) {
            LARGE_INTEGER now;
            KeQuerySystemTime(&now);
            e.recordNumber = number;
            e.timeWritten = now.QuadPart;
            if (handler_)
                written = e;
        },
        [](const EventLogEntry&) {});
    if (handler_)
        handler_(written);
}

void EventLog::SetWriteHandler(std::function<void(const EventLogEntry&)> handler)
{
    std::lock_guard hold(writeLock_);
    handler_ = std::move(handler);
}

void SetEventLogWriteHandler(std::function<void(const EventLogEntry&)> handler)
{
    EventLog::Instance().SetWriteHandler(std::move(handler));
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
