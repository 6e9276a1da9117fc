// ZeroFloats, CopyFloats and CopyFloatsAlt: statuses, exact byte ranges at every alignment, both
// copy directions and the streaming paths with a fed cache size.
#include <gtest/gtest.h>

#include "ScratchSupport.h"

#include <cstring>
#include <random>
#include <vector>

using namespace imaging;

namespace {

constexpr uint8_t kGuard = 0xCD;

// A 4096-aligned arena filled with guard bytes.
struct Arena {
    explicit Arena(size_t bytes) : storage(bytes + 4096, kGuard)
    {
        base = storage.data() + (4096 - reinterpret_cast<uintptr_t>(storage.data()) % 4096) % 4096;
    }
    std::vector<uint8_t> storage;
    uint8_t* base;
};

void FillRandom(uint8_t* p, size_t n, uint32_t seed)
{
    std::mt19937 rng(seed);
    for (size_t i = 0; i < n; ++i)
        p[i] = uint8_t(rng() | 1); // never zero, never the guard's parity
}

int g_queries = 0;
std::optional<uint32_t> g_cacheSize;
std::optional<uint32_t> FedCache()
{
    ++g_queries;
    return g_cacheSize;
}

float* AsFloats(uint8_t* p)
{
    return reinterpret_cast<float*>(p);
}

void ExpectCopied(const uint8_t* src, const uint8_t* dst, size_t n, const uint8_t* before,
                  const uint8_t* after, const char* what)
{
    ASSERT_EQ(std::memcmp(src, dst, n), 0) << what << " n=" << n;
    for (const uint8_t* p = before; p < dst; ++p)
        ASSERT_EQ(*p, kGuard) << what << " byte before the copy";
    for (const uint8_t* p = dst + n; p < after; ++p)
        ASSERT_EQ(*p, kGuard) << what << " byte after the copy";
}

} // namespace

TEST(ZeroFloats, StatusesInOrderAndNothingWrittenOnError)
{
    uint8_t buffer[16];
    std::memset(buffer, kGuard, sizeof buffer);
    EXPECT_EQ(ZeroFloats(nullptr, 16), StatusNullPointer);
    EXPECT_EQ(ZeroFloats(nullptr, 0), StatusNullPointer);
    EXPECT_EQ(ZeroFloats(buffer, 0), StatusSizeError);
    EXPECT_EQ(ZeroFloats(buffer, -4), StatusSizeError);
    for (uint8_t b : buffer)
        EXPECT_EQ(b, kGuard);
}

TEST(ZeroFloats, ClearsExactlyTheByteCountAtEveryAlignment)
{
    Arena arena(512);
    for (int32_t n = 1; n <= 300; ++n) {
        for (int offset = 0; offset < 16; ++offset) {
            std::memset(arena.base, kGuard, 512);
            uint8_t* p = arena.base + 32 + offset;
            ASSERT_EQ(ZeroFloats(p, n), StatusOk);
            for (int i = 0; i < 512; ++i) {
                const bool inside = arena.base + i >= p && arena.base + i < p + n;
                ASSERT_EQ(arena.base[i], inside ? 0 : kGuard) << "n=" << n << " offset=" << offset;
            }
        }
    }
}

TEST(ZeroFloats, TwelveBytesAreThreeFloats)
{
    float values[12];
    for (float& v : values)
        v = 1.5f;
    ASSERT_EQ(ZeroFloats(values, 12), StatusOk);
    EXPECT_EQ(values[2], 0.0f);
    EXPECT_EQ(values[3], 1.5f);
}

TEST(ZeroFloats, LargeBlocksAskTheCacheOnceAndStreamCorrectly)
{
    const size_t size = 3 * 262144 + 77;
    Arena arena(size + 64);
    g_cacheSize = 524288;
    for (size_t n : {size_t(524288), size_t(524289), size}) {
        for (int offset : {0, 5}) {
            std::memset(arena.base, kGuard, size + 64);
            g_queries = 0;
            ZeroBytes(arena.base + offset, n, FedCache);
            EXPECT_EQ(g_queries, n - (16 - offset) % 16 > 524288 ? 1 : 0) << n << " " << offset;
            for (size_t i = 0; i < size + 64; ++i) {
                const bool inside = i >= size_t(offset) && i < offset + n;
                ASSERT_EQ(arena.base[i], inside ? 0 : kGuard) << "n=" << n << " i=" << i;
            }
        }
    }
    // Without a size (any processor but Intel's) the same blocks are cleared with plain stores.
    g_cacheSize.reset();
    std::memset(arena.base, kGuard, size + 64);
    ZeroBytes(arena.base + 3, size, FedCache);
    EXPECT_EQ(arena.base[2], kGuard);
    EXPECT_EQ(arena.base[3], 0);
    EXPECT_EQ(arena.base[size + 2], 0);
    EXPECT_EQ(arena.base[size + 3], kGuard);
}

TEST(CopyFloats, StatusesInOrderAndNothingWrittenOnError)
{
    float src[4] = {1, 2, 3, 4}, dst[4] = {};
    for (auto copy : {CopyFloats, CopyFloatsAlt}) {
        EXPECT_EQ(copy(nullptr, dst, 4), StatusNullPointer);
        EXPECT_EQ(copy(src, nullptr, 0), StatusNullPointer);
        EXPECT_EQ(copy(src, dst, 0), StatusSizeError);
        EXPECT_EQ(copy(src, dst, -1), StatusSizeError);
        EXPECT_EQ(dst[0], 0.0f);
    }
}

TEST(CopyFloats, CopiesExactlyFourBytesPerFloatAtEveryAlignment)
{
    Arena from(1200), to(1200);
    FillRandom(from.base, 1200, 1);
    for (auto copy : {CopyFloats, CopyFloatsAlt}) {
        for (int32_t n : {1, 2, 8, 9, 15, 16, 17, 40, 63, 64, 65, 130, 200}) {
            for (int s = 0; s < 16; ++s) {
                for (int d = 0; d < 16; ++d) {
                    std::memset(to.base, kGuard, 1200);
                    uint8_t* dst = to.base + 64 + d;
                    ASSERT_EQ(copy(AsFloats(from.base + 64 + s), AsFloats(dst), n), StatusOk);
                    ExpectCopied(from.base + 64 + s, dst, size_t(n) * 4, to.base, to.base + 1200,
                                 copy == CopyFloats ? "CopyFloats" : "CopyFloatsAlt");
                }
            }
        }
    }
}

TEST(CopyFloats, BothDirectionsByPagePosition)
{
    Arena from(3 * 4096), to(3 * 4096);
    FillRandom(from.base, 3 * 4096, 2);
    // Source at page offset 1600; destinations 64 below (forwards), 64 above (backwards) and at
    // page offset 4000 of the page before (d < -3936: forwards), each with 600 and 4000 bytes.
    const struct {
        size_t srcOffset, dstOffset;
    } cases[] = {{4096 + 1600, 4096 + 1536}, {4096 + 1600, 4096 + 1664}, {4096, 4000},
                 {4096 + 1600, 4096 + 1600}, {4096 + 16, 4096 + 4096 - 32}};
    for (const auto& c : cases) {
        for (int32_t n : {150, 1000}) {
            std::memset(to.base, kGuard, 3 * 4096);
            ASSERT_EQ(CopyFloats(AsFloats(from.base + c.srcOffset), AsFloats(to.base + c.dstOffset), n),
                      StatusOk);
            ExpectCopied(from.base + c.srcOffset, to.base + c.dstOffset, size_t(n) * 4, to.base,
                         to.base + 3 * 4096, "direction");
        }
    }
}

TEST(CopyFloats, StreamingPathFromHalfTheCacheSize)
{
    const size_t size = 2 * 262144 + 4 * 1000 + 12;
    Arena from(size + 64), to(size + 64);
    FillRandom(from.base, size + 64, 3);
    g_cacheSize = 1048576;
    for (int s : {0, 4, 9}) {
        for (int d : {0, 8, 3}) {
            std::memset(to.base, kGuard, size + 64);
            g_queries = 0;
            CopyBytes(from.base + s, to.base + d, size, FedCache);
            EXPECT_EQ(g_queries, 1);
            ExpectCopied(from.base + s, to.base + d, size, to.base, to.base + size + 64, "stream");
        }
    }
    // Blocks below the floor never ask.
    g_queries = 0;
    CopyBytes(from.base, to.base + 1, 524288, FedCache);
    EXPECT_EQ(g_queries, 0);
    EXPECT_EQ(std::memcmp(from.base, to.base + 1, 524288), 0);
    g_cacheSize.reset();
}
