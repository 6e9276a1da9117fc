// AudioChainSettings: everything an audio pin's chain of processing steps is built from: the
// connection's wave format (valid bits defaulted to the container's bits unless the format is the
// extensible one), the current audio input with its channel-pair index and count, its detection
// record, bypass mode, volume levels and mutes, and the device the volume step reports peaks to.
// The pin fills it from its format and its filter's input items; tests fill it by hand.
#pragma once
#include "brevicorrecords.h"
#include "caudiovolumecontrol.h"
#include "km/types.h"
#include "streamprocessorpin.h"

class AudioInputItems;
class AudioPeakLevelTarget;

struct AudioChainSettings {
    static constexpr ULONG kMaximumPairs = CAudioVolumeControl::kMaximumPairs;

    // The connection format.
    ULONG samplesPerSecond = 48000;
    ULONG channels = 2;
    ULONG bitsPerSample = 16;
    ULONG validBitsPerSample = 16;
    // The current input and its settings.
    ULONG input = 0;
    ULONG channelPairIndex = 0;
    ULONG channelPairCount = 1; // the input's pairs (the volume step's count)
    BrevicorInputDetectRecord inputDetect = {};
    bool bypass = false;
    // Pair-major, left before right: entry 2 x pair + channel.
    LONG levels[2 * kMaximumPairs] = {};
    LONG mutes[2 * kMaximumPairs] = {};
    AudioPeakLevelTarget* device = nullptr;

    // Takes the format's rate, channels and bits; a format that is not the extensible one (tag
    // 0xFFFE) counts its container bits as valid bits.
    void SetWaveFormat(const StreamAudioFormat& format);
    // Reads input `index` of the filter's items: pair index and count (the count cut to eight
    // pairs), detection record, bypass mode, each pair's levels and mutes. The getters' failures
    // leave the fields as they were.
    void ReadInput(const AudioInputItems& items, ULONG index);
};
