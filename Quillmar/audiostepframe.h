// AudioStepFrame: the output frame an audio step owns. It keeps the buffer it was made with and
// lets the step change the number of samples it carries (a 44.1 kHz block after a 48 kHz one)
// without a new allocation, as long as they fit.
#pragma once
#include "audioframe.h"

class AudioStepFrame : public AudioFrame {
public:
    // An owned, zero-filled buffer of `capacitySamples` samples of pairs x 2 channels x bits / 8
    // bytes (no buffer when it cannot be had).
    AudioStepFrame(LONG channelPairs, LONG bitsPerSample, LONG capacitySamples);
    ~AudioStepFrame() override;

    LONG GetCapacitySamples() const { return m_capacitySamples; }
    // Carries `samples` samples from now on (data size = their bytes), in the same buffer. False,
    // and nothing changed, when there is no buffer or `samples` is negative or above the capacity.
    bool SetSampleCount(LONG samples);

private:
    LONG m_capacitySamples = 0;
};
