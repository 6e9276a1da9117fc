// AudioFrame: a block of interleaved PCM samples and its rate conversion (see audioframe.h).
#include "audioframe.h"

#include "kernel/poolallocation.h"
#include "roundtoint.h"
#include "tracelogger.h"
#include "tracescope.h"

#include <cstring>

AudioFrame::AudioFrame()
{
    TRACE_SCOPE(this, "AudioFrame::AudioFrame", kTraceLowEnter);
    SetBuffer(nullptr, 0, 8, 1, 0);
}

AudioFrame::AudioFrame(LONG channelPairs, LONG bitsPerSample, LONG samples)
{
    TRACE_SCOPE(this, "AudioFrame::AudioFrame", kTraceLowEnter, "nChannelPairs=%d, nBitsPerSample=%d, nSamples=%d",
                channelPairs, bitsPerSample, samples);
    PVOID buffer = nullptr;
    ULONG size = 0;
    if (channelPairs > 0 && bitsPerSample >= 8 && samples > 0) {
        const ULONGLONG bytes = ULONGLONG(bitsPerSample / 8) * ULONG(channelPairs) * ULONG(samples) * 2;
        if (bytes <= 0xFFFFFFFFULL) {
            buffer = AllocatePoolOfType(static_cast<SIZE_T>(bytes), PagedPool);
            if (buffer != nullptr) {
                size = static_cast<ULONG>(bytes);
                std::memset(buffer, 0, size);
            }
        }
    }
    SetBuffer(buffer, size, bitsPerSample, channelPairs, samples);
}

AudioFrame::~AudioFrame()
{
    TRACE_SCOPE(this, "AudioFrame::~AudioFrame", kTraceLowEnter);
}

ULONG AudioFrame::SampleFrameBytes() const
{
    if (GetBitsPerSample() <= 0 || GetBitsPerSample() % 8 != 0 || GetChannelPairs() <= 0)
        return 0;
    return ULONG(GetBitsPerSample() / 8) * ULONG(GetChannelPairs()) * 2;
}

void AudioFrame::DoFrameRateConversion(AudioFrame* destination) const
{
    TRACE_SCOPE(this, "AudioFrame::DoFrameRateConversion", kTraceLowEnter, "pDest=0x%p", destination);
    if (destination != nullptr && destination->GetDataSize() < GetDataSize())
        DownConvertFrame(destination);
}

void AudioFrame::DownConvertFrame(AudioFrame* destination) const
{
    TRACE_SCOPE(this, "AudioFrame::DownConvertFrame", kTraceLowEnter, "pDest=0x%p", destination);
    if (destination == nullptr || destination == this || destination->GetFrameData() == nullptr)
        return;
    std::memset(destination->GetFrameData(), 0xFF, destination->GetDataSize());
    const ULONG sampleBytes = SampleFrameBytes();
    const LONG sourceSamples = GetSamplesPerFrame();
    const LONG destinationSamples = destination->GetSamplesPerFrame();
    if (sampleBytes == 0 || GetFrameData() == nullptr || sourceSamples <= 0 || destinationSamples <= 0)
        return;
    // Sample frames each buffer really holds.
    const ULONGLONG sourceHeld = GetDataSize() / sampleBytes;
    const ULONGLONG destinationHeld = destination->GetDataSize() / sampleBytes;
    const float step = static_cast<float>(double(sourceSamples) / double(destinationSamples));
    float position = 0.0f;
    LONG index = 0;
    for (LONG k = 0; k < destinationSamples; ++k) {
        if (ULONGLONG(k) >= destinationHeld || index < 0 || ULONGLONG(index) >= sourceHeld ||
            index >= sourceSamples)
            break;
        std::memcpy(destination->GetFrameData() + size_t(k) * sampleBytes, GetFrameData() + size_t(index) * sampleBytes,
                    sampleBytes);
        position += step;
        index = RoundToInt(double(position) - 0.45);
    }
}
