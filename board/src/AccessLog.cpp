// The access log's store and its one-line descriptions.
#include "board/AccessLog.h"

#include <cstdio>

#include "board/ImageHeader.h"

namespace board {

std::string Describe(const AccessRecord& r)
{
    char line[128];
    switch (r.kind) {
    case AccessKind::RegisterRead:
    case AccessKind::RegisterWrite:
        std::snprintf(line, sizeof line, "register %s 0x%06x/%u = 0x%08x",
                      r.kind == AccessKind::RegisterRead ? "read" : "write", r.address, r.width, r.value);
        break;
    case AccessKind::WindowRead:
    case AccessKind::WindowWrite:
        std::snprintf(line, sizeof line, "window %s 0x%08x/%u, %llu bytes",
                      r.kind == AccessKind::WindowRead ? "read" : "write", r.address, r.width,
                      static_cast<unsigned long long>(r.count));
        break;
    case AccessKind::PageSwitch: std::snprintf(line, sizeof line, "page 0x%03x", r.value); break;
    case AccessKind::Doorbell: std::snprintf(line, sizeof line, "doorbell%s", r.value ? " (release)" : ""); break;
    case AccessKind::WarmReset: std::snprintf(line, sizeof line, "warm reset"); break;
    case AccessKind::Boot: std::snprintf(line, sizeof line, "boot %s", PersonalityName(static_cast<Personality>(r.value))); break;
    case AccessKind::InterruptRaised: std::snprintf(line, sizeof line, "interrupt raised"); break;
    }
    return line;
}

void AccessLog::Add(const AccessRecord& record)
{
    std::lock_guard lock(m_lock);
    if (!m_enabled)
        return;
    if (m_records.size() >= m_capacity) {
        m_records.pop_front();
        ++m_dropped;
    }
    m_records.push_back(record);
}

std::vector<AccessRecord> AccessLog::Records() const
{
    std::lock_guard lock(m_lock);
    return {m_records.begin(), m_records.end()};
}

void AccessLog::Clear()
{
    std::lock_guard lock(m_lock);
    m_records.clear();
    m_dropped = 0;
}

void AccessLog::SetEnabled(bool enabled)
{
    std::lock_guard lock(m_lock);
    m_enabled = enabled;
}

void AccessLog::SetCapacity(size_t capacity)
{
    std::lock_guard lock(m_lock);
    m_capacity = capacity == 0 ? 1 : capacity;
    while (m_records.size() > m_capacity) {
        m_records.pop_front();
        ++m_dropped;
    }
}

uint64_t AccessLog::Dropped() const
{
    std::lock_guard lock(m_lock);
    return m_dropped;
}

} // namespace board
