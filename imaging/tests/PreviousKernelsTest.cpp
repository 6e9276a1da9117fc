// The faster kernels against their previous implementations, byte for byte: the colour output
// steps and row copies against PreviousKernels.cpp, the supersampling output stage against the
// scalar stage it replaced (which the plain kernels still run). Random rows of every length up to
// a few vector steps, at every destination alignment, extreme samples, and the bytes around each
// destination left alone.
#include <gtest/gtest.h>

#include "PreviousKernels.h"
#include "ResizeLanczosArithmetic.h"
#include "ResizePasses.h"
#include "ResizeSse2Support.h"
#include "RowKernels.h"
#include "SupersampleKernel.h"
#include "imaging/imaging.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

using namespace imaging;

namespace {

std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v)
        b = uint8_t(rng());
    return v;
}

// Samples drawn from the ends of the ranges as often as from the middle: clamping at 0 and 255
// and the largest chroma products are where a reordered sum would show.
std::vector<uint8_t> EdgeBytes(size_t n, uint32_t seed)
{
    static constexpr uint8_t kEdges[] = {0, 1, 15, 16, 17, 127, 128, 129, 234, 235, 236, 254, 255};
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v)
        b = (rng() & 1) ? kEdges[rng() % std::size(kEdges)] : uint8_t(rng());
    return v;
}

using OutputKernel = void (*)(const uint8_t*, const uint8_t*, const uint8_t*, uint8_t*, int32_t);

struct OutputPair {
    const char* name;
    OutputKernel current;
    OutputKernel previous;
    int bytesPerPixel;
    int pixelMultiple;
};

void Rgb555Current(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* d, int32_t n)
{
    YUVToRGB555Q4Sse2(y, u, v, d, n, false);
}
void Rgb555Previous(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* d, int32_t n)
{
    previous::PreviousYUVToRGB555Q4Sse2(y, u, v, d, n, false);
}
void Rgb555SwappedCurrent(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* d,
                          int32_t n)
{
    YUVToRGB555Q4Sse2(y, u, v, d, n, true);
}
void Rgb555SwappedPrevious(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* d,
                           int32_t n)
{
    previous::PreviousYUVToRGB555Q4Sse2(y, u, v, d, n, true);
}

const OutputPair kOutputs[] = {
    {"RGB24", YUVToRGB24Q4Sse2, previous::PreviousYUVToRGB24Q4Sse2, 3, 8},
    {"RGB32", YUVToRGB32Q4Sse2, previous::PreviousYUVToRGB32Q4Sse2, 4, 4},
    {"RGB555", Rgb555Current, Rgb555Previous, 2, 4},
    {"RGB555 swapped", Rgb555SwappedCurrent, Rgb555SwappedPrevious, 2, 4},
};

} // namespace

TEST(PreviousKernels, ColourOutputStepsEqualThePreviousOnes)
{
    for (const OutputPair& k : kOutputs) {
        for (int pixels = 0; pixels <= 72; pixels += k.pixelMultiple) {
            for (int offset = 0; offset < 16; ++offset) {
                for (uint32_t seed = 0; seed < 4; ++seed) {
                    const auto make = seed & 1 ? EdgeBytes : RandomBytes;
                    const auto y = make(size_t(pixels) + 1, seed * 3 + 1);
                    const auto u = make(size_t(pixels) / 2 + 1, seed * 3 + 2);
                    const auto v = make(size_t(pixels) / 2 + 1, seed * 3 + 3);
                    const size_t bytes = size_t(pixels) * k.bytesPerPixel + 64;
                    std::vector<uint8_t> now(bytes, 0xA5), before(bytes, 0xA5);
                    k.current(y.data(), u.data(), v.data(), now.data() + offset, pixels);
                    k.previous(y.data(), u.data(), v.data(), before.data() + offset, pixels);
                    ASSERT_EQ(now, before) << k.name << " pixels " << pixels << " offset " << offset;
                }
            }
        }
    }
}

TEST(PreviousKernels, WholeConversionsEqualThePreviousRowsOnAFrame)
{
    // A frame whose width leaves a tail after the 16-pixel steps, converted by the entry points
    // and, row by row, by the previous vector steps and the plain pixels after them.
    const int w = 1918, h = 9;
    const auto y = EdgeBytes(size_t(w) * h, 7), u = RandomBytes(size_t(w / 2) * h, 8),
               v = EdgeBytes(size_t(w / 2) * h, 9);
    const uint8_t* planes[3] = {y.data(), u.data(), v.data()};
    const int32_t steps[3] = {w, w / 2, w / 2};
    for (const OutputPair& k : kOutputs) {
        if (k.current == Rgb555SwappedCurrent)
            continue; // the entry point never swaps
        const int step = w * k.bytesPerPixel + 5;
        std::vector<uint8_t> now(size_t(step) * h, 0x5A), before(now);
        if (k.bytesPerPixel == 3)
            ConvertPlanar422ToRGB24(planes, steps, now.data(), step, w, h);
        else if (k.bytesPerPixel == 4)
            ConvertPlanar422ToRGB32(planes, steps, now.data(), step, w, h);
        else
            ConvertPlanar422ToRGB555(planes, steps, now.data(), step, w, h);
        const int vector = k.bytesPerPixel == 3 ? (w & ~7) : (w & ~3);
        for (int r = 0; r < h; ++r) {
            const uint8_t* yr = planes[0] + size_t(r) * w;
            const uint8_t* ur = planes[1] + size_t(r) * (w / 2);
            const uint8_t* vr = planes[2] + size_t(r) * (w / 2);
            uint8_t* out = before.data() + size_t(r) * (k.bytesPerPixel == 2 ? step & ~1 : step);
            k.previous(yr, ur, vr, out, vector);
            uint8_t* rest = out + size_t(vector) * k.bytesPerPixel;
            if (k.bytesPerPixel == 3)
                YUVToRGB24Q16Plain(yr + vector, ur + vector / 2, vr + vector / 2, rest, w - vector);
            else if (k.bytesPerPixel == 4)
                YUVToRGB32Q16Plain(yr + vector, ur + vector / 2, vr + vector / 2, rest, w - vector);
            else
                YUVToRGB555Q4Plain(yr + vector, ur + vector / 2, vr + vector / 2, rest, w - vector,
                                   false);
        }
        ASSERT_EQ(now, before) << k.name;
    }
}

TEST(PreviousKernels, RowCopiesEqualThePreviousOnes)
{
    const auto src = RandomBytes(4096 + 512, 3);
    for (bool streaming : {false, true}) {
        for (int64_t length : {0, 1, 15, 16, 63, 64, 65, 79, 127, 128, 130, 191, 200, 255, 256, 300,
                               1000, 1900, 4095}) {
            for (int srcOffset = 0; srcOffset < 64; srcOffset += 7) {
                for (int dstOffset = 0; dstOffset < 64; dstOffset += 5) {
                    std::vector<uint8_t> now(4096 + 256, 0xEE), before(now);
                    CopyRowFast(src.data() + srcOffset, now.data() + dstOffset, length, streaming);
                    previous::PreviousCopyRowFast(src.data() + srcOffset, before.data() + dstOffset,
                                                  length, streaming);
                    ASSERT_EQ(now, before) << length << " " << srcOffset << " " << dstOffset;
                    CopyRowSimd(src.data() + srcOffset, now.data() + dstOffset, length, streaming);
                    previous::PreviousCopyRowSimd(src.data() + srcOffset, before.data() + dstOffset,
                                                  length, streaming);
                    ASSERT_EQ(now, before) << length << " " << srcOffset << " " << dstOffset;
                }
            }
        }
    }
}

TEST(PreviousKernels, StridedPlaneCopiesEqualThePreviousRowLoop)
{
    // Above 1,048,576 bytes the rows stream: 1900 x 600 at stride 2048 (whole lines and a partial
    // one a row), odd strides that move every row's line boundary, and a small plane.
    struct Shape {
        int width, height, srcStep, dstStep, dstOffset;
    };
    for (const Shape s : {Shape{1900, 600, 2048, 2048, 0}, Shape{1900, 600, 2053, 1931, 3},
                          Shape{1100, 1000, 1111, 1104, 16}, Shape{70, 20, 90, 77, 1}}) {
        const auto src = RandomBytes(size_t(s.srcStep) * s.height, 4);
        std::vector<uint8_t> now(size_t(s.dstStep) * s.height + 64, 0x33), before(now);
        ASSERT_EQ(CopyPlane(src.data(), s.srcStep, now.data() + s.dstOffset, s.dstStep, s.width,
                            s.height),
                  StatusOk);
        const bool streaming = int64_t(s.width) * s.height > 1048576;
        for (int r = 0; r < s.height; ++r)
            previous::PreviousCopyRowFast(src.data() + size_t(r) * s.srcStep,
                                          before.data() + s.dstOffset + size_t(r) * s.dstStep,
                                          s.width, streaming);
        ASSERT_EQ(now, before) << s.width << " x " << s.height;
    }
}

TEST(PreviousKernels, I420LumaCopyEqualsThePreviousRowLoop)
{
    // 4:2:2 to 4:2:0 streams the luma above 348,602 pixels; chroma rows never stream.
    const int w = 1000, h = 400;
    const auto y = RandomBytes(size_t(w + 24) * h, 1), u = RandomBytes(size_t(w / 2) * h, 2),
               v = RandomBytes(size_t(w / 2) * h, 3);
    const uint8_t* src[3] = {y.data(), u.data(), v.data()};
    const int32_t srcStep[3] = {w + 24, w / 2, w / 2};
    std::vector<uint8_t> dy(size_t(w + 40) * h, 1), du(size_t(w / 2) * h / 2, 2), dv(du);
    uint8_t* dst[3] = {dy.data() + 8, du.data(), dv.data()};
    const int32_t dstStep[3] = {w + 24, w / 2, w / 2};
    ASSERT_EQ(ConvertPlanar422ToI420(src, srcStep, dst, dstStep, w, h), StatusOk);
    std::vector<uint8_t> expected(dy.size(), 1);
    for (int r = 0; r < h; ++r)
        previous::PreviousCopyRowSimd(y.data() + size_t(r) * srcStep[0],
                                      expected.data() + 8 + size_t(r) * dstStep[0], w, true);
    EXPECT_EQ(dy, expected);
}

namespace {

// One 8-bit one-channel supersampling run through the vector kernel and through the plain one,
// whose output stage (the template's scalar loop) is the previous output stage of both.
void ExpectSupersampleStagesEqual(int srcW, int srcH, double rx, double ry, int dstW, int dstH,
                                  const std::vector<uint8_t>& src)
{
    SupersampleArgs args;
    args.src = src.data();
    args.srcStep = srcW;
    args.srcColumns = srcW;
    args.srcRows = srcH;
    args.dstWidth = dstW;
    args.dstHeight = dstH;
    args.dstStep = dstW + 3;
    args.xRatio = rx;
    args.yRatio = ry;
    args.normaliser = (1.0 / rx) * (1.0 / ry);
    args.mode = (ry != std::floor(ry) ? 1 : 0) | (rx != std::floor(rx) ? 2 : 0);
    std::vector<uint8_t> now(size_t(args.dstStep) * dstH, 0x77), before(now);
    args.dst = now.data();
    ASSERT_EQ(SupersampleResize8u_C1(args), StatusOk);
    args.dst = before.data();
    ASSERT_EQ(SupersampleResize8u_C1Plain(args), StatusOk);
    ASSERT_EQ(now, before) << rx << " x " << ry << " into " << dstW << " x " << dstH;
}

} // namespace

TEST(PreviousKernels, SupersamplingOutputStageEqualsTheScalarStage)
{
    // The benchmark's ratios, ratios whose windows reach five columns (left to the scalar stage),
    // windows ending within 1e-07 of a column, and destinations wider than the source allows
    // (clipped windows at the right).
    const int w = 243, h = 40;
    const auto random = RandomBytes(size_t(w) * h, 31);
    const auto edges = EdgeBytes(size_t(w) * h, 32);
    const std::vector<uint8_t> white(size_t(w) * h, 255);
    for (const auto* src : {&random, &edges, &white}) {
        for (auto [rx, ry] : {std::pair{1.5, 1.5},
                              {2.6666666666666665, 2.25},
                              {3.0, 3.0},
                              {2.0, 1.0},
                              {1.0, 2.0},
                              {4.0, 2.0},
                              {3.7, 1.3},
                              {1.0000001, 1.9999999},
                              {1.2, 1.0},
                              {5.5, 1.25},
                              {1.0, 1.0}}) {
            const int dw = int(w / rx), dh = int(h / ry);
            ExpectSupersampleStagesEqual(w, h, rx, ry, dw, dh, *src);
            ExpectSupersampleStagesEqual(w, h, rx, ry, dw + 1, dh, *src);
            ExpectSupersampleStagesEqual(w - 5, h, rx, ry, int((w - 5) / rx) - 3, dh, *src);
        }
    }
}

namespace {

// Index tables as the engine builds them (bases rising by `ratio`, clamped into [low, high]) and
// as a caller of a slot may hand them: shuffled, or jumping back and forth across the row.
std::vector<int32_t> RisingIndex(int count, double ratio, int low, int high)
{
    std::vector<int32_t> index(size_t(count) + 1);
    for (int i = 0; i < count; ++i)
        index[size_t(i)] = std::clamp(low + int(i * ratio), low, high);
    return index;
}

std::vector<int32_t> JumpingIndex(int count, int low, int high, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<int32_t> index(size_t(count) + 1);
    for (int i = 0; i < count; ++i)
        index[size_t(i)] = low + int(rng() % uint32_t(high - low + 1));
    return index;
}

std::vector<std::vector<int32_t>> IndexTables(int count, int low, int high)
{
    std::vector<std::vector<int32_t>> tables;
    for (double ratio : {0.375, 1.0, 1.5, 1.50039, 2.0, 2.6681, 3.003, 7.0})
        tables.push_back(RisingIndex(count, ratio, low, high));
    tables.push_back(JumpingIndex(count, low, high, uint32_t(count)));
    auto reversed = RisingIndex(count, 1.7, low, high);
    std::reverse(reversed.begin(), reversed.begin() + count);
    tables.push_back(reversed);
    return tables;
}

std::vector<float> RandomWeights(size_t n, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> d(-0.6f, 1.4f);
    std::vector<float> v(n);
    for (auto& x : v)
        x = d(rng);
    return v;
}

} // namespace

TEST(PreviousKernels, FloatToByteStepEqualsThePreviousOne)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::vector<float> values = {0.0f, -0.0f, 0.49999988f, -0.5000001f, -0.50000012f, 254.4999f,
                                 254.5f, 255.0f, 255.5f, 256.0f, -1.0f, 1e30f, -1e30f, inf, -inf,
                                 nan, -nan, 1e-45f, -1e-45f, 3e9f, -3e9f, 127.49999f};
    std::mt19937 rng(2);
    std::uniform_real_distribution<float> d(-300.0f, 600.0f);
    for (int i = 0; i < 4000; ++i)
        values.push_back(d(rng));
    for (size_t i = 0; i + 4 <= values.size(); ++i) {
        const __m128 v = _mm_loadu_ps(values.data() + i);
        alignas(16) int32_t now[4], before[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(now), BiasedToBytes(v));
        _mm_store_si128(reinterpret_cast<__m128i*>(before), previous::PreviousBiasedToBytes(v));
        for (int k = 0; k < 4; ++k)
            ASSERT_EQ(now[k], before[k]) << values[i + k];
    }
}

TEST(PreviousKernels, OneChannelResizePassesEqualThePreviousOnes)
{
    // Sources hold exactly the samples the tables name (AddressSanitizer sees any read past
    // them), from 3 to 61 output columns (both sides of every vector step and span).
    for (int count = 1; count <= 61; count += (count < 20 ? 1 : 7)) {
        const int sourceWidth = 40 + count * 3;
        const auto samples = EdgeBytes(size_t(sourceWidth), uint32_t(count));
        const auto weights = RandomWeights(size_t(count) * 6 + 8, uint32_t(count));
        // Cubic reads base - 1 .. base + 2, Lanczos base - 2 .. base + 3.
        struct Taps {
            int before, after;
        };
        for (const Taps taps : {Taps{1, 2}, Taps{2, 3}}) {
            for (const auto& index : IndexTables(count, taps.before, sourceWidth - 1 - taps.after)) {
                int low = INT32_MAX, high = INT32_MIN;
                for (int i = 0; i < count; ++i) {
                    low = std::min(low, index[size_t(i)]);
                    high = std::max(high, index[size_t(i)]);
                }
                const std::vector<uint8_t> src(samples.begin() + (low - taps.before),
                                               samples.begin() + (high + taps.after + 1));
                const uint8_t* row = src.data() - (low - taps.before);
                if (taps.before == 1) {
                    const int quad = count & ~3;
                    std::vector<float> now(size_t(count) + 8, 7.0f), before(now);
                    CubicHorzQuad8u_C1(row, quad, index.data(), weights.data(), now.data());
                    previous::PreviousCubicHorzQuad8u_C1(row, quad, index.data(),
                                                             weights.data(), before.data());
                    ASSERT_EQ(0, std::memcmp(now.data(), before.data(), now.size() * 4))
                        << "cubic " << count;
                } else {
                    std::vector<float> now(size_t(count) + 8, 7.0f), before(now);
                    LanczosHorzInner8u_C1(row, index.data(), weights.data(), now.data(), count);
                    previous::PreviousLanczosHorzInner8u_C1(row, index.data(), weights.data(),
                                                                before.data(), count);
                    ASSERT_EQ(0, std::memcmp(now.data(), before.data(), now.size() * 4))
                        << "lanczos " << count;
                }
            }
        }
    }
}

TEST(PreviousKernels, WideRowsCrossSeveralFloatSpans)
{
    // Rows of thousands of columns are converted in several spans; the cubic and Lanczos passes
    // still equal the byte-gathering ones, over rising tables and one that jumps.
    const int count = 3000, sourceWidth = 4700;
    const auto src = RandomBytes(size_t(sourceWidth), 77);
    const auto weights = RandomWeights(size_t(count) * 6, 78);
    for (const auto& index : {RisingIndex(count, 1.5, 2, sourceWidth - 4),
                              RisingIndex(count, 0.4, 2, sourceWidth - 4),
                              JumpingIndex(count, 2, sourceWidth - 4, 79)}) {
        std::vector<float> now(static_cast<size_t>(count)), before(static_cast<size_t>(count));
        CubicHorzQuad8u_C1(src.data(), count, index.data(), weights.data(), now.data());
        previous::PreviousCubicHorzQuad8u_C1(src.data(), count, index.data(), weights.data(),
                                                 before.data());
        ASSERT_EQ(0, std::memcmp(now.data(), before.data(), now.size() * 4));
        LanczosHorzInner8u_C1(src.data(), index.data(), weights.data(), now.data(), count);
        previous::PreviousLanczosHorzInner8u_C1(src.data(), index.data(), weights.data(),
                                                    before.data(), count);
        ASSERT_EQ(0, std::memcmp(now.data(), before.data(), now.size() * 4));
    }
}

TEST(PreviousKernels, LanczosRowsSplitAtTheInteriorRunEqualWholeRowFolding)
{
    // The row walk finds the interior run once and folds only the columns around it; the folding
    // pass over the whole row (what every row went through before) gives the same floats, for
    // every margin, short and long rows, and tables whose interior columns are not one run.
    for (int margin : {0, 1, 2, 5}) {
        for (int limit : {6, 9, 40}) {
            for (int count : {1, 5, 17, 40}) {
                const int low = -std::min(margin, 2);
                auto tables = IndexTables(count, 0, limit - 1);
                tables.push_back(JumpingIndex(count, low, limit - 1, uint32_t(limit + count)));
                for (const auto& index : tables) {
                    const auto samples = RandomBytes(size_t(limit) + 4, uint32_t(count));
                    const uint8_t* row = samples.data() + 2;
                    const auto weights = RandomWeights(size_t(count) * 6, uint32_t(margin));
                    std::vector<float> whole(size_t(count), -1.0f), split(whole);
                    LanczosHorz8u_C1(row, index.data(), weights.data(), whole.data(), count,
                                         margin, limit);
                    const LanczosRowBounds bounds{LanczosMargin(margin), limit};
                    const LanczosInteriorRun run =
                        FindLanczosInteriorRun(index.data(), count, 1, bounds);
                    if (!run.single) {
                        LanczosHorz8u_C1(row, index.data(), weights.data(), split.data(),
                                             count, margin, limit);
                    } else {
                        LanczosHorz8u_C1(row, index.data(), weights.data(), split.data(),
                                             run.begin, margin, limit);
                        LanczosHorzInner8u_C1(row, index.data() + run.begin,
                                                  weights.data() + 6 * run.begin,
                                                  split.data() + run.begin, run.end - run.begin);
                        LanczosHorz8u_C1(row, index.data() + run.end,
                                             weights.data() + 6 * run.end, split.data() + run.end,
                                             count - run.end, margin, limit);
                    }
                    ASSERT_EQ(0, std::memcmp(whole.data(), split.data(), whole.size() * 4))
                        << margin << " " << limit << " " << count;
                }
            }
        }
    }
}

TEST(PreviousKernels, RGB24ImportEqualsThePreviousOne)
{
    // Random and extreme colours (white pairs give luma 254, saturated chroma clamps), 16 to 96
    // pixels, every offset of the destination planes.
    for (int pixels = 16; pixels <= 96; pixels += 16) {
        for (uint32_t seed = 0; seed < 6; ++seed) {
            const auto rgb = (seed & 1 ? EdgeBytes : RandomBytes)(size_t(pixels) * 3, seed);
            for (int offset = 0; offset < 4; ++offset) {
                std::vector<uint8_t> y(size_t(pixels) + 8, 1), u(size_t(pixels) / 2 + 8, 2),
                    v(size_t(pixels) / 2 + 8, 3);
                auto y0 = y, u0 = u, v0 = v;
                RGB24ToYUVPairsSse2(rgb.data(), y.data() + offset, u.data() + offset,
                                    v.data() + offset, pixels);
                previous::PreviousRGB24ToYUVPairsSse2(rgb.data(), y0.data() + offset,
                                                      u0.data() + offset, v0.data() + offset,
                                                      pixels);
                ASSERT_EQ(y, y0) << pixels << " " << seed;
                ASSERT_EQ(u, u0) << pixels << " " << seed;
                ASSERT_EQ(v, v0) << pixels << " " << seed;
            }
        }
    }
}
