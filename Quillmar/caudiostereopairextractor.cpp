// CAudioStereoPairExtractor: reading the DSP frame's layout from its status words and copying the
// pin's pairs out of it (see caudiostereopairextractor.h).
#include "caudiostereopairextractor.h"

#include "audioframe.h"
#include "audiosamples.h"
#include "imaging/imaging.h"
#include "planework.h"
#include "tracelogger.h"
#include "tracescope.h"

#include <cstring>

CAudioStereoPairExtractor::CAudioStereoPairExtractor(const StereoPairSettings& settings)
    : Algorithm(kAlgorithmIdStereoPair), m_settings(settings)
{
    TRACE_SCOPE(this, "CAudioStereoPairExtractor::CAudioStereoPairExtractor", kTraceLowEnter,
                "Input=%d, Count=%d, Bit Count=%d, Samples per frame=%d", settings.channelPairIndex,
                settings.channelPairCount, settings.bitsPerSample, settings.samplesPerFrame);
    const StereoPairSettings defaults;
    if (m_settings.channelPairIndex < 0 || m_settings.channelPairIndex >= kDspPairs) {
        TRACE_LINE(this, "CAudioStereoPairExtractor::CAudioStereoPairExtractor", kTraceWarnings,
                   "Channel pair index %d is outside 0..7: pair 0 is used", m_settings.channelPairIndex);
        m_settings.channelPairIndex = defaults.channelPairIndex;
    }
    if (m_settings.channelPairCount < 1 || m_settings.channelPairCount > kDspPairs) {
        TRACE_LINE(this, "CAudioStereoPairExtractor::CAudioStereoPairExtractor", kTraceWarnings,
                   "Channel pair count %d is outside 1..8: 1 is used", m_settings.channelPairCount);
        m_settings.channelPairCount = defaults.channelPairCount;
    }
    if (m_settings.samplesPerFrame <= 0)
        m_settings.samplesPerFrame = defaults.samplesPerFrame;
    m_samples = m_settings.samplesPerFrame;
}

CAudioStereoPairExtractor::~CAudioStereoPairExtractor()
{
    TRACE_SCOPE(this, "CAudioStereoPairExtractor::~CAudioStereoPairExtractor", kTraceLowEnter);
}

bool CAudioStereoPairExtractor::IsEqual(const Algorithm* other) const
{
    if (!Algorithm::IsEqual(other))
        return false;
    const auto* o = static_cast<const CAudioStereoPairExtractor*>(other);
    return o->m_settings.channelPairIndex == m_settings.channelPairIndex &&
           o->m_settings.channelPairCount == m_settings.channelPairCount;
}

void CAudioStereoPairExtractor::SetInputDetectInfo(const void* record, ULONG bytes)
{
    std::memset(m_inputDetectInfo, 0, sizeof(m_inputDetectInfo));
    if (record != nullptr)
        std::memcpy(m_inputDetectInfo, record, bytes < sizeof(m_inputDetectInfo) ? bytes : sizeof(m_inputDetectInfo));
}

ULONG CAudioStereoPairExtractor::BlockBytesOfCode(ULONG rateCode)
{
    switch (rateCode) {
    case 0:
    case 2:
        return kBlockBytes48k;
    case 1:
        return kBlockBytes44k;
    default:
        return 0;
    }
}

CAudioStereoPairExtractor::FrameLayout CAudioStereoPairExtractor::ReadLayout(const ULONG* statusWords)
{
    FrameLayout layout = {};
    layout.ratesKnown = true;
    const bool hdClock = statusWords[kStatusFormat] == kHdClockFormat;
    for (LONG k = 0; k < kDspPairs; ++k) {
        PairState& pair = layout.pairs[k];
        pair.presentBits = (statusWords[kStatusPresentMask] >> (2 * k)) & 3u;
        pair.carriesSound = ((statusWords[kStatusSoundMask] >> (2 * k)) & 3u) != 0;
        pair.rateCode = hdClock ? (statusWords[kStatusRateCodes2Bit] >> (2 * k)) & 3u
                                : (statusWords[kStatusRateCodes3Bit] >> (3 * k)) & 7u;
        pair.position = -1;
        if (pair.presentBits == 0)
            continue;
        pair.position = layout.presentCount++;
        const ULONG block = BlockBytesOfCode(pair.rateCode);
        if (block == 0)
            layout.ratesKnown = false;
        else if (block > layout.blockSize)
            layout.blockSize = block;
    }
    return layout;
}

void CAudioStereoPairExtractor::Process(Frame* frame)
{
    TRACE_SCOPE(this, "CAudioStereoPairExtractor::Process", kTraceLowEnter, "pFrame=0x%p", frame);
    auto* in = static_cast<AudioFrame*>(frame);
    if (in == nullptr)
        return;
    BeginTiming();

    m_layout = ReadLayout(in->StatusWords());
    const PairState& configured = m_layout.pairs[m_settings.channelPairIndex];
    const bool present = configured.position >= 0 && configured.carriesSound;
    const LONG codeSamples = AudioFrameSamplesOfCode(configured.rateCode);
    m_position = present ? configured.position : -1;
    m_sampleFormatCode = present ? configured.presentBits : 0;
    m_samples = present && codeSamples > 0 ? codeSamples : m_settings.samplesPerFrame;
    m_copyWidth = BlockBytesOfCode(configured.rateCode);
    m_blockSize = m_layout.blockSize;
    m_rows = m_copyWidth != 0 ? m_samples / LONG(m_copyWidth / kDspStereoSampleBytes) : 0;

    AudioFrame* out = PrepareAudioOutputFrame(this, m_settings.channelPairCount, 32, m_samples, kMaximumFrameSamples);
    if (out != nullptr) {
        std::memset(out->GetFrameData(), 0, out->GetDataSize());
        if (!present)
            TRACE_LINE(this, "CAudioStereoPairExtractor::Process", kTraceLows,
                       "Channel pair %d is not in the frame: silence", m_settings.channelPairIndex);
        else
            ExtractStereoPairs(in, out);
        // The attributes are taken before the buffer goes back: the DSP's next answer rewrites the
        // frame's status words.
        CopyAudioFrameAttributes(in, out);
        out->SetFormatWord(m_sampleFormatCode);
    } else {
        TRACE_LINE(this, "CAudioStereoPairExtractor::Process", kTraceErrors,
                   "No output frame for %d pairs of %d samples: frame dropped", m_settings.channelPairCount, m_samples);
    }

    // The samples are copied out: the DSP may have its buffer back before the chain goes on.
    if (Algorithm* root = FindParentWithId(kAlgorithmIdProcessingSource))
        root->ReturnBuffer();

    EndTiming();
    DeliverToChildren(out);
}

bool CAudioStereoPairExtractor::ExtractStereoPairs(const AudioFrame* in, AudioFrame* out)
{
    TRACE_SCOPE(this, "CAudioStereoPairExtractor::ExtractStereoPairs", kTraceLowEnter, "pIn=0x%p, pOut=0x%p", in, out);
    if (in == nullptr || out == nullptr || in->GetFrameData() == nullptr || out->GetFrameData() == nullptr)
        return false;
    const PairState& configured = m_layout.pairs[m_settings.channelPairIndex];
    const bool generated = (in->GetFlags() & kFrameFlagGenerated) != 0;
    if (BlockBytesOfCode(configured.rateCode) == 0 || (!generated && !m_layout.ratesKnown)) {
        TRACE_LINE(this, "CAudioStereoPairExtractor::ExtractStereoPairs", kTraceWarnings,
                   "Unknown sample rate code in the frame (pair %d code %u): silence", m_settings.channelPairIndex,
                   configured.rateCode);
        return false;
    }
    bool copied = false;
    bool failed = false;
    for (LONG q = 0; q < m_settings.channelPairCount && !failed; ++q) {
        const LONG dspPair = m_settings.channelPairIndex + q;
        if (dspPair >= kDspPairs)
            break;
        const PairState& pair = m_layout.pairs[dspPair];
        // Only pairs at the configured pair's rate fit the frame's samples; others stay silent.
        if (pair.position < 0 || !pair.carriesSound || pair.rateCode != configured.rateCode)
            continue;
        const bool ok = generated ? CopyGeneratedPair(in, out, q, dspPair) : CopyDspPair(in, out, q, pair);
        copied = copied || ok;
        failed = !ok;
    }
    if (failed) {
        std::memset(out->GetFrameData(), 0, out->GetDataSize());
        return false;
    }
    return copied;
}

bool CAudioStereoPairExtractor::CopyDspPair(const AudioFrame* in, AudioFrame* out, LONG outPair, const PairState& pair)
{
    const ULONG width = BlockBytesOfCode(pair.rateCode);
    const LONG blockSamples = LONG(width / kDspStereoSampleBytes);
    const LONG rows = m_samples / blockSamples;
    const ULONGLONG stride = ULONGLONG(m_layout.presentCount) * m_layout.blockSize;
    const ULONGLONG offset = ULONGLONG(pair.position) * m_layout.blockSize;
    const ULONGLONG needed = ULONGLONG(rows - 1) * stride + offset + width;
    const LONG pairs = m_settings.channelPairCount;
    if (rows <= 0 || needed > in->GetDataSize() ||
        ULONGLONG(rows) * blockSamples * pairs * kDspStereoSampleBytes > out->GetDataSize()) {
        TRACE_LINE(this, "CAudioStereoPairExtractor::ExtractStereoPairs", kTraceWarnings,
                   "Frame of %u bytes is too short for %d rows of %u-byte blocks: silence", in->GetDataSize(), rows,
                   m_layout.blockSize);
        return false;
    }
    const UCHAR* source = in->GetFrameData() + offset;
    UCHAR* destination = out->GetFrameData();
    return GuardedPlaneWork(this, "CAudioStereoPairExtractor::ExtractStereoPairs", "copy the stereo pair", [&] {
        if (pairs == 1) {
            CopyPlane(source, int32_t(stride), destination, int32_t(width), int32_t(width), rows);
            return;
        }
        // Several pairs: each stereo sample goes to its pair's place in the interleaved output.
        const LONG outStep = pairs * LONG(kDspStereoSampleBytes);
        for (LONG r = 0; r < rows; ++r)
            CopyPlane(source + ULONGLONG(r) * stride, kDspStereoSampleBytes,
                      destination + (ULONGLONG(r) * blockSamples * pairs + outPair) * kDspStereoSampleBytes, outStep,
                      kDspStereoSampleBytes, blockSamples);
    });
}

bool CAudioStereoPairExtractor::CopyGeneratedPair(const AudioFrame* in, AudioFrame* out, LONG outPair, LONG dspPair)
{
    // The driver's own frames hold each pair's samples in one run: pair k at k x (data size / 8).
    const ULONG run = in->GetDataSize() / kDspPairs;
    const ULONGLONG offset = ULONGLONG(run) * dspPair;
    const LONG pairs = m_settings.channelPairCount;
    ULONG samples = run / kDspStereoSampleBytes;
    if (samples > ULONG(m_samples))
        samples = ULONG(m_samples);
    if (samples == 0 || offset + ULONGLONG(samples) * kDspStereoSampleBytes > in->GetDataSize())
        return false;
    const UCHAR* source = in->GetFrameData() + offset;
    UCHAR* destination = out->GetFrameData();
    return GuardedPlaneWork(this, "CAudioStereoPairExtractor::ExtractStereoPairs", "copy the test stereo pair", [&] {
        if (pairs == 1) {
            std::memcpy(destination, source, size_t(samples) * kDspStereoSampleBytes);
            return;
        }
        CopyPlane(source, kDspStereoSampleBytes, destination + size_t(outPair) * kDspStereoSampleBytes,
                  pairs * LONG(kDspStereoSampleBytes), kDspStereoSampleBytes, int32_t(samples));
    });
}
