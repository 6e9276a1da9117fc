// The sample-size converter's eight modes on chosen words, the packed bytes of whole frames, and
// its sharing rule.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "AudioStepsRecorders.h"
#include "AudioStepsTestFrames.h"
#include "caudiosamplesizeconverter.h"

using namespace audiotest;

namespace {

SampleSizeSettings Mode(LONG mode, LONG bits, LONG pairs = 1, LONG samples = 480)
{
    SampleSizeSettings s;
    s.mode = mode;
    s.bitCount = bits;
    s.channelPairCount = pairs;
    s.samplesPerFrame = samples;
    return s;
}

class WordFrame {
public:
    explicit WordFrame(std::vector<uint32_t> words, LONG pairs = 1) : m_words(std::move(words))
    {
        m_frame.SetBuffer(m_words.data(), ULONG(m_words.size() * 4), 32, pairs, LONG(m_words.size() / (2 * pairs)));
    }
    ~WordFrame() { m_frame.DetachBuffer(); }
    AudioFrame& Frame() { return m_frame; }

private:
    std::vector<uint32_t> m_words;
    AudioFrame m_frame;
};

} // namespace

TEST(CAudioSampleSizeConverterTest, ModesOnChosenSamples)
{
    const uint32_t s = 0x00123456;
    EXPECT_EQ(CAudioSampleSizeConverter::ConvertSample(s, 1), 0x92u);
    EXPECT_EQ(CAudioSampleSizeConverter::ConvertSample(s, 4), 0x1234u);
    EXPECT_EQ(CAudioSampleSizeConverter::ConvertSample(s, 6), 0x123456u);
    EXPECT_EQ(CAudioSampleSizeConverter::ConvertSample(s, 7), 0x12345600u);
    EXPECT_EQ(CAudioSampleSizeConverter::ConvertSample(s, 0), 0x45u);
    EXPECT_EQ(CAudioSampleSizeConverter::ConvertSample(s, 2), 0x56u);
    EXPECT_EQ(CAudioSampleSizeConverter::ConvertSample(s, 3), 0x2345u);
    EXPECT_EQ(CAudioSampleSizeConverter::ConvertSample(s, 5), 0x3456u);

    // -256 as the DSP writes it: every mode sees the same 24-bit value.
    const uint32_t negative = 0xFFFFFF00;
    EXPECT_EQ(CAudioSampleSizeConverter::ConvertSample(negative, 1), 0x7Fu);
    EXPECT_EQ(CAudioSampleSizeConverter::ConvertSample(negative, 4), 0xFFFFu);
    EXPECT_EQ(CAudioSampleSizeConverter::ConvertSample(negative, 6), 0xFFFF00u);
    EXPECT_EQ(CAudioSampleSizeConverter::ConvertSample(negative, 7), 0xFFFF0000u);
    // Without the DSP's sign copies (the driver's test tone): the same results.
    EXPECT_EQ(CAudioSampleSizeConverter::ConvertSample(0x00FFFF00, 1), 0x7Fu);
    EXPECT_EQ(CAudioSampleSizeConverter::ConvertSample(0x00FFFF00, 4), 0xFFFFu);
    EXPECT_EQ(CAudioSampleSizeConverter::ConvertSample(0x00FFFF00, 7), 0xFFFF0000u);

    // The ends of the scale: 8-bit offset binary from 0 to 255, silence at 128.
    EXPECT_EQ(CAudioSampleSizeConverter::ConvertSample(0x007FFFFF, 1), 0xFFu);
    EXPECT_EQ(CAudioSampleSizeConverter::ConvertSample(0x00800000, 1), 0x00u);
    EXPECT_EQ(CAudioSampleSizeConverter::ConvertSample(0, 1), 0x80u);
    EXPECT_EQ(CAudioSampleSizeConverter::ConvertSample(0x007FFFFF, 7), 0x7FFFFF00u);
    EXPECT_EQ(CAudioSampleSizeConverter::ConvertSample(0x00800000, 7), 0x80000000u);
    EXPECT_EQ(CAudioSampleSizeConverter::ConvertSample(0x00800000, 4), 0x8000u);
}

TEST(CAudioSampleSizeConverterTest, FramesArePackedLittleEndian)
{
    const std::vector<uint32_t> words = {0x00123456, 0xFFFFFF00, 0x007FFFFF, 0x00800000};
    struct Case {
        LONG mode;
        LONG bits;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {1, 8, {0x92, 0x7F, 0xFF, 0x00}},
        {4, 16, {0x34, 0x12, 0xFF, 0xFF, 0xFF, 0x7F, 0x00, 0x80}},
        {6, 24, {0x56, 0x34, 0x12, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x80}},
        {7, 32, {0x00, 0x56, 0x34, 0x12, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x00, 0x80}},
    };
    for (const Case& c : cases) {
        WordFrame in(words);
        in.Frame().SetFrameNumber(99);
        in.Frame().StatusWords()[3] = 0xC;
        auto* converter = new CAudioSampleSizeConverter(Mode(c.mode, c.bits, 1, 2));
        CapturingAudioLeaf leaf;
        ASSERT_TRUE(leaf.Connect(converter));
        converter->Process(&in.Frame());
        ASSERT_EQ(leaf.frames.size(), 1u);
        EXPECT_EQ(leaf.frames[0].bytes, c.bytes) << "mode " << c.mode;
        EXPECT_EQ(leaf.frames[0].bits, c.bits);
        EXPECT_EQ(leaf.frames[0].samples, 2);
        EXPECT_EQ(leaf.frames[0].frameTime, 99);
        EXPECT_EQ(leaf.frames[0].status[3], 0xCu);
        delete converter;
    }
}

TEST(CAudioSampleSizeConverterTest, FramesItCannotReadPassUnchanged)
{
    // 16-bit input: not the DSP's words.
    std::vector<uint16_t> samples = {1, 2, 3, 4};
    AudioFrame in;
    in.SetBuffer(samples.data(), 8, 16, 1, 2);
    auto* converter = new CAudioSampleSizeConverter(Mode(4, 16));
    CapturingAudioLeaf leaf;
    ASSERT_TRUE(leaf.Connect(converter));
    converter->Process(&in);
    ASSERT_EQ(leaf.frames.size(), 1u);
    EXPECT_EQ(leaf.frames[0].frame, &in);
    EXPECT_EQ(leaf.frames[0].bits, 16);
    in.DetachBuffer();

    // A mode outside 0..7 takes the bit count's mode.
    CAudioSampleSizeConverter odd(Mode(9, 24));
    EXPECT_EQ(odd.GetSettings().mode, 6);
    delete converter;
}

TEST(CAudioSampleSizeConverterTest, ComparesIdPairsBitsSamplesAndMode)
{
    CAudioSampleSizeConverter a(Mode(4, 16, 1, 480));
    CAudioSampleSizeConverter same(Mode(4, 16, 1, 480));
    CAudioSampleSizeConverter otherBits(Mode(6, 24, 1, 480));
    CAudioSampleSizeConverter otherPairs(Mode(4, 16, 2, 480));
    CAudioSampleSizeConverter otherSamples(Mode(4, 16, 1, 441));
    // The same valid bits into another container (16 valid bits of a 32-bit sample).
    CAudioSampleSizeConverter otherMode(Mode(7, 16, 1, 480));
    EXPECT_TRUE(a.IsEqual(&same));
    EXPECT_FALSE(a.IsEqual(&otherBits));
    EXPECT_FALSE(a.IsEqual(&otherMode));
    EXPECT_FALSE(a.IsEqual(&otherPairs));
    EXPECT_FALSE(a.IsEqual(&otherSamples));
    EXPECT_FALSE(a.IsEqual(nullptr));
    EXPECT_EQ(CAudioSampleSizeConverter::ModeOfBitCount(8), 1);
    EXPECT_EQ(CAudioSampleSizeConverter::ModeOfBitCount(16), 4);
    EXPECT_EQ(CAudioSampleSizeConverter::ModeOfBitCount(24), 6);
    EXPECT_EQ(CAudioSampleSizeConverter::ModeOfBitCount(32), 7);
}
