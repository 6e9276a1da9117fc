// The sample-rate converter's walks: which input samples a thinned frame takes, where a stretched
// frame averages and how it sign-extends, the bounds of both, and that no two converters share.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "AudioStepsRecorders.h"
#include "AudioStepsTestFrames.h"
#include "caudiosamplerateconverter.h"
#include "caudiostereopairextractor.h"

using namespace audiotest;

namespace {

SampleRateSettings Output(LONG samples)
{
    SampleRateSettings s;
    s.channelPairCount = 1;
    s.bitsPerSample = 32;
    s.samplesPerFrame = samples;
    return s;
}

// A 32-bit stereo frame whose sample n holds left(n) and right(n), over a buffer with room after
// it that holds a marker no output may show.
class StereoInput {
public:
    static constexpr uint32_t kMarker = 0x00ABCDEF;
    template <typename Left, typename Right>
    StereoInput(int samples, Left left, Right right) : m_words(size_t(samples) * 2 + 16, kMarker)
    {
        for (int n = 0; n < samples; ++n) {
            m_words[2 * n] = left(n);
            m_words[2 * n + 1] = right(n);
        }
        m_frame.SetBuffer(m_words.data(), ULONG(samples * 8), 32, 1, samples);
    }
    ~StereoInput() { m_frame.DetachBuffer(); }
    AudioFrame& Frame() { return m_frame; }

private:
    std::vector<uint32_t> m_words;
    AudioFrame m_frame;
};

struct ConverterRig : AudioStepRig<CAudioSampleRateConverter> {
    explicit ConverterRig(LONG outputSamples) : AudioStepRig(Output(outputSamples)) {}
};

uint32_t LeftOf(const SeenAudioFrame& frame, int n)
{
    return Word32(frame.bytes.data(), size_t(n) * 2);
}
uint32_t RightOf(const SeenAudioFrame& frame, int n)
{
    return Word32(frame.bytes.data(), size_t(n) * 2 + 1);
}

} // namespace

TEST(CAudioSampleRateConverterTest, EqualLengthsAreCopied)
{
    StereoInput input(480, [](int n) { return uint32_t(n * 3); }, [](int n) { return uint32_t(0xFF800000u + n); });
    ConverterRig rig(480);
    const SeenAudioFrame& out = rig.Run(input.Frame());
    ASSERT_EQ(out.bytes.size(), 3840u);
    EXPECT_EQ(0, std::memcmp(out.bytes.data(), input.Frame().GetFrameData(), 3840));
    EXPECT_EQ(rig.step->GetOutputRate(), 48000);
}

TEST(CAudioSampleRateConverterTest, ThinningTakesTheRoundedWalk)
{
    StereoInput input(480, [](int n) { return uint32_t(n); }, [](int n) { return uint32_t(1000 + n); });
    ConverterRig rig(320);
    const SeenAudioFrame& out = rig.Run(input.Frame());
    ASSERT_EQ(out.samples, 320);
    ASSERT_EQ(out.bytes.size(), 2560u);
    const uint32_t expected[] = {0, 1, 2, 4, 6, 7, 8, 10, 12};
    for (int j = 0; j < 9; ++j) {
        EXPECT_EQ(LeftOf(out, j), expected[j]) << "output " << j;
        EXPECT_EQ(RightOf(out, j), 1000 + expected[j]) << "output " << j;
    }
    // Steps of 1.5 input samples: the walk stays in the frame and ends near its end.
    for (int j = 1; j < 320; ++j)
        EXPECT_GE(LeftOf(out, j) - LeftOf(out, j - 1), 1u) << j;
    EXPECT_LE(LeftOf(out, 319), 479u);
    EXPECT_GE(LeftOf(out, 319), 477u);
    EXPECT_EQ(rig.step->GetOutputRate(), 32000);

    // 48 kHz to 44.1 kHz.
    ConverterRig to44(441);
    const SeenAudioFrame& out44 = to44.Run(input.Frame());
    ASSERT_EQ(out44.samples, 441);
    EXPECT_EQ(LeftOf(out44, 0), 0u);
    for (int j = 1; j < 441; ++j) {
        const uint32_t gap = LeftOf(out44, j) - LeftOf(out44, j - 1);
        EXPECT_TRUE(gap == 1 || gap == 2) << j;
    }
    EXPECT_LE(LeftOf(out44, 440), 479u);
    EXPECT_EQ(to44.step->GetOutputRate(), 44100);
}

TEST(CAudioSampleRateConverterTest, StretchingAveragesAtEveryRepeatedIndex)
{
    // Sample n holds 4n (left) and -4n (right): a copy of n reads 4n, the mean of n and n + 1
    // reads 4n + 2.
    StereoInput input(441, [](int n) { return uint32_t(4 * n); },
                      [](int n) { return DspWord(-4 * n); });
    ConverterRig rig(480);
    const SeenAudioFrame& out = rig.Run(input.Frame());
    ASSERT_EQ(out.samples, 480);
    EXPECT_EQ(LeftOf(out, 0), 0u); // never averaged
    EXPECT_EQ(LeftOf(out, 1), 2u); // index 0 again: the mean of samples 0 and 1
    EXPECT_EQ(RightOf(out, 1), DspWord(-2));
    int previous = 0;
    int averaged = 0;
    for (int j = 1; j < 480; ++j) {
        const uint32_t left = LeftOf(out, j);
        const int index = int(left / 4);
        if (left % 4 == 2) {
            // A mean only where the walk stayed on the same source sample.
            EXPECT_EQ(index, previous) << "output " << j;
            EXPECT_EQ(RightOf(out, j), DspWord(-4 * index - 2)) << "output " << j;
            ++averaged;
        } else {
            EXPECT_EQ(left % 4, 0u) << "output " << j;
            EXPECT_EQ(index, previous + 1) << "output " << j;
            EXPECT_EQ(RightOf(out, j), DspWord(-4 * index)) << "output " << j;
        }
        previous = index;
    }
    // Every source sample is used once, and each of the 39 extra outputs is a mean.
    EXPECT_EQ(previous, 440);
    EXPECT_EQ(averaged, 480 - 441);
    for (const uint8_t* p = out.bytes.data(); p < out.bytes.data() + out.bytes.size(); p += 4)
        ASSERT_NE(Word32(p, 0), StereoInput::kMarker);
}

TEST(CAudioSampleRateConverterTest, MeansSignExtendFrom24BitsOr16Bits)
{
    ConverterRig rig(480);
    // 0xFFFFFF is -1 in 24 bits: with 1 the mean is 0.
    StereoInput around(441, [](int n) { return n == 0 ? 0x00FFFFFFu : 1u; },
                       [](int n) { return n == 0 ? 0x00800000u : 0x00800002u; });
    const SeenAudioFrame& out = rig.Run(around.Frame());
    EXPECT_EQ(LeftOf(out, 1), 0u);
    // -8388608 and -8388606: -8388607, sign-extended into the word.
    EXPECT_EQ(RightOf(out, 1), 0xFF800001u);

    // An odd sum rounds toward minus infinity (arithmetic shift): -1 and -2 give -2.
    StereoInput odd(441, [](int n) { return n == 0 ? DspWord(-1) : DspWord(-2); }, [](int) { return 0u; });
    EXPECT_EQ(LeftOf(rig.Run(odd.Frame()), 1), DspWord(-2));

    // The same words from a pair whose present bits say 16-bit samples: 0xFFFF is -1.
    StereoInput sixteen(441, [](int n) { return n == 0 ? 0x0000FFFFu : 1u; }, [](int) { return 0u; });
    auto* output = static_cast<AudioFrame*>(rig.step->GetOutputFrame());
    ASSERT_NE(output, nullptr);
    rig.step->UpSampleTheFrame(&sixteen.Frame(), output, CAudioSampleRateConverter::kSampleFormat16Bit);
    EXPECT_EQ(Word32(output->GetFrameData(), 2), 0u);
    // Read as 24-bit it is +65535, and the mean 32768.
    rig.step->UpSampleTheFrame(&sixteen.Frame(), output, 3);
    EXPECT_EQ(Word32(output->GetFrameData(), 2), 32768u);
}

TEST(CAudioSampleRateConverterTest, TheExtractorsFormatCodeChoosesTheExtension)
{
    // A chain extractor -> converter on a 44.1 kHz DSP frame whose pair says 16-bit samples.
    DspFrameSpec spec;
    spec.pairs[0].present = true;
    spec.pairs[0].presentBits = 1;
    spec.pairs[0].rateCode = kRate44k;
    DspAudioFrame dsp(spec);
    // Samples 0 and 1 of the left channel: 0xFFFF and 1.
    uint8_t* bytes = const_cast<uint8_t*>(dsp.Bytes().data());
    const uint32_t first = 0x0000FFFF, second = 1;
    std::memcpy(bytes, &first, 4);
    std::memcpy(bytes + 8, &second, 4);
    StereoPairSettings pair;
    pair.samplesPerFrame = 480;
    auto* extractor = new CAudioStereoPairExtractor(pair);
    auto* converter = new CAudioSampleRateConverter(Output(480));
    ASSERT_TRUE(converter->Connect(extractor));
    CapturingAudioLeaf leaf;
    ASSERT_TRUE(leaf.Connect(converter));
    extractor->Process(&dsp.Frame());
    ASSERT_EQ(leaf.frames.size(), 1u);
    EXPECT_EQ(Word32(leaf.frames[0].bytes.data(), 0), 0xFFFFu);
    EXPECT_EQ(Word32(leaf.frames[0].bytes.data(), 2), 0u);
    delete extractor;
}

TEST(CAudioSampleRateConverterTest, StretchingReadsNothingPastTheLastSample)
{
    // Few input samples: the walk's last index repeats and its "next" sample is itself.
    StereoInput few(3, [](int n) { return uint32_t(10 * (n + 1)); }, [](int n) { return uint32_t(n); });
    ConverterRig rig(7);
    const SeenAudioFrame& out = rig.Run(few.Frame());
    ASSERT_EQ(out.samples, 7);
    for (int j = 0; j < 7; ++j) {
        EXPECT_NE(LeftOf(out, j), StereoInput::kMarker) << j;
        EXPECT_NE(RightOf(out, j), StereoInput::kMarker) << j;
        EXPECT_LE(LeftOf(out, j), 30u) << j;
    }
    EXPECT_EQ(LeftOf(out, 6), 30u);

    // A frame that claims more samples than its buffer holds is read only as far as it goes.
    StereoInput shortFrame(100, [](int n) { return uint32_t(n); }, [](int) { return 0u; });
    shortFrame.Frame().SetBuffer(shortFrame.Frame().GetFrameData(), 100 * 8, 32, 1, 441);
    ConverterRig fromShort(480);
    const SeenAudioFrame& stretched = fromShort.Run(shortFrame.Frame());
    for (int j = 0; j < 480; ++j)
        ASSERT_LT(LeftOf(stretched, j), 100u) << j;
}

TEST(CAudioSampleRateConverterTest, AttributesTravelAndTheOutputFrameIsKept)
{
    StereoInput input(441, [](int n) { return uint32_t(n); }, [](int) { return 0u; });
    input.Frame().SetFrameNumber(42);
    input.Frame().AddFlags(kFrameFlagGenerated);
    input.Frame().StatusWords()[2] = 0x33;
    ConverterRig rig(480);
    const SeenAudioFrame first = rig.Run(input.Frame());
    EXPECT_EQ(first.frameTime, 42);
    EXPECT_EQ(first.flags, kFrameFlagGenerated);
    EXPECT_EQ(first.status[2], 0x33u);
    EXPECT_TRUE(first.writable);
    const SeenAudioFrame& second = rig.Run(input.Frame());
    EXPECT_EQ(first.frame, second.frame);
}

TEST(CAudioSampleRateConverterTest, TwoConvertersNeverCompareEqual)
{
    CAudioSampleRateConverter a(Output(480));
    CAudioSampleRateConverter b(Output(480));
    EXPECT_FALSE(a.IsEqual(&b));
    EXPECT_FALSE(b.IsEqual(&a));
    EXPECT_FALSE(a.IsEqual(&a));
    EXPECT_EQ(a.GetAlgorithmId(), kAlgorithmIdSampleRate);
}
