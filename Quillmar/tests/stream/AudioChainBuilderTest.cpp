// The audio pin's chain built from a settings record alone: the steps for 16, 24, 8 and 32 bits,
// the size converter's mode (the container's) and valid bits, the pair counts and frame sizes the steps get, and the volume
// step's levels and mutes read from the filter's input items pair by pair, left before right.
#include "AlgorithmTreeDump.h"
#include "ChainTestFixture.h"

#include "algorithmlist.h"
#include "audiochainbuilder.h"
#include "audioinputitems.h"
#include "caudiosamplerateconverter.h"
#include "caudiosamplesizeconverter.h"
#include "caudiostereopairextractor.h"
#include "frameprocessedsink.h"
#include "shared/ksaudiorecords.h"

#include <memory>
#include <vector>

namespace streamtest {
namespace {

StreamAudioFormat Wave(USHORT tag, ULONG rate, USHORT channels, USHORT bits, USHORT validBits)
{
    StreamAudioFormat format = {};
    format.formatTag = tag;
    format.channels = channels;
    format.samplesPerSecond = rate;
    format.bitsPerSample = bits;
    format.blockAlign = static_cast<USHORT>(channels * bits / 8);
    format.averageBytesPerSecond = rate * format.blockAlign;
    format.extraSize = tag == WAVE_FORMAT_EXTENSIBLE ? 22 : 0;
    format.validBitsPerSample = validBits;
    return format;
}

class AudioChainBuilderTest : public ChainTestFixture {
protected:
    bool AudioStream() const override { return true; }
};

using Ids = std::vector<LONG>;

TEST_F(AudioChainBuilderTest, SixteenBitsGetTheSizeConverterInModeFourAndThirtyTwoBitsInModeSeven)
{
    AudioChainSettings settings;
    settings.SetWaveFormat(Wave(WAVE_FORMAT_PCM, 48000, 2, 16, 0));
    EXPECT_EQ(settings.validBitsPerSample, 16u); // a plain wave format's valid bits are its bits
    standin::DebugOutputClear();
    FrameProcessedSink* sink = Merge(settings);
    EXPECT_EQ(ChainIds(sink), (Ids{14, 21, 13, 17, 1}));
    EXPECT_EQ(sink->GetExpectedInterval(), 100000u);
    const auto* size = static_cast<const CAudioSampleSizeConverter*>(sink->FindParentWithId(13));
    EXPECT_EQ(size->GetSettings().mode, 4);
    EXPECT_EQ(size->GetSettings().bitCount, 16);
    EXPECT_EQ(size->GetSettings().samplesPerFrame, 480);
    EXPECT_EQ(size->GetSettings().channelPairCount, 1);
    const auto* pairs = static_cast<const CAudioStereoPairExtractor*>(sink->FindParentWithId(14));
    EXPECT_EQ(pairs->GetSettings().bitsPerSample, 32);
    EXPECT_EQ(pairs->GetSettings().samplesPerFrame, 480);
    EXPECT_EQ(pairs->GetSettings().framesPerSecond, 100);
    EXPECT_EQ(pairs->GetLogicalStream(), stream_.get());
    const auto* rate = static_cast<const CAudioSampleRateConverter*>(sink->FindParentWithId(21));
    EXPECT_EQ(rate->GetSettings().bitsPerSample, 32);
    EXPECT_EQ(rate->GetSettings().samplesPerFrame, 480);
    EXPECT_EQ(DebugLinesWith("Audio stereo pair extraction: Input=0, Count=1, Bit Count=32, Samples per frame=480"), 1u);
    EXPECT_EQ(DebugLinesWith("Audio sample rate settings: Input=0, Count=1, Bit Count=32, Samples per frame=480"), 1u);
    EXPECT_EQ(DebugLinesWith("Audio sample size conversion: Input=0, Count=1, Bit Count=16, Samples per frame=480"), 1u);

    // 32 valid bits: the converter too, which puts the DSP's 24-bit samples at the top of the
    // 32-bit container. The equal extractor is shared; a rate converter never is.
    AudioChainSettings wide;
    wide.SetWaveFormat(Wave(WAVE_FORMAT_EXTENSIBLE, 48000, 2, 32, 32));
    FrameProcessedSink* wideSink = Merge(wide);
    EXPECT_EQ(ChainIds(wideSink), (Ids{14, 21, 13, 17, 1}));
    const auto* wideSize = static_cast<const CAudioSampleSizeConverter*>(wideSink->FindParentWithId(13));
    EXPECT_EQ(wideSize->GetSettings().mode, 7);
    EXPECT_EQ(wideSize->GetSettings().bitCount, 32);
    EXPECT_EQ(DebugLinesWith("Audio sample size conversion: Input=0, Count=1, Bit Count=32, Samples per frame=480"), 1u);
    EXPECT_EQ(DumpAlgorithmTree(stream_->GetSource()), "0: id=0 parent=- children=1\n"
                                                       "1: id=14 parent=0 children=2,6\n"
                                                       "2: id=21 parent=1 children=3\n"
                                                       "3: id=13 parent=2 children=4\n"
                                                       "4: id=17 parent=3 children=5\n"
                                                       "5: id=1 parent=4 children=\n"
                                                       "6: id=21 parent=1 children=7\n"
                                                       "7: id=13 parent=6 children=8\n"
                                                       "8: id=17 parent=7 children=9\n"
                                                       "9: id=1 parent=8 children=\n");
}

TEST_F(AudioChainBuilderTest, TheModeFollowsTheContainerAndTheExtensibleFormatsValidBitsCount)
{
    EXPECT_EQ(AudioChainBuilder::SampleSizeMode(8), 1);
    EXPECT_EQ(AudioChainBuilder::SampleSizeMode(16), 4);
    EXPECT_EQ(AudioChainBuilder::SampleSizeMode(24), 6);
    EXPECT_EQ(AudioChainBuilder::SampleSizeMode(32), 7);
    EXPECT_EQ(AudioChainBuilder::SampleSizeMode(20), -1);

    // 24 valid bits in a 32-bit container of the extensible form: 32-bit samples, 24 valid.
    AudioChainSettings settings;
    settings.SetWaveFormat(Wave(WAVE_FORMAT_EXTENSIBLE, 96000, 4, 32, 24));
    EXPECT_EQ(settings.validBitsPerSample, 24u);
    FrameProcessedSink* sink = Merge(settings);
    EXPECT_EQ(ChainIds(sink), (Ids{14, 21, 13, 17, 1}));
    const auto* size = static_cast<const CAudioSampleSizeConverter*>(sink->FindParentWithId(13));
    EXPECT_EQ(size->GetSettings().mode, 7);
    EXPECT_EQ(size->GetSettings().bitCount, 24);
    EXPECT_EQ(size->GetSettings().channelPairCount, 2);
    EXPECT_EQ(size->GetSettings().samplesPerFrame, 960);

    // 20 valid bits: the container's size all the same (24 bits here, 16 for 12 valid).
    settings.SetWaveFormat(Wave(WAVE_FORMAT_EXTENSIBLE, 48000, 2, 24, 20));
    sink = Merge(settings);
    EXPECT_EQ(static_cast<const CAudioSampleSizeConverter*>(sink->FindParentWithId(13))->GetSettings().mode, 6);
    settings.SetWaveFormat(Wave(WAVE_FORMAT_EXTENSIBLE, 48000, 2, 16, 12));
    sink = Merge(settings);
    EXPECT_EQ(static_cast<const CAudioSampleSizeConverter*>(sink->FindParentWithId(13))->GetSettings().mode, 4);

    // A plain format ignores whatever stands in the valid-bits field.
    settings.SetWaveFormat(Wave(WAVE_FORMAT_PCM, 32000, 2, 8, 32));
    EXPECT_EQ(settings.validBitsPerSample, 8u);
    sink = Merge(settings);
    EXPECT_EQ(static_cast<const CAudioSampleSizeConverter*>(sink->FindParentWithId(13))->GetSettings().mode, 1);
}

TEST_F(AudioChainBuilderTest, TheVolumeStepGetsTheInputsLevelsAndMutesPairByPairLeftFirst)
{
    AudioInputItems items;
    ASSERT_EQ(items.AllocateInputs(3), STATUS_SUCCESS);
    AudioInputItem* input = items.GetInput(2);
    ASSERT_NE(input, nullptr);
    ASSERT_EQ(input->SetChannelPairIndex(3), STATUS_SUCCESS);
    ASSERT_EQ(input->SetChannelPairCount(2), STATUS_SUCCESS);
    for (ULONG pair = 0; pair < 2; ++pair) {
        for (ULONG channel = 0; channel < 2; ++channel) {
            ASSERT_EQ(items.SetVolumeLevel(2, pair, channel, static_cast<LONG>(-1000 * (2 * pair + channel + 1))),
                      STATUS_SUCCESS);
            ASSERT_EQ(items.SetMute(2, pair, channel, static_cast<LONG>(pair == 1 && channel == 0)), STATUS_SUCCESS);
        }
    }
    ASSERT_EQ(items.SetAudioIsInBypassMode(2, 1), STATUS_SUCCESS);

    AudioChainSettings settings;
    settings.SetWaveFormat(Wave(WAVE_FORMAT_PCM, 48000, 4, 16, 16));
    settings.ReadInput(items, 2);
    EXPECT_EQ(settings.channelPairIndex, 3u);
    EXPECT_EQ(settings.channelPairCount, 2u);
    EXPECT_TRUE(settings.bypass);
    FrameProcessedSink* sink = Merge(settings);
    const auto* volume = static_cast<const CAudioVolumeControl*>(sink->FindParentWithId(17));
    ASSERT_NE(volume, nullptr);
    EXPECT_EQ(volume->GetInput(), 2u);
    EXPECT_EQ(volume->GetChannelPairCount(), 2);
    EXPECT_EQ(volume->GetChannelPairIndex(), 3);
    EXPECT_TRUE(volume->GetBypass());
    const LONG expectedLevels[2][2] = {{-1000, -2000}, {-3000, -4000}};
    const LONG expectedMutes[2][2] = {{0, 0}, {1, 0}};
    for (LONG pair = 0; pair < 2; ++pair) {
        for (LONG channel = 0; channel < 2; ++channel) {
            LONG level = 0;
            LONG mute = -1;
            ASSERT_EQ(volume->GetVolume(pair, channel, &level, &mute), STATUS_SUCCESS);
            EXPECT_EQ(level, expectedLevels[pair][channel]) << pair << "," << channel;
            EXPECT_EQ(mute, expectedMutes[pair][channel]) << pair << "," << channel;
        }
    }
    const auto* pairs = static_cast<const CAudioStereoPairExtractor*>(sink->FindParentWithId(14));
    EXPECT_EQ(pairs->GetSettings().channelPairIndex, 3);
    EXPECT_EQ(pairs->GetSettings().channelPairCount, 2);
}

} // namespace
} // namespace streamtest
