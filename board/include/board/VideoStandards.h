// The video standards the board's inputs can carry, one per standard bit of the input-state
// measurement: the active width and horizontal blanking of a line, the active and VBI lines of
// each field, the sampling clock and the exact frame rate. The board measures and captures these;
// the host detects the standard from the measurement (docs/dsp-interface.md, "Video standards").
#pragma once
#include <array>
#include <cstdint>
#include <vector>

#include "board/CapturePattern.h"

namespace board {

struct VideoStandard {
    static constexpr uint32_t kSdClock = 27'000'000;
    static constexpr uint32_t kHdClock = 74'250'000;
    static constexpr uint32_t kHdClock1001 = 74'176'000;
    // The DSP's time-stamp counter runs at 90 MHz.
    static constexpr uint64_t kTicksPerSecond = 90'000'000;

    uint32_t bit = 0;
    const char* name = "";
    uint32_t activeWidth = 0;
    uint32_t horizontalBlanking = 0;
    std::array<uint32_t, 2> activeLines{}; // fields 0 and 1 (field 1: 0 when progressive)
    std::array<uint32_t, 2> vbiLines{};
    bool interlaced = false;
    uint32_t clockHz = kSdClock;
    uint32_t rateNumerator = 0; // frames per second = numerator / denominator, exactly
    uint32_t rateDenominator = 1;

    bool HdClock() const { return clockHz != kSdClock; }
    bool ThousandOneClock() const { return clockHz == kHdClock1001; }
    uint32_t TotalLines() const { return activeLines[0] + activeLines[1] + vbiLines[0] + vbiLines[1]; }
    uint32_t TotalActiveLines() const { return activeLines[0] + activeLines[1]; }
    // One frame in 90 MHz ticks (an integer for every standard: 3,003,000 at 30000/1001).
    uint64_t FrameTicks() const { return kTicksPerSecond * rateDenominator / rateNumerator; }
    // The 525-line interlaced standard carries line-21 captions.
    bool CarriesLine21() const { return bit == 0x1; }
    // The picture the DSP writes: the signal's geometry, or, for 1080-line standards with the
    // half-scale word of command 12 set, half as wide (width and blanking).
    VideoGeometry CaptureGeometry(bool halfScale) const;
};

class VideoStandards {
public:
    static constexpr uint32_t kNtsc = 0x1;
    static constexpr uint32_t kPal = 0x2;
    static constexpr uint32_t kHalfScaleLines = 1080;

    // Every standard, in bit order.
    static const std::vector<VideoStandard>& All();
    // The standard of `bit`, or null when no standard has it.
    static const VideoStandard* Find(uint32_t bit);
};

} // namespace board
