// Cubic and four-tap resize: the conversions of the vertical passes at their edges, the 8-bit
// vector passes against their scalar equivalents at every count and alignment, every cubic and
// four-tap slot against a naive evaluation of the formulas that filters the four source rows
// afresh for every destination row, the ring's horizontal passes per advance, and whole resizes
// through ResizePlane (a quadratic reproduced exactly, constants kept, overshoot clamped).
#include <gtest/gtest.h>

#include "ResizeCubicArithmetic.h"
#include "ResizeEngine.h"
#include "ResizeKernels.h"
#include "ResizePasses.h"
#include "ResizeRowDrivers.h"
#include "ResizeTestSupport.h"

#include <cmath>
#include <limits>

using namespace imaging;
using namespace imaging_test;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// The cubic through P-1, P0, P1, P2 at t, written out once more from the text: s = t + 1,
// k2 = t (t + 1) 0.5, k3 = (t - 1) k2 x 0.333333313 in four-wide bodies and / 3 one at a time.
float ReferenceCubic(float pm1, float p0, float p1, float p2, float t, bool fourWide)
{
    const float s = t + 1.0f;
    const float d1 = p0 - pm1;
    const float d2 = (p1 - p0) - d1;
    const float d3 = ((p2 - 2.0f * p1) + p0) - d2;
    const float k2 = (t * s) * 0.5f;
    if (fourWide) {
        const float k3 = ((t - 1.0f) * k2) * 0.333333313f;
        return (pm1 + s * d1) + (k2 * d2 + k3 * d3);
    }
    const float k3 = ((t - 1.0f) * k2) / 3.0f;
    return ((pm1 + k3 * d3) + k2 * d2) + s * d1;
}

float ReferenceTaps4(float p0, float p1, float p2, float p3, const float* w)
{
    return (w[0] * p0 + w[1] * p1) + (w[2] * p2 + w[3] * p3);
}

template <typename T> constexpr double kLow = std::is_signed_v<T> ? -32768.0 : 0.0;
template <typename T>
constexpr double kHigh = std::is_same_v<T, uint8_t> ? 255.0
                                                    : (std::is_signed_v<T> ? 32767.0 : 65535.0);

// Truncation toward zero of the biased value, then the type's range; not-a-number gives 0.
template <typename T> T Saturated(double biased)
{
    if (std::isnan(biased))
        return T(0);
    return T(std::min(std::max(std::trunc(biased), kLow<T>), kHigh<T>));
}

// The four-wide conversion (bias added in single precision) and the one-at-a-time one (double).
template <typename T> T ReferenceQuadSample(float v)
{
    if constexpr (std::is_same_v<T, float>)
        return v;
    else
        return Saturated<T>(double(v + 0.50000012f));
}

template <typename T> T ReferenceSingleSample(float v)
{
    if constexpr (std::is_same_v<T, float>)
        return v;
    else
        return Saturated<T>(double(v) + 0.5000001);
}

template <typename T> bool SameBits(T a, T b)
{
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}

enum class Method { Cubic, Taps4 };

struct RingCase {
    Method method;
    int channels;
    int pixelStride;
    int width;
    int height;
    int step; // +1 top-down, -1 bottom-up
    int maxJump;
    int misalign;
    uint32_t seed;
};

// One cubic or four-tap kernel on random tables against the naive evaluation; returns the output.
template <typename T> std::vector<T> RunRing(ResizeKernel kernel, const RingCase& c)
{
    std::mt19937 rng(c.seed);
    const int stride = c.channels == 1 ? 1 : c.pixelStride;
    const int srcPixels = 4 + int(rng() % 30), srcRows = 4 + int(rng() % 20);
    TightSource<T> src(srcPixels * stride, srcRows, c.seed + 1);
    const T* origin = c.step > 0 ? src.Data() : src.Row(srcRows - 1);
    const int32_t step = c.step * src.Step();

    // Rows r - 1 .. r + 2 and pixels base - 1 .. base + 2 inside the source.
    std::vector<int32_t> rows = RandomRowIndices(c.height, srcRows - 3, c.maxJump, rng);
    for (auto& r : rows)
        r = (r + 1) * step;
    std::vector<int32_t> columns(size_t(c.width));
    for (auto& x : columns)
        x = (1 + int32_t(rng() % uint32_t(srcPixels - 3))) * stride;
    const int floats = c.method == Method::Cubic ? 1 : 4;
    std::uniform_real_distribution<float> any(-1.0f, 2.0f);
    std::vector<float> colWeights(size_t(c.width * floats)), rowWeights(size_t(c.height * floats));
    for (auto& w : colWeights)
        w = any(rng);
    for (auto& w : rowWeights)
        w = any(rng);

    const int values = c.width * c.channels;
    std::vector<std::vector<float>> buffers(4, std::vector<float>(size_t(values)));
    GuardedPlane<T> dst(c.width * stride, c.height, (c.misalign * int(sizeof(T))) % 16, c.seed + 2);

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
    for (int k = 0; k < 4; ++k)
        args.rowBuffers[k] = buffers[size_t(k)].data();
    args.pixelStride = c.channels == 1 ? 0 : c.pixelStride;
    args.channelCount = c.channels == 1 ? 0 : c.channels;
    kernel(args);
    EXPECT_TRUE(dst.Intact());

    // One source row filtered by the formulas: the one-channel cubic takes its last width mod 4
    // columns one at a time, every other horizontal pass is four-wide.
    const auto filtered = [&](const T* row) {
        std::vector<float> out;
        for (int x = 0; x < c.width; ++x) {
            for (int ch = 0; ch < c.channels; ++ch) {
                const T* p = row + columns[size_t(x)] + ch;
                const float p0 = float(p[-stride]), p1 = float(p[0]), p2 = float(p[stride]),
                            p3 = float(p[2 * stride]);
                if (c.method == Method::Taps4) {
                    out.push_back(ReferenceTaps4(p0, p1, p2, p3, &colWeights[size_t(4 * x)]));
                } else {
                    const bool fourWide = c.channels != 1 || x < (c.width & ~3);
                    out.push_back(ReferenceCubic(p0, p1, p2, p3, colWeights[size_t(x)], fourWide));
                }
            }
        }
        return out;
    };

    std::vector<T> out;
    for (int y = 0; y < c.height; ++y) {
        std::vector<float> h[4];
        for (int k = 0; k < 4; ++k)
            h[k] = filtered(origin + rows[size_t(y)] + (k - 1) * step);
        // Vertical: samples j of the row (three a pixel when the fourth is kept).
        const bool keepsFourth = c.channels == 3 && stride == 4;
        const int samples = keepsFourth ? 3 * c.width : c.width * c.channels;
        for (int x = 0; x < c.width; ++x) {
            for (int ch = 0; ch < stride; ++ch) {
                const T got = dst.At(y, x * stride + ch);
                out.push_back(got);
                T want = dst.Original(y, x * stride + ch);
                if (ch < c.channels) {
                    const size_t j = size_t(x * c.channels + ch);
                    if (c.method == Method::Taps4) {
                        want = ReferenceQuadSample<T>(ReferenceTaps4(
                            h[0][j], h[1][j], h[2][j], h[3][j], &rowWeights[size_t(4 * y)]));
                    } else {
                        const float t = rowWeights[size_t(y)];
                        const bool fourWide = int(j) < (samples & ~3);
                        const float v =
                            ReferenceCubic(h[0][j], h[1][j], h[2][j], h[3][j], t, fourWide);
                        want = fourWide ? ReferenceQuadSample<T>(v) : ReferenceSingleSample<T>(v);
                    }
                }
                if (!SameBits(got, want)) {
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
    int channels;
    int pixelStride;
};

constexpr Layout kLayouts[] = {{1, 1}, {3, 3}, {3, 4}, {4, 4}};

// Four rows of one value each, so that the cubic at t = 0 is the value itself on both paths.
std::vector<float> Constant(float v, int n)
{
    return std::vector<float>(size_t(n), v);
}

} // namespace

TEST(CubicPasses, VerticalConversionsOfEachTypeAndPath)
{
    // Five samples: the first four go through the four-wide body, the fifth one at a time.
    const auto convert = [](auto* dst, float v) {
        const auto row = Constant(v, 5);
        const float* const rows[4] = {row.data(), row.data(), row.data(), row.data()};
        using T = std::remove_pointer_t<decltype(dst)>;
        if constexpr (std::is_same_v<T, uint8_t>)
            CubicVert8u(dst, 5, 0.0f, rows);
        else if constexpr (std::is_same_v<T, uint16_t>)
            CubicVert16u(dst, 5, 0.0f, rows);
        else
            CubicVert32f(dst, 5, 0.0f, rows);
    };
    const struct {
        float v;
        int body;
        int tail;
    } bytes[] = {{255.4f, 255, 255}, {2.5f, 3, 3},       {2.4f, 2, 2},       {-0.2f, 0, 0},
                 {-0.7f, 0, 0},      {300.0f, 255, 255}, {3e9f, 255, 255},   {-3e9f, 0, 0},
                 {kNaN, 0, 0},       {127.5f, 128, 128}, {0.49999988f, 1, 0}};
    for (const auto& e : bytes) {
        uint8_t out[6] = {7, 7, 7, 7, 7, 7};
        convert(out, e.v);
        EXPECT_EQ(out[0], e.body) << e.v;
        EXPECT_EQ(out[3], e.body) << e.v;
        EXPECT_EQ(out[4], e.tail) << e.v;
        EXPECT_EQ(out[5], 7) << e.v;
        uint8_t plain[6] = {7, 7, 7, 7, 7, 7};
        const auto row = Constant(e.v, 5);
        const float* const rows[4] = {row.data(), row.data(), row.data(), row.data()};
        CubicVert8uScalarEquivalent(plain, 5, 0.0f, rows);
        EXPECT_EQ(std::vector<uint8_t>(plain, plain + 6), std::vector<uint8_t>(out, out + 6));
    }
    const struct {
        float v;
        int expected;
    } words[] = {{65535.4f, 65535}, {70000.0f, 65535}, {-5.0f, 0},
                 {2.5f, 3},         {kNaN, 0},         {1e12f, 65535}};
    for (const auto& e : words) {
        uint16_t out[5] = {};
        convert(out, e.v);
        EXPECT_EQ(out[0], e.expected) << e.v;
        EXPECT_EQ(out[4], e.expected) << e.v;
    }
    float real[5] = {};
    convert(real, -1234.5f);
    EXPECT_EQ(real[0], -1234.5f);
    EXPECT_EQ(real[4], -1234.5f);

    // Four-tap: the bias in single precision on every sample, signed 16-bit included.
    const float pick[4] = {0.0f, 1.0f, 0.0f, 0.0f};
    const struct {
        float v;
        int expected;
    } shorts[] = {{-2.3f, -1},       {-1.7f, -1}, {-0.4f, 0}, {-40000.0f, -32768},
                  {40000.0f, 32767}, {kNaN, 0},   {2.5f, 3}};
    for (const auto& e : shorts) {
        const auto row = Constant(e.v, 5);
        const float* const rows[4] = {row.data(), row.data(), row.data(), row.data()};
        int16_t out[5] = {};
        Taps4Vert16s(out, 5, pick, rows);
        EXPECT_EQ(out[0], e.expected) << e.v;
        EXPECT_EQ(out[4], e.expected) << e.v;
    }
    // A count of 0 writes nothing.
    uint8_t untouched = 9;
    const auto row = Constant(1.0f, 1);
    const float* const rows[4] = {row.data(), row.data(), row.data(), row.data()};
    CubicVert8u(&untouched, 0, 0.5f, rows);
    Taps4Vert8u(&untouched, 0, pick, rows);
    EXPECT_EQ(untouched, 9);
}

TEST(CubicPasses, HorizontalPassesPassThroughTheirSamples)
{
    // At t = -1, 0 and 1 the cubic is the sample at that position exactly, on both paths (the
    // fifth column is taken one at a time); at t = 2 the last sample up to rounding.
    const uint8_t src[8] = {0, 17, 200, 3, 250, 99, 1, 128};
    for (float t : {-1.0f, 0.0f, 1.0f, 2.0f}) {
        const int32_t index[5] = {1, 2, 3, 4, 1};
        const float fractions[5] = {t, t, t, t, t};
        float out[5];
        CubicHorz8u_C1(src, 5, index, fractions, out);
        for (int x = 0; x < 5; ++x) {
            const float expected = src[index[x] + int(t)];
            if (t < 2.0f)
                EXPECT_EQ(out[x], expected) << t << " " << x;
            else
                EXPECT_NEAR(out[x], expected, 1e-3f) << x;
        }
    }
    // Four-tap weights (0, 1, 0, 0) copy the base pixel of every layout.
    const float unit[8] = {0, 1, 0, 0, 0, 1, 0, 0};
    const int32_t pixels[2] = {4, 8};
    uint8_t wide[20];
    for (int i = 0; i < 20; ++i)
        wide[i] = uint8_t(i * 11);
    float four[8], three[6];
    Taps4Horz8u_C4(wide, 2, pixels, unit, four);
    Taps4Horz8u_C3(wide, 2, pixels, unit, three, 4);
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(four[c], float(wide[4 + c]));
        EXPECT_EQ(four[4 + c], float(wide[8 + c]));
    }
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(three[c], float(wide[4 + c]));
        EXPECT_EQ(three[3 + c], float(wide[8 + c]));
    }
}

TEST(CubicPasses, VectorPassesEqualTheirScalarEquivalentsForEveryCountAndAlignment)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> fraction(-1.0f, 2.0f), weight(-1.5f, 2.5f),
        value(-400.0f, 700.0f);
    for (int count = 0; count <= 67; ++count) {
        const auto src = RandomSamples<uint8_t>(size_t(count) * 16 + 32, uint32_t(count));
        std::vector<int32_t> index(static_cast<size_t>(count));
        std::vector<float> fractions(static_cast<size_t>(count)), weights(4 * size_t(count));
        for (auto& f : fractions)
            f = fraction(rng);
        for (auto& w : weights)
            w = weight(rng);
        for (int stride : {1, 3, 4}) {
            for (auto& i : index)
                i = (1 + int32_t(rng() % uint32_t(count + 1))) * stride;
            const int perPixel = stride == 1 ? 1 : (stride == 4 ? 4 : 3);
            const size_t n = size_t(count * perPixel);
            std::vector<float> vector(n), plain(n), vectorTaps(n), plainTaps(n);
            if (stride == 1) {
                CubicHorz8u_C1(src.data(), count, index.data(), fractions.data(),
                                   vector.data());
                CubicHorz8u_C1ScalarEquivalent(src.data(), count, index.data(), fractions.data(),
                                    plain.data());
                Taps4Horz8u_C1(src.data(), count, index.data(), weights.data(),
                                   vectorTaps.data());
                Taps4Horz8u_C1ScalarEquivalent(src.data(), count, index.data(), weights.data(),
                                    plainTaps.data());
            } else if (stride == 4) {
                CubicHorz8u_C4(src.data(), count, index.data(), fractions.data(),
                                   vector.data());
                CubicHorz8u_C4ScalarEquivalent(src.data(), count, index.data(), fractions.data(),
                                    plain.data());
                Taps4Horz8u_C4(src.data(), count, index.data(), weights.data(),
                                   vectorTaps.data());
                Taps4Horz8u_C4ScalarEquivalent(src.data(), count, index.data(), weights.data(),
                                    plainTaps.data());
                std::vector<float> three(size_t(3 * count)), threePlain(three.size());
                CubicHorz8u_C3(src.data(), count, index.data(), fractions.data(), three.data(),
                                   4);
                CubicHorz8u_C3ScalarEquivalent(src.data(), count, index.data(), fractions.data(),
                                    threePlain.data(), 4);
                ASSERT_EQ(FloatBits(three), FloatBits(threePlain))
                    << "cubic C3 at stride 4, count " << count;
                Taps4Horz8u_C3(src.data(), count, index.data(), weights.data(), three.data(),
                                   4);
                Taps4Horz8u_C3ScalarEquivalent(src.data(), count, index.data(), weights.data(),
                                    threePlain.data(), 4);
                ASSERT_EQ(FloatBits(three), FloatBits(threePlain))
                    << "four-tap C3 at stride 4, count " << count;
            } else {
                CubicHorz8u_C3(src.data(), count, index.data(), fractions.data(), vector.data(),
                                   3);
                CubicHorz8u_C3ScalarEquivalent(src.data(), count, index.data(), fractions.data(),
                                               plain.data(), 3);
                Taps4Horz8u_C3(src.data(), count, index.data(), weights.data(),
                                   vectorTaps.data(), 3);
                Taps4Horz8u_C3ScalarEquivalent(src.data(), count, index.data(), weights.data(),
                                    plainTaps.data(), 3);
            }
            ASSERT_EQ(FloatBits(vector), FloatBits(plain))
                << "cubic stride " << stride << " count " << count;
            ASSERT_EQ(FloatBits(vectorTaps), FloatBits(plainTaps))
                << "four-tap stride " << stride << " count " << count;
        }

        // Vertical: values beyond both ends of the range and a few not-a-numbers.
        std::vector<std::vector<float>> rowData(4, std::vector<float>(size_t(3 * count)));
        for (auto& row : rowData)
            for (auto& v : row)
                v = rng() % 50 == 0 ? kNaN : value(rng);
        const float* const rows[4] = {rowData[0].data(), rowData[1].data(), rowData[2].data(),
                                      rowData[3].data()};
        for (int misalign = 0; misalign < 16; ++misalign) {
            const float t = fraction(rng);
            const float* w = weights.empty() ? fractions.data() : weights.data();
            const float fallback[4] = {0.25f, 0.25f, 0.25f, 0.25f};
            if (weights.empty())
                w = fallback;
            for (int kind = 0; kind < 4; ++kind) {
                const bool ac4 = kind % 2 == 1;
                const bool taps = kind >= 2;
                const int width = ac4 ? 4 * count : count;
                GuardedPlane<uint8_t> vector(width, 1, misalign), plain(width, 1, misalign);
                if (taps && ac4) {
                    Taps4Vert8u_AC4(vector.Data(), count, w, rows);
                    Taps4Vert8u_AC4ScalarEquivalent(plain.Data(), count, w, rows);
                } else if (taps) {
                    Taps4Vert8u(vector.Data(), count, w, rows);
                    Taps4Vert8uScalarEquivalent(plain.Data(), count, w, rows);
                } else if (ac4) {
                    CubicVert8u_AC4(vector.Data(), count, t, rows);
                    CubicVert8u_AC4ScalarEquivalent(plain.Data(), count, t, rows);
                } else {
                    CubicVert8u(vector.Data(), count, t, rows);
                    CubicVert8uScalarEquivalent(plain.Data(), count, t, rows);
                }
                ASSERT_TRUE(vector.Intact()) << kind << " count " << count;
                for (int i = 0; i < width; ++i) {
                    ASSERT_EQ(vector.At(0, i), plain.At(0, i))
                        << "kind " << kind << " count " << count << " at " << i;
                    if (ac4 && i % 4 == 3) {
                        ASSERT_EQ(vector.At(0, i), vector.Original(0, i));
                    }
                }
            }
        }
    }
}

TEST(ResizeCubicRows, EverySlotEqualsTheNaiveEvaluation)
{
    uint32_t seed = 1;
    for (const Layout& l : kLayouts) {
        const bool one = l.channels == 1;
        const int cubic = one ? kSlotCubicC1 : kSlotCubicMC;
        const int taps = one ? kSlotTaps4C1 : kSlotTaps4MC;
        for (int step : {1, -1}) {
            for (int width : {1, 2, 3, 4, 5, 7, 8, 9, 13, 22}) {
                for (int maxJump : {0, 1, 2, 3, 5, 12}) {
                    SCOPED_TRACE(testing::Message()
                                 << "channels " << l.channels << " stride " << l.pixelStride
                                 << " step " << step << " width " << width << " jump " << maxJump);
                    RingCase c{Method::Cubic, l.channels, l.pixelStride, width, 11, step,
                               maxJump,       0,          ++seed};
                    RunRing<uint8_t>(ResizeKernelTable[size_t(cubic)], c);
                    RunRing<uint16_t>(ResizeKernelTable[size_t(cubic + 1)], c);
                    RunRing<float>(ResizeKernelTable[size_t(cubic + 2)], c);
                    c.method = Method::Taps4;
                    RunRing<uint8_t>(ResizeKernelTable[size_t(taps)], c);
                    RunRing<uint16_t>(ResizeKernelTable[size_t(taps + 1)], c);
                    RunRing<float>(ResizeKernelTable[size_t(taps + 2)], c);
                    RunRing<int16_t>(ResizeKernelTable[size_t(taps + 3)], c);
                }
            }
        }
    }
}

TEST(ResizeCubicRows, VectorKernelsEqualTheirScalarEquivalents)
{
    for (const Layout& l : kLayouts) {
        const bool one = l.channels == 1;
        const ResizeKernel cubic[2] = {ResizeKernelTable[one ? kSlotCubicC1 : kSlotCubicMC],
                                       one ? ResizeCubicRows8u_C1ScalarEquivalent
                                           : ResizeCubicRows8u_MCScalarEquivalent};
        const ResizeKernel taps[2] = {ResizeKernelTable[one ? kSlotTaps4C1 : kSlotTaps4MC],
                                      one ? ResizeTaps4Rows8u_C1ScalarEquivalent
                                          : ResizeTaps4Rows8u_MCScalarEquivalent};
        for (int misalign = 0; misalign < 16; misalign += 3) {
            for (int width : {1, 4, 13, 40}) {
                RingCase c{Method::Cubic,
                           l.channels,
                           l.pixelStride,
                           width,
                           12,
                           misalign % 2 ? -1 : 1,
                           4,
                           misalign,
                           uint32_t(700 + width + misalign)};
                EXPECT_EQ(RunRing<uint8_t>(cubic[0], c), RunRing<uint8_t>(cubic[1], c))
                    << "cubic, channels " << l.channels << " width " << width;
                c.method = Method::Taps4;
                EXPECT_EQ(RunRing<uint8_t>(taps[0], c), RunRing<uint8_t>(taps[1], c))
                    << "four-tap, channels " << l.channels << " width " << width;
            }
        }
    }
}

namespace {

// Passes that record the source rows they filter and fill the row with its offset; the vertical
// pass writes the four offsets it was handed.
struct RecordingPasses {
    using Sample = float;
    static constexpr int kRowFloats = 1;
    static inline std::vector<int64_t> filtered;
    static inline const float* origin = nullptr;
    static void HorizontalC1(const float* src, int32_t width, const int32_t*, const float*,
                             float* out)
    {
        filtered.push_back(src - origin);
        for (int32_t i = 0; i < width; ++i)
            out[i] = float(src - origin);
    }
    static void HorizontalC3(const float*, int32_t, const int32_t*, const float*, float*, int32_t)
    {
    }
    static void HorizontalC4(const float*, int32_t, const int32_t*, const float*, float*) {}
    static void VerticalPacked(float* dst, int32_t, float, const float* const rows[4])
    {
        for (int k = 0; k < 4; ++k)
            dst[k] = rows[k][0];
    }
    static void VerticalAC4(float*, int32_t, float, const float* const[4]) {}
};

} // namespace

TEST(ResizeCubicRows, AnAdvanceByKRowsFiltersMinKAndFourRows)
{
    static float source[40 * 4] = {};
    for (int step : {4, -4}) {
        RecordingPasses::filtered.clear();
        const float* origin = step > 0 ? source + 4 : source + 39 * 4;
        RecordingPasses::origin = origin;
        // Repeats, advances by one, two and three rows, and a jump of ten.
        const int32_t rowsInRows[] = {1, 1, 2, 2, 4, 7, 7, 8, 18, 19};
        std::vector<int32_t> rows;
        for (int32_t r : rowsInRows)
            rows.push_back(r * step);
        const float fractions[10] = {};
        std::vector<float> a(4), b(4), c(4), d(4), dst(10 * 4);
        ResizeKernelArgs args;
        args.src = origin;
        args.dst = dst.data();
        args.srcStep = step;
        args.dstStep = 4;
        args.dstWidth = 1;
        args.dstHeight = 10;
        args.rowOffsets = rows.data();
        args.rowWeights = fractions;
        args.rowBuffers[0] = a.data();
        args.rowBuffers[1] = b.data();
        args.rowBuffers[2] = c.data();
        args.rowBuffers[3] = d.data();
        CubicRows<RecordingPasses, false>(args);
        std::vector<int64_t> expected;
        for (int r : {0, 1, 2, 3, 4, 6, 5, 9, 8, 7, 10, 20, 19, 18, 17, 21})
            expected.push_back(int64_t(r) * step);
        EXPECT_EQ(RecordingPasses::filtered, expected) << "step " << step;
        // Every destination row saw source rows r - 1 .. r + 2 from top to bottom.
        for (int y = 0; y < 10; ++y)
            for (int k = 0; k < 4; ++k)
                EXPECT_EQ(dst[size_t(4 * y + k)], float(rows[size_t(y)] + (k - 1) * step)) << y;
    }
}

TEST(ResizePlane, CubicReproducesAQuadraticExactly)
{
    // q = 4x^2 + 6y^2 + 3 on a 5 x 5 source, enlarged to 9 x 9: destination (i, j) samples the
    // source at (i / 2, j / 2) and gives floor(q + 0.5) there, halves rounding up.
    uint8_t src[25];
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 5; ++x)
            src[y * 5 + x] = uint8_t(4 * x * x + 6 * y * y + 3);
    for (int step : {5, -5}) {
        uint8_t stored[25];
        for (int y = 0; y < 5; ++y)
            std::memcpy(stored + (step > 0 ? y : 4 - y) * 5, src + y * 5, 5);
        GuardedPlane<uint8_t> dst(9, 9, 3);
        ASSERT_EQ(ResizePlane(step > 0 ? stored : stored + 20, 5, 5, step, {0, 0, 5, 5}, dst.Data(),
                              dst.Step(), 9, 9, 1.8, 1.8, kResizeCubic),
                  StatusOk);
        EXPECT_TRUE(dst.Intact());
        for (int j = 0; j < 9; ++j) {
            for (int i = 0; i < 9; ++i) {
                const double q = 4.0 * (i / 2.0) * (i / 2.0) + 6.0 * (j / 2.0) * (j / 2.0) + 3.0;
                EXPECT_EQ(dst.At(j, i), int(std::floor(q + 0.5)))
                    << "step " << step << " " << j << " " << i;
            }
        }
    }
}

TEST(ResizePlane, CubicKeepsConstantsAndClampsOvershoot)
{
    // A constant stays constant whatever the factors.
    for (auto [dw, dh] : {std::array{50, 33}, std::array{11, 7}, std::array{23, 61}}) {
        const std::vector<uint8_t> flat(23 * 17, 200);
        std::vector<uint8_t> out(size_t(dw * dh));
        ASSERT_EQ(ResizePlane(flat.data(), 23, 17, 23, {0, 0, 23, 17}, out.data(), dw, dw, dh,
                              dw / 23.0, dh / 17.0, kResizeCubic),
                  StatusOk);
        EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](uint8_t b) { return b == 200; }));
    }
    // A step from 0 to 255 overshoots on both sides; the results clamp rather than wrap, and
    // follow the cubic evaluated in double precision otherwise.
    std::vector<uint8_t> edge(16 * 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x)
            edge[size_t(y * 16 + x)] = x < 8 ? 0 : 255;
    std::vector<uint8_t> out(45 * 8);
    ASSERT_EQ(ResizePlane(edge.data(), 16, 8, 16, {0, 0, 16, 8}, out.data(), 45, 45, 8, 45.0 / 16,
                          1.0, kResizeCubic),
              StatusOk);
    const double step = 15.0 / 44.0;
    bool clampedLow = false, clampedHigh = false;
    for (int x = 0; x < 45; ++x) {
        const double position = x * step;
        const int base = std::clamp(int(position + 1e-7), 1, 13);
        const double t = position - base;
        double v = 0;
        for (int k = -1; k <= 2; ++k) {
            double lagrange = 1;
            for (int m = -1; m <= 2; ++m)
                if (m != k)
                    lagrange *= (t - m) / double(k - m);
            v += lagrange * edge[size_t(base + k)];
        }
        clampedLow |= v < -0.5;
        clampedHigh |= v > 255.5;
        const int expected = int(std::clamp(std::floor(v + 0.5), 0.0, 255.0));
        for (int y = 0; y < 8; ++y)
            ASSERT_NEAR(out[size_t(y * 45 + x)], expected, 1) << x;
    }
    EXPECT_TRUE(clampedLow && clampedHigh);
}

TEST(ResizeGeneral, CubicThreeOfFourAndPlanarEqualTheOneChannelResultPerChannel)
{
    const int w = 29, h = 19, dw = 53, dh = 34;
    const double xf = double(dw) / w, yf = double(dh) / h;
    std::vector<std::vector<uint8_t>> planes, expected;
    for (int p = 0; p < 3; ++p) {
        planes.push_back(RandomSamples<uint8_t>(size_t(w * h), uint32_t(30 + p)));
        std::vector<uint8_t> out(size_t(dw * dh));
        ASSERT_EQ(ResizePlane(planes.back().data(), w, h, w, {0, 0, w, h}, out.data(), dw, dw, dh,
                              xf, yf, kResizeCubic),
                  StatusOk);
        expected.push_back(out);
    }
    // The one-channel rows take their last columns and samples one at a time, the multi-channel
    // ones by pixel, so a result on a near-tie may differ by one.
    for (int stride : {3, 4}) {
        std::vector<uint8_t> packed(size_t(w * h * stride));
        for (int i = 0; i < w * h; ++i)
            for (int c = 0; c < 3; ++c)
                packed[size_t(i * stride + c)] = planes[size_t(c)][size_t(i)];
        GuardedPlane<uint8_t> dst(dw * stride, dh);
        ASSERT_EQ(ResizeGeneral(packed.data(), w, h, w * stride, {0, 0, w, h}, dst.Data(),
                                dst.Step(), dw, dh, xf, yf, 0, 0, stride, 3, 0, 0, kResizeCubic, 1),
                  StatusOk);
        EXPECT_TRUE(dst.Intact());
        int same = 0, total = 0;
        for (int y = 0; y < dh; ++y) {
            for (int x = 0; x < dw; ++x) {
                for (int c = 0; c < stride; ++c) {
                    const int got = dst.At(y, x * stride + c);
                    if (c == 3) {
                        ASSERT_EQ(got, dst.Original(y, x * stride + c));
                        continue;
                    }
                    const int want = expected[size_t(c)][size_t(y * dw + x)];
                    ASSERT_NEAR(got, want, 1) << stride << " " << y << " " << x << " " << c;
                    same += got == want;
                    ++total;
                }
            }
        }
        EXPECT_GE(same * 1000, total * 999) << stride;
    }
    std::vector<std::vector<uint8_t>> out(3, std::vector<uint8_t>(size_t(dw * dh)));
    const void* src[3] = {planes[0].data(), planes[1].data(), planes[2].data()};
    void* dst[3] = {out[0].data(), out[1].data(), out[2].data()};
    ASSERT_EQ(ResizeGeneral(src, w, h, w, {0, 0, w, h}, dst, dw, dw, dh, xf, yf, 0, 0, 0, 3, 0, 1,
                            kResizeCubic, 1),
              StatusOk);
    EXPECT_EQ(out, expected);
}
