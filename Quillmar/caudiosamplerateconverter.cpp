// CAudioSampleRateConverter: copy, thinning and stretching walks (see caudiosamplerateconverter.h).
#include "caudiosamplerateconverter.h"

#include "audioframe.h"
#include "audiosamples.h"
#include "roundtoint.h"
#include "tracelogger.h"
#include "tracescope.h"

#include <cstring>

namespace {

// Samples `frame` really holds: its sample count, or fewer when its buffer is shorter.
LONG HeldSamples(const AudioFrame* frame)
{
    const ULONG bytes = frame->SampleFrameBytes();
    if (bytes == 0 || frame->GetFrameData() == nullptr || frame->GetSamplesPerFrame() <= 0)
        return 0;
    const ULONG held = frame->GetDataSize() / bytes;
    return held < ULONG(frame->GetSamplesPerFrame()) ? LONG(held) : frame->GetSamplesPerFrame();
}

// The source index walk of both directions, in single precision.
class SourceWalk {
public:
    SourceWalk(LONG inputSamples, LONG outputSamples)
        : m_step(static_cast<float>(double(inputSamples) / double(outputSamples))), m_last(inputSamples - 1)
    {
    }
    // The source index of the next output sample.
    LONG Next()
    {
        m_position += m_step;
        const LONG index = RoundToInt(double(m_position - 0.5f));
        return index < 0 ? 0 : (index > m_last ? m_last : index);
    }

private:
    float m_step;
    float m_position = 0.0f;
    LONG m_last;
};

} // namespace

CAudioSampleRateConverter::CAudioSampleRateConverter(const SampleRateSettings& settings)
    : Algorithm(kAlgorithmIdSampleRate), m_settings(settings)
{
    TRACE_SCOPE(this, "CAudioSampleRateConverter::CAudioSampleRateConverter", kTraceLowEnter,
                "Count=%d, Bit Count=%d, Samples per frame=%d", settings.channelPairCount, settings.bitsPerSample,
                settings.samplesPerFrame);
    if (m_settings.samplesPerFrame <= 0)
        m_settings.samplesPerFrame = SampleRateSettings().samplesPerFrame;
}

CAudioSampleRateConverter::~CAudioSampleRateConverter()
{
    TRACE_SCOPE(this, "CAudioSampleRateConverter::~CAudioSampleRateConverter", kTraceLowEnter);
}

bool CAudioSampleRateConverter::IsEqual(const Algorithm*) const
{
    return false;
}

void CAudioSampleRateConverter::Process(Frame* frame)
{
    TRACE_SCOPE(this, "CAudioSampleRateConverter::Process", kTraceLowEnter, "pFrame=0x%p", frame);
    auto* in = static_cast<AudioFrame*>(frame);
    if (in == nullptr)
        return;
    BeginTiming();
    if (!m_rateSet) {
        m_outputRate = m_settings.samplesPerFrame == 320 ? 32000 : (m_settings.samplesPerFrame == 441 ? 44100 : 48000);
        m_rateSet = true;
    }
    const LONG inputSamples = HeldSamples(in);
    const LONG outputSamples = m_settings.samplesPerFrame;
    if (inputSamples == 0) {
        // Nothing to convert (no buffer, or a format that is no whole number of bytes): as it came.
        TRACE_LINE(this, "CAudioSampleRateConverter::Process", kTraceWarnings,
                   "Frame without samples (%d bits, %d pairs, %u bytes) passed on", in->GetBitsPerSample(),
                   in->GetChannelPairs(), in->GetDataSize());
        EndTiming();
        DeliverToChildren(in);
        return;
    }
    AudioFrame* out =
        PrepareAudioOutputFrame(this, in->GetChannelPairs(), in->GetBitsPerSample(), outputSamples);
    if (out == nullptr) {
        TRACE_LINE(this, "CAudioSampleRateConverter::Process", kTraceErrors,
                   "No output frame of %d samples: frame dropped", outputSamples);
        EndTiming();
        return;
    }
    if (inputSamples == outputSamples)
        std::memcpy(out->GetFrameData(), in->GetFrameData(), size_t(out->SampleFrameBytes()) * outputSamples);
    else if (inputSamples < outputSamples)
        UpSampleTheFrame(in, out, in->GetFormatWord());
    else
        DownSampleTheFrame(in, out);
    CopyAudioFrameAttributes(in, out);
    EndTiming();
    DeliverToChildren(out);
}

void CAudioSampleRateConverter::DownSampleTheFrame(const AudioFrame* in, AudioFrame* out) const
{
    TRACE_SCOPE(this, "CAudioSampleRateConverter::DownSampleTheFrame", kTraceLowEnter);
    const ULONG bytes = in->SampleFrameBytes();
    const LONG inputSamples = HeldSamples(in);
    const LONG outputSamples = HeldSamples(out);
    if (inputSamples == 0 || outputSamples == 0 || out->SampleFrameBytes() != bytes)
        return;
    SourceWalk walk(inputSamples, outputSamples);
    LONG index = 0;
    for (LONG j = 0; j < outputSamples; ++j) {
        std::memcpy(out->GetFrameData() + size_t(j) * bytes, in->GetFrameData() + size_t(index) * bytes, bytes);
        index = walk.Next();
    }
}

void CAudioSampleRateConverter::UpSampleTheFrame(const AudioFrame* in, AudioFrame* out, ULONG formatCode) const
{
    TRACE_SCOPE(this, "CAudioSampleRateConverter::UpSampleTheFrame", kTraceLowEnter, "nFormatCode=%u", formatCode);
    const ULONG bytes = in->SampleFrameBytes();
    const LONG inputSamples = HeldSamples(in);
    const LONG outputSamples = HeldSamples(out);
    if (inputSamples == 0 || outputSamples == 0 || out->SampleFrameBytes() != bytes)
        return;
    const ULONG sampleBytes = ULONG(in->GetBitsPerSample() / 8);
    const ULONG channels = bytes / sampleBytes;
    const LONG valueBits = formatCode == kSampleFormat16Bit ? 16 : kDspSampleValueBits;
    const LONG extendBits = valueBits < LONG(sampleBytes * 8) ? valueBits : LONG(sampleBytes * 8);
    SourceWalk walk(inputSamples, outputSamples);
    LONG index = 0;
    LONG previous = -1;
    for (LONG j = 0; j < outputSamples; ++j) {
        UCHAR* target = out->GetFrameData() + size_t(j) * bytes;
        const UCHAR* current = in->GetFrameData() + size_t(index) * bytes;
        if (j > 0 && index == previous) {
            // A repeated source sample: the mean of it and the next one (the last one stands alone).
            const LONG nextIndex = index + 1 < inputSamples ? index + 1 : index;
            const UCHAR* next = in->GetFrameData() + size_t(nextIndex) * bytes;
            for (ULONG c = 0; c < channels; ++c) {
                const LONGLONG a = SignExtend(ReadSample(current + c * sampleBytes, sampleBytes), extendBits);
                const LONGLONG b = SignExtend(ReadSample(next + c * sampleBytes, sampleBytes), extendBits);
                WriteSample(target + c * sampleBytes, sampleBytes, static_cast<ULONG>((a + b) >> 1));
            }
        } else {
            std::memcpy(target, current, bytes);
        }
        previous = index;
        index = walk.Next();
    }
}
