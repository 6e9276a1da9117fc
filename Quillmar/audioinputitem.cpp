// AudioInputItem: one audio input's settings and its channel pairs.
#include "audioinputitem.h"

#include "km/status.h"

#include <cstring>

AudioInputItem::AudioInputItem() = default;

NTSTATUS AudioInputItem::GetInputType(ULONG* type) const
{
    *type = m_inputType;
    return STATUS_SUCCESS;
}

NTSTATUS AudioInputItem::SetInputType(ULONG type)
{
    m_inputType = type;
    return STATUS_SUCCESS;
}

NTSTATUS AudioInputItem::GetInputIOIndex(ULONG* index) const
{
    *index = m_ioIndex;
    return STATUS_SUCCESS;
}

NTSTATUS AudioInputItem::SetInputIOIndex(ULONG index)
{
    m_ioIndex = index;
    return STATUS_SUCCESS;
}

NTSTATUS AudioInputItem::GetChannelPairIndex(ULONG* index) const
{
    *index = m_channelPairIndex;
    return STATUS_SUCCESS;
}

NTSTATUS AudioInputItem::SetChannelPairIndex(ULONG index)
{
    m_channelPairIndex = index;
    return STATUS_SUCCESS;
}

NTSTATUS AudioInputItem::GetChannelPairCount(ULONG* count) const
{
    *count = m_channelPairCount;
    return STATUS_SUCCESS;
}

NTSTATUS AudioInputItem::SetChannelPairCount(ULONG count)
{
    m_channelPairCount = count > kMaximumChannelPairs ? kMaximumChannelPairs : count;
    return STATUS_SUCCESS;
}

NTSTATUS AudioInputItem::GetInputName(GUID* name) const
{
    *name = m_inputName;
    return STATUS_SUCCESS;
}

NTSTATUS AudioInputItem::SetInputName(const GUID& name)
{
    m_inputName = name;
    return STATUS_SUCCESS;
}

const AudioChannelPair* AudioInputItem::Pair(ULONG pair) const
{
    return pair < m_channelPairCount ? &m_pairs[pair] : nullptr;
}

AudioChannelPair* AudioInputItem::Pair(ULONG pair)
{
    return pair < m_channelPairCount ? &m_pairs[pair] : nullptr;
}

#define AUDIO_INPUT_ITEM_PAIR_OPERATIONS(name)                                                               \
    NTSTATUS AudioInputItem::Get##name(ULONG pair, ULONG channel, LONG* value) const                         \
    {                                                                                                        \
        const AudioChannelPair* p = Pair(pair);                                                              \
        return p != nullptr ? p->Get##name(channel, value) : STATUS_UNSUCCESSFUL;                            \
    }                                                                                                        \
    NTSTATUS AudioInputItem::Set##name(ULONG pair, ULONG channel, LONG value)                                \
    {                                                                                                        \
        AudioChannelPair* p = Pair(pair);                                                                    \
        return p != nullptr ? p->Set##name(channel, value) : STATUS_UNSUCCESSFUL;                            \
    }
AUDIO_INPUT_ITEM_PAIR_OPERATIONS(VolumeLevel)
AUDIO_INPUT_ITEM_PAIR_OPERATIONS(PeakLevel)
AUDIO_INPUT_ITEM_PAIR_OPERATIONS(Mute)
#undef AUDIO_INPUT_ITEM_PAIR_OPERATIONS

NTSTATUS AudioInputItem::GetInputDetectInfo(BrevicorInputDetectRecord* record) const
{
    if (record == nullptr)
        return STATUS_UNSUCCESSFUL;
    std::memcpy(record, &m_inputDetect, sizeof(m_inputDetect));
    return STATUS_SUCCESS;
}

NTSTATUS AudioInputItem::SetInputDetectInfo(const BrevicorInputDetectRecord* record)
{
    if (record == nullptr)
        return STATUS_UNSUCCESSFUL;
    std::memcpy(&m_inputDetect, record, sizeof(m_inputDetect));
    return STATUS_SUCCESS;
}

NTSTATUS AudioInputItem::GetInputEnabled(ULONG* enabled) const
{
    *enabled = m_inputEnabled;
    return STATUS_SUCCESS;
}

NTSTATUS AudioInputItem::SetInputEnabled(ULONG enabled)
{
    m_inputEnabled = enabled;
    return STATUS_SUCCESS;
}

NTSTATUS AudioInputItem::GetDefaultFrequency(ULONG* frequency) const
{
    *frequency = m_defaultFrequency;
    return STATUS_SUCCESS;
}

NTSTATUS AudioInputItem::SetDefaultFrequency(ULONG frequency)
{
    m_defaultFrequency = frequency;
    return STATUS_SUCCESS;
}

NTSTATUS AudioInputItem::GetInputGain(LONG* gain) const
{
    *gain = m_inputGain;
    return STATUS_SUCCESS;
}

NTSTATUS AudioInputItem::SetInputGain(LONG gain)
{
    m_inputGain = gain;
    return STATUS_SUCCESS;
}

NTSTATUS AudioInputItem::GetAudioIsInBypassMode(UCHAR* bypass) const
{
    *bypass = m_bypassMode;
    return STATUS_SUCCESS;
}

NTSTATUS AudioInputItem::SetAudioIsInBypassMode(UCHAR bypass)
{
    m_bypassMode = bypass;
    return STATUS_SUCCESS;
}
