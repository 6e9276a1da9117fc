// The plain resize kernel set (slots 48-95): each slot against its vector counterpart on tables
// the engine builds, the exact rounding of the double-precision conversion, random row walks
// against a per-row evaluation of the formulas, and where the two sets differ on purpose.
#include <gtest/gtest.h>

#include "ResizeEngine.h"
#include "ResizeKernels.h"
#include "ResizeTestSupport.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

using namespace imaging;
using namespace imaging_test;

namespace {

// How far the plain set's samples may lie from the vector set's.
struct Agreement {
    int64_t samples = 0;
    int64_t identical = 0;
    double worst = 0.0;
};

template <typename T>
void Compare(const std::vector<T>& vectorOut, const std::vector<T>& plainOut, Agreement* a)
{
    ASSERT_EQ(vectorOut.size(), plainOut.size());
    for (size_t i = 0; i < vectorOut.size(); ++i) {
        ++a->samples;
        if (std::memcmp(&vectorOut[i], &plainOut[i], sizeof(T)) == 0) {
            ++a->identical;
            continue;
        }
        const double u = double(vectorOut[i]), v = double(plainOut[i]);
        // Floats: relative to the magnitude of the values, at least the sources' range of 2000.
        const double diff = std::is_floating_point_v<T>
                                ? std::fabs(u - v) / std::max({std::fabs(u), std::fabs(v), 2000.0})
                                : std::fabs(u - v);
        a->worst = std::max(a->worst, diff);
    }
}

// One interleaved request over a random source; the region keeps a margin on every side, so that
// the Lanczos kernels see rows and columns outside it.
template <typename T>
void RunBothSets(int method, int type, int channels, int pixelStride, double xf, double yf,
                 bool inset, uint32_t seed, Agreement* a)
{
    const int w = 29, h = 23;
    const auto src = RandomSamples<T>(size_t(w * h * pixelStride), seed);
    ResizeRequest r;
    r.src = src.data();
    r.srcWidth = w;
    r.srcHeight = h;
    r.srcStep = w * pixelStride * int(sizeof(T));
    r.roi = inset ? ImagingRegion{3, 2, w - 7, h - 5} : ImagingRegion{0, 0, w, h};
    const int dw = int(std::ceil(r.roi.width * xf)) + 2, dh = int(std::ceil(r.roi.height * yf)) + 2;
    std::vector<T> vectorOut = RandomSamples<T>(size_t(dw * dh * pixelStride), seed + 1);
    std::vector<T> plainOut = vectorOut;
    r.dstStep = dw * pixelStride * int(sizeof(T));
    r.dstWidth = dw;
    r.dstHeight = dh;
    r.xFactor = xf;
    r.yFactor = yf;
    r.pixelStride = pixelStride;
    r.channelCount = channels;
    r.sampleType = type;
    r.interpolation = method;
    r.dst = vectorOut.data();
    ASSERT_EQ(ResizeGeneralWithKernelSet(r, 0), StatusOk);
    r.dst = plainOut.data();
    ASSERT_EQ(ResizeGeneralWithKernelSet(r, kPlainKernelSet), StatusOk);
    Compare(vectorOut, plainOut, a);
}

struct LayoutCase {
    int channels;
    int pixelStride;
};
constexpr LayoutCase kLayouts[] = {{1, 1}, {3, 3}, {3, 4}, {4, 4}};
constexpr double kFactors[][2] = {{2.0, 2.0}, {1.7, 0.6}, {0.45, 1.3}, {0.3, 0.3}, {1.0, 3.1}};

template <typename T>
Agreement AllCasesOfAType(int method, int type)
{
    Agreement a;
    uint32_t seed = uint32_t(100 * method + 10 * type);
    for (const LayoutCase& l : kLayouts)
        for (const auto& f : kFactors)
            for (bool inset : {false, true})
                RunBothSets<T>(method, type, l.channels, l.pixelStride, f[0], f[1], inset,
                               ++seed, &a);
    return a;
}

// minShare: 99.9 % for 8u and 16s. Full-range 16u noise gets 99.5 %: the vector set's single-
// precision sums of values up to 65535 carry errors of a few hundredths, which push a few more
// results across a rounding boundary than at 8-bit magnitudes.
void ExpectWithinOneMostlyIdentical(const Agreement& a, double minShare = 0.999)
{
    EXPECT_LE(a.worst, 1.0);
    EXPECT_GE(double(a.identical), minShare * double(a.samples)) << a.identical << "/" << a.samples;
}

} // namespace

TEST(PlainResizeSet, NearestAndIntegerLinearEqualTheVectorSetBitForBit)
{
    for (int method : {kResizeNearest, kResizeLinear}) {
        SCOPED_TRACE(method);
        for (const Agreement& a :
             {AllCasesOfAType<uint8_t>(method, kSample8u), AllCasesOfAType<uint16_t>(method, kSample16u),
              AllCasesOfAType<int16_t>(method, kSample16s)}) {
            EXPECT_GT(a.samples, 0);
            EXPECT_EQ(a.identical, a.samples);
        }
        if (method == kResizeNearest) {
            const Agreement f = AllCasesOfAType<float>(method, kSample32f);
            EXPECT_EQ(f.identical, f.samples);
        }
    }
}

TEST(PlainResizeSet, FloatMethodsAgreeWithTheVectorSetWithinOneUnit)
{
    for (int method : {kResizeCubic, kResizeLanczos}) {
        SCOPED_TRACE(method);
        ExpectWithinOneMostlyIdentical(AllCasesOfAType<uint8_t>(method, kSample8u));
        ExpectWithinOneMostlyIdentical(AllCasesOfAType<uint16_t>(method, kSample16u), 0.995);
    }
    for (int method : {kResizeLinear, kResizeCubic, kResizeLanczos}) {
        const Agreement f = AllCasesOfAType<float>(method, kSample32f);
        EXPECT_LE(f.worst, 1e-6) << method;
    }
}

namespace {

// The tables of a request whose region lies at least two pixels inside the source on the top and
// left and three on the bottom and right, run through a chosen slot of each set with the record
// the engine would build.
template <typename T>
struct SlotCase {
    static constexpr int kW = 31, kH = 26;
    std::vector<T> src;
    ResizeRequest r;
    ResizeTables t;
    std::vector<std::vector<float>> buffers;
    T dstPlaceholder{};

    SlotCase(int method, int channels, int pixelStride, double xf, double yf, uint32_t seed)
        : src(RandomSamples<T>(size_t(kW * kH * pixelStride), seed))
    {
        r.src = src.data();
        r.srcWidth = kW;
        r.srcHeight = kH;
        r.srcStep = kW * pixelStride * int(sizeof(T));
        r.roi = {2, 2, kW - 5, kH - 5};
        r.dstWidth = 64;
        r.dstHeight = 64;
        r.dstStep = 64 * pixelStride * int(sizeof(T));
        r.xFactor = xf;
        r.yFactor = yf;
        r.pixelStride = pixelStride;
        r.channelCount = channels;
        // Signed samples take the 16u tables: the engine builds cubic and Lanczos tables for
        // unsigned types only, and the offsets count samples of the same size.
        r.sampleType = std::is_same_v<T, uint8_t> ? 0 : (std::is_same_v<T, float> ? 2 : 1);
        r.dst = &dstPlaceholder;
        r.interpolation = method;
        t = BuildResizeTables(r);
        buffers.assign(6, std::vector<float>(size_t(t.dstWidth * 4 + 16)));
    }

    std::vector<T> Run(int slot)
    {
        std::vector<T> out(size_t(t.dstWidth * t.dstHeight * r.pixelStride), T(7));
        ResizeKernelArgs a;
        a.src = src.data() + (r.roi.y * kW + r.roi.x) * r.pixelStride;
        a.dst = out.data();
        a.srcStep = kW * r.pixelStride;
        a.dstStep = t.dstWidth * r.pixelStride;
        a.dstWidth = t.dstWidth;
        a.dstHeight = t.dstHeight;
        a.rowOffsets = t.rowOffsets.data();
        a.colOffsets = t.colOffsets.data();
        a.rowWeights = t.rowTaps.data();
        a.colWeights = t.colTaps.data();
        for (int k = 0; k < 6; ++k)
            a.rowBuffers[k] = buffers[size_t(k)].data();
        a.pixelStride = r.channelCount == 1 ? 0 : r.pixelStride;
        a.channelCount = r.channelCount == 1 ? 0 : r.channelCount;
        EXPECT_EQ(CallResizeKernel(slot, a), StatusOk);
        return out;
    }
};

// Slot offsets within a group: multi-channel first, then one channel, by type 8u, 16u, 32f, 16s.
template <typename T>
Agreement SlotsAgree(int method, int vectorMC, int vectorC1, int plainMC, int plainC1, int type)
{
    Agreement a;
    uint32_t seed = uint32_t(7 * vectorMC + type);
    for (const LayoutCase& l : kLayouts) {
        for (const auto& f : kFactors) {
            SlotCase<T> c(method, l.channels, l.pixelStride, f[0], f[1], ++seed);
            EXPECT_EQ(c.t.status, StatusOk);
            const bool one = l.channels == 1;
            Compare(c.Run((one ? vectorC1 : vectorMC) + type), c.Run((one ? plainC1 : plainMC) + type),
                    &a);
        }
    }
    return a;
}

} // namespace

TEST(PlainResizeSet, FourTapSlotsAgreeWithTheSecondCubicSetOnLagrangeWeights)
{
    const int p = kPlainKernelSet;
    const auto run = [&](auto sample, int type) {
        using T = decltype(sample);
        return SlotsAgree<T>(kResizeCubic, kSlotTaps4MC, kSlotTaps4C1, p + kSlotTaps4MC,
                             p + kSlotTaps4C1, type);
    };
    ExpectWithinOneMostlyIdentical(run(uint8_t{}, 0));
    ExpectWithinOneMostlyIdentical(run(uint16_t{}, 1), 0.995);
    ExpectWithinOneMostlyIdentical(run(int16_t{}, 3));
    EXPECT_LE(run(float{}, 2).worst, 1e-6);
}

TEST(PlainResizeSet, InteriorLanczosSlotsAgreeWithTheSecondLanczosSet)
{
    const int p = kPlainKernelSet;
    const auto run = [&](auto sample, int type) {
        using T = decltype(sample);
        return SlotsAgree<T>(kResizeLanczos, kSlotLanczosInnerMC, kSlotLanczosInnerC1,
                             p + kSlotLanczosInnerMC, p + kSlotLanczosInnerC1, type);
    };
    ExpectWithinOneMostlyIdentical(run(uint8_t{}, 0));
    ExpectWithinOneMostlyIdentical(run(uint16_t{}, 1), 0.995);
    ExpectWithinOneMostlyIdentical(run(int16_t{}, 3));
    EXPECT_LE(run(float{}, 2).worst, 1e-6);
}

TEST(PlainResizeSet, SharedSixteenBitNearestSlotsCopySignedSamplesAndFloatBitPatterns)
{
    const int32_t rows[2] = {0, 4};
    const int32_t cols[3] = {3, 0, 1};
    const int16_t signedSrc[8] = {-32768, -1, 5, 32767, 300, -300, 0, 1};
    uint16_t unsignedSrc[8];
    std::memcpy(unsignedSrc, signedSrc, sizeof(signedSrc));
    int16_t fromSigned[6] = {};
    uint16_t fromUnsigned[6] = {};
    ResizeKernelArgs a;
    a.dstStep = 3;
    a.dstWidth = 3;
    a.dstHeight = 2;
    a.rowOffsets = rows;
    a.colOffsets = cols;
    a.src = signedSrc;
    a.dst = fromSigned;
    ASSERT_EQ(CallResizeKernel(55, a), StatusOk);
    a.src = unsignedSrc;
    a.dst = fromUnsigned;
    ASSERT_EQ(CallResizeKernel(53, a), StatusOk);
    const int16_t expected[6] = {32767, -32768, -1, 1, 300, -300};
    EXPECT_EQ(std::memcmp(fromSigned, expected, sizeof(expected)), 0);
    EXPECT_EQ(std::memcmp(fromUnsigned, expected, sizeof(expected)), 0);

    // A signalling not-a-number and a negative zero pass through slot 54 as they are.
    const uint32_t bits[2] = {0x7F800001u, 0x80000000u};
    float floats[2];
    std::memcpy(floats, bits, sizeof(bits));
    const int32_t one[1] = {0};
    const int32_t pick[2] = {0, 1};
    float out[2] = {};
    a.src = floats;
    a.dst = out;
    a.dstHeight = 1;
    a.dstWidth = 2;
    a.rowOffsets = one;
    a.colOffsets = pick;
    ASSERT_EQ(CallResizeKernel(54, a), StatusOk);
    EXPECT_EQ(std::memcmp(out, bits, sizeof(bits)), 0);
}

namespace {

// A source of one value s, read through an identity across (weight 1 on tap 2) and the given six
// row weights down, so that the vertical sum is s times the weights exactly as the test sets it.
template <typename T>
T OneSample(int slot, T s, const float rowWeights[6], bool borders)
{
    const int side = 8;
    std::vector<T> src(size_t(side * side), s);
    const int32_t rows[1] = {borders ? 0 : 3 * side};
    const int32_t cols[1] = {borders ? 0 : 3};
    const float colWeights[6] = {0, 0, 1, 0, 0, 0};
    std::vector<std::vector<float>> buffers(6, std::vector<float>(8));
    T out = T(99);
    ResizeKernelArgs a;
    a.src = src.data();
    a.dst = &out;
    a.srcStep = side;
    a.dstStep = 1;
    a.dstWidth = 1;
    a.dstHeight = 1;
    a.rowOffsets = rows;
    a.colOffsets = cols;
    a.rowWeights = rowWeights;
    a.colWeights = colWeights;
    for (int k = 0; k < 6; ++k)
        a.rowBuffers[k] = buffers[size_t(k)].data();
    a.colsFromOrigin = side;
    a.rowsFromOrigin = 1; // one row: every other row repeats it
    EXPECT_EQ(CallResizeKernel(slot, a), StatusOk);
    return out;
}

} // namespace

TEST(PlainResizeSet, ConversionAddsHalfPlusAHairTruncatesTowardZeroAndSaturates)
{
    // 8u through slot 85 with one source row: v = 255 x w2.
    const auto v8 = [](float w) {
        const float weights[6] = {0, 0, w, 0, 0, 0};
        return int(OneSample<uint8_t>(85, 255, weights, true));
    };
    EXPECT_EQ(v8(0.5f), 128);                  // 127.5
    EXPECT_EQ(v8(127.4999f / 255.0f), 127);    // 127.4999
    EXPECT_EQ(v8(254.6f / 255.0f), 255);       // 254.6
    EXPECT_EQ(v8(300.0f / 255.0f), 255);       // 300
    EXPECT_EQ(v8(-0.7f / 255.0f), 0);          // -0.7
    EXPECT_EQ(v8(1e30f), 255);                 // far beyond any integer: saturates, not 0
    // With one row the six weights all land on it: 255 x (0.25 x 2) = 127.5.
    const float spread[6] = {0.25f, 0, 0, 0, 0, 0.25f};
    EXPECT_EQ(int(OneSample<uint8_t>(85, 255, spread, true)), 128);

    // 16s through slot 95 (interior): v = s x 0.1 or x 2.
    const float tenth[6] = {0, 0, 0.1f, 0, 0, 0};
    const float twice[6] = {0, 0, 2.0f, 0, 0, 0};
    EXPECT_EQ(OneSample<int16_t>(95, -13, tenth, false), 0);   // -1.3 + 0.5000001 = -0.7999999
    EXPECT_EQ(OneSample<int16_t>(95, -27, tenth, false), -2);  // -2.7
    EXPECT_EQ(OneSample<int16_t>(95, -17, tenth, false), -1);  // -1.7
    EXPECT_EQ(OneSample<int16_t>(95, -4, tenth, false), 0);    // -0.4
    EXPECT_EQ(OneSample<int16_t>(95, -20000, twice, false), -32768);
    EXPECT_EQ(OneSample<int16_t>(95, -32768, twice, false), -32768);
    EXPECT_EQ(OneSample<int16_t>(95, 30000, twice, false), 32767);
    // 16u saturates at both ends; 32f keeps the value, beyond any integer range included.
    EXPECT_EQ(OneSample<uint16_t>(86, 40000, twice, true), 65535);
    EXPECT_EQ(OneSample<uint16_t>(93, 40000, twice, false), 65535);
    EXPECT_FLOAT_EQ(OneSample<float>(87, -1e20f, twice, true), -2e20f);
}

TEST(PlainResizeSet, IntegerLinearSaturatesWhereWeightsLeaveTheRange)
{
    // Weights no engine builds (each column 2 x 32767 / 16384 of a sample): the sums saturate.
    const int32_t rows[1] = {0};
    const int32_t cols[2] = {0, 0};
    const int16_t colWeights[4] = {32767, 32767, 16384, 0};
    const uint16_t rowWeights[1] = {0};
    std::vector<int16_t> upper(8), lower(8);
    ResizeKernelArgs a;
    a.srcStep = 2;
    a.dstStep = 2;
    a.dstWidth = 2;
    a.dstHeight = 1;
    a.rowOffsets = rows;
    a.colOffsets = cols;
    a.rowWeights = rowWeights;
    a.colWeights = colWeights;
    a.rowBuffers[0] = upper.data();
    a.rowBuffers[1] = lower.data();
    const uint8_t src8[4] = {255, 255, 255, 255};
    uint8_t out8[2] = {};
    a.src = src8;
    a.dst = out8;
    ASSERT_EQ(CallResizeKernel(kPlainKernelSet + kSlotLinearC1, a), StatusOk);
    EXPECT_EQ(out8[0], 255);
    EXPECT_EQ(out8[1], 255); // weight 1.0: the sample itself
    const uint16_t src16[4] = {65535, 65535, 65535, 65535};
    uint16_t out16[2] = {};
    a.src = src16;
    a.dst = out16;
    ASSERT_EQ(CallResizeKernel(kPlainKernelSet + kSlotLinearC1 + 1, a), StatusOk);
    EXPECT_EQ(out16[0], 65535);
    EXPECT_EQ(out16[1], 65535);
    const int16_t src16s[4] = {-32768, -32768, -32768, -32768};
    int16_t out16s[2] = {};
    a.src = src16s;
    a.dst = out16s;
    ASSERT_EQ(CallResizeKernel(kPlainKernelSet + kSlotLinearC1 + 3, a), StatusOk);
    EXPECT_EQ(out16s[0], -32768);
    EXPECT_EQ(out16s[1], -32768);
}

namespace {

// Lanczos rows and columns evaluated one destination sample at a time from the formulas, with no
// ring: across, taps clamped to the readable columns with the weights of one column added first
// (border slots, tap 0 to 5) or all six read (interior slots, tap 5 to 0); down, the six rows
// r - 2 .. r + 3 clamped by index to the readable rows, combined from the top.
struct NaiveLanczos {
    bool borders;
    int colsLeft, rowsAbove, colsFromOrigin, rowsFromOrigin;

    double Across(const uint8_t* row, int32_t x, const float* w) const
    {
        if (!borders)
            return double(w[5]) * row[x + 3] + double(w[4]) * row[x + 2] +
                   double(w[3]) * row[x + 1] + double(w[2]) * row[x] +
                   double(w[1]) * row[x - 1] + double(w[0]) * row[x - 2];
        const int first = -std::min(colsLeft, 2), last = colsFromOrigin - 1;
        double sum = 0.0;
        int k = 0;
        while (k < 6) {
            const int column = std::clamp(x + k - 2, first, last);
            double weight = 0.0;
            for (; k < 6 && std::clamp(x + k - 2, first, last) == column; ++k)
                weight += double(w[k]);
            sum += weight * row[column];
        }
        return sum;
    }
    int Row(int r) const
    {
        return borders ? std::clamp(r, -std::min(rowsAbove, 2), rowsFromOrigin - 1) : r;
    }
};

} // namespace

TEST(PlainResizeSet, LanczosRingEqualsAPerRowEvaluationOnRandomRowWalks)
{
    std::mt19937 rng(5);
    const int W = 40, H = 40, margin = 4;
    const auto picture = RandomSamples<uint8_t>(size_t(W * H), 77);
    for (int trial = 0; trial < 120; ++trial) {
        const bool borders = trial % 2 == 0;
        const int step = trial % 4 < 2 ? 1 : -1;
        const int dw = 1 + int(rng() % 17), dh = 1 + int(rng() % 15);
        const int maxJump = int(rng() % 13);
        NaiveLanczos n{borders, int(rng() % 3), int(rng() % 3), 0, 0};
        // The region: origin inside the picture with the room the record claims.
        const int regionRows = borders ? 1 + int(rng() % 20) : 20;
        n.colsFromOrigin = borders ? 1 + int(rng() % 20) : 20;
        n.rowsFromOrigin = regionRows;
        const auto rowsOf = RandomRowIndices(dh, regionRows, maxJump, rng);
        std::vector<int32_t> rowOffsets(static_cast<size_t>(dh)), colOffsets(static_cast<size_t>(dw));
        for (size_t i = 0; i < rowOffsets.size(); ++i)
            rowOffsets[i] = rowsOf[i] * step * W;
        int32_t c = int32_t(rng() % 3);
        for (auto& x : colOffsets) {
            x = std::min(c, n.colsFromOrigin - 1);
            c += int32_t(rng() % 3);
        }
        std::vector<float> rowWeights(static_cast<size_t>(6 * dh)), colWeights(static_cast<size_t>(6 * dw));
        for (auto& w : rowWeights)
            w = float(std::uniform_real_distribution<double>(-0.3, 0.8)(rng));
        for (auto& w : colWeights)
            w = float(std::uniform_real_distribution<double>(-0.3, 0.8)(rng));
        // Origin row in memory: a top-down walk starts near the top, a bottom-up one near the end.
        const int originRow = step > 0 ? margin : H - 1 - margin;
        const uint8_t* origin = picture.data() + originRow * W + margin;
        std::vector<std::vector<float>> buffers(6, std::vector<float>(size_t(dw)));
        std::vector<uint8_t> out(size_t(dw * dh), 0xCD);
        ResizeKernelArgs a;
        a.src = origin;
        a.dst = out.data();
        a.srcStep = step * W;
        a.dstStep = dw;
        a.dstWidth = dw;
        a.dstHeight = dh;
        a.rowOffsets = rowOffsets.data();
        a.colOffsets = colOffsets.data();
        a.rowWeights = rowWeights.data();
        a.colWeights = colWeights.data();
        for (int k = 0; k < 6; ++k)
            a.rowBuffers[k] = buffers[size_t(k)].data();
        a.colsLeft = n.colsLeft;
        a.rowsAbove = n.rowsAbove;
        a.colsFromOrigin = n.colsFromOrigin;
        a.rowsFromOrigin = n.rowsFromOrigin;
        a.oneRowAdvance = maxJump <= 1;
        const int slot = kPlainKernelSet + (borders ? kSlotLanczosC1 : kSlotLanczosInnerC1);
        ASSERT_EQ(CallResizeKernel(slot, a), StatusOk);
        for (int y = 0; y < dh; ++y) {
            for (int x = 0; x < dw; ++x) {
                const float* rw = &rowWeights[size_t(6 * y)];
                double v = 0.0;
                for (int k = 0; k < 6; ++k) {
                    const uint8_t* row = origin + int64_t(n.Row(rowsOf[size_t(y)] + k - 2)) * step * W;
                    v += double(rw[k]) *
                         double(float(n.Across(row, colOffsets[size_t(x)], &colWeights[size_t(6 * x)])));
                }
                const double biased = v + 0.5000001;
                const int expected = int(std::clamp(biased, 0.0, 255.0));
                ASSERT_EQ(int(out[size_t(y * dw + x)]), expected)
                    << "trial " << trial << " row " << y << " column " << x;
            }
        }
    }
}
