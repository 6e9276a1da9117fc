// The volume step: gain indices of levels, scaling with rounding and clamping per sample width,
// mute and bypass, the peaks the device receives after the children, the settings lock against a
// refresh that runs while frames are scaled, and the sharing rule.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "AudioStepsRecorders.h"
#include "AudioStepsTestFrames.h"
#include "caudiovolumecontrol.h"
#include "km/kernel.h"

using namespace audiotest;

namespace {

// An audio frame of `bits`-bit samples over given bytes.
class SampleFrame {
public:
    SampleFrame(std::vector<uint8_t> bytes, LONG bits, LONG pairs) : m_bytes(std::move(bytes))
    {
        const LONG samples = LONG(m_bytes.size() / (size_t(bits / 8) * 2 * pairs));
        m_frame.SetBuffer(m_bytes.data(), ULONG(m_bytes.size()), bits, pairs, samples);
    }
    ~SampleFrame() { m_frame.DetachBuffer(); }
    AudioFrame& Frame() { return m_frame; }
    const std::vector<uint8_t>& Bytes() const { return m_bytes; }

private:
    std::vector<uint8_t> m_bytes;
    AudioFrame m_frame;
};

std::vector<uint8_t> Samples16(std::initializer_list<int> values)
{
    std::vector<uint8_t> bytes;
    for (int v : values) {
        bytes.push_back(uint8_t(v));
        bytes.push_back(uint8_t(v >> 8));
    }
    return bytes;
}

std::vector<uint8_t> SamplesOfWidth(std::initializer_list<int64_t> values, int bytesPerSample)
{
    std::vector<uint8_t> bytes;
    for (int64_t v : values)
        for (int b = 0; b < bytesPerSample; ++b)
            bytes.push_back(uint8_t(uint64_t(v) >> (8 * b)));
    return bytes;
}

int64_t SampleAt(const std::vector<uint8_t>& bytes, size_t index, int bytesPerSample)
{
    uint64_t value = 0;
    for (int b = 0; b < bytesPerSample; ++b)
        value |= uint64_t(bytes[index * bytesPerSample + b]) << (8 * b);
    const int bits = 8 * bytesPerSample;
    return int64_t(value << (64 - bits)) >> (64 - bits);
}

// A level that selects gain index i (its threshold).
LONG LevelOfIndex(LONG i)
{
    return -CAudioVolumeControl::Threshold(i);
}

struct VolumeRig : AudioStepRig<CAudioVolumeControl> {
    explicit VolumeRig(Journal* journal = nullptr) : target(journal)
    {
        step->SetDevice(&target);
        step->SetInput(3);
        leaf.SetJournal(journal);
    }
    RecordingPeakTarget target;
};

} // namespace

TEST(CAudioVolumeControlTest, LevelsSelectGainIndicesByTheThresholds)
{
    EXPECT_EQ(CAudioVolumeControl::GainIndexOfLevel(0), 0);
    EXPECT_EQ(CAudioVolumeControl::GainIndexOfLevel(1000), 0);
    EXPECT_EQ(CAudioVolumeControl::GainIndexOfLevel(-1), 1);
    EXPECT_EQ(CAudioVolumeControl::GainIndexOfLevel(-10585), 1);
    EXPECT_EQ(CAudioVolumeControl::GainIndexOfLevel(-10586), 2);
    EXPECT_EQ(CAudioVolumeControl::GainIndexOfLevel(-127020), 12);
    EXPECT_EQ(CAudioVolumeControl::GainIndexOfLevel(-127021), 13);
    EXPECT_EQ(CAudioVolumeControl::GainIndexOfLevel(-3538943), 63);
    EXPECT_EQ(CAudioVolumeControl::GainIndexOfLevel(-3538944), 63);
    EXPECT_EQ(CAudioVolumeControl::GainIndexOfLevel(INT32_MIN), 63);
    EXPECT_EQ(CAudioVolumeControl::GainIndexOfLevel(INT32_MAX), 0);
    // The thresholds rise; the gains fall in 0.5 dB steps from +6 dB to -25.5 dB.
    for (LONG i = 1; i < CAudioVolumeControl::kGainCount; ++i) {
        EXPECT_GT(CAudioVolumeControl::Threshold(i), CAudioVolumeControl::Threshold(i - 1)) << i;
        EXPECT_NEAR(20 * std::log10(CAudioVolumeControl::Gain(i - 1) / CAudioVolumeControl::Gain(i)), 0.5, 1e-12) << i;
    }
    EXPECT_NEAR(20 * std::log10(CAudioVolumeControl::Gain(0)), 6.0, 1e-12);
    EXPECT_EQ(CAudioVolumeControl::Gain(12), 1.0);
    EXPECT_NEAR(20 * std::log10(CAudioVolumeControl::Gain(63)), -25.5, 1e-12);
}

TEST(CAudioVolumeControlTest, SixteenBitSamplesAreScaledRoundedAndClamped)
{
    VolumeRig rig;
    // Level 0 is +6 dB: 20000 clamps at 32767, as does its peak.
    SampleFrame loud(Samples16({20000, -20000, 1000, 0x8000}), 16, 1);
    const SeenAudioFrame& out = rig.Run(loud.Frame());
    EXPECT_EQ(Sample16(out.bytes.data(), 0), 32767);
    EXPECT_EQ(Sample16(out.bytes.data(), 1), -32768);
    EXPECT_EQ(Sample16(out.bytes.data(), 2), 1995); // round(1000 x 1.99526)
    EXPECT_EQ(Sample16(out.bytes.data(), 3), -32768); // 0x8000 reads as -32768
    EXPECT_EQ(rig.step->GetPeak(0, 0), 32767);
    EXPECT_EQ(rig.step->GetPeak(0, 1), -32768);

    // 0 dB leaves samples as they are; 0xFFFF is -1.
    ASSERT_EQ(rig.step->SetVolume(0, 0, LevelOfIndex(12), 0), STATUS_SUCCESS);
    ASSERT_EQ(rig.step->SetVolume(0, 1, LevelOfIndex(12), 0), STATUS_SUCCESS);
    SampleFrame unity(Samples16({0xFFFF, 0x8000, 12345, -12345}), 16, 1);
    const SeenAudioFrame& same = rig.Run(unity.Frame());
    EXPECT_EQ(same.bytes, unity.Bytes());
    EXPECT_EQ(rig.step->GetPeak(0, 0), 12345);
    EXPECT_EQ(rig.step->GetPeak(0, 1), -32768);

    // -6 dB (index 24): halves of even products round to even.
    ASSERT_EQ(rig.step->SetVolume(0, 0, LevelOfIndex(24), 0), STATUS_SUCCESS);
    SampleFrame soft(Samples16({10000, 0, 3, 0}), 16, 1);
    const SeenAudioFrame& quieter = rig.Run(soft.Frame());
    EXPECT_EQ(Sample16(quieter.bytes.data(), 0), std::lround(10000 * CAudioVolumeControl::Gain(24)));
    EXPECT_EQ(Sample16(quieter.bytes.data(), 2), 2); // 3 x 0.501 = 1.50356
}

TEST(CAudioVolumeControlTest, EachWidthHasItsLimitsAndPeakShift)
{
    VolumeRig rig;
    // 24-bit: limits +-2^23, peaks on the 16-bit scale (shift 8).
    SampleFrame s24(SamplesOfWidth({0x500000, 0x800000, 0x000100, 0xFFFF00}, 3), 24, 1);
    const SeenAudioFrame& out24 = rig.Run(s24.Frame());
    EXPECT_EQ(SampleAt(out24.bytes, 0, 3), 0x7FFFFF);
    EXPECT_EQ(SampleAt(out24.bytes, 1, 3), -8388608);
    EXPECT_EQ(SampleAt(out24.bytes, 2, 3), std::lround(256 * CAudioVolumeControl::Gain(0)));
    EXPECT_EQ(SampleAt(out24.bytes, 3, 3), -std::lround(256 * CAudioVolumeControl::Gain(0)));
    EXPECT_EQ(rig.step->GetPeak(0, 0), 32767); // 0x5000 x 1.995 clamps
    EXPECT_EQ(rig.step->GetPeak(0, 1), -32768);

    // 32-bit: the left-justified sample; the product saturates instead of wrapping.
    SampleFrame s32(SamplesOfWidth({0x50000000, int64_t(0x80000000), 0x00010000, -0x00010000}, 4), 32, 1);
    const SeenAudioFrame& out32 = rig.Run(s32.Frame());
    EXPECT_EQ(SampleAt(out32.bytes, 0, 4), 0x7FFFFFFF);
    EXPECT_EQ(SampleAt(out32.bytes, 1, 4), -2147483647);
    EXPECT_EQ(SampleAt(out32.bytes, 2, 4), std::lround(65536 * CAudioVolumeControl::Gain(0)));
    EXPECT_EQ(rig.step->GetPeak(0, 0), 32767);
    EXPECT_EQ(rig.step->GetPeak(0, 1), -32768);

    // 8-bit: offset binary, scaled about 128.
    SampleFrame s8(std::vector<uint8_t>{128 + 50, 128 - 50, 255, 0}, 8, 1);
    const SeenAudioFrame& out8 = rig.Run(s8.Frame());
    EXPECT_EQ(out8.bytes[0], 128 + 100);
    EXPECT_EQ(out8.bytes[1], 128 - 100);
    EXPECT_EQ(out8.bytes[2], 255);
    EXPECT_EQ(out8.bytes[3], 0);
    // 8-bit peaks stay on the 8-bit scale (no shift), scaled but not clamped to it.
    EXPECT_EQ(rig.step->GetPeak(0, 0), std::lround(127 * CAudioVolumeControl::Gain(0)));
    EXPECT_EQ(rig.step->GetPeak(0, 1), -std::lround(128 * CAudioVolumeControl::Gain(0)));

    EXPECT_EQ(CAudioVolumeControl::LimitsOfBits(16).maximum, 32767);
    EXPECT_EQ(CAudioVolumeControl::LimitsOfBits(24).peakShift, 8);
    EXPECT_EQ(CAudioVolumeControl::LimitsOfBits(32).minimum, -2147483647);
    EXPECT_EQ(CAudioVolumeControl::LimitsOfBits(8).maximum, 127);
}

TEST(CAudioVolumeControlTest, MutedChannelsAreSilentWithPeakZero)
{
    VolumeRig rig;
    ASSERT_EQ(rig.step->SetVolume(0, 0, 0, 1), STATUS_SUCCESS);
    SampleFrame frame(Samples16({20000, 300, -20000, 300}), 16, 1);
    rig.Run(frame.Frame());
    const SeenAudioFrame& out = rig.leaf.frames.back();
    EXPECT_EQ(Sample16(out.bytes.data(), 0), 0);
    EXPECT_EQ(Sample16(out.bytes.data(), 2), 0);
    EXPECT_EQ(Sample16(out.bytes.data(), 1), 599); // round(300 x 1.9953)
    ASSERT_EQ(rig.target.calls.size(), 2u);
    EXPECT_EQ(rig.target.calls[0].peak, 0);
    EXPECT_EQ(rig.target.calls[1].peak, 599);

    // Muted 8-bit samples are silence about 128.
    SampleFrame s8(std::vector<uint8_t>{200, 10}, 8, 1);
    EXPECT_EQ(rig.Run(s8.Frame()).bytes[0], 128);
}

TEST(CAudioVolumeControlTest, BypassLeavesTheRightChannelsBytesAlone)
{
    VolumeRig rig;
    rig.step->SetBypass(true);
    ASSERT_EQ(rig.step->SetVolume(0, 1, LevelOfIndex(40), 1), STATUS_SUCCESS);
    SampleFrame frame(Samples16({1000, 0x8000, 2000, 0xFFFF, -3, 31000}), 16, 1);
    const SeenAudioFrame& out = rig.Run(frame.Frame());
    for (size_t n = 0; n < 3; ++n) {
        EXPECT_EQ(out.bytes[4 * n + 2], frame.Bytes()[4 * n + 2]) << n;
        EXPECT_EQ(out.bytes[4 * n + 3], frame.Bytes()[4 * n + 3]) << n;
    }
    EXPECT_EQ(Sample16(out.bytes.data(), 0), 1995);
    EXPECT_EQ(Sample16(out.bytes.data(), 2), 3991);
    // The right peak is the unscaled one.
    EXPECT_EQ(rig.step->GetPeak(0, 1), -32768);
}

TEST(CAudioVolumeControlTest, TheDeviceGetsEveryPairsPeaksAfterTheChildRan)
{
    Journal journal;
    VolumeRig rig(&journal);
    ASSERT_EQ(rig.step->SetChannelPairCount(2), STATUS_SUCCESS);
    ASSERT_EQ(rig.step->SetVolume(1, 0, LevelOfIndex(12), 0), STATUS_SUCCESS);
    ASSERT_EQ(rig.step->SetVolume(1, 1, LevelOfIndex(12), 1), STATUS_SUCCESS);
    // Two pairs interleaved: L0 R0 L1 R1 per sample.
    SampleFrame frame(Samples16({100, -200, 300, 400, -150, 50, -301, 20}), 16, 2);
    rig.Run(frame.Frame());
    EXPECT_EQ(journal.Events(), (std::vector<std::string>{"frame", "peak", "peak", "peak", "peak"}));
    ASSERT_EQ(rig.target.calls.size(), 4u);
    const PeakCall expected[] = {
        {3, 0, 0, -299}, // round(-150 x 1.9953)
        {3, 0, 1, -399},
        {3, 1, 0, -301}, // 0 dB
        {3, 1, 1, 0},    // muted
    };
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(rig.target.calls[i].input, expected[i].input) << i;
        EXPECT_EQ(rig.target.calls[i].pair, expected[i].pair) << i;
        EXPECT_EQ(rig.target.calls[i].channel, expected[i].channel) << i;
        EXPECT_EQ(rig.target.calls[i].peak, expected[i].peak) << i;
    }
    // Peaks are measured afresh for every frame.
    SampleFrame quiet(Samples16({1, 1, 1, 1}), 16, 2);
    rig.Run(quiet.Frame());
    ASSERT_EQ(rig.target.calls.size(), 8u);
    EXPECT_EQ(rig.target.calls[4].peak, 2);
    EXPECT_EQ(rig.target.calls[6].peak, 1);
}

TEST(CAudioVolumeControlTest, ScalesInPlaceOnlyWhenTheFrameIsWritable)
{
    VolumeRig rig;
    SampleFrame frame(Samples16({1000, 1000}), 16, 1);
    frame.Frame().SetFrameNumber(5);
    frame.Frame().StatusWords()[2] = 0xC;
    // Read-only: the input stays as it was, the output is the step's own frame.
    frame.Frame().SetWritable(false);
    const SeenAudioFrame& copy = rig.Run(frame.Frame());
    EXPECT_NE(copy.frame, &frame.Frame());
    EXPECT_EQ(Sample16(frame.Bytes().data(), 0), 1000);
    EXPECT_EQ(Sample16(copy.bytes.data(), 0), 1995);
    EXPECT_EQ(copy.frameTime, 5);
    EXPECT_EQ(copy.status[2], 0xCu);
    // Writable: scaled where it is.
    frame.Frame().SetWritable(true);
    const SeenAudioFrame& inPlace = rig.Run(frame.Frame());
    EXPECT_EQ(inPlace.frame, &frame.Frame());
    EXPECT_EQ(Sample16(frame.Bytes().data(), 0), 1995);

    // A width the step does not know passes unscaled, with no peaks but zeros.
    std::vector<uint8_t> odd(12, 0x40);
    AudioFrame oddFrame;
    oddFrame.SetBuffer(odd.data(), 12, 12, 1, 4);
    const SeenAudioFrame& passed = rig.Run(oddFrame);
    EXPECT_EQ(passed.frame, &oddFrame);
    EXPECT_EQ(passed.bytes, odd);
    EXPECT_EQ(rig.target.calls.back().peak, 0);
    oddFrame.DetachBuffer();
}

TEST(CAudioVolumeControlTest, SettersRefuseChannelsOutsideTheTable)
{
    CAudioVolumeControl volume;
    EXPECT_EQ(volume.SetVolume(8, 0, 0, 0), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(volume.SetVolume(-1, 0, 0, 0), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(volume.SetVolume(0, 2, 0, 0), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(volume.SetChannelPairCount(0), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(volume.SetChannelPairCount(9), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(volume.GetChannelPairCount(), 1);
    LONG level = 7, mute = 7;
    EXPECT_EQ(volume.GetVolume(0, 2, &level, &mute), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(level, 7);
    ASSERT_EQ(volume.SetVolume(7, 1, -5000, 1), STATUS_SUCCESS);
    ASSERT_EQ(volume.GetVolume(7, 1, &level, &mute), STATUS_SUCCESS);
    EXPECT_EQ(level, -5000);
    EXPECT_EQ(mute, 1);
}

TEST(CAudioVolumeControlTest, ComparesBypassMutesAndLevels)
{
    CAudioVolumeControl a, b;
    EXPECT_TRUE(a.IsEqual(&b));
    b.SetVolume(3, 1, -100, 0);
    EXPECT_FALSE(a.IsEqual(&b));
    a.SetVolume(3, 1, -100, 0);
    EXPECT_TRUE(a.IsEqual(&b));
    b.SetVolume(3, 1, -100, 1);
    EXPECT_FALSE(b.IsEqual(&a));
    a.SetVolume(3, 1, -100, 1);
    a.SetBypass(true);
    EXPECT_FALSE(a.IsEqual(&b));
    b.SetBypass(true);
    EXPECT_TRUE(a.IsEqual(&b));
    b.SetChannelPairCount(2);
    EXPECT_FALSE(a.IsEqual(&b));
    // The input is not compared: the extractor above already tells inputs apart.
    b.SetChannelPairCount(1);
    b.SetInput(5);
    EXPECT_TRUE(a.IsEqual(&b));
}

TEST(CAudioVolumeControlTest, ARefreshWhileFramesRunReachesFramesWhole)
{
    // One thread scales frames while another flips all 16 levels and mutes between two sets
    // under the lock; every frame must show one set or the other, never a mix.
    VolumeRig rig;
    ASSERT_EQ(rig.step->SetChannelPairCount(8), STATUS_SUCCESS);
    LONG quietLevels[16], loudLevels[16], noMutes[16] = {};
    for (int c = 0; c < 16; ++c) {
        quietLevels[c] = LevelOfIndex(24);
        loudLevels[c] = LevelOfIndex(12);
    }
    rig.step->SetAllVolumes(loudLevels, noMutes);
    std::atomic<bool> stop{false};
    std::atomic<int> refreshes{0};
    std::thread refresher([&] {
        bool quiet = true;
        while (!stop.load()) {
            rig.step->SetAllVolumes(quiet ? quietLevels : loudLevels, noMutes);
            quiet = !quiet;
            refreshes.fetch_add(1);
        }
    });
    std::vector<uint8_t> bytes;
    for (int n = 0; n < 16 * 4; ++n) {
        bytes.push_back(uint8_t(10000 & 0xFF));
        bytes.push_back(uint8_t(10000 >> 8));
    }
    const int16_t loud = 10000;
    const int16_t quiet = int16_t(std::lround(10000 * CAudioVolumeControl::Gain(24)));
    for (int frameNumber = 0; frameNumber < 400 || refreshes.load() < 10; ++frameNumber) {
        SampleFrame frame(bytes, 16, 8);
        rig.step->Process(&frame.Frame());
        const SeenAudioFrame& out = rig.leaf.frames.back();
        const int16_t first = Sample16(out.bytes.data(), 0);
        ASSERT_TRUE(first == loud || first == quiet) << first;
        for (size_t s = 0; s < 16 * 4; ++s)
            ASSERT_EQ(Sample16(out.bytes.data(), s), first) << "frame " << frameNumber << " sample " << s;
        rig.leaf.frames.clear();
    }
    stop.store(true);
    refresher.join();
}
