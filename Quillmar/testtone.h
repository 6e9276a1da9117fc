// TestTone: the sine tone of the audio test source and of the audio backup frames. One period of
// 256 table entries is stepped through by a phase accumulator per channel (16: left and right of 8
// channel pairs); a step of kBaseStep advances one entry a sample frame (a period of 256 sample
// frames), three times that step one of 86 sample frames.
//
// The tables: the 8-bit entry i is trunc(100 x sin(2 pi i / 256)); the 16-bit entry is 256 times
// it, throughout.
#pragma once
#include "kernel/driverheap.h"
#include "km/types.h"

class TestTone : public DriverAllocated {
public:
    static constexpr ULONG kTableEntries = 256;
    static constexpr ULONG kChannelPairs = 8;
    static constexpr ULONG kPhaseCount = 2 * kChannelPairs;
    static constexpr ULONG kSamplesPerBlock = 480;
    // One block a channel pair, each sample frame a left and a right 32-bit sample.
    static constexpr ULONG kBlockBytes = kSamplesPerBlock * 2 * 4;
    static constexpr ULONG kImageBytes = kChannelPairs * kBlockBytes; // 30,720
    static constexpr ULONG kBaseStep = 1000;
    static constexpr ULONG kPhaseLimit = 255'000;

    TestTone();

    // All phases to 0.
    void Reset();
    // The step a loss-of-signal tone selector gives: 0 silence, 1 the base step, any other value
    // three times it.
    static ULONG StepForSelector(ULONG selector);

    // Clears `length` bytes, then writes the 8 blocks of 480 stereo 32-bit samples (as many as fit)
    // with the left and right tones of the two selectors: each sample the 16-bit entry at
    // phase / 1000 as an unsigned 16-bit value shifted left by 8. Every pair has its own two phases.
    void Get16BitImage(PUCHAR buffer, ULONG length, ULONG leftSelector, ULONG rightSelector);
    // Clears `length` bytes, then writes 8-bit samples through the whole buffer: left at the even
    // bytes with the base step and the first pair's left phase, right at the odd bytes with three
    // times the step and the first pair's right phase; each sample trunc(entry x 127 / 100).
    void Get8BitImage(PUCHAR buffer, ULONG length);

    ULONG GetPhase(ULONG index) const { return index < kPhaseCount ? m_phase[index] : 0; }
    ULONG GetCurrentStep() const { return m_currentStep; }
    static SHORT Table8(ULONG entry) { return s_table8[entry % kTableEntries]; }
    static SHORT Table16(ULONG entry) { return s_table16[entry % kTableEntries]; }

private:
    // The entry at `*phase`, then the phase advanced by `step` (back to 0 above the limit).
    static ULONG NextEntry(ULONG* phase, ULONG step);

    static const SHORT s_table8[kTableEntries];
    static const SHORT s_table16[kTableEntries];

    ULONG m_phase[kPhaseCount] = {};
    ULONG m_currentStep = kBaseStep;
};
