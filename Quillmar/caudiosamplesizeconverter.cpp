// CAudioSampleSizeConverter: the eight packing modes (see caudiosamplesizeconverter.h).
#include "caudiosamplesizeconverter.h"

#include "audioframe.h"
#include "audiosamples.h"
#include "tracelogger.h"
#include "tracescope.h"

CAudioSampleSizeConverter::CAudioSampleSizeConverter(const SampleSizeSettings& settings)
    : Algorithm(kAlgorithmIdSampleSize), m_settings(settings)
{
    TRACE_SCOPE(this, "CAudioSampleSizeConverter::CAudioSampleSizeConverter", kTraceLowEnter,
                "Count=%d, Bit Count=%d, Samples per frame=%d, Mode=%d", settings.channelPairCount, settings.bitCount,
                settings.samplesPerFrame, settings.mode);
    if (m_settings.mode < 0 || m_settings.mode >= kModeCount) {
        const LONG mode = ModeOfBitCount(m_settings.bitCount);
        TRACE_LINE(this, "CAudioSampleSizeConverter::CAudioSampleSizeConverter", kTraceWarnings,
                   "Sample size mode %d is outside 0..7: mode %d is used", m_settings.mode, mode < 0 ? 4 : mode);
        m_settings.mode = mode < 0 ? 4 : mode;
    }
    if (m_settings.channelPairCount <= 0)
        m_settings.channelPairCount = 1;
    if (m_settings.samplesPerFrame <= 0)
        m_settings.samplesPerFrame = SampleSizeSettings().samplesPerFrame;
}

CAudioSampleSizeConverter::~CAudioSampleSizeConverter()
{
    TRACE_SCOPE(this, "CAudioSampleSizeConverter::~CAudioSampleSizeConverter", kTraceLowEnter);
}

bool CAudioSampleSizeConverter::IsEqual(const Algorithm* other) const
{
    if (!Algorithm::IsEqual(other))
        return false;
    const auto& o = static_cast<const CAudioSampleSizeConverter*>(other)->m_settings;
    return o.channelPairCount == m_settings.channelPairCount && o.bitCount == m_settings.bitCount &&
           o.samplesPerFrame == m_settings.samplesPerFrame && o.mode == m_settings.mode;
}

ULONG CAudioSampleSizeConverter::OutputBytesOfMode(LONG mode)
{
    switch (mode) {
    case 0:
    case 1:
    case 2:
        return 1;
    case 3:
    case 4:
    case 5:
        return 2;
    case 6:
        return 3;
    default:
        return 4;
    }
}

LONG CAudioSampleSizeConverter::ModeOfBitCount(LONG bits)
{
    switch (bits) {
    case 8:
        return 1;
    case 16:
        return 4;
    case 24:
        return 6;
    case 32:
        return 7;
    default:
        return -1;
    }
}

ULONG CAudioSampleSizeConverter::ConvertSample(ULONG word, LONG mode)
{
    const LONG s = SignExtend(word, kDspSampleValueBits);
    switch (mode) {
    case 0:
        return static_cast<ULONG>(s >> 4) & 0xFFu;
    case 1:
        return static_cast<ULONG>((s >> 16) + 128) & 0xFFu;
    case 2:
        return static_cast<ULONG>(s) & 0xFFu;
    case 3:
        return static_cast<ULONG>(s >> 4) & 0xFFFFu;
    case 4:
        return static_cast<ULONG>(s >> 8) & 0xFFFFu;
    case 5:
        return static_cast<ULONG>(s) & 0xFFFFu;
    case 6:
        return static_cast<ULONG>(s) & 0xFFFFFFu;
    default:
        return static_cast<ULONG>(s) << 8;
    }
}

void CAudioSampleSizeConverter::Process(Frame* frame)
{
    TRACE_SCOPE(this, "CAudioSampleSizeConverter::Process", kTraceLowEnter, "pFrame=0x%p", frame);
    auto* in = static_cast<AudioFrame*>(frame);
    if (in == nullptr)
        return;
    BeginTiming();
    if (in->GetBitsPerSample() != 32) {
        // Only the DSP's 32-bit words are packed; anything else goes on as it came.
        TRACE_LINE(this, "CAudioSampleSizeConverter::Process", kTraceWarnings,
                   "Frame of %d-bit samples passed on unconverted", in->GetBitsPerSample());
        EndTiming();
        DeliverToChildren(in);
        return;
    }
    const LONG bits = LONG(OutputBytesOfMode(m_settings.mode) * 8);
    AudioFrame* out = PrepareAudioOutputFrame(this, in->GetChannelPairs(), bits, in->GetSamplesPerFrame());
    if (out == nullptr) {
        TRACE_LINE(this, "CAudioSampleSizeConverter::Process", kTraceErrors,
                   "No output frame of %d samples: frame dropped", in->GetSamplesPerFrame());
        EndTiming();
        return;
    }
    ConvertThisFrame(in, out);
    CopyAudioFrameAttributes(in, out);
    EndTiming();
    DeliverToChildren(out);
}

void CAudioSampleSizeConverter::ConvertThisFrame(const AudioFrame* in, AudioFrame* out) const
{
    TRACE_SCOPE(this, "CAudioSampleSizeConverter::ConvertThisFrame", kTraceLowEnter, "nMode=%d", m_settings.mode);
    if (in == nullptr || out == nullptr || out->GetFrameData() == nullptr)
        return;
    const ULONG outBytes = OutputBytesOfMode(m_settings.mode);
    const ULONG words = ULONG(out->GetChannelPairs()) * 2 * ULONG(out->GetSamplesPerFrame());
    const ULONG held = in->GetFrameData() != nullptr ? in->GetDataSize() / 4 : 0;
    if (ULONGLONG(words) * outBytes > out->GetDataSize())
        return;
    const UCHAR* source = in->GetFrameData();
    UCHAR* target = out->GetFrameData();
    for (ULONG w = 0; w < words; ++w)
        WriteSample(target + size_t(w) * outBytes, outBytes,
                    ConvertSample(w < held ? ReadSample(source + size_t(w) * 4, 4) : 0, m_settings.mode));
}
