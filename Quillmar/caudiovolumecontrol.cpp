// CAudioVolumeControl: gain tables, per-channel scaling with mute and bypass, peaks for the device
// (see caudiovolumecontrol.h).
#include "caudiovolumecontrol.h"

#include "audioframe.h"
#include "audiopeakleveltarget.h"
#include "audiosamples.h"
#include "km/status.h"
#include "roundtoint.h"
#include "tracelogger.h"
#include "tracescope.h"

#include <cstring>

namespace {

// -level bounds of the 64 gain indices, in the volume unit.
constexpr LONG kThresholds[CAudioVolumeControl::kGainCount] = {
    0,       10585,   21170,   31755,   42340,   52925,   63510,   74095,   84680,   95265,   105850,
    116435,  127020,  140668,  154314,  167960,  181606,  195252,  208898,  222544,  236190,  249836,
    263482,  277128,  290774,  310015,  329248,  348481,  367714,  386947,  406180,  425413,  444646,
    463879,  483112,  502345,  521578,  554468,  587348,  620228,  653108,  685988,  718868,  751748,
    784628,  817508,  850388,  883268,  916148,  1006474, 1096794, 1187114, 1277434, 1367754, 1458074,
    1548394, 1638714, 1729034, 1819354, 1909674, 1999994, 2512981, 3025962, 3538943,
};

// 10^((12 - i) / 40): +6 dB down to -25.5 dB in 0.5 dB steps.
constexpr double kGains[CAudioVolumeControl::kGainCount] = {
    1.9952623149688795,   1.8836490894898006,   1.7782794100389228,   1.6788040181225603,
    1.5848931924611136,   1.4962356560944334,   1.4125375446227544,   1.333521432163324,
    1.2589254117941673,   1.1885022274370185,   1.1220184543019633,   1.0592537251772889,
    1.0,                  0.94406087628592339,  0.89125093813374556,  0.84139514164519513,
    0.79432823472428149,  0.74989420933245587,  0.70794578438413791,  0.66834391756861466,
    0.63095734448019325,  0.59566214352901048,  0.56234132519034907,  0.53088444423098835,
    0.50118723362727224,  0.47315125896148047,  0.44668359215096315,  0.42169650342858223,
    0.3981071705534972,   0.3758374042884442,   0.35481338923357547,  0.33496543915782767,
    0.31622776601683794,  0.29853826189179594,  0.28183829312644537,  0.26607250597988097,
    0.25118864315095801,  0.23713737056616552,  0.22387211385683395,  0.21134890398366465,
    0.19952623149688797,  0.18836490894898006,  0.17782794100389229,  0.16788040181225602,
    0.15848931924611134,  0.14962356560944334,  0.14125375446227545,  0.1333521432163324,
    0.12589254117941673,  0.11885022274370183,  0.11220184543019636,  0.10592537251772889,
    0.10000000000000001,  0.094406087628592358, 0.089125093813374551, 0.084139514164519522,
    0.079432823472428138, 0.074989420933245579, 0.070794578438413802, 0.066834391756861455,
    0.063095734448019331, 0.059566214352901034, 0.056234132519034911, 0.053088444423098846,
};

LONG Clamp(LONG value, LONG minimum, LONG maximum)
{
    return value < minimum ? minimum : (value > maximum ? maximum : value);
}

} // namespace

CAudioVolumeControl::CAudioVolumeControl() : Algorithm(kAlgorithmIdVolume)
{
    TRACE_SCOPE(this, "CAudioVolumeControl::CAudioVolumeControl", kTraceLowEnter);
}

CAudioVolumeControl::~CAudioVolumeControl()
{
    TRACE_SCOPE(this, "CAudioVolumeControl::~CAudioVolumeControl", kTraceLowEnter);
}

NTSTATUS CAudioVolumeControl::SetChannelPairCount(LONG pairs)
{
    if (pairs < 1 || pairs > kMaximumPairs)
        return STATUS_INVALID_PARAMETER;
    m_pairCount = pairs;
    return STATUS_SUCCESS;
}

NTSTATUS CAudioVolumeControl::SetVolume(LONG pair, LONG channel, LONG level, LONG mute)
{
    if (pair < 0 || pair >= kMaximumPairs || channel < 0 || channel > 1)
        return STATUS_INVALID_PARAMETER;
    KPLXFastStackLock hold(&m_settingsLock, this, "CAudioVolumeControl::SetVolume", __LINE__);
    m_levels[2 * pair + channel] = level;
    m_mutes[2 * pair + channel] = mute;
    return STATUS_SUCCESS;
}

NTSTATUS CAudioVolumeControl::GetVolume(LONG pair, LONG channel, LONG* level, LONG* mute) const
{
    if (pair < 0 || pair >= kMaximumPairs || channel < 0 || channel > 1)
        return STATUS_INVALID_PARAMETER;
    KPLXFastStackLock hold(&m_settingsLock, this, "CAudioVolumeControl::GetVolume", __LINE__);
    if (level != nullptr)
        *level = m_levels[2 * pair + channel];
    if (mute != nullptr)
        *mute = m_mutes[2 * pair + channel];
    return STATUS_SUCCESS;
}

void CAudioVolumeControl::SetAllVolumes(const LONG levels[kChannels], const LONG mutes[kChannels])
{
    KPLXFastStackLock hold(&m_settingsLock, this, "CAudioVolumeControl::SetAllVolumes", __LINE__);
    if (levels != nullptr)
        std::memcpy(m_levels, levels, sizeof(m_levels));
    if (mutes != nullptr)
        std::memcpy(m_mutes, mutes, sizeof(m_mutes));
}

CAudioVolumeControl::Volumes CAudioVolumeControl::SnapshotVolumes() const
{
    Volumes volumes;
    KPLXFastStackLock hold(&m_settingsLock, this, "CAudioVolumeControl::SnapshotVolumes", __LINE__);
    std::memcpy(volumes.levels, m_levels, sizeof(m_levels));
    std::memcpy(volumes.mutes, m_mutes, sizeof(m_mutes));
    return volumes;
}

bool CAudioVolumeControl::IsEqual(const Algorithm* other) const
{
    if (!Algorithm::IsEqual(other))
        return false;
    const auto* o = static_cast<const CAudioVolumeControl*>(other);
    if (o == this)
        return true;
    if (o->m_pairCount != m_pairCount || o->m_bypass != m_bypass)
        return false;
    // One lock at a time: two comparisons in opposite directions cannot wait for each other.
    const Volumes mine = SnapshotVolumes();
    const Volumes theirs = o->SnapshotVolumes();
    return std::memcmp(mine.levels, theirs.levels, sizeof(mine.levels)) == 0 &&
           std::memcmp(mine.mutes, theirs.mutes, sizeof(mine.mutes)) == 0;
}

LONG CAudioVolumeControl::GainIndexOfLevel(LONG level)
{
    const LONGLONG attenuation = -static_cast<LONGLONG>(level);
    for (LONG i = 0; i < kGainCount; ++i)
        if (attenuation <= kThresholds[i])
            return i;
    return kGainCount - 1;
}

double CAudioVolumeControl::Gain(LONG index)
{
    return (index >= 0 && index < kGainCount) ? kGains[index] : 0.0;
}

LONG CAudioVolumeControl::Threshold(LONG index)
{
    return (index >= 0 && index < kGainCount) ? kThresholds[index] : 0;
}

CAudioVolumeControl::Limits CAudioVolumeControl::LimitsOfBits(LONG bits)
{
    switch (bits) {
    case 16:
        return {32767, -32768, 0};
    case 24:
        return {0x7FFFFF, -8388608, 8};
    case 32:
        return {0x7FFFFFFF, -2147483647, 16};
    default:
        return {127, -128, 0};
    }
}

LONG CAudioVolumeControl::GetPeak(LONG pair, LONG channel) const
{
    if (pair < 0 || pair >= kMaximumPairs || channel < 0 || channel > 1)
        return 0;
    return m_peaks[2 * pair + channel];
}

void CAudioVolumeControl::Process(Frame* frame)
{
    TRACE_SCOPE(this, "CAudioVolumeControl::Process", kTraceLowEnter, "pFrame=0x%p", frame);
    auto* in = static_cast<AudioFrame*>(frame);
    if (in == nullptr)
        return;
    BeginTiming();
    std::memset(m_peaks, 0, sizeof(m_peaks));
    const LONG bits = in->GetBitsPerSample();
    AudioFrame* result = in;
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32) {
        TRACE_LINE(this, "CAudioVolumeControl::Process", kTraceWarnings,
                   "Frame of %d-bit samples passed on unscaled", bits);
    } else if (AudioFrame* out = PrepareInPlaceFrame(in, true)) {
        const Volumes volumes = SnapshotVolumes();
        AdjustFrameVolume(in, out, volumes.levels, volumes.mutes);
        result = out;
    } else {
        TRACE_LINE(this, "CAudioVolumeControl::Process", kTraceErrors, "No work frame: frame passed on unscaled");
    }
    EndTiming();
    DeliverToChildren(result);
    if (m_device == nullptr)
        return;
    for (LONG p = 0; p < m_pairCount; ++p) {
        m_device->SetPeakLevel(m_input, ULONG(p), 0, m_peaks[2 * p]);
        m_device->SetPeakLevel(m_input, ULONG(p), 1, m_peaks[2 * p + 1]);
    }
}

void CAudioVolumeControl::AdjustFrameVolume(const AudioFrame* in, AudioFrame* out, const LONG levels[kChannels],
                                            const LONG mutes[kChannels])
{
    TRACE_SCOPE(this, "CAudioVolumeControl::AdjustFrameVolume", kTraceLowEnter);
    std::memset(m_peaks, 0, sizeof(m_peaks));
    if (in == nullptr || out == nullptr || in->GetFrameData() == nullptr || out->GetFrameData() == nullptr)
        return;
    const LONG bits = in->GetBitsPerSample();
    const ULONG sampleBytes = ULONG(bits / 8);
    const ULONG frameBytes = in->SampleFrameBytes();
    if (sampleBytes == 0 || sampleBytes > 4 || frameBytes == 0 || out->SampleFrameBytes() != frameBytes)
        return;
    const Limits limits = LimitsOfBits(bits);
    const bool offsetBinary = sampleBytes == 1;
    const LONG frameBits = LONG(sampleBytes * 8);
    ULONG held = in->GetDataSize() / frameBytes;
    if (out->GetDataSize() / frameBytes < held)
        held = out->GetDataSize() / frameBytes;
    if (ULONG(in->GetSamplesPerFrame()) < held)
        held = ULONG(in->GetSamplesPerFrame());
    LONG pairs = m_pairCount < in->GetChannelPairs() ? m_pairCount : in->GetChannelPairs();
    if (pairs > kMaximumPairs)
        pairs = kMaximumPairs;

    for (LONG p = 0; p < pairs; ++p) {
        for (LONG channel = 0; channel < 2; ++channel) {
            const LONG c = 2 * p + channel;
            const bool passThrough = channel == 1 && m_bypass;
            const bool muted = !passThrough && mutes[c] != 0;
            const double gain = passThrough ? 1.0 : kGains[GainIndexOfLevel(levels[c])];
            LONG peak = 0;
            const size_t offset = size_t(c) * sampleBytes;
            for (ULONG row = 0; row < held; ++row) {
                const UCHAR* source = in->GetFrameData() + size_t(row) * frameBytes + offset;
                UCHAR* target = out->GetFrameData() + size_t(row) * frameBytes + offset;
                const ULONG raw = ReadSample(source, sampleBytes);
                const LONGLONG s = offsetBinary ? LONGLONG(raw) - 128 : LONGLONG(SignExtend(raw, frameBits));
                LONG value = 0;
                if (passThrough) {
                    value = LONG(s);
                    if (target != source)
                        std::memcpy(target, source, sampleBytes);
                } else if (!muted) {
                    value = Clamp(RoundToInt(double(s) * gain), limits.minimum, limits.maximum);
                    WriteSample(target, sampleBytes, offsetBinary ? ULONG(value + 128) : ULONG(value));
                } else {
                    WriteSample(target, sampleBytes, offsetBinary ? 128u : 0u);
                }
                if (muted)
                    continue;
                const LONG level =
                    Clamp(RoundToInt(double(s >> limits.peakShift) * gain), kPeakMinimum, kPeakMaximum);
                if ((level < 0 ? -LONGLONG(level) : LONGLONG(level)) > (peak < 0 ? -LONGLONG(peak) : LONGLONG(peak)))
                    peak = level;
            }
            m_peaks[c] = peak;
        }
    }
}
