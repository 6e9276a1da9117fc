// The plain set's linear, cubic, four-tap and Lanczos-3 kernels (slots 60-95) on random monotone
// row walks, every layout and sample type, top-down and bottom-up, against an evaluation that
// filters every tap row afresh for every destination row from the formulas. The plain kernels fix
// the order of every double-precision sum, so the comparison is bit for bit.
#include <gtest/gtest.h>

#include "ResizeKernels.h"
#include "ResizeTestSupport.h"

#include <algorithm>
#include <cmath>
#include <vector>

using namespace imaging;
using namespace imaging_test;

namespace {

template <typename T> constexpr double kLow = std::is_signed_v<T> ? -32768.0 : 0.0;
template <typename T>
constexpr double kHigh = std::is_same_v<T, uint8_t> ? 255.0
                                                    : (std::is_signed_v<T> ? 32767.0 : 65535.0);

// The sum plus 0.5000001, truncated toward zero and saturated; floats rounded to float.
template <typename T> T Stored(double v)
{
    if constexpr (std::is_same_v<T, float>)
        return float(v);
    else
        return T(std::clamp(std::trunc(v + 0.5000001), kLow<T>, kHigh<T>));
}

// Source columns and rows a method reads around a position, and how far the region may reach.
struct Borders {
    int colsLeft = 0, rowsAbove = 0, colsFromOrigin = 0, rowsFromOrigin = 0;
};

// Integer linear: Q14 pairs across (w0 for the pixel, w1 for the next), the lower row's Q14
// share down; 8u rows hold the sample times 64. Results saturate to the type.
template <typename T> struct NaiveLinearQ14 {
    using ColW = int16_t;
    using RowW = uint16_t;
    static constexpr bool kEightBit = std::is_same_v<T, uint8_t>;
    using Filtered = std::conditional_t<kEightBit, int16_t, T>;
    static constexpr int kColW = 2, kRowW = 1, kBefore = 0, kAfter = 1;

    static void Weights(std::mt19937& rng, ColW* c, RowW* r)
    {
        // Shares summing to 1.0 as the engine builds them; signed samples also get a negative one.
        const int lowest = std::is_signed_v<T> ? -4096 : 0;
        const int w1 = lowest + int(rng() % uint32_t(16385 - 2 * lowest));
        c[0] = ColW(16384 - w1);
        c[1] = ColW(w1);
        r[0] = RowW(rng() % 16385);
    }
    static Filtered Across(const T* row, int x, int d, int ch, const ColW* w, const Borders&)
    {
        const int64_t v = int64_t(w[0]) * row[x * d + ch] + int64_t(w[1]) * row[(x + 1) * d + ch];
        const int64_t shifted = kEightBit ? (v + 128) >> 8 : (v + 8192) >> 14;
        return Filtered(std::clamp<int64_t>(shifted, kEightBit ? INT16_MIN : int64_t(kLow<T>),
                                            kEightBit ? INT16_MAX : int64_t(kHigh<T>)));
    }
    static T Down(const Filtered* rows, const RowW* f)
    {
        const int64_t v = int64_t(rows[0]) * (16384 - f[0]) + int64_t(rows[1]) * f[0];
        const int64_t shifted = kEightBit ? (v + (1 << 19)) >> 20 : (v + 8192) >> 14;
        return T(std::clamp<int64_t>(shifted, int64_t(kLow<T>), int64_t(kHigh<T>)));
    }
    static int RowOf(int r, int k, const Borders&) { return r + k; }
};

// Float linear: a + (b - a) t across, B f + A (1 - f) down, in double.
struct NaiveLinear32f {
    using ColW = float;
    using RowW = float;
    using Filtered = float;
    static constexpr int kColW = 1, kRowW = 1, kBefore = 0, kAfter = 1;

    static void Weights(std::mt19937& rng, ColW* c, RowW* r)
    {
        c[0] = std::uniform_real_distribution<float>(0.0f, 1.0f)(rng);
        r[0] = std::uniform_real_distribution<float>(0.0f, 1.0f)(rng);
    }
    static float Across(const float* row, int x, int d, int ch, const ColW* t, const Borders&)
    {
        const double a = row[x * d + ch], b = row[(x + 1) * d + ch];
        return float(a + (b - a) * double(t[0]));
    }
    static float Down(const float* rows, const RowW* f)
    {
        return float(double(rows[1]) * double(f[0]) + double(rows[0]) * (1.0 - double(f[0])));
    }
    static int RowOf(int r, int k, const Borders&) { return r + k; }
};

// The cubic through the samples at -1, 0, 1, 2, at t, in Newton's form.
double Cubic(double p0, double p1, double p2, double p3, double t)
{
    const double u = 1.0 + t;
    const double a = t * u * 0.5;
    const double b = (t - 1.0) * a / 3.0;
    const double d1 = p1 - p0;
    const double d2 = (p2 - p1) - (p1 - p0);
    const double d3 = (p1 - p2 - p2 + p3) - d2;
    return u * d1 + (a * d2 + (p0 + d3 * b));
}

template <typename T> struct NaiveCubic {
    using ColW = float;
    using RowW = float;
    using Filtered = float;
    static constexpr int kColW = 1, kRowW = 1, kBefore = 1, kAfter = 2;

    static void Weights(std::mt19937& rng, ColW* c, RowW* r)
    {
        c[0] = std::uniform_real_distribution<float>(-0.5f, 1.5f)(rng);
        r[0] = std::uniform_real_distribution<float>(-0.5f, 1.5f)(rng);
    }
    static float Across(const T* row, int x, int d, int ch, const ColW* t, const Borders&)
    {
        const T* p = row + x * d + ch;
        return float(Cubic(p[-d], p[0], p[d], p[2 * d], double(t[0])));
    }
    static T Down(const float* rows, const RowW* t)
    {
        return Stored<T>(Cubic(rows[0], rows[1], rows[2], rows[3], double(t[0])));
    }
    static int RowOf(int r, int k, const Borders&) { return r + k - 1; }
};

// Four weights as given: across from tap 3 down to tap 0, down from tap 0 up to tap 3.
template <typename T> struct NaiveFourTap {
    using ColW = float;
    using RowW = float;
    using Filtered = float;
    static constexpr int kColW = 4, kRowW = 4, kBefore = 1, kAfter = 2;

    static void Weights(std::mt19937& rng, ColW* c, RowW* r)
    {
        std::uniform_real_distribution<float> any(-0.5f, 1.2f);
        for (int k = 0; k < 4; ++k) {
            c[k] = any(rng);
            r[k] = any(rng);
        }
    }
    static float Across(const T* row, int x, int d, int ch, const ColW* w, const Borders&)
    {
        const T* p = row + x * d + ch;
        return float(double(p[2 * d]) * w[3] + double(p[d]) * w[2] + double(p[0]) * w[1] +
                     double(p[-d]) * w[0]);
    }
    static T Down(const float* rows, const RowW* w)
    {
        return Stored<T>(double(rows[0]) * w[0] + double(rows[1]) * w[1] +
                         double(rows[2]) * w[2] + double(rows[3]) * w[3]);
    }
    static int RowOf(int r, int k, const Borders&) { return r + k - 1; }
};

// Lanczos-3: with borders every tap is clamped into the readable columns and rows, the weights
// of taps on one column added first, and the taps summed from 0 to 5; the interior kernels read
// all six and sum from 5 down to 0. Down, the six rows from the top.
template <typename T, bool WithBorders> struct NaiveLanczos {
    using ColW = float;
    using RowW = float;
    using Filtered = float;
    static constexpr int kColW = 6, kRowW = 6, kBefore = 2, kAfter = 3;

    static void Weights(std::mt19937& rng, ColW* c, RowW* r)
    {
        std::uniform_real_distribution<float> any(-0.3f, 0.8f);
        for (int k = 0; k < 6; ++k) {
            c[k] = any(rng);
            r[k] = any(rng);
        }
    }
    static float Across(const T* row, int x, int d, int ch, const ColW* w, const Borders& b)
    {
        if (!WithBorders) {
            double sum = 0.0;
            for (int k = 5; k >= 0; --k)
                sum += double(w[k]) * double(row[(x + k - 2) * d + ch]);
            return float(sum);
        }
        const int first = -std::min(b.colsLeft, 2), last = b.colsFromOrigin - 1;
        double sum = 0.0;
        for (int k = 0; k < 6;) {
            const int column = std::clamp(x + k - 2, first, last);
            double weight = 0.0;
            for (; k < 6 && std::clamp(x + k - 2, first, last) == column; ++k)
                weight += double(w[k]);
            sum += weight * double(row[column * d + ch]);
        }
        return float(sum);
    }
    static T Down(const float* rows, const RowW* w)
    {
        double v = 0.0;
        for (int k = 0; k < 6; ++k)
            v += double(w[k]) * double(rows[k]);
        return Stored<T>(v);
    }
    static int RowOf(int r, int k, const Borders& b)
    {
        const int row = r + k - 2;
        return WithBorders ? std::clamp(row, -std::min(b.rowsAbove, 2), b.rowsFromOrigin - 1) : row;
    }
};

struct Walk {
    int channels;
    int pixelStride;
    int step; // +1 top-down, -1 bottom-up
    int width;
    int maxJump;
    uint32_t seed;
};

// One call of `slot` on a random walk, checked sample by sample against the naive evaluation; the
// source ends at its allocation's end and the destination's canaries must survive.
template <typename T, class M> void RunWalk(int slot, const Walk& w, bool borders = false)
{
    std::mt19937 rng(w.seed);
    const int d = w.channels == 1 ? 1 : w.pixelStride;
    const int height = 1 + int(rng() % 12);
    // The region: `b.colsFromOrigin` pixels and `b.rowsFromOrigin` rows from its origin, with the
    // method's taps inside the source; with borders the region reaches the right and bottom edges
    // and has 0 to 3 pixels and rows before it.
    Borders b;
    const int left = borders ? int(rng() % 4) : M::kBefore;
    const int top = borders ? int(rng() % 4) : M::kBefore;
    b.colsLeft = left;
    b.rowsAbove = top;
    b.colsFromOrigin = 1 + int(rng() % 20);
    b.rowsFromOrigin = 1 + int(rng() % 16);
    const int after = borders ? 0 : M::kAfter;
    const int pixels = left + b.colsFromOrigin + after, rows = top + b.rowsFromOrigin + after;
    TightSource<T> src(pixels * d, rows, w.seed + 1);
    const int32_t step = w.step * src.Step();
    const T* origin = (w.step > 0 ? src.Row(top) : src.Row(rows - 1 - top)) + left * d;

    const std::vector<int32_t> rowsOf = RandomRowIndices(height, b.rowsFromOrigin, w.maxJump, rng);
    std::vector<int32_t> rowOffsets, colOffsets;
    for (int32_t r : rowsOf)
        rowOffsets.push_back(r * step);
    std::vector<int> columns;
    for (int c = int(rng() % 3); int(columns.size()) < w.width; c += int(rng() % 3))
        columns.push_back(std::min(c, b.colsFromOrigin - 1));
    for (int x : columns)
        colOffsets.push_back(x * d);
    std::vector<typename M::ColW> colWeights(size_t(w.width * M::kColW));
    std::vector<typename M::RowW> rowWeights(size_t(height * M::kRowW));
    for (int i = 0; i < std::max(w.width, height); ++i) {
        typename M::ColW c[6];
        typename M::RowW r[6];
        M::Weights(rng, c, r);
        if (i < w.width)
            std::copy(c, c + M::kColW, &colWeights[size_t(i * M::kColW)]);
        if (i < height)
            std::copy(r, r + M::kRowW, &rowWeights[size_t(i * M::kRowW)]);
    }

    std::vector<std::vector<float>> buffers(6, std::vector<float>(size_t(w.width * w.channels)));
    GuardedPlane<T> dst(w.width * d, height, 0, w.seed + 2);
    ResizeKernelArgs a;
    a.src = origin;
    a.dst = dst.Data();
    a.srcStep = step;
    a.dstStep = dst.Step();
    a.dstWidth = w.width;
    a.dstHeight = height;
    a.rowOffsets = rowOffsets.data();
    a.colOffsets = colOffsets.data();
    a.rowWeights = rowWeights.data();
    a.colWeights = colWeights.data();
    for (int k = 0; k < 6; ++k)
        a.rowBuffers[k] = buffers[size_t(k)].data();
    a.colsLeft = b.colsLeft;
    a.rowsAbove = b.rowsAbove;
    a.colsFromOrigin = b.colsFromOrigin;
    a.rowsFromOrigin = b.rowsFromOrigin;
    a.oneRowAdvance = w.maxJump <= 1;
    a.pixelStride = w.channels == 1 ? 0 : w.pixelStride;
    a.channelCount = w.channels == 1 ? 0 : w.channels;
    ASSERT_EQ(CallResizeKernel(slot, a), StatusOk);
    EXPECT_TRUE(dst.Intact());

    constexpr int kRows = M::kBefore + M::kAfter + 1;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < w.width; ++x) {
            for (int ch = 0; ch < d; ++ch) {
                T want = dst.Original(y, x * d + ch); // the fourth sample of AC4 stays
                if (ch < w.channels) {
                    typename M::Filtered taps[kRows];
                    for (int k = 0; k < kRows; ++k)
                        taps[k] = M::Across(origin + int64_t(M::RowOf(rowsOf[size_t(y)], k, b)) * step,
                                            columns[size_t(x)], d, ch,
                                            &colWeights[size_t(x * M::kColW)], b);
                    want = M::Down(taps, &rowWeights[size_t(y * M::kRowW)]);
                }
                const T got = dst.At(y, x * d + ch);
                if (std::memcmp(&got, &want, sizeof(T)) != 0) {
                    ADD_FAILURE() << "slot " << slot << " row " << y << " column " << x
                                  << " sample " << ch << ": " << double(got) << " for "
                                  << double(want);
                    return;
                }
            }
        }
    }
}

struct Layout {
    int channels;
    int pixelStride;
};
constexpr Layout kLayouts[] = {{1, 1}, {3, 3}, {3, 4}, {4, 4}};

// Every layout, both directions, narrow and wide rows, repeats only to jumps past the ring.
template <typename F> void ForEveryWalk(F run)
{
    uint32_t seed = 11;
    for (const Layout& l : kLayouts)
        for (int step : {1, -1})
            for (int width : {1, 2, 5, 13})
                for (int maxJump : {0, 1, 3, 7}) {
                    SCOPED_TRACE(testing::Message() << "channels " << l.channels << " stride "
                                                    << l.pixelStride << " step " << step
                                                    << " width " << width << " jump " << maxJump);
                    run(l.channels == 1, Walk{l.channels, l.pixelStride, step, width, maxJump,
                                              ++seed});
                }
}

constexpr int kPlain = kPlainKernelSet;

} // namespace

TEST(PlainResizeRings, LinearEqualsThePerRowFormulas)
{
    ForEveryWalk([](bool one, const Walk& w) {
        const int s = kPlain + (one ? kSlotLinearC1 : kSlotLinearMC);
        RunWalk<uint8_t, NaiveLinearQ14<uint8_t>>(s, w);
        RunWalk<uint16_t, NaiveLinearQ14<uint16_t>>(s + 1, w);
        RunWalk<float, NaiveLinear32f>(s + 2, w);
        RunWalk<int16_t, NaiveLinearQ14<int16_t>>(s + 3, w);
    });
}

TEST(PlainResizeRings, CubicAndFourTapEqualThePerRowFormulas)
{
    ForEveryWalk([](bool one, const Walk& w) {
        const int cubic = kPlain + (one ? kSlotCubicC1 : kSlotCubicMC);
        RunWalk<uint8_t, NaiveCubic<uint8_t>>(cubic, w);
        RunWalk<uint16_t, NaiveCubic<uint16_t>>(cubic + 1, w);
        RunWalk<float, NaiveCubic<float>>(cubic + 2, w);
        const int taps = kPlain + (one ? kSlotTaps4C1 : kSlotTaps4MC);
        RunWalk<uint8_t, NaiveFourTap<uint8_t>>(taps, w);
        RunWalk<uint16_t, NaiveFourTap<uint16_t>>(taps + 1, w);
        RunWalk<float, NaiveFourTap<float>>(taps + 2, w);
        RunWalk<int16_t, NaiveFourTap<int16_t>>(taps + 3, w);
    });
}

TEST(PlainResizeRings, LanczosEqualsThePerRowFormulasInEveryLayoutAndType)
{
    ForEveryWalk([](bool one, const Walk& w) {
        const int border = kPlain + (one ? kSlotLanczosC1 : kSlotLanczosMC);
        RunWalk<uint8_t, NaiveLanczos<uint8_t, true>>(border, w, true);
        RunWalk<uint16_t, NaiveLanczos<uint16_t, true>>(border + 1, w, true);
        RunWalk<float, NaiveLanczos<float, true>>(border + 2, w, true);
        const int inner = kPlain + (one ? kSlotLanczosInnerC1 : kSlotLanczosInnerMC);
        RunWalk<uint8_t, NaiveLanczos<uint8_t, false>>(inner, w);
        RunWalk<uint16_t, NaiveLanczos<uint16_t, false>>(inner + 1, w);
        RunWalk<float, NaiveLanczos<float, false>>(inner + 2, w);
        RunWalk<int16_t, NaiveLanczos<int16_t, false>>(inner + 3, w);
    });
}
