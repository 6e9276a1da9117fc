// Nearest kernels (table slots 0-11): every type and layout against the copy rule, the 8-bit
// vector kernels against their plain equivalents, canaries around every destination row, the
// fourth sample of three-in-four pixels kept, and float bit patterns passed unchanged.
#include <gtest/gtest.h>

#include "ResizeKernels.h"
#include "ResizeTestSupport.h"

#include <cmath>

using namespace imaging;
using namespace imaging_test;

namespace {

struct NearestCase {
    int channels;    // 1, 3 or 4
    int pixelStride; // samples per source and destination pixel
    int width;       // destination pixels
    int height;
    int misalign;    // destination bytes past a 16-byte boundary (a multiple of the sample size)
    uint32_t seed;
};

// Runs `kernel` on a random source and random tables, checks every destination sample against
// the copy rule and returns the destination for comparisons.
template <typename T>
std::vector<T> RunNearest(ResizeKernel kernel, const NearestCase& c)
{
    std::mt19937 rng(c.seed);
    const int srcPixels = 1 + int(rng() % 40), srcRows = 1 + int(rng() % 12);
    const int stride = c.channels == 1 ? 1 : c.pixelStride;
    TightSource<T> src(srcPixels * stride, srcRows, c.seed + 1);
    std::vector<int32_t> rows(size_t(c.height)), columns(size_t(c.width));
    for (auto& r : rows)
        r = int32_t(rng() % uint32_t(srcRows)) * src.Step();
    for (auto& x : columns)
        x = int32_t(rng() % uint32_t(srcPixels)) * stride;
    const int rowSamples = c.width * stride;
    GuardedPlane<T> dst(rowSamples, c.height, c.misalign, c.seed + 2);

    ResizeKernelArgs args;
    args.src = src.Data();
    args.dst = dst.Data();
    args.dstStep = dst.Step();
    args.dstWidth = c.width;
    args.dstHeight = c.height;
    args.rowOffsets = rows.data();
    args.colOffsets = columns.data();
    args.pixelStride = c.pixelStride;
    args.channelCount = c.channels;
    kernel(args);

    EXPECT_TRUE(dst.Intact());
    std::vector<T> out;
    for (int y = 0; y < c.height; ++y) {
        for (int x = 0; x < c.width; ++x) {
            for (int ch = 0; ch < stride; ++ch) {
                const T got = dst.At(y, x * stride + ch);
                out.push_back(got);
                const bool copied = ch < c.channels;
                const T want = copied ? src.Data()[rows[size_t(y)] + columns[size_t(x)] + ch]
                                      : dst.Original(y, x * stride + ch);
                if (std::memcmp(&got, &want, sizeof(T)) != 0) {
                    ADD_FAILURE() << "row " << y << " column " << x << " channel " << ch
                                  << (copied ? "" : " (kept)");
                    return out;
                }
            }
        }
    }
    return out;
}

struct Layout {
    int slot; // 8u slot; + 1 for 16u, + 2 for 32f
    int channels;
    int pixelStride;
};

constexpr Layout kLayouts[] = {
    {kSlotNearestC1, 1, 1}, {kSlotNearestC3, 3, 3}, {kSlotNearestC3, 3, 4},
    {kSlotNearestC3, 3, 5}, {kSlotNearestC4, 4, 4},
};

} // namespace

TEST(ResizeNearestRows, EveryTypeAndLayoutCopiesTheNamedSamples)
{
    for (const Layout& l : kLayouts) {
        for (int width : {0, 1, 2, 3, 4, 5, 15, 16, 17, 33, 64}) {
            for (int height : {0, 1, 3}) {
                const NearestCase c{l.channels, l.pixelStride, width, height, 0,
                                    uint32_t(width * 31 + height)};
                SCOPED_TRACE(testing::Message() << "slot " << l.slot << " stride " << l.pixelStride
                                                << " width " << width << " height " << height);
                RunNearest<uint8_t>(ResizeKernelTable[size_t(l.slot)], c);
                RunNearest<uint16_t>(ResizeKernelTable[size_t(l.slot + 1)], c);
                RunNearest<float>(ResizeKernelTable[size_t(l.slot + 2)], c);
                RunNearest<int16_t>(ResizeKernelTable[size_t(l.slot + 3)], c);
            }
        }
    }
}

TEST(ResizeNearestRows, VectorKernelsEqualTheirScalarEquivalentsAtEveryAlignment)
{
    const ResizeKernel plain[] = {
        ResizeNearestRows8u_C1ScalarEquivalent, ResizeNearestRows8u_C3ScalarEquivalent,
        ResizeNearestRows8u_C3ScalarEquivalent, ResizeNearestRows8u_C3ScalarEquivalent,
        ResizeNearestRows8u_C4ScalarEquivalent};
    for (int i = 0; i < 5; ++i) {
        const Layout& l = kLayouts[i];
        for (int misalign = 0; misalign < 16; ++misalign) {
            for (int width : {1, 7, 16, 19, 40}) {
                const NearestCase c{l.channels, l.pixelStride, width, 4, misalign,
                                    uint32_t(1000 + misalign * 50 + width)};
                EXPECT_EQ(RunNearest<uint8_t>(ResizeKernelTable[size_t(l.slot)], c),
                          RunNearest<uint8_t>(plain[i], c))
                    << "slot " << l.slot << " stride " << l.pixelStride << " width " << width
                    << " misalign " << misalign;
            }
        }
    }
}

TEST(ResizeNearestRows, FloatSamplesMoveAsBitPatterns)
{
    const uint32_t patterns[4] = {0x7F800001u, 0xFFC00000u, 0x80000000u, 0x00000001u};
    float src[4];
    std::memcpy(src, patterns, sizeof src);
    float dst[4] = {};
    const int32_t rows[1] = {0};
    const int32_t columns[4] = {3, 2, 1, 0};
    ResizeKernelArgs args;
    args.src = src;
    args.dst = dst;
    args.dstStep = 4;
    args.dstWidth = 4;
    args.dstHeight = 1;
    args.rowOffsets = rows;
    args.colOffsets = columns;
    ResizeKernelTable[kSlotNearestC1 + 2](args);
    uint32_t out[4];
    std::memcpy(out, dst, sizeof out);
    EXPECT_EQ(out[0], patterns[3]);
    EXPECT_EQ(out[1], patterns[2]);
    EXPECT_EQ(out[2], patterns[1]);
    EXPECT_EQ(out[3], 0x7F800001u); // a signalling NaN stays signalling
}
