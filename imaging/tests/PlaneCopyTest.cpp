// CopyPlane and CopyPlaneMasked: statuses in order, exact bytes at every alignment, untouched
// bytes between rows, the single-run and streaming paths, and masks of any non-zero value.
#include <gtest/gtest.h>

#include "imaging/imaging.h"
#include "RowKernels.h"

#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr uint8_t kGuard = 0xCD;

std::vector<uint8_t> Random(size_t n, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v)
        b = uint8_t(rng());
    return v;
}

// The plane copy as the reader expects it, with the bytes outside the rows left alone.
std::vector<uint8_t> Expected(const uint8_t* src, int srcStep, std::vector<uint8_t> dst,
                              size_t dstOffset, int dstStep, int width, int height,
                              const uint8_t* mask = nullptr, int maskStep = 0)
{
    for (int r = 0; r < height; ++r)
        for (int x = 0; x < width; ++x)
            if (!mask || mask[r * maskStep + x])
                dst[dstOffset + size_t(r) * dstStep + x] = src[r * srcStep + x];
    return dst;
}

} // namespace

TEST(CopyPlane, StatusesInOrderAndNothingWritten)
{
    uint8_t src[4] = {1, 2, 3, 4}, dst[4] = {};
    EXPECT_EQ(CopyPlane(src, 2, nullptr, 2, 0, 2), StatusNullPointer);
    EXPECT_EQ(CopyPlane(nullptr, 2, dst, 2, 2, 2), StatusNullPointer);
    EXPECT_EQ(CopyPlane(src, 2, dst, 2, 0, 2), StatusSizeError);
    EXPECT_EQ(CopyPlane(src, 2, dst, 2, 2, -1), StatusSizeError);
    EXPECT_EQ(std::memcmp(dst, "\0\0\0\0", 4), 0);
    EXPECT_EQ(CopyPlane(src, 1, dst, 1, 1, 1), StatusOk);
    EXPECT_EQ(dst[0], 1);
    EXPECT_EQ(dst[1], 0);
}

TEST(CopyPlane, RowsAtEveryAlignmentLeaveTheGapsAlone)
{
    const auto src = Random(300 * 5 + 64, 1);
    for (int width : {1, 2, 7, 8, 15, 16, 17, 63, 64, 65, 79, 80, 127, 128, 129, 200}) {
        for (int offset = 0; offset < 16; ++offset) {
            const int height = 5, srcStep = width + 3, dstStep = width + 21;
            std::vector<uint8_t> dst(size_t(dstStep) * height + 64, kGuard);
            const auto expected =
                Expected(src.data() + offset, srcStep, dst, 16 + offset, dstStep, width, height);
            ASSERT_EQ(CopyPlane(src.data() + offset, srcStep, dst.data() + 16 + offset, dstStep,
                                width, height),
                      StatusOk);
            ASSERT_EQ(dst, expected) << width << " " << offset;
        }
    }
}

TEST(CopyPlane, EqualStridesAtTheWidthCopyOneRunOtherwiseRowByRow)
{
    const auto src = Random(4096 * 3, 2);
    std::vector<uint8_t> dst(4096 * 3 + 16, kGuard);
    ASSERT_EQ(CopyPlane(src.data(), 4096, dst.data() + 5, 4096, 4096, 3), StatusOk);
    EXPECT_EQ(std::memcmp(dst.data() + 5, src.data(), 4096 * 3), 0);
    EXPECT_EQ(dst[4], kGuard);
    EXPECT_EQ(dst[5 + 4096 * 3], kGuard);

    std::vector<uint8_t> gaps(4096 * 3, kGuard);
    ASSERT_EQ(CopyPlane(src.data(), 4096, gaps.data(), 4096, 4000, 3), StatusOk);
    EXPECT_EQ(gaps, Expected(src.data(), 4096, std::vector<uint8_t>(4096 * 3, kGuard), 0, 4096,
                             4000, 3));
}

TEST(CopyPlane, LargePlanesStreamAndBottomUpStridesWork)
{
    const int width = 2048, height = 1024; // above 1,048,576 bytes: non-temporal stores
    const auto src = Random(size_t(width) * height + 64, 3);
    std::vector<uint8_t> dst(size_t(width) * height + 64, kGuard);
    ASSERT_EQ(CopyPlane(src.data() + 1, width, dst.data() + 7, width, width, height), StatusOk);
    EXPECT_EQ(std::memcmp(dst.data() + 7, src.data() + 1, size_t(width) * height), 0);
    std::vector<uint8_t> rows(size_t(width + 16) * height, kGuard);
    ASSERT_EQ(CopyPlane(src.data(), width, rows.data() + 3, width + 16, width, height), StatusOk);
    EXPECT_EQ(rows, Expected(src.data(), width, std::vector<uint8_t>(rows.size(), kGuard), 3,
                             width + 16, width, height));

    // A negative destination stride writes the rows bottom-up.
    std::vector<uint8_t> flipped(300 * 4, kGuard);
    ASSERT_EQ(CopyPlane(src.data(), 300, flipped.data() + 300 * 3, -300, 300, 4), StatusOk);
    for (int r = 0; r < 4; ++r)
        EXPECT_EQ(std::memcmp(flipped.data() + 300 * (3 - r), src.data() + 300 * r, 300), 0);
}

TEST(CopyPlaneMasked, StatusesInOrder)
{
    uint8_t src[4] = {1, 2, 3, 4}, dst[4] = {}, mask[4] = {1, 1, 1, 1};
    EXPECT_EQ(CopyPlaneMasked(src, 2, dst, 2, 0, 2, nullptr, 2), StatusNullPointer);
    EXPECT_EQ(CopyPlaneMasked(nullptr, 2, dst, 2, 2, 2, mask, 2), StatusNullPointer);
    EXPECT_EQ(CopyPlaneMasked(src, 2, nullptr, 2, 2, 2, mask, 2), StatusNullPointer);
    EXPECT_EQ(CopyPlaneMasked(src, 2, dst, 2, 2, 0, mask, 2), StatusSizeError);
    EXPECT_EQ(CopyPlaneMasked(src, 2, dst, 2, -2, 2, mask, 2), StatusSizeError);
    EXPECT_EQ(std::memcmp(dst, "\0\0\0\0", 4), 0);
}

TEST(CopyPlaneMasked, AnyNonZeroMaskByteSelectsTheSource)
{
    const int width = 40;
    const auto src = Random(width, 4);
    std::vector<uint8_t> dst(width, kGuard), mask(width, 0);
    for (int x = 0; x < width; ++x)
        mask[x] = x % 3 == 0 ? 1 : (x % 3 == 1 ? 255 : 0);
    ASSERT_EQ(CopyPlaneMasked(src.data(), width, dst.data(), width, width, 1, mask.data(), width),
              StatusOk);
    for (int x = 0; x < width; ++x)
        EXPECT_EQ(dst[x], x % 3 == 2 ? kGuard : src[x]) << x;

    std::vector<uint8_t> untouched(width, kGuard), zeros(width, 0);
    ASSERT_EQ(CopyPlaneMasked(src.data(), width, untouched.data(), width, width, 1, zeros.data(),
                              width),
              StatusOk);
    EXPECT_EQ(untouched, std::vector<uint8_t>(width, kGuard));
}

TEST(CopyPlaneMasked, BlocksOfEveryKindAtEveryAlignment)
{
    std::mt19937 rng(5);
    const int height = 4;
    for (int width : {1, 5, 15, 16, 17, 31, 32, 33, 64, 100, 161}) {
        const int step = width + 9;
        auto src = Random(size_t(step) * height + 16, rng());
        // Mask rows mix 16-byte runs of zeros, of set bytes (several values) and random bytes.
        std::vector<uint8_t> mask(size_t(step) * height + 16);
        for (size_t i = 0; i < mask.size(); ++i) {
            const int kind = int((i / 16) % 3);
            mask[i] = kind == 0 ? 0 : (kind == 1 ? uint8_t(1 + rng() % 255) : uint8_t(rng() % 2));
        }
        for (int offset = 0; offset < 16; ++offset) {
            std::vector<uint8_t> dst(size_t(step) * height + 32, kGuard);
            const auto expected = Expected(src.data() + offset, step, dst, 16 - offset, step,
                                           width, height, mask.data() + offset, step);
            ASSERT_EQ(CopyPlaneMasked(src.data() + offset, step, dst.data() + 16 - offset, step,
                                      width, height, mask.data() + offset, step),
                      StatusOk);
            ASSERT_EQ(dst, expected) << width << " " << offset;
            std::vector<uint8_t> plain(size_t(step) * height + 32, kGuard);
            for (int r = 0; r < height; ++r)
                imaging::CopyRowMaskedPlain(src.data() + offset + r * step,
                                            plain.data() + 16 - offset + r * step, width,
                                            mask.data() + offset + r * step);
            ASSERT_EQ(plain, expected);
        }
    }
}

TEST(RowCopy, StreamingCopiesAreExactAtEveryDistance)
{
    // The 4:2:0 copies stream unless the destination sits 16 to 320 bytes above the source within
    // 64 KiB; the bytes are the same either way.
    const size_t length = 1000;
    std::vector<uint8_t> arena(2 * 65536 + 4096, kGuard);
    const auto src = Random(length, 8);
    uint8_t* base = arena.data() + (64 - reinterpret_cast<uintptr_t>(arena.data()) % 64);
    for (size_t distance : {0u, 15u, 16u, 100u, 320u, 321u, 2000u, 60000u}) {
        std::fill(arena.begin(), arena.end(), kGuard);
        uint8_t* from = base + 65536;
        std::memcpy(from, src.data(), length);
        uint8_t* to = from - 65536 + distance; // the same distance modulo 64 KiB, no overlap
        imaging::CopyRowSimd(from, to, length, true);
        EXPECT_EQ(std::memcmp(to, src.data(), length), 0) << distance;
        EXPECT_EQ(to[-1], kGuard);
        EXPECT_EQ(to[length], kGuard);
        imaging::CopyRowFast(from, to + 3, 70, true);
        EXPECT_EQ(std::memcmp(to + 3, src.data(), 70), 0) << distance;
    }
}
