// AudioInputItem: one audio input: its type and hardware input number, the first channel pair it
// takes in the audio frames and how many (up to eight pairs, each an AudioChannelPair), its name (a
// media-category identifier whose registry text is the name), enable, default frequency, gain,
// bypass mode and its last detection record.
#pragma once
#include "audiochannelpair.h"
#include "brevicorrecords.h"
#include "kernel/driverheap.h"
#include "km/types.h"
#include "shared/guiddef.h"

class AudioInputItem : public DriverAllocated {
public:
    static constexpr ULONG kMaximumChannelPairs = 8;
    static constexpr LONG kDefaultInputGain = -4;

    AudioInputItem();

    NTSTATUS GetInputType(ULONG* type) const;
    NTSTATUS SetInputType(ULONG type);
    NTSTATUS GetInputIOIndex(ULONG* index) const;
    NTSTATUS SetInputIOIndex(ULONG index);
    NTSTATUS GetChannelPairIndex(ULONG* index) const;
    NTSTATUS SetChannelPairIndex(ULONG index);
    NTSTATUS GetChannelPairCount(ULONG* count) const;
    // A count above kMaximumChannelPairs is stored as kMaximumChannelPairs.
    NTSTATUS SetChannelPairCount(ULONG count);
    NTSTATUS GetInputName(GUID* name) const;
    NTSTATUS SetInputName(const GUID& name);

    // One channel of one pair: the pair must lie below the pair count and the channel be 0 or 1,
    // else STATUS_UNSUCCESSFUL with the out-value untouched.
    NTSTATUS GetVolumeLevel(ULONG pair, ULONG channel, LONG* value) const;
    NTSTATUS SetVolumeLevel(ULONG pair, ULONG channel, LONG value);
    NTSTATUS GetPeakLevel(ULONG pair, ULONG channel, LONG* value) const;
    NTSTATUS SetPeakLevel(ULONG pair, ULONG channel, LONG value);
    NTSTATUS GetMute(ULONG pair, ULONG channel, LONG* value) const;
    NTSTATUS SetMute(ULONG pair, ULONG channel, LONG value);

    NTSTATUS GetInputDetectInfo(BrevicorInputDetectRecord* record) const;
    NTSTATUS SetInputDetectInfo(const BrevicorInputDetectRecord* record);
    NTSTATUS GetInputEnabled(ULONG* enabled) const;
    NTSTATUS SetInputEnabled(ULONG enabled);
    NTSTATUS GetDefaultFrequency(ULONG* frequency) const;
    NTSTATUS SetDefaultFrequency(ULONG frequency);
    NTSTATUS GetInputGain(LONG* gain) const;
    NTSTATUS SetInputGain(LONG gain);
    NTSTATUS GetAudioIsInBypassMode(UCHAR* bypass) const;
    NTSTATUS SetAudioIsInBypassMode(UCHAR bypass);

private:
    const AudioChannelPair* Pair(ULONG pair) const;
    AudioChannelPair* Pair(ULONG pair);

    ULONG m_inputType = 0;
    ULONG m_ioIndex = 0;
    ULONG m_channelPairIndex = 0;
    ULONG m_channelPairCount = 0;
    AudioChannelPair m_pairs[kMaximumChannelPairs];
    ULONG m_reserved1[2] = {};
    GUID m_inputName = {};
    ULONG m_reserved2 = 0;
    ULONG m_inputEnabled = 1;
    ULONG m_defaultFrequency = 0;
    LONG m_inputGain = kDefaultInputGain;
    ULONG m_reserved3 = 255;
    UCHAR m_bypassMode = 0;
    BrevicorInputDetectRecord m_inputDetect = {};
};
