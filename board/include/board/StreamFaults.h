// Faults the DSP's capture of one kind of stream (video or audio) can be made to show, for tests of
// the host's streaming: failed captures, late completions and one held past its stream's destroy,
// jittered, repeated and skipped time stamps, a missing alignment marker, a reported geometry of
// the test's choosing and VBI counts unlike the captured ones. Every count-limited fault applies to
// the next captures of that kind in order. Thread-safe (its lock is taken last of all).
#pragma once
#include <array>
#include <cstdint>
#include <mutex>
#include <optional>

#include "board/CapturePattern.h"

namespace board {

class StreamFaults {
public:
    // ---- test hooks ----

    // The next `count` captures answer `result` with data size 0 and write nothing.
    void FailNextCaptures(uint32_t count, uint32_t result);
    // Every completion made from now on leaves no sooner than `delay` 100-ns units after it was
    // made (0: at once).
    void DelayCompletions(int64_t delay);
    // The next `count` completions are held until their stream is destroyed and answered after the
    // destroy's own answer.
    void HoldCompletionsPastDestroy(uint32_t count = 1);
    // Every time stamp from now on moves by up to +-`ticks` (deterministic from `seed`; 0: none).
    void StampJitter(uint32_t ticks, uint32_t seed);
    // The next `count` completions carry the previous completion's time stamp.
    void RepeatStamp(uint32_t count = 1);
    // The next `count` frames are not captured at all: no buffer taken, no drop counted.
    void SkipFrames(uint32_t count);
    // The next `count` video buffers lack the alignment marker.
    void OmitMarker(uint32_t count);
    // The next `count` completions report these status words instead of their own.
    void ReportGeometry(const StatusWords& words, uint32_t count);
    // Video completions report these VBI counts as counted (status word 2; none: as captured).
    void CountVbi(std::optional<std::array<uint32_t, 2>> counted);
    void Clear();

    // ---- the firmware's side ----

    bool TakeSkip();
    std::optional<uint32_t> TakeFailure();
    bool TakeOmitMarker();
    std::optional<StatusWords> TakeGeometry();
    bool TakeHoldPastDestroy();
    int64_t CompletionDelay() const;
    std::optional<std::array<uint32_t, 2>> CountedVbi() const;
    // The stamp to report for a frame stamped `ideal`, given the last reported one (if any).
    uint32_t Stamp(uint32_t ideal, std::optional<uint32_t> previous);

private:
    static bool TakeOne(uint32_t& count);

    mutable std::mutex m_lock;
    uint32_t m_failures = 0;
    uint32_t m_failResult = 0;
    int64_t m_delay = 0;
    uint32_t m_holds = 0;
    uint32_t m_jitter = 0;
    uint64_t m_jitterState = 0;
    uint32_t m_repeats = 0;
    uint32_t m_skips = 0;
    uint32_t m_omitMarker = 0;
    uint32_t m_geometryCount = 0;
    StatusWords m_geometry{};
    std::optional<std::array<uint32_t, 2>> m_countedVbi;
};

} // namespace board
