// AudioChannelPair: one stereo pair of an audio input: volume, peak and mute of each channel
// (index 0 left, 1 right). Zero at construction. Any other channel is STATUS_UNSUCCESSFUL, with an
// out-value left as it was.
#pragma once
#include "kernel/driverheap.h"
#include "km/types.h"

class AudioChannelPair : public DriverAllocated {
public:
    static constexpr ULONG kChannels = 2;

    NTSTATUS GetVolumeLevel(ULONG channel, LONG* value) const;
    NTSTATUS SetVolumeLevel(ULONG channel, LONG value);
    NTSTATUS GetPeakLevel(ULONG channel, LONG* value) const;
    NTSTATUS SetPeakLevel(ULONG channel, LONG value);
    NTSTATUS GetMute(ULONG channel, LONG* value) const;
    NTSTATUS SetMute(ULONG channel, LONG value);

private:
    LONG m_volumeLevel[kChannels] = {};
    LONG m_peakLevel[kChannels] = {};
    LONG m_mute[kChannels] = {};
};
