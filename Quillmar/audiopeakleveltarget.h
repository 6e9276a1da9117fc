// AudioPeakLevelTarget: the one thing the volume step needs of the board's device. After every
// frame the step hands it the peak of each channel of each channel pair it scaled; the device keeps
// them with the input's settings, where the audio filter's peak-meter requests read them.
//
// The device implements it; tests record the calls.
#pragma once
#include "km/types.h"

class AudioPeakLevelTarget {
public:
    // `input` is the audio input the chain serves, `pair` the pair within that input (0 for its
    // first pair), `channel` 0 left or 1 right, `peak` the peak of the last frame on the
    // 16-bit scale (-32768..32767; 0 for a muted channel).
    virtual NTSTATUS SetPeakLevel(ULONG input, ULONG pair, ULONG channel, LONG peak) = 0;

protected:
    ~AudioPeakLevelTarget() = default;
};
