// Next-fit allocation of address intervals.
#include "AddressAllocator.h"

#include <iterator>
#include <stdexcept>

namespace platform {

AddressAllocator::AddressAllocator(uint64_t base, uint64_t end, uint64_t alignment, uint64_t gap)
    : m_base(base), m_end(end), m_alignment(alignment), m_gap(gap), m_cursor(base)
{
    if (alignment == 0 || (alignment & (alignment - 1)) != 0 || base % alignment != 0 || end <= base)
        throw std::invalid_argument("AddressAllocator: bad span or alignment");
}

uint64_t AddressAllocator::AlignUp(uint64_t value) const
{
    return (value + m_alignment - 1) & ~(m_alignment - 1);
}

std::optional<uint64_t> AddressAllocator::Search(uint64_t from, uint64_t reserved) const
{
    uint64_t pos = from;
    auto next = m_used.upper_bound(pos);
    if (next != m_used.begin()) {
        auto prev = std::prev(next);
        if (prev->first + prev->second > pos)
            pos = prev->first + prev->second;
    }
    // Intervals are disjoint and sorted, so one pass over those above pos finds the first hole.
    for (; next != m_used.end() && next->first < pos + reserved; ++next)
        pos = next->first + next->second;
    if (pos > m_end || m_end - pos < reserved)
        return std::nullopt;
    return pos;
}

std::optional<uint64_t> AddressAllocator::Allocate(uint64_t size)
{
    if (size == 0 || size > m_end - m_base)
        return std::nullopt;
    const uint64_t rounded = AlignUp(size);
    if (rounded < size || rounded + m_gap < rounded)
        return std::nullopt;
    const uint64_t reserved = rounded + m_gap;
    auto found = Search(m_cursor, reserved);
    if (!found && m_cursor != m_base)
        found = Search(m_base, reserved);
    if (!found)
        return std::nullopt;
    m_used.emplace(*found, reserved);
    m_cursor = *found + reserved;
    if (m_cursor >= m_end)
        m_cursor = m_base;
    return found;
}

bool AddressAllocator::Free(uint64_t start)
{
    return m_used.erase(start) != 0;
}

} // namespace platform
