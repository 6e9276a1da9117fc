// Linear resize: the passes' arithmetic at its edges, the 8-bit vector passes against their
// plain equivalents at every count and alignment, every linear slot against a naive evaluation
// of the formulas that filters both source rows afresh for every destination row, the worked
// 2 x 2 to 4 x 4 example top-down and bottom-up, and the row cache's reuse of filtered rows.
#include <gtest/gtest.h>

#include "ResizeKernels.h"
#include "ResizeLinearArithmetic.h"
#include "ResizePasses.h"
#include "ResizeRowDrivers.h"
#include "ResizeTestSupport.h"

#include <cmath>

using namespace imaging;
using namespace imaging_test;

namespace {

// The formulas, written out once more for the tests (valid weights: pairs summing to 16384).
int16_t Horizontal8u(int p0, int p1, int w0, int w1)
{
    return int16_t(std::clamp((p0 * w0 + p1 * w1 + 128) >> 8, -32768, 32767));
}

uint8_t Vertical8u(int upper, int lower, int w)
{
    const int64_t v = (int64_t(upper) * (16384 - w) + int64_t(lower) * w + (1 << 19)) >> 20;
    return uint8_t(std::clamp<int64_t>(v, 0, 255));
}

template <typename T>
T Horizontal16(int p0, int p1, int w0, int w1)
{
    return T((int64_t(p0) * w0 + int64_t(p1) * w1 + 8192) >> 14);
}

template <typename T>
T Vertical16(int upper, int lower, int w)
{
    return T((int64_t(upper) * (16384 - w) + int64_t(lower) * w + 8192) >> 14);
}

// A type's reference: the filtered value of a pair and the blend of two filtered values.
template <typename T>
struct Reference;

template <>
struct Reference<uint8_t> {
    using Filtered = int16_t;
    static Filtered H(uint8_t a, uint8_t b, const int16_t* w) { return Horizontal8u(a, b, w[0], w[1]); }
    static uint8_t V(Filtered u, Filtered l, uint16_t w) { return Vertical8u(u, l, w); }
};

template <>
struct Reference<uint16_t> {
    using Filtered = uint16_t;
    static Filtered H(uint16_t a, uint16_t b, const int16_t* w)
    {
        return Horizontal16<uint16_t>(a, b, w[0], w[1]);
    }
    static uint16_t V(Filtered u, Filtered l, uint16_t w) { return Vertical16<uint16_t>(u, l, w); }
};

template <>
struct Reference<int16_t> {
    using Filtered = int16_t;
    static Filtered H(int16_t a, int16_t b, const int16_t* w)
    {
        return Horizontal16<int16_t>(a, b, w[0], w[1]);
    }
    static int16_t V(Filtered u, Filtered l, uint16_t w) { return Vertical16<int16_t>(u, l, w); }
};

template <>
struct Reference<float> {
    using Filtered = float;
    static Filtered H(float a, float b, const float* t) { return a + (b - a) * t[0]; }
    static float V(Filtered u, Filtered l, float t) { return u * (1.0f - t) + l * t; }
};

template <typename T>
using ColumnWeight = std::conditional_t<std::is_same_v<T, float>, float, int16_t>;
template <typename T>
using RowWeight = std::conditional_t<std::is_same_v<T, float>, float, uint16_t>;
template <typename T>
constexpr int kColumnWeights = std::is_same_v<T, float> ? 1 : 2;

struct LinearCase {
    int channels;
    int pixelStride;
    int width;
    int height;
    int step; // +1 top-down, -1 bottom-up
    int maxJump;
    int misalign;
    uint32_t seed;
};

// One linear kernel on random valid tables, against the naive evaluation; returns the output.
template <typename T>
std::vector<T> RunLinear(ResizeKernel kernel, const LinearCase& c)
{
    std::mt19937 rng(c.seed);
    const int stride = c.channels == 1 ? 1 : c.pixelStride;
    const int srcPixels = 2 + int(rng() % 30), srcRows = 2 + int(rng() % 20);
    TightSource<T> src(srcPixels * stride, srcRows, c.seed + 1);
    // Bottom-up: the logical first row is the buffer's last, the step negative.
    const T* origin = c.step > 0 ? src.Data() : src.Row(srcRows - 1);
    const int32_t step = c.step * src.Step();

    // Row offsets name the upper of two rows, so they stop one short of the last row.
    std::vector<int32_t> rows = RandomRowIndices(c.height, srcRows - 1, c.maxJump, rng);
    for (auto& r : rows)
        r *= step;
    std::vector<int32_t> columns(static_cast<size_t>(c.width));
    for (auto& x : columns)
        x = int32_t(rng() % uint32_t(srcPixels - 1)) * stride;
    std::vector<ColumnWeight<T>> colWeights(size_t(c.width * kColumnWeights<T>));
    std::vector<RowWeight<T>> rowWeights(static_cast<size_t>(c.height));
    for (int x = 0; x < c.width; ++x) {
        if constexpr (std::is_same_v<T, float>) {
            colWeights[size_t(x)] = float(rng() % 1001) / 1000.0f;
        } else {
            const auto w = int16_t(rng() % 16385);
            colWeights[2 * size_t(x)] = int16_t(16384 - w);
            colWeights[2 * size_t(x) + 1] = w;
        }
    }
    for (auto& w : rowWeights) {
        if constexpr (std::is_same_v<T, float>)
            w = float(rng() % 1001) / 1000.0f;
        else
            w = uint16_t(rng() % 16385);
    }

    const int filteredPerPixel = c.channels;
    using Filtered = typename Reference<T>::Filtered;
    std::vector<Filtered> bufferA(size_t(c.width * filteredPerPixel + 16));
    std::vector<Filtered> bufferB(bufferA.size());
    GuardedPlane<T> dst(c.width * stride, c.height, c.misalign, c.seed + 2);

    ResizeKernelArgs args;
    args.src = origin;
    args.dst = dst.Data();
    args.srcStep = step;
    args.dstStep = dst.Step();
    args.dstWidth = c.width;
    args.dstHeight = c.height;
    args.rowOffsets = rows.data();
    args.colOffsets = columns.data();
    args.rowWeights = rowWeights.data();
    args.colWeights = colWeights.data();
    args.rowBuffers[0] = bufferA.data();
    args.rowBuffers[1] = bufferB.data();
    args.pixelStride = c.channels == 1 ? 0 : c.pixelStride;
    args.channelCount = c.channels == 1 ? 0 : c.channels;
    kernel(args);

    EXPECT_TRUE(dst.Intact());
    std::vector<T> out;
    for (int y = 0; y < c.height; ++y) {
        const T* upper = origin + rows[size_t(y)];
        const T* lower = upper + step;
        for (int x = 0; x < c.width; ++x) {
            for (int ch = 0; ch < stride; ++ch) {
                const T got = dst.At(y, x * stride + ch);
                out.push_back(got);
                T want = dst.Original(y, x * stride + ch);
                if (ch < c.channels) {
                    const int at = columns[size_t(x)] + ch;
                    const ColumnWeight<T>* w = colWeights.data() + x * kColumnWeights<T>;
                    want = Reference<T>::V(Reference<T>::H(upper[at], upper[at + stride], w),
                                           Reference<T>::H(lower[at], lower[at + stride], w),
                                           rowWeights[size_t(y)]);
                }
                if (std::memcmp(&got, &want, sizeof(T)) != 0) {
                    ADD_FAILURE() << "row " << y << " column " << x << " channel " << ch << ": "
                                  << double(got) << " for " << double(want);
                    return out;
                }
            }
        }
    }
    return out;
}

struct Layout {
    int slot;
    int channels;
    int pixelStride;
};

constexpr Layout kLayouts[] = {
    {kSlotLinearC1, 1, 1}, {kSlotLinearMC, 3, 3}, {kSlotLinearMC, 3, 4}, {kSlotLinearMC, 4, 4}};

} // namespace

TEST(LinearPasses, ArithmeticAtTheEdgesOfEachType)
{
    const int16_t half[2] = {8192, 8192};
    const int16_t last[2] = {0, 16384};
    const int32_t index[1] = {0};
    const uint8_t pair8[2] = {0, 255};
    int16_t h = 0;
    LinearHorz8u_C1(pair8, 1, index, half, &h);
    EXPECT_EQ(h, 8160); // 127.5 x 64
    uint8_t out8 = 0;
    LinearVert8u(&out8, 1, 0, &h, &h);
    EXPECT_EQ(out8, 128); // 127.5 rounds up
    LinearHorz8u_C1(pair8, 1, index, last, &h);
    EXPECT_EQ(h, 16320); // the right border reproduces the last sample
    LinearVert8u(&out8, 1, 16384, &h, &h);
    EXPECT_EQ(out8, 255);

    const uint16_t pair16[2] = {0, 65535};
    uint16_t h16 = 0, out16 = 0;
    LinearHorz16u_C1(pair16, 1, index, half, &h16);
    EXPECT_EQ(h16, 32768); // 32767.5 rounds up
    LinearHorz16u_C1(pair16, 1, index, last, &h16);
    EXPECT_EQ(h16, 65535);
    LinearVert16u(&out16, 1, 8192, &h16, &h16);
    EXPECT_EQ(out16, 65535);

    const int16_t pairS[2] = {-32768, 32767};
    int16_t hS = 0, outS = 0;
    LinearHorz16s_C1(pairS, 1, index, half, &hS);
    EXPECT_EQ(hS, 0); // -0.5 rounds up to 0
    const int16_t first[2] = {16384, 0};
    LinearHorz16s_C1(pairS, 1, index, first, &hS);
    EXPECT_EQ(hS, -32768);
    const int16_t lowS = -32768, highS = 32767;
    LinearVert16s(&outS, 1, 16384, &lowS, &highS);
    EXPECT_EQ(outS, 32767);
    LinearVert16s(&outS, 1, 0, &lowS, &highS);
    EXPECT_EQ(outS, -32768);

    // Weights no engine builds saturate instead of wrapping.
    const int16_t heavy[2] = {32767, 32767};
    const uint16_t big[2] = {65535, 65535};
    LinearHorz16u_C1(big, 1, index, heavy, &h16);
    EXPECT_EQ(h16, 65535);
    LinearHorz8u_C1(pair8, 1, index, heavy, &h);
    EXPECT_EQ(h, 32639); // (255 x 32767 + 128) >> 8
    LinearVert8u(&out8, 1, 0, &h, &h);
    EXPECT_EQ(out8, 255);

    const float pairF[2] = {2.0f, 6.0f};
    const float quarter = 0.25f;
    float hF = 0.0f, outF = 0.0f;
    LinearHorz32f_C1(pairF, 1, index, &quarter, &hF);
    EXPECT_EQ(hF, 3.0f);
    const float a = 1.0f, b = 5.0f;
    LinearVert32f(&outF, 1, 0.75f, &a, &b);
    EXPECT_EQ(outF, 4.0f);
}

TEST(LinearPasses, VectorPassesEqualTheirScalarEquivalentsForEveryCountAndAlignment)
{
    std::mt19937 rng(5);
    for (int count = 0; count <= 67; ++count) {
        const auto src = RandomSamples<uint8_t>(size_t(count) * 8 + 16, uint32_t(count));
        std::vector<int32_t> index(static_cast<size_t>(count));
        // Any weights at all: both sides must agree even where the values saturate or wrap.
        std::vector<int16_t> weights(2 * size_t(count));
        for (auto& w : weights)
            w = int16_t(rng());
        for (int stride : {1, 3, 4}) {
            for (auto& i : index)
                i = int32_t(rng() % uint32_t(count + 1)) * stride;
            const int values = count * (stride == 1 ? 1 : (stride == 4 ? 4 : 3));
            std::vector<int16_t> vector(size_t(values) + 8, 7), plain(size_t(values) + 8, 7);
            if (stride == 1) {
                LinearHorz8u_C1(src.data(), count, index.data(), weights.data(), vector.data());
                LinearHorz8u_C1ScalarEquivalent(src.data(), count, index.data(), weights.data(),
                                                plain.data());
            } else if (stride == 4) {
                LinearHorz8u_C4(src.data(), count, index.data(), weights.data(), vector.data());
                LinearHorz8u_C4ScalarEquivalent(src.data(), count, index.data(), weights.data(),
                                                plain.data());
                std::vector<int16_t> three(size_t(count) * 3 + 8, 7), threePlain(three);
                LinearHorz8u_C3(src.data(), count, index.data(), weights.data(), three.data(), 4);
                LinearHorz8u_C3ScalarEquivalent(src.data(), count, index.data(), weights.data(),
                                     threePlain.data(), 4);
                ASSERT_EQ(three, threePlain) << "C3 at stride 4, count " << count;
            } else {
                LinearHorz8u_C3(src.data(), count, index.data(), weights.data(), vector.data(), 3);
                LinearHorz8u_C3ScalarEquivalent(src.data(), count, index.data(), weights.data(), plain.data(),
                                                3);
            }
            ASSERT_EQ(vector, plain) << "stride " << stride << " count " << count;
        }

        const auto upper = RandomSamples<int16_t>(size_t(count) * 3 + 4, uint32_t(count + 100));
        const auto lower = RandomSamples<int16_t>(size_t(count) * 3 + 4, uint32_t(count + 200));
        for (int misalign = 0; misalign < 16; ++misalign) {
            const auto w = uint16_t(misalign < 8 ? rng() % 16385 : rng());
            GuardedPlane<uint8_t> vector(count, 1, misalign), plain(count, 1, misalign);
            LinearVert8u(vector.Data(), count, w, upper.data(), lower.data());
            LinearVert8uScalarEquivalent(plain.Data(), count, w, upper.data(), lower.data());
            ASSERT_TRUE(vector.Intact());
            for (int i = 0; i < count; ++i)
                ASSERT_EQ(vector.At(0, i), plain.At(0, i)) << "count " << count << " at " << i;

            GuardedPlane<uint8_t> vector4(4 * count, 1, misalign), plain4(4 * count, 1, misalign);
            LinearVert8u_AC4(vector4.Data(), count, w, upper.data(), lower.data());
            LinearVert8u_AC4ScalarEquivalent(plain4.Data(), count, w, upper.data(), lower.data());
            ASSERT_TRUE(vector4.Intact());
            for (int i = 0; i < 4 * count; ++i) {
                ASSERT_EQ(vector4.At(0, i), plain4.At(0, i)) << "AC4 count " << count << " at " << i;
                if (i % 4 == 3) {
                    ASSERT_EQ(vector4.At(0, i), vector4.Original(0, i));
                }
            }
        }
    }
}

TEST(ResizeLinearRows, EverySlotEqualsTheNaiveEvaluation)
{
    uint32_t seed = 1;
    for (const Layout& l : kLayouts) {
        for (int step : {1, -1}) {
            for (int width : {1, 2, 3, 5, 8, 9, 16, 17, 31}) {
                for (int maxJump : {0, 1, 3, 12}) {
                    const LinearCase c{l.channels, l.pixelStride, width, 9, step, maxJump, 0, ++seed};
                    SCOPED_TRACE(testing::Message()
                                 << "slot " << l.slot << " stride " << l.pixelStride << " step " << step
                                 << " width " << width << " jump " << maxJump);
                    RunLinear<uint8_t>(ResizeKernelTable[size_t(l.slot)], c);
                    RunLinear<uint16_t>(ResizeKernelTable[size_t(l.slot + 1)], c);
                    RunLinear<float>(ResizeKernelTable[size_t(l.slot + 2)], c);
                    RunLinear<int16_t>(ResizeKernelTable[size_t(l.slot + 3)], c);
                }
            }
        }
    }
}

TEST(ResizeLinearRows, VectorKernelsEqualTheirScalarEquivalents)
{
    const ResizeKernel plain[] = {
        ResizeLinearRows8u_C1ScalarEquivalent, ResizeLinearRows8u_MCScalarEquivalent,
        ResizeLinearRows8u_MCScalarEquivalent, ResizeLinearRows8u_MCScalarEquivalent};
    for (int i = 0; i < 4; ++i) {
        for (int misalign = 0; misalign < 16; misalign += 3) {
            for (int width : {1, 4, 13, 40}) {
                const LinearCase c{kLayouts[i].channels,
                                   kLayouts[i].pixelStride,
                                   width,
                                   12,
                                   misalign % 2 ? -1 : 1,
                                   4,
                                   misalign,
                                   uint32_t(500 + width + misalign)};
                EXPECT_EQ(RunLinear<uint8_t>(ResizeKernelTable[size_t(kLayouts[i].slot)], c),
                          RunLinear<uint8_t>(plain[i], c))
                    << "layout " << i << " width " << width << " misalign " << misalign;
            }
        }
    }
}

TEST(ResizeLinearRows, TwoByTwoToFourByFourTopDownAndBottomUp)
{
    // The tables the engine builds for a factor of 2: positions 0, 1/3, 2/3, 1.
    const int32_t columns[4] = {0, 0, 0, 0};
    const int16_t colWeights[8] = {16384, 0, 10923, 5461, 5462, 10922, 0, 16384};
    const uint16_t rowWeights[4] = {0, 5461, 10922, 16384};
    const uint8_t expected[16] = {0, 85, 170, 255, 85, 113, 142, 170,
                                  170, 142, 113, 85, 255, 170, 85, 0};
    for (int step : {2, -2}) {
        // Rows 0 255 and 255 0; bottom-up they are stored in the other order.
        const uint8_t stored[4] = {uint8_t(step > 0 ? 0 : 255), uint8_t(step > 0 ? 255 : 0),
                                   uint8_t(step > 0 ? 255 : 0), uint8_t(step > 0 ? 0 : 255)};
        const int32_t rows[4] = {0, 0, 0, 0};
        int16_t a[8], b[8];
        uint8_t dst[16] = {};
        ResizeKernelArgs args;
        args.src = step > 0 ? stored : stored + 2;
        args.dst = dst;
        args.srcStep = step;
        args.dstStep = 4;
        args.dstWidth = 4;
        args.dstHeight = 4;
        args.rowOffsets = rows;
        args.colOffsets = columns;
        args.rowWeights = rowWeights;
        args.colWeights = colWeights;
        args.rowBuffers[0] = a;
        args.rowBuffers[1] = b;
        ResizeKernelTable[kSlotLinearC1](args);
        EXPECT_EQ(std::vector<uint8_t>(dst, dst + 16), std::vector<uint8_t>(expected, expected + 16))
            << "step " << step;
    }
}

namespace {

// Passes that count the source rows they filter and fill the row with its offset.
struct CountingPasses {
    using Arithmetic = LinearArithmetic32f;
    static inline std::vector<int64_t> filtered;
    static inline const float* origin = nullptr;
    static void HorizontalC1(const float* src, int32_t width, const int32_t*, const float*, float* out)
    {
        filtered.push_back(src - origin);
        for (int32_t i = 0; i < width; ++i)
            out[i] = float(src - origin);
    }
    static void HorizontalC3(const float*, int32_t, const int32_t*, const float*, float*, int32_t) {}
    static void HorizontalC4(const float*, int32_t, const int32_t*, const float*, float*) {}
    static void VerticalPacked(float* dst, int32_t count, float, const float* upper,
                               const float* lower)
    {
        for (int32_t i = 0; i < count; ++i)
            dst[i] = upper[i] * 1000.0f + lower[i];
    }
    static void VerticalAC4(float*, int32_t, float, const float*, const float*) {}
};

} // namespace

TEST(ResizeLinearRows, FilterEachSourceRowOnceAndReuseTheCache)
{
    static float source[64] = {};
    for (int step : {4, -4}) {
        CountingPasses::filtered.clear();
        const float* origin = step > 0 ? source : source + 60;
        CountingPasses::origin = origin;
        // An enlargement by 3 of rows 0-3, then a jump of 5 rows, a repeat and a one-row advance.
        const int32_t rowsInRows[] = {0, 0, 0, 1, 1, 1, 2, 2, 2, 7, 7, 8};
        std::vector<int32_t> rows;
        for (int32_t r : rowsInRows)
            rows.push_back(r * step);
        const float weights[12] = {};
        float a[8], b[8], dst[12 * 2];
        ResizeKernelArgs args;
        args.src = origin;
        args.dst = dst;
        args.srcStep = step;
        args.dstStep = 2;
        args.dstWidth = 2;
        args.dstHeight = 12;
        args.rowOffsets = rows.data();
        args.rowWeights = weights;
        args.rowBuffers[0] = a;
        args.rowBuffers[1] = b;
        LinearRows<CountingPasses, false>(args);
        const std::vector<int64_t> expected = {0, 1 * step, 2 * step, 3 * step,
                                               8 * step, 7 * step, 9 * step};
        EXPECT_EQ(CountingPasses::filtered, expected) << "step " << step;
        // Every destination row saw its own upper and lower rows.
        for (int y = 0; y < 12; ++y)
            EXPECT_EQ(dst[2 * y], float(rows[size_t(y)]) * 1000.0f + float(rows[size_t(y)] + step))
                << y;
    }
}
