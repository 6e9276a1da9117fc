// Audio sample helpers of the audio steps (see audiosamples.h).
#include "audiosamples.h"

#include "algorithm.h"
#include "audioframe.h"
#include "audiostepframe.h"
#include "km/raise.h"

#include <cstring>

LONG AudioRateOfCode(ULONG rateCode)
{
    switch (rateCode) {
    case 0:
        return 48000;
    case 1:
        return 44100;
    case 2:
        return 32000;
    default:
        return 0;
    }
}

LONG AudioFrameSamplesOfCode(ULONG rateCode)
{
    return AudioRateOfCode(rateCode) / 100;
}

LONG SignExtend(ULONG value, LONG bits)
{
    if (bits <= 0 || bits >= 32)
        return static_cast<LONG>(value);
    const ULONG sign = 1u << (bits - 1);
    const ULONG field = value & ((1u << bits) - 1u);
    return static_cast<LONG>((field ^ sign) - sign);
}

ULONG ReadSample(const UCHAR* sample, ULONG bytes)
{
    ULONG value = 0;
    for (ULONG i = 0; i < bytes && i < 4; ++i)
        value |= ULONG(sample[i]) << (8 * i);
    return value;
}

void WriteSample(UCHAR* sample, ULONG bytes, ULONG value)
{
    for (ULONG i = 0; i < bytes && i < 4; ++i)
        sample[i] = static_cast<UCHAR>(value >> (8 * i));
}

void CopyAudioFrameAttributes(const AudioFrame* source, AudioFrame* destination)
{
    if (source == nullptr || destination == nullptr)
        return;
    source->CopyAttributes(destination, false);
    std::memcpy(destination->StatusWords(), source->StatusWords(), sizeof(ULONG) * kFrameInfoBlockWords);
    std::memcpy(destination->DescriptorWords(), source->DescriptorWords(), sizeof(ULONG) * kFrameInfoBlockWords);
}

AudioFrame* PrepareAudioOutputFrame(Algorithm* step, LONG pairs, LONG bits, LONG samples, LONG capacitySamples)
{
    if (step == nullptr || pairs <= 0 || bits < 8 || bits % 8 != 0 || samples < 0)
        return nullptr;
    auto* frame = dynamic_cast<AudioStepFrame*>(step->GetOutputFrame());
    if (frame == nullptr || frame->GetChannelPairs() != pairs || frame->GetBitsPerSample() != bits ||
        frame->GetCapacitySamples() < samples) {
        const LONG capacity = samples > capacitySamples ? samples : capacitySamples;
        if (capacity <= 0)
            return nullptr;
        try {
            frame = new AudioStepFrame(pairs, bits, capacity);
        } catch (const standin::RaisedStatus&) {
            return nullptr;
        }
        step->SetOutputFrame(frame);
        if (frame->GetFrameData() == nullptr)
            return nullptr;
    }
    if (!frame->SetSampleCount(samples))
        return nullptr;
    frame->SetWritable(true);
    return frame;
}
