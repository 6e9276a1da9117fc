// The test tone: the tables, silence, the base and triple steps with their periods, one phase pair
// a channel pair, the 16-bit sample placement and the 8-bit image's range.
#include "testtone.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

ULONG Sample(const std::vector<UCHAR>& image, ULONG pair, ULONG frame, ULONG channel)
{
    ULONG value;
    std::memcpy(&value, image.data() + pair * TestTone::kBlockBytes + (2 * frame + channel) * 4, 4);
    return value;
}

TEST(TestToneTest, TablesAreOneSinePeriodThe16BitOne256TimesThe8Bit)
{
    for (ULONG i = 0; i < 256; ++i) {
        EXPECT_EQ(TestTone::Table8(i), SHORT(std::trunc(100 * std::sin(2 * M_PI * i / 256)))) << i;
        EXPECT_EQ(TestTone::Table16(i), 256 * TestTone::Table8(i)) << i;
    }
    EXPECT_EQ(TestTone::Table8(64), 100);
    EXPECT_EQ(TestTone::Table8(192), -100);
    EXPECT_EQ(TestTone::Table16(82), 23040);
}

TEST(TestToneTest, BothSelectorsZeroGiveSilence)
{
    TestTone tone;
    std::vector<UCHAR> image(TestTone::kImageBytes, 0xAB);
    tone.Get16BitImage(image.data(), ULONG(image.size()), 0, 0);
    EXPECT_EQ(image.size(), 30720u);
    for (size_t i = 0; i < image.size(); ++i)
        ASSERT_EQ(image[i], 0) << i;
    for (ULONG p = 0; p < TestTone::kPhaseCount; ++p)
        EXPECT_EQ(tone.GetPhase(p), 0u);
}

TEST(TestToneTest, TheBaseStepRepeatsEvery256SamplesInEveryPairAndTheOtherSideStaysSilent)
{
    TestTone tone;
    std::vector<UCHAR> image(TestTone::kImageBytes);
    tone.Get16BitImage(image.data(), ULONG(image.size()), 1, 0);
    for (ULONG pair = 0; pair < TestTone::kChannelPairs; ++pair) {
        EXPECT_EQ(Sample(image, pair, 64, 0), 0x00640000u) << pair;
        for (ULONG s = 0; s < TestTone::kSamplesPerBlock; ++s) {
            const ULONG expected = ULONG(USHORT(TestTone::Table16(s % 256))) << 8;
            ASSERT_EQ(Sample(image, pair, s, 0), expected) << pair << " " << s;
            ASSERT_EQ(Sample(image, pair, s, 1), 0u);
            if (s >= 256) {
                ASSERT_EQ(Sample(image, pair, s, 0), Sample(image, pair, s - 256, 0));
            }
        }
        // Negative entries fill bits 8 to 23 with their 16-bit form.
        EXPECT_EQ(Sample(image, pair, 192, 0), ULONG(USHORT(-25600)) << 8);
        EXPECT_EQ(tone.GetPhase(2 * pair), (480 - 256) * 1000u);
    }
}

TEST(TestToneTest, TheTripleStepRuns86PhasesUpTo255000ThenStartsAgain)
{
    TestTone tone;
    std::vector<UCHAR> image(TestTone::kImageBytes);
    tone.Get16BitImage(image.data(), ULONG(image.size()), 2, 2);
    for (ULONG s = 0; s < TestTone::kSamplesPerBlock; ++s) {
        const ULONG phase = (s % 86) * 3000; // 0, 3000, ..., 255,000, then 0
        const ULONG expected = ULONG(USHORT(TestTone::Table16(phase / 1000))) << 8;
        ASSERT_EQ(Sample(image, 0, s, 0), expected) << s;
        ASSERT_EQ(Sample(image, 0, s, 1), expected) << s;
        ASSERT_EQ(Sample(image, 7, s, 1), expected) << s;
    }
    EXPECT_EQ(Sample(image, 0, 85, 0), ULONG(USHORT(TestTone::Table16(255))) << 8);
    EXPECT_EQ(Sample(image, 0, 86, 0), 0u);
    EXPECT_EQ(TestTone::StepForSelector(7), 3000u);
}

TEST(TestToneTest, PhasesCarryOverFromOneImageToTheNextAndResetClearsThem)
{
    TestTone tone;
    std::vector<UCHAR> first(TestTone::kImageBytes), second(TestTone::kImageBytes);
    tone.Get16BitImage(first.data(), ULONG(first.size()), 1, 1);
    tone.Get16BitImage(second.data(), ULONG(second.size()), 1, 1);
    // 480 samples in: entry 480 mod 256 = 224 starts the second image.
    EXPECT_EQ(Sample(second, 3, 0, 0), ULONG(USHORT(TestTone::Table16(224))) << 8);
    tone.Reset();
    tone.Get16BitImage(second.data(), ULONG(second.size()), 1, 1);
    EXPECT_EQ(second, first);
}

TEST(TestToneTest, AShortBufferIsFilledOnlyAsFarAsItGoes)
{
    TestTone tone;
    std::vector<UCHAR> image(TestTone::kBlockBytes + 6, 0xCD);
    image.push_back(0xEE); // beyond the given length
    tone.Get16BitImage(image.data(), ULONG(image.size() - 1), 1, 1);
    EXPECT_EQ(Sample(image, 0, 64, 0), 0x00640000u);
    // The second block's first left sample fits, its right one does not.
    EXPECT_EQ(Sample(image, 1, 0, 0), 0u);
    EXPECT_EQ(image[TestTone::kBlockBytes + 4], 0);
    EXPECT_EQ(image.back(), 0xEE);
}

TEST(TestToneTest, The8BitImageStaysWithinPlusMinus127LeftBaseRightTriple)
{
    TestTone tone;
    std::vector<UCHAR> image(4000);
    tone.Get8BitImage(image.data(), ULONG(image.size()));
    int low = 0, high = 0;
    for (size_t i = 0; i < image.size(); ++i) {
        const int sample = static_cast<signed char>(image[i]);
        low = std::min(low, sample);
        high = std::max(high, sample);
        const ULONG frame = ULONG(i / 2);
        const ULONG entry = i % 2 == 0 ? frame % 256 : ((frame % 86) * 3);
        ASSERT_EQ(sample, TestTone::Table8(entry) * 127 / 100) << i;
    }
    EXPECT_EQ(high, 127);
    EXPECT_EQ(low, -127);
}

} // namespace
