// Audio frames: their own and foreign buffers and the down-conversion of the sample rate.
#include "audioframe.h"
#include "km/pool.h"
#include "standin/control.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

// Sample frame k of a 32-bit, two-pair frame holds the words k * 4 + channel.
void NumberSamples(AudioFrame& frame)
{
    auto* words = reinterpret_cast<uint32_t*>(frame.GetFrameData());
    const ULONG count = frame.GetDataSize() / 4;
    for (ULONG i = 0; i < count; ++i)
        words[i] = i;
}

TEST(AudioFrameTest, OwnBufferIsZeroedPagedPoolOfTheSampleFrames)
{
    AudioFrame frame(2, 32, 1600);
    ASSERT_NE(frame.GetFrameData(), nullptr);
    EXPECT_EQ(frame.GetDataSize(), 4u * 2 * 1600 * 2);
    EXPECT_EQ(frame.SampleFrameBytes(), 16u);
    EXPECT_EQ(frame.GetChannelPairs(), 2);
    EXPECT_EQ(frame.GetSamplesPerFrame(), 1600);
    EXPECT_EQ(frame.GetBitsPerSample(), 32);
    EXPECT_EQ(frame.GetPlane(0), frame.GetFrameData());
    EXPECT_EQ(frame.GetRowCount(), 1u);
    EXPECT_EQ(frame.GetRowWidth(), frame.GetDataSize());
    standin::PoolBlockInfo info;
    ASSERT_TRUE(standin::PoolQueryBlock(frame.GetFrameData(), &info));
    EXPECT_EQ(info.type, PagedPool);
    for (ULONG i = 0; i < frame.GetDataSize(); ++i)
        ASSERT_EQ(frame.GetFrameData()[i], 0);

    AudioFrame empty;
    EXPECT_EQ(empty.GetChannelPairs(), 1);
    EXPECT_EQ(empty.GetSamplesPerFrame(), 0);
    EXPECT_EQ(empty.GetFormat(), 8);
    EXPECT_EQ(empty.GetRowCount(), 1u);

    standin::PoolFailNthAllocation(1);
    AudioFrame failed(1, 16, 480);
    EXPECT_EQ(failed.GetFrameData(), nullptr);
    EXPECT_EQ(failed.GetDataSize(), 0u);
    AudioFrame bad(0, 16, 480);
    EXPECT_EQ(bad.GetFrameData(), nullptr);
}

TEST(AudioFrameTest, ForeignBufferIsLaidOutAndDetached)
{
    std::vector<UCHAR> buffer(3840);
    AudioFrame frame;
    frame.SetBuffer(buffer.data(), ULONG(buffer.size()), 32, 1, 480);
    EXPECT_EQ(frame.GetFrameData(), buffer.data());
    EXPECT_EQ(frame.GetChannelPairs(), 1);
    EXPECT_EQ(frame.GetSamplesPerFrame(), 480);
    EXPECT_EQ(frame.GetStride(0), 3840);
    frame.DetachBuffer();
    EXPECT_EQ(frame.GetFrameData(), nullptr);
}

TEST(AudioFrameTest, HalvingTheRateTakesEverySecondSample)
{
    AudioFrame source(2, 32, 1600), destination(2, 32, 800);
    NumberSamples(source);
    source.DoFrameRateConversion(&destination);
    const auto* words = reinterpret_cast<const uint32_t*>(destination.GetFrameData());
    for (ULONG k = 0; k < 800; ++k)
        for (ULONG channel = 0; channel < 4; ++channel)
            ASSERT_EQ(words[k * 4 + channel], (2 * k) * 4 + channel) << "sample " << k;
}

TEST(AudioFrameTest, PositionsFallOnTheNearestSampleAfterSubtractingPointFourFive)
{
    // 480 to 441 samples: step 1.0884354 (single precision); index = round(position - 0.45).
    AudioFrame source(1, 32, 480), destination(1, 32, 441);
    auto* in = reinterpret_cast<uint32_t*>(source.GetFrameData());
    for (ULONG i = 0; i < 480 * 2; ++i)
        in[i] = i / 2; // both channels carry the sample number
    source.DownConvertFrame(&destination);
    const auto* out = reinterpret_cast<const uint32_t*>(destination.GetFrameData());
    const float step = static_cast<float>(480.0 / 441.0);
    float position = 0.0f;
    uint32_t index = 0;
    for (ULONG k = 0; k < 441; ++k) {
        ASSERT_EQ(out[2 * k], index) << k;
        ASSERT_EQ(out[2 * k + 1], index) << k;
        position += step;
        index = static_cast<uint32_t>(std::nearbyint(double(position) - 0.45));
    }
    EXPECT_EQ(out[2], 1u);
    EXPECT_EQ(out[2 * 440], 478u); // 440 x 480 / 441 = 478.9, less 0.45
}

TEST(AudioFrameTest, ALargerOrEqualDestinationIsLeftAloneAndCopiesStayInBothBuffers)
{
    AudioFrame source(1, 16, 100), equal(1, 16, 100);
    auto* in = reinterpret_cast<uint16_t*>(source.GetFrameData());
    for (ULONG i = 0; i < source.GetDataSize() / 2; ++i)
        in[i] = static_cast<uint16_t>(i + 1);
    equal.DoFrameRateConversion(nullptr);
    source.DoFrameRateConversion(&equal);
    for (ULONG i = 0; i < equal.GetDataSize(); ++i)
        ASSERT_EQ(equal.GetFrameData()[i], 0);

    // A destination that claims 50 samples over a buffer of 10: its 10 get every second source
    // sample, nothing is written past it (ASan would see it).
    std::vector<UCHAR> small(40);
    AudioFrame liar;
    liar.SetBuffer(small.data(), ULONG(small.size()), 16, 1, 50);
    source.DownConvertFrame(&liar);
    const auto* words = reinterpret_cast<const uint16_t*>(small.data());
    for (ULONG k = 0; k < 10; ++k) {
        EXPECT_EQ(words[2 * k], 4 * k + 1) << k;
        EXPECT_EQ(words[2 * k + 1], 4 * k + 2) << k;
    }
    liar.DetachBuffer();
}

} // namespace
