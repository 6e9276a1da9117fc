// The capture grid of one enabled stream: frame k of the signal is captured over [Tk, Tk+1), where
// Tk = origin + k x the frame length in 90 MHz ticks (exact for every standard: 3,003,000 at
// 30000/1001, 900,000 for a 10 ms audio buffer), and is due once Tk+1 has passed. A stream joins
// the grid at the first frame that starts at or after its start. Times are the board's 90 MHz ticks,
// unwrapped (the clock's 100-ns units x 9). Not thread-safe: the command set guards it.
#pragma once
#include <cstdint>

namespace board {

class FrameClock {
public:
    // Joins the grid of a signal that began at `originTicks` with frames of `frameTicks`.
    void Start(uint64_t originTicks, uint64_t frameTicks, uint64_t nowTicks);
    void Stop() { m_running = false; }
    bool Running() const { return m_running; }
    bool OnGrid(uint64_t originTicks, uint64_t frameTicks) const
    {
        return m_running && m_origin == originTicks && m_frame == frameTicks;
    }

    // The signal's index of the next frame to take, and its start and end.
    uint64_t NextIndex() const { return m_next; }
    uint64_t FrameStart(uint64_t index) const { return m_origin + index * m_frame; }
    uint64_t NextStart() const { return FrameStart(m_next); }
    uint64_t NextEnd() const { return FrameStart(m_next + 1); }
    // Frames taken since Start.
    uint64_t Taken() const { return m_next - m_first; }
    // Frames whose end has passed by `nowTicks` and that were not taken yet.
    uint64_t Due(uint64_t nowTicks) const;
    void Advance(uint64_t frames = 1) { m_next += frames; }

private:
    bool m_running = false;
    uint64_t m_origin = 0;
    uint64_t m_frame = 1;
    uint64_t m_first = 0;
    uint64_t m_next = 0;
};

} // namespace board
