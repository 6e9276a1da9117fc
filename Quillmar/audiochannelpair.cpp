// AudioChannelPair: volume, peak and mute of the two channels of a stereo pair.
#include "audiochannelpair.h"

#include "km/status.h"

namespace {

NTSTATUS Read(const LONG* field, ULONG channel, LONG* value)
{
    if (channel >= AudioChannelPair::kChannels || value == nullptr)
        return STATUS_UNSUCCESSFUL;
    *value = field[channel];
    return STATUS_SUCCESS;
}

NTSTATUS Write(LONG* field, ULONG channel, LONG value)
{
    if (channel >= AudioChannelPair::kChannels)
        return STATUS_UNSUCCESSFUL;
    field[channel] = value;
    return STATUS_SUCCESS;
}

} // namespace

NTSTATUS AudioChannelPair::GetVolumeLevel(ULONG channel, LONG* value) const
{
    return Read(m_volumeLevel, channel, value);
}

NTSTATUS AudioChannelPair::SetVolumeLevel(ULONG channel, LONG value)
{
    return Write(m_volumeLevel, channel, value);
}

NTSTATUS AudioChannelPair::GetPeakLevel(ULONG channel, LONG* value) const
{
    return Read(m_peakLevel, channel, value);
}

NTSTATUS AudioChannelPair::SetPeakLevel(ULONG channel, LONG value)
{
    return Write(m_peakLevel, channel, value);
}

NTSTATUS AudioChannelPair::GetMute(ULONG channel, LONG* value) const
{
    return Read(m_mute, channel, value);
}

NTSTATUS AudioChannelPair::SetMute(ULONG channel, LONG value)
{
    return Write(m_mute, channel, value);
}
