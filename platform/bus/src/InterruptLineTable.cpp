// Interrupt lines by vector.
#include "platform/bus/InterruptLineTable.h"

namespace platform {

BusStatus InterruptLineTable::Register(uint32_t vector, std::shared_ptr<InterruptLine> line)
{
    if (!line)
        return BusStatus::InvalidArgument;
    std::lock_guard<std::mutex> hold(m_lock);
    return m_lines.emplace(vector, std::move(line)).second ? BusStatus::Ok : BusStatus::Overlap;
}

BusStatus InterruptLineTable::Unregister(uint32_t vector)
{
    std::shared_ptr<InterruptLine> line; // released outside the lock
    std::lock_guard<std::mutex> hold(m_lock);
    auto it = m_lines.find(vector);
    if (it == m_lines.end())
        return BusStatus::NotRegistered;
    line = std::move(it->second);
    m_lines.erase(it);
    return BusStatus::Ok;
}

std::shared_ptr<InterruptLine> InterruptLineTable::Find(uint32_t vector) const
{
    std::lock_guard<std::mutex> hold(m_lock);
    auto it = m_lines.find(vector);
    return it == m_lines.end() ? nullptr : it->second;
}

} // namespace platform
