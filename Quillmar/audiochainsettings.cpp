#include "audiochainsettings.h"

#include "audioinputitems.h"
#include "shared/ksaudiorecords.h"

#include <algorithm>

void AudioChainSettings::SetWaveFormat(const StreamAudioFormat& format)
{
    samplesPerSecond = format.samplesPerSecond;
    channels = format.channels;
    bitsPerSample = format.bitsPerSample;
    validBitsPerSample = format.formatTag == WAVE_FORMAT_EXTENSIBLE ? format.validBitsPerSample : format.bitsPerSample;
}

void AudioChainSettings::ReadInput(const AudioInputItems& items, ULONG index)
{
    input = index;
    items.GetChannelPairIndex(index, &channelPairIndex);
    items.GetChannelPairCount(index, &channelPairCount);
    channelPairCount = std::min<ULONG>(channelPairCount, kMaximumPairs);
    inputDetect.inputNumber = index;
    items.GetInputDetectInfo(index, &inputDetect);
    UCHAR bypassMode = 0;
    if (NT_SUCCESS(items.GetAudioIsInBypassMode(index, &bypassMode)))
        bypass = bypassMode != 0;
    for (ULONG pair = 0; pair < channelPairCount; ++pair) {
        for (ULONG channel = 0; channel < 2; ++channel) {
            items.GetVolumeLevel(index, pair, channel, &levels[2 * pair + channel]);
            items.GetMute(index, pair, channel, &mutes[2 * pair + channel]);
        }
    }
}
