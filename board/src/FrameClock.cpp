// The frame grid of a stream.
#include "board/FrameClock.h"

namespace board {

void FrameClock::Start(uint64_t originTicks, uint64_t frameTicks, uint64_t nowTicks)
{
    m_running = true;
    m_origin = originTicks;
    m_frame = frameTicks == 0 ? 1 : frameTicks;
    m_first = nowTicks <= originTicks ? 0 : (nowTicks - originTicks + m_frame - 1) / m_frame;
    m_next = m_first;
}

uint64_t FrameClock::Due(uint64_t nowTicks) const
{
    if (!m_running || nowTicks < NextEnd())
        return 0;
    return (nowTicks - m_origin) / m_frame - m_next;
}

} // namespace board
