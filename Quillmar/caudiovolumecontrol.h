// CAudioVolumeControl: the last step of an audio chain (algorithm id 17). It scales each channel
// of each pair by the gain its volume level selects, mutes channels, and measures each channel's
// peak, which goes to the device after the children have the frame.
//
// A level v (the audio filter's volume unit: 1/65536 dB, 0 the loudest) selects the first gain
// index i of 0..63 with -v <= threshold[i] (63 when none): gain[i] = 10^((12 - i) / 40), +6 dB at
// index 0, 0 dB at 12, -25.5 dB at 63, in 0.5 dB steps. A sample s (the frame's sample width,
// little-endian, sign-extended; 8-bit samples are offset binary and scale about 128) becomes
// round(s x gain) clamped to the width's range; a muted channel becomes 0. The peak of a channel is
// round((s >> shift) x gain) clamped to -32768..32767 (the shift brings 24- and 32-bit samples to
// the 16-bit scale), the value of largest magnitude in the frame; 0 when muted. In bypass mode the
// right channel passes unchanged (its peak is still measured on the unscaled samples).
//
// The levels and mute flags change while frames run (the device refreshes them from the audio
// settings): they are kept under the step's own lock, which Process takes to read them.
#pragma once
#include "algorithm.h"
#include "kplxfastlock.h"
#include "km/types.h"

class AudioFrame;
class AudioPeakLevelTarget;

class CAudioVolumeControl : public Algorithm {
public:
    static constexpr LONG kMaximumPairs = 8;
    static constexpr LONG kChannels = 2 * kMaximumPairs;
    static constexpr LONG kGainCount = 64;
    static constexpr LONG kPeakMaximum = 32767;
    static constexpr LONG kPeakMinimum = -32768;

    // The sample limits and peak shift of a sample width.
    struct Limits {
        LONG maximum;
        LONG minimum;
        LONG peakShift;
    };

    // All levels and mute flags 0, no bypass, one pair; limits of 16-bit samples.
    CAudioVolumeControl();
    ~CAudioVolumeControl() override;

    void Process(Frame* frame) override;
    // Equal ids, pair count, bypass flag, mute flags and levels.
    bool IsEqual(const Algorithm* other) const override;

    // Settings the chain builder gives: the audio input, its pair count (1..8; other values are
    // refused with STATUS_INVALID_PARAMETER), its first pair among the DSP's, the device that
    // takes the peaks (may be null: no peaks reported), bypass.
    void SetInput(ULONG input) { m_input = input; }
    ULONG GetInput() const { return m_input; }
    NTSTATUS SetChannelPairCount(LONG pairs);
    LONG GetChannelPairCount() const { return m_pairCount; }
    void SetChannelPairIndex(LONG index) { m_pairIndex = index; }
    LONG GetChannelPairIndex() const { return m_pairIndex; }
    void SetDevice(AudioPeakLevelTarget* device) { m_device = device; }
    void SetBypass(bool bypass) { m_bypass = bypass; }
    bool GetBypass() const { return m_bypass; }

    // The level and mute flag of one channel (pair 0..7, channel 0 left or 1 right), under the
    // step's lock; STATUS_INVALID_PARAMETER for another pair or channel.
    NTSTATUS SetVolume(LONG pair, LONG channel, LONG level, LONG mute);
    NTSTATUS GetVolume(LONG pair, LONG channel, LONG* level, LONG* mute) const;
    // All 16 levels and mute flags at once (pair-major, left then right), under the step's lock.
    void SetAllVolumes(const LONG levels[kChannels], const LONG mutes[kChannels]);
    // The lock guarding the levels and mute flags: a refresh of several channels that must reach
    // the frames together takes it around its calls (it is recursive).
    KPLXFastLock* GetSettingsLock() const { return &m_settingsLock; }

    // The gain index of a level: -level compared without overflow.
    static LONG GainIndexOfLevel(LONG level);
    static double Gain(LONG index);
    static LONG Threshold(LONG index);
    // By bits per sample: 16, 24, 32, and 8 for any other width.
    static Limits LimitsOfBits(LONG bits);

    // The peaks of the last frame (pair-major, left then right).
    LONG GetPeak(LONG pair, LONG channel) const;

    // Scales `in` into `out` (the same frame, or one of the same layout) with the given levels and
    // mute flags; fills the peaks.
    void AdjustFrameVolume(const AudioFrame* in, AudioFrame* out, const LONG levels[kChannels],
                           const LONG mutes[kChannels]);

private:
    struct Volumes {
        LONG levels[kChannels];
        LONG mutes[kChannels];
    };
    Volumes SnapshotVolumes() const;

    ULONG m_input = 0;
    LONG m_pairCount = 1;
    LONG m_pairIndex = 0;
    AudioPeakLevelTarget* m_device = nullptr;
    bool m_bypass = false;
    LONG m_levels[kChannels] = {};
    LONG m_mutes[kChannels] = {};
    LONG m_peaks[kChannels] = {};
    mutable KPLXFastLock m_settingsLock;
};
