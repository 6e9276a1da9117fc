// RingBuffer: exactly n elements fit, copies wrap in two pieces and come back in order, the count
// across the wrap, and a ring without a buffer moves nothing.
#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <random>
#include <vector>

#include "kernel/ringbuffer.h"
#include "km/pool.h"
#include "standin/pool.h"

TEST(RingBuffer, RingOfThreeTakesExactlyThree)
{
    RingBuffer ring(sizeof(uint32_t), 3, NonPagedPool);
    ASSERT_TRUE(ring.IsValid());
    EXPECT_EQ(ring.Room(), 3u);
    const uint32_t in[5] = {10, 11, 12, 13, 14};
    EXPECT_EQ(ring.Write(in, 5), 3u);
    EXPECT_EQ(ring.Count(), 3u);
    EXPECT_EQ(ring.Write(in, 1), 0u);
    uint32_t out[5] = {};
    EXPECT_EQ(ring.Read(out, 5), 3u);
    EXPECT_EQ(out[0], 10u);
    EXPECT_EQ(out[1], 11u);
    EXPECT_EQ(out[2], 12u);
    EXPECT_EQ(out[3], 0u); // nothing beyond what was read
    EXPECT_EQ(ring.Read(out, 5), 0u);
    EXPECT_EQ(ring.Count(), 0u);
}

TEST(RingBuffer, WritesAndReadsWrapInTwoPieces)
{
    RingBuffer ring(sizeof(uint32_t), 3, NonPagedPool); // 4 slots
    const uint32_t first[2] = {1, 2};
    uint32_t out[3] = {};
    ASSERT_EQ(ring.Write(first, 2), 2u);
    ASSERT_EQ(ring.Read(out, 2), 2u); // read = write = 2
    const uint32_t second[3] = {3, 4, 5};
    EXPECT_EQ(ring.Write(second, 3), 3u); // slots 2, 3, then 0
    EXPECT_EQ(ring.Count(), 3u);          // capacity - read + write = 4 - 2 + 1
    EXPECT_EQ(ring.Read(out, 1), 1u);
    EXPECT_EQ(out[0], 3u);
    EXPECT_EQ(ring.Count(), 2u);
    const uint32_t third[2] = {6, 7};
    EXPECT_EQ(ring.Write(third, 2), 1u); // one free slot left
    EXPECT_EQ(ring.Read(out, 3), 3u);    // slot 3, then 0 and 1
    EXPECT_EQ(out[0], 4u);
    EXPECT_EQ(out[1], 5u);
    EXPECT_EQ(out[2], 6u);

    ring.Write(first, 2);
    ring.Reset();
    EXPECT_EQ(ring.Count(), 0u);
    EXPECT_EQ(ring.Read(out, 1), 0u);
}

TEST(RingBuffer, RingWithoutBufferMovesNothing)
{
    uint32_t value = 1;
    RingBuffer zeroSize(0, 4, NonPagedPool);
    RingBuffer tooMany(sizeof(uint32_t), 0xFFFFFFFFu, NonPagedPool); // count + 1 would wrap
    RingBuffer tooLarge(0x80000000u, 0x7FFFFFFFu, NonPagedPool);     // more than the pool grants
    standin::PoolFailNthAllocation(1);
    RingBuffer failed(sizeof(uint32_t), 4, NonPagedPool);
    for (RingBuffer* ring : {&zeroSize, &tooMany, &tooLarge, &failed}) {
        EXPECT_FALSE(ring->IsValid());
        EXPECT_EQ(ring->Write(&value, 1), 0u);
        EXPECT_EQ(ring->Read(&value, 1), 0u);
        EXPECT_EQ(ring->Count(), 0u);
    }
    RingBuffer none(sizeof(uint32_t), 0, NonPagedPool); // valid, but holds nothing
    EXPECT_TRUE(none.IsValid());
    EXPECT_EQ(none.Write(&value, 1), 0u);
}

TEST(RingBuffer, BufferComesFromTheAskedPoolType)
{
    const uint64_t before = standin::PoolUsageByType(PagedPool).outstandingBytes;
    {
        RingBuffer ring(12, 9, PagedPool);
        ASSERT_TRUE(ring.IsValid());
        EXPECT_EQ(standin::PoolUsageByType(PagedPool).outstandingBytes, before + 12 * 10);
    }
    EXPECT_EQ(standin::PoolUsageByType(PagedPool).outstandingBytes, before);
}

// Random writes and reads of random lengths against a queue: order, counts and contents agree.
TEST(RingBuffer, RandomTrafficMatchesAQueue)
{
    constexpr ULONG kElement = 3;
    RingBuffer ring(kElement, 7, NonPagedPool);
    std::deque<uint8_t> model;
    std::mt19937 random(7);
    uint8_t next = 0;
    for (int step = 0; step < 5000; ++step) {
        const ULONG n = random() % 10;
        if (random() % 2) {
            std::vector<uint8_t> in(n * kElement);
            for (auto& b : in)
                b = next++;
            const ULONG written = ring.Write(in.data(), n);
            ASSERT_EQ(written, std::min<ULONG>(n, 7 - static_cast<ULONG>(model.size() / kElement)));
            model.insert(model.end(), in.begin(), in.begin() + written * kElement);
            next = static_cast<uint8_t>(next - (n - written) * kElement);
        } else {
            std::vector<uint8_t> out(n * kElement + 1, 0xEE);
            const ULONG read = ring.Read(out.data(), n);
            ASSERT_EQ(read, std::min<ULONG>(n, static_cast<ULONG>(model.size() / kElement)));
            for (ULONG i = 0; i < read * kElement; ++i) {
                ASSERT_EQ(out[i], model.front());
                model.pop_front();
            }
            ASSERT_EQ(out[read * kElement], 0xEE); // nothing written past what was read
        }
        ASSERT_EQ(ring.Count(), model.size() / kElement);
    }
}
