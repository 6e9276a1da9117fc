// The driver's utilities: rounding ties to even, the word copy against a plain copy at every
// alignment and at the lengths where it changes method, and counted allocation limits.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "countedallocation.h"
#include "fastmemorycopy.h"
#include "roundtoint.h"

namespace {

TEST(RoundToInt, HalvesGoToTheEvenNeighbour)
{
    EXPECT_EQ(RoundToInt(0.5), 0);
    EXPECT_EQ(RoundToInt(1.5), 2);
    EXPECT_EQ(RoundToInt(2.5), 2);
    EXPECT_EQ(RoundToInt(-0.5), 0);
    EXPECT_EQ(RoundToInt(-1.5), -2);
    EXPECT_EQ(RoundToInt(-2.5), -2);
    EXPECT_EQ(RoundToInt(2.4999999), 2);
    EXPECT_EQ(RoundToInt(2.5000001), 3);
    EXPECT_EQ(RoundToInt(-2.5000001), -3);
}

TEST(RoundToInt, SaturatesAndMapsNaNToZero)
{
    EXPECT_EQ(RoundToInt(1e300), INT_MAX);
    EXPECT_EQ(RoundToInt(-1e300), INT_MIN);
    EXPECT_EQ(RoundToInt(std::nan("")), 0);
    EXPECT_EQ(RoundToInt(2147483646.5), 2147483646);
}

TEST(FastMemoryCopy, MatchesAPlainCopyAtEveryAlignmentAndBoundary)
{
    std::vector<uint8_t> source(70000 + 16);
    for (size_t i = 0; i < source.size(); ++i)
        source[i] = static_cast<uint8_t>(i * 131 + 7);
    const size_t lengths[] = {0, 1, 7, 63, 64, 65, 100, 4096, 32768, 32769, 40000, 65536, 65537, 70000};
    for (size_t length : lengths) {
        for (size_t to = 0; to < 8; ++to) {
            for (size_t from : {size_t{0}, size_t{3}, size_t{8}}) {
                std::vector<uint8_t> destination(length + 32, 0xEE);
                FastMemoryCopy(destination.data() + to, source.data() + from, length);
                ASSERT_EQ(std::memcmp(destination.data() + to, source.data() + from, length), 0)
                    << length << " " << to << " " << from;
                for (size_t i = 0; i < to; ++i)
                    ASSERT_EQ(destination[i], 0xEE);
                for (size_t i = to + length; i < destination.size(); ++i)
                    ASSERT_EQ(destination[i], 0xEE) << length << " " << to;
            }
        }
    }
}

TEST(CountedAllocation, RefusesOverflowAndZero)
{
    EXPECT_EQ(CountedAllocate(SIZE_MAX / 2 + 1, 2), nullptr);
    EXPECT_EQ(CountedAllocate(0, 16), nullptr);
    EXPECT_EQ(CountedAllocate(16, 0), nullptr);
    void* block = CountedAllocate(4, 8);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(CountedReallocate(block, 4, SIZE_MAX / 4, 8), nullptr);
    CountedFree(block);
}

TEST(CountedAllocation, ResizingKeepsTheCommonElements)
{
    auto* block = static_cast<uint32_t*>(CountedAllocate(4, sizeof(uint32_t)));
    ASSERT_NE(block, nullptr);
    for (uint32_t i = 0; i < 4; ++i)
        block[i] = 100 + i;
    auto* larger = static_cast<uint32_t*>(CountedReallocate(block, 4, 6, sizeof(uint32_t)));
    ASSERT_NE(larger, nullptr);
    for (uint32_t i = 0; i < 4; ++i)
        EXPECT_EQ(larger[i], 100 + i);
    auto* smaller = static_cast<uint32_t*>(CountedReallocate(larger, 6, 2, sizeof(uint32_t)));
    ASSERT_NE(smaller, nullptr);
    EXPECT_EQ(smaller[0], 100u);
    EXPECT_EQ(smaller[1], 101u);
    CountedFree(smaller);
}

} // namespace
