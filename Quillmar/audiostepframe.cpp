// AudioStepFrame: a step's output frame that keeps its buffer (see audiostepframe.h).
#include "audiostepframe.h"

#include "tracescope.h"

AudioStepFrame::AudioStepFrame(LONG channelPairs, LONG bitsPerSample, LONG capacitySamples)
    : AudioFrame(channelPairs, bitsPerSample, capacitySamples)
{
    TRACE_SCOPE(this, "AudioStepFrame::AudioStepFrame", kTraceLowEnter);
    m_capacitySamples = GetFrameData() != nullptr ? capacitySamples : 0;
}

AudioStepFrame::~AudioStepFrame()
{
    TRACE_SCOPE(this, "AudioStepFrame::~AudioStepFrame", kTraceLowEnter);
}

bool AudioStepFrame::SetSampleCount(LONG samples)
{
    if (GetFrameData() == nullptr || samples < 0 || samples > m_capacitySamples)
        return false;
    if (samples == GetSamplesPerFrame())
        return true;
    const LONG pairs = GetChannelPairs();
    const LONG bits = GetBitsPerSample();
    const ULONG bytes = SampleFrameBytes() * ULONG(samples);
    // The same buffer, laid out again: the frame keeps owning it.
    SetBuffer(GetFrameData(), bytes, bits, pairs, samples);
    return true;
}
