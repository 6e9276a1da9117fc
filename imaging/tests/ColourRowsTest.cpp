// The vector colour kernels against their plain equivalents over every input value.
#include <gtest/gtest.h>

#include "RowKernels.h"

#include <random>
#include <vector>

using namespace imaging;

namespace {

// Rows that together hold every (Y, U, V) combination: row (u, yBase) pairs chroma (u, k) with
// luma yBase and yBase + 1 for k = 0..255.
struct AllSamples {
    static constexpr int kWidth = 512;
    std::vector<uint8_t> y = std::vector<uint8_t>(kWidth), u = std::vector<uint8_t>(kWidth / 2),
                         v = std::vector<uint8_t>(kWidth / 2);
    void Fill(int uValue, int yBase)
    {
        for (int k = 0; k < kWidth / 2; ++k) {
            u[k] = uint8_t(uValue);
            v[k] = uint8_t(k);
            y[2 * k] = uint8_t(yBase + k);
            y[2 * k + 1] = uint8_t(yBase + k + 1);
        }
    }
};

} // namespace

TEST(ColourRows, VectorOutputKernelsMatchPlainForEveryInput)
{
    AllSamples s;
    const int n = AllSamples::kWidth;
    std::vector<uint8_t> vec(4 * n), plain(4 * n);
    for (int uValue = 0; uValue < 256; ++uValue) {
        for (int yBase = 0; yBase < 256; yBase += 2) {
            s.Fill(uValue, yBase);
            for (bool swap : {false, true}) {
                YUVToRGB555Q4Sse2(s.y.data(), s.u.data(), s.v.data(), vec.data(), n, swap);
                YUVToRGB555Q4Plain(s.y.data(), s.u.data(), s.v.data(), plain.data(), n, swap);
                ASSERT_EQ(vec, plain) << "RGB555 u=" << uValue << " y=" << yBase;
            }
            YUVToRGB24Q4Sse2(s.y.data(), s.u.data(), s.v.data(), vec.data(), n);
            YUVToRGB24Q4Plain(s.y.data(), s.u.data(), s.v.data(), plain.data(), n);
            ASSERT_EQ(vec, plain) << "RGB24 u=" << uValue << " y=" << yBase;
            YUVToRGB32Q4Sse2(s.y.data(), s.u.data(), s.v.data(), vec.data(), n);
            YUVToRGB32Q4Plain(s.y.data(), s.u.data(), s.v.data(), plain.data(), n);
            ASSERT_EQ(vec, plain) << "RGB32 u=" << uValue << " y=" << yBase;
        }
    }
}

TEST(ColourRows, VectorKernelsStayWithinTheirPixels)
{
    // Counts of 4 (RGB555, RGB32) and 8 (RGB24) write exactly their bytes.
    std::vector<uint8_t> y(8, 200), u(4, 30), v(4, 220);
    for (int pixels : {4, 8}) {
        std::vector<uint8_t> out(64, 0xCD);
        YUVToRGB555Q4Sse2(y.data(), u.data(), v.data(), out.data() + 1, pixels, false);
        EXPECT_EQ(out[0], 0xCD);
        EXPECT_EQ(out[1 + 2 * pixels], 0xCD);
        std::fill(out.begin(), out.end(), 0xCD);
        YUVToRGB32Q4Sse2(y.data(), u.data(), v.data(), out.data() + 16, pixels);
        EXPECT_EQ(out[15], 0xCD);
        EXPECT_EQ(out[16 + 4 * pixels], 0xCD);
    }
    std::vector<uint8_t> out(64, 0xCD);
    YUVToRGB24Q4Sse2(y.data(), u.data(), v.data(), out.data() + 3, 8);
    EXPECT_EQ(out[2], 0xCD);
    EXPECT_EQ(out[3 + 24], 0xCD);
}

TEST(ColourRows, VectorImportMatchesPlainForEveryColour)
{
    // Every 24-bit colour appears once: each block of 16 pixels holds 16 consecutive colours.
    const int block = 1 << 14;
    std::vector<uint8_t> rgb(3 * block);
    std::vector<uint8_t> yv(block), uv(block / 2), vv(block / 2), yp(block), up(block / 2),
        vp(block / 2);
    for (uint32_t start = 0; start < (1u << 24); start += block) {
        for (int i = 0; i < block; ++i) {
            const uint32_t c = start + uint32_t(i);
            rgb[3 * i] = uint8_t(c >> 16);
            rgb[3 * i + 1] = uint8_t(c >> 8);
            rgb[3 * i + 2] = uint8_t(c);
        }
        RGB24ToYUVPairsSse2(rgb.data(), yv.data(), uv.data(), vv.data(), block);
        RGB24ToYUVPairsPlain(rgb.data(), yp.data(), up.data(), vp.data(), block);
        ASSERT_EQ(yv, yp) << start;
        ASSERT_EQ(uv, up) << start;
        ASSERT_EQ(vv, vp) << start;
    }
    // Pairs of unrelated colours.
    std::mt19937 rng(1);
    for (int round = 0; round < 64; ++round) {
        for (auto& b : rgb)
            b = uint8_t(rng());
        RGB24ToYUVPairsSse2(rgb.data(), yv.data(), uv.data(), vv.data(), block);
        RGB24ToYUVPairsPlain(rgb.data(), yp.data(), up.data(), vp.data(), block);
        ASSERT_EQ(yv, yp);
        ASSERT_EQ(uv, up);
        ASSERT_EQ(vv, vp);
    }
}
