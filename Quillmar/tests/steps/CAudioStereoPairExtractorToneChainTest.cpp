// The four audio steps as a pin's chain builds them, under the stream's processing source, fed
// with DSP frames that carry a 1 kHz tone at -6 dBFS on one pair among others: the delivered
// samples are checked against the tone itself and measured by sox, independently of our
// arithmetic. sox comes with the set-up (tools/setup.sh); without it these tests are skipped.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "AudioStepsRecorders.h"
#include "AudioStepsSox.h"
#include "AudioStepsTestFrames.h"
#include "FakeWorkItemOwner.h"
#include "caudiosamplerateconverter.h"
#include "caudiosamplesizeconverter.h"
#include "caudiostereopairextractor.h"
#include "caudiovolumecontrol.h"
#include "frameprocessingsource.h"

using namespace audiotest;

namespace {

constexpr int kTonePair = 2;
constexpr int kFrames = 100; // one second

// source -> extractor -> rate converter -> size converter (16 bits) -> volume -> leaf
class ToneChain {
public:
    ToneChain(LONG pinSamples, LONG levelIndex) : source(&owner)
    {
        StereoPairSettings pair;
        pair.channelPairIndex = kTonePair;
        pair.samplesPerFrame = pinSamples;
        auto* extractor = new CAudioStereoPairExtractor(pair);
        SampleRateSettings rate;
        rate.bitsPerSample = 32;
        rate.samplesPerFrame = pinSamples;
        auto* converter = new CAudioSampleRateConverter(rate);
        SampleSizeSettings size;
        size.bitCount = 16;
        size.mode = CAudioSampleSizeConverter::ModeOfBitCount(16);
        size.samplesPerFrame = pinSamples;
        auto* packer = new CAudioSampleSizeConverter(size);
        volume = new CAudioVolumeControl;
        volume->SetDevice(&peaks);
        for (LONG ch = 0; ch < 2; ++ch)
            volume->SetVolume(0, ch, -CAudioVolumeControl::Threshold(levelIndex), 0);
        EXPECT_TRUE(extractor->Connect(&source));
        EXPECT_TRUE(converter->Connect(extractor));
        EXPECT_TRUE(packer->Connect(converter));
        EXPECT_TRUE(volume->Connect(packer));
        EXPECT_TRUE(leaf.Connect(volume));
    }
    ~ToneChain()
    {
        while (source.GetChildCount() > 0)
            delete source.GetChild(0);
    }

    // Runs `frames` DSP frames with the tone on pair 2 at `rateCode`; returns the delivered bytes.
    std::vector<uint8_t> Run(ULONG rateCode, int frames = kFrames)
    {
        DspFrameSpec spec;
        for (int p : {0, kTonePair, 5}) {
            spec.pairs[p].present = true;
            spec.pairs[p].rateCode = rateCode;
        }
        spec.pairs[kTonePair].toneHz = 1000.0;
        spec.pairs[kTonePair].amplitude = 0.5;
        const uint64_t samplesPerFrame = uint64_t(RateOfCode(rateCode) / 100);
        std::vector<uint8_t> delivered;
        for (int f = 0; f < frames; ++f) {
            DspAudioFrame dsp(spec, uint64_t(f) * samplesPerFrame);
            FrameWorkItem item{};
            owner.InitializeEntry(&item, &dsp.Frame());
            source.Process(&item);
            EXPECT_EQ(leaf.frames.size(), 1u);
            if (leaf.frames.empty())
                break;
            delivered.insert(delivered.end(), leaf.frames[0].bytes.begin(), leaf.frames[0].bytes.end());
            leaf.frames.clear();
        }
        return delivered;
    }

    streamtest::FakeWorkItemOwner owner;
    FrameProcessingSource source;
    RecordingPeakTarget peaks;
    CapturingAudioLeaf leaf;
    CAudioVolumeControl* volume = nullptr;
};

class CAudioStereoPairExtractorToneChainSoxTest : public testing::Test {
protected:
    void SetUp() override
    {
        sox = FindSox();
        if (sox.empty())
            GTEST_SKIP() << "sox is not installed (tools/setup.sh installs it)";
        char pattern[] = "/tmp/audio-steps-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        folder = pattern;
    }
    void TearDown() override
    {
        if (!folder.empty())
            std::filesystem::remove_all(folder);
    }
    SoxStats Measure(const std::vector<uint8_t>& samples, const std::string& name)
    {
        const std::string path = folder + "/" + name + ".wav";
        EXPECT_TRUE(WriteWav(path, samples, 2, 48000, 16));
        const std::optional<SoxStats> stats = RunSoxStats(sox, path);
        EXPECT_TRUE(stats.has_value()) << "sox stats failed on " << path;
        return stats.value_or(SoxStats{});
    }
    std::string sox;
    std::string folder;
};

double Column(const SoxStats& stats, const std::string& row, size_t column)
{
    const std::optional<double> value = stats.Value(row, column);
    EXPECT_TRUE(value.has_value()) << row << " column " << column;
    return value.value_or(NAN);
}

} // namespace

TEST(CAudioStereoPairExtractorToneChainTest, DeliversTheTonesSamplesAt16Bits)
{
    ToneChain chain(480, 12);
    const std::vector<uint8_t> delivered = chain.Run(kRate48k, 3);
    ASSERT_EQ(delivered.size(), 3u * 480u * 4u);
    DspPair tone;
    tone.rateCode = kRate48k;
    tone.toneHz = 1000.0;
    tone.amplitude = 0.5;
    for (size_t n = 0; n < 3 * 480; ++n)
        for (int ch = 0; ch < 2; ++ch)
            ASSERT_EQ(Sample16(delivered.data(), 2 * n + ch), int16_t(ToneSample(tone, n) >> 8)) << n;
    // Every buffer went back, and the device heard both peaks of every frame: 16384 at -6 dBFS.
    EXPECT_EQ(chain.owner.TotalReturns(), 3u);
    ASSERT_EQ(chain.peaks.calls.size(), 6u);
    for (const PeakCall& call : chain.peaks.calls)
        EXPECT_EQ(std::abs(call.peak), 16384);
}

TEST_F(CAudioStereoPairExtractorToneChainSoxTest, AToneAtMinus6dBFSMeasuresAsOneAtUnityGainAnd6dBHigherAtLevelZero)
{
    ToneChain unity(480, 12);
    const SoxStats flat = Measure(unity.Run(kRate48k), "unity");
    for (size_t ch = 1; ch <= 2; ++ch) {
        EXPECT_NEAR(Column(flat, "Pk lev dB", ch), -6.02, 0.05) << "channel " << ch;
        EXPECT_NEAR(Column(flat, "RMS lev dB", ch), -9.03, 0.05) << "channel " << ch;
    }

    ToneChain loudest(480, 0);
    const SoxStats loud = Measure(loudest.Run(kRate48k), "loudest");
    for (size_t ch = 1; ch <= 2; ++ch) {
        EXPECT_NEAR(Column(loud, "Pk lev dB", ch) - Column(flat, "Pk lev dB", ch), 6.00, 0.05) << "channel " << ch;
        EXPECT_NEAR(Column(loud, "RMS lev dB", ch) - Column(flat, "RMS lev dB", ch), 6.00, 0.05) << "channel " << ch;
    }
}

TEST_F(CAudioStereoPairExtractorToneChainSoxTest, A44kToneStretchedTo48kKeepsItsLevel)
{
    ToneChain chain(480, 12);
    const std::vector<uint8_t> delivered = chain.Run(kRate44k);
    ASSERT_EQ(delivered.size(), size_t(kFrames) * 480u * 4u);
    const SoxStats stats = Measure(delivered, "stretched");
    for (size_t ch = 1; ch <= 2; ++ch) {
        EXPECT_NEAR(Column(stats, "Pk lev dB", ch), -6.02, 0.05) << "channel " << ch;
        EXPECT_NEAR(Column(stats, "RMS lev dB", ch), -9.03, 0.05) << "channel " << ch;
    }
}

TEST(CAudioStereoPairExtractorToneChainTest, SoxStatsTextIsReadByRowAndColumn)
{
    const SoxStats stats = ParseSoxStats("             Overall     Left      Right\n"
                                         "DC offset   0.000001 -0.000002  0.000001\n"
                                         "Pk lev dB      -6.02     -6.02     -6.03\n"
                                         "RMS lev dB     -9.03     -9.03     -9.04\n"
                                         "Bit-depth      16/16     16/16     16/16\n"
                                         "Num samples    48.0k\n"
                                         "Min level         -inf  -inf  -inf\n");
    EXPECT_EQ(stats.Value("Pk lev dB", 2).value_or(0), -6.03);
    EXPECT_EQ(stats.Value("RMS lev dB", 0).value_or(0), -9.03);
    EXPECT_EQ(stats.Value("DC offset", 1).value_or(0), -0.000002);
    EXPECT_TRUE(std::isinf(stats.Value("Min level", 1).value_or(0)));
    EXPECT_FALSE(stats.Value("Bit-depth", 0).has_value());
    EXPECT_FALSE(stats.Value("Num samples", 0).has_value());
    EXPECT_FALSE(stats.Value("Pk lev dB", 3).has_value());
    EXPECT_FALSE(stats.Value("Overall", 0).has_value());
}
