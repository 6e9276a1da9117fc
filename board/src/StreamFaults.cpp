// The capture faults and how they are used up.
#include "board/StreamFaults.h"

#include <algorithm>

namespace board {

bool StreamFaults::TakeOne(uint32_t& count)
{
    if (count == 0)
        return false;
    --count;
    return true;
}

void StreamFaults::FailNextCaptures(uint32_t count, uint32_t result)
{
    std::lock_guard lock(m_lock);
    m_failures = count;
    m_failResult = result;
}

void StreamFaults::DelayCompletions(int64_t delay)
{
    std::lock_guard lock(m_lock);
    m_delay = std::max<int64_t>(delay, 0);
}

void StreamFaults::HoldCompletionsPastDestroy(uint32_t count)
{
    std::lock_guard lock(m_lock);
    m_holds = count;
}

void StreamFaults::StampJitter(uint32_t ticks, uint32_t seed)
{
    std::lock_guard lock(m_lock);
    m_jitter = ticks;
    m_jitterState = seed;
}

void StreamFaults::RepeatStamp(uint32_t count)
{
    std::lock_guard lock(m_lock);
    m_repeats = count;
}

void StreamFaults::SkipFrames(uint32_t count)
{
    std::lock_guard lock(m_lock);
    m_skips = count;
}

void StreamFaults::OmitMarker(uint32_t count)
{
    std::lock_guard lock(m_lock);
    m_omitMarker = count;
}

void StreamFaults::ReportGeometry(const StatusWords& words, uint32_t count)
{
    std::lock_guard lock(m_lock);
    m_geometry = words;
    m_geometryCount = count;
}

void StreamFaults::CountVbi(std::optional<std::array<uint32_t, 2>> counted)
{
    std::lock_guard lock(m_lock);
    m_countedVbi = counted;
}

void StreamFaults::Clear()
{
    std::lock_guard lock(m_lock);
    m_failures = m_holds = m_jitter = m_repeats = m_skips = m_omitMarker = m_geometryCount = 0;
    m_delay = 0;
    m_countedVbi.reset();
}

bool StreamFaults::TakeSkip()
{
    std::lock_guard lock(m_lock);
    return TakeOne(m_skips);
}

std::optional<uint32_t> StreamFaults::TakeFailure()
{
    std::lock_guard lock(m_lock);
    if (!TakeOne(m_failures))
        return std::nullopt;
    return m_failResult;
}

bool StreamFaults::TakeOmitMarker()
{
    std::lock_guard lock(m_lock);
    return TakeOne(m_omitMarker);
}

std::optional<StatusWords> StreamFaults::TakeGeometry()
{
    std::lock_guard lock(m_lock);
    if (!TakeOne(m_geometryCount))
        return std::nullopt;
    return m_geometry;
}

bool StreamFaults::TakeHoldPastDestroy()
{
    std::lock_guard lock(m_lock);
    return TakeOne(m_holds);
}

int64_t StreamFaults::CompletionDelay() const
{
    std::lock_guard lock(m_lock);
    return m_delay;
}

std::optional<std::array<uint32_t, 2>> StreamFaults::CountedVbi() const
{
    std::lock_guard lock(m_lock);
    return m_countedVbi;
}

uint32_t StreamFaults::Stamp(uint32_t ideal, std::optional<uint32_t> previous)
{
    std::lock_guard lock(m_lock);
    if (previous && TakeOne(m_repeats))
        return *previous;
    if (m_jitter == 0)
        return ideal;
    // A 64-bit linear congruential step; the high bits pick the offset.
    m_jitterState = m_jitterState * 6364136223846793005ull + 1442695040888963407ull;
    const uint64_t span = 2 * uint64_t{m_jitter} + 1;
    const int64_t offset = static_cast<int64_t>((m_jitterState >> 33) % span) - m_jitter;
    return ideal + static_cast<uint32_t>(offset);
}

} // namespace board
