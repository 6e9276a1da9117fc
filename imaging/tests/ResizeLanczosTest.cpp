// Lanczos-3 resize: the folding pass at every border class (with not-a-number in every sample it
// must not read), the conversions of the vertical passes, the 8-bit vector passes against their
// scalar equivalents, every Lanczos slot against a naive evaluation that filters the six source
// rows afresh for every destination row (rows outside the source replaced by its edge rows),
// start-up rows by row index, the two kernel sets agreeing inside the source, and whole resizes
// through ResizePlane and ResizeGeneral.
#include <gtest/gtest.h>

#include "LanczosWeights.h"
#include "ResizeEngine.h"
#include "ResizeKernels.h"
#include "ResizePasses.h"
#include "ResizeTestSupport.h"

#include <cmath>
#include <limits>

using namespace imaging;
using namespace imaging_test;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// An interior column as the text's pairing of the products: ((w0 s0 + w4 s4) + (w1 s1 + w5 s5)) +
// ((w2 s2 + 0) + (w3 s3 + 0)).
float ReferenceInner(const float s[6], const float* w)
{
    return ((w[0] * s[0] + w[4] * s[4]) + (w[1] * s[1] + w[5] * s[5])) +
           ((w[2] * s[2] + 0.0f) + (w[3] * s[3] + 0.0f));
}

// A border column: every tap moved to the nearest readable pixel, the weights that land on one
// pixel added first in tap order, the terms added from left to right.
template <class Sample>
float ReferenceFolded(int base, int left, int limit, const float* w, Sample sample)
{
    base = std::clamp(base, 0, limit - 1);
    std::vector<std::pair<int, float>> groups;
    for (int k = 0; k < 6; ++k) {
        const int at = std::clamp(base - 2 + k, -left, limit - 1);
        if (!groups.empty() && groups.back().first == at)
            groups.back().second += w[k];
        else
            groups.emplace_back(at, w[k]);
    }
    float v = groups[0].second * sample(groups[0].first);
    for (size_t g = 1; g < groups.size(); ++g)
        v += groups[g].second * sample(groups[g].first);
    return v;
}

// One column of a row whose readable pixels run from -left to limit - 1; folding off reads the
// six taps as they are.
template <class Sample>
float ReferenceColumn(int base, int left, int limit, bool folding, const float* w, Sample sample)
{
    const bool inside = base - 2 >= -left && base + 3 <= limit - 1;
    if (folding && !inside)
        return ReferenceFolded(base, left, limit, w, sample);
    float s[6];
    for (int k = 0; k < 6; ++k)
        s[k] = sample(base - 2 + k);
    return ReferenceInner(s, w);
}

template <typename T> T ReferenceSample(float sum)
{
    if constexpr (std::is_same_v<T, float>) {
        return sum;
    } else {
        const double low = std::is_signed_v<T> ? -32768.0 : 0.0;
        const double high =
            std::is_same_v<T, uint8_t> ? 255.0 : (std::is_signed_v<T> ? 32767.0 : 65535.0);
        const float biased = sum + 0.50000012f;
        if (std::isnan(biased))
            return T(0);
        return T(std::min(std::max(std::trunc(double(biased)), low), high));
    }
}

float ReferenceVertical(const float* w, const float r[6])
{
    float sum = 0.0f;
    for (int k = 0; k < 6; ++k)
        sum += w[k] * r[k];
    return sum;
}

template <typename T> bool SameBits(T a, T b)
{
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}

// Six weights of a random fraction, as the engine makes them.
std::vector<float> EngineWeights(int n, std::mt19937& rng)
{
    std::vector<float> fractions(static_cast<size_t>(n)), weights(6 * size_t(n));
    for (auto& f : fractions)
        f = std::uniform_real_distribution<float>(0.0f, 1.0f)(rng);
    if (n > 0)
        LanczosWeights6(fractions.data(), n, weights.data(), LanczosKernelTable);
    return weights;
}

// Non-decreasing indices from `low` to `high` advancing by 0 to maxJump.
std::vector<int32_t> Walk(int n, int low, int high, int maxJump, std::mt19937& rng)
{
    std::vector<int32_t> v(static_cast<size_t>(n));
    int32_t at = low + int32_t(rng() % uint32_t(std::min(maxJump, high - low) + 1));
    for (auto& x : v) {
        x = std::min(at, high);
        at += int32_t(rng() % uint32_t(maxJump + 1));
    }
    return v;
}

struct RingCase {
    bool folding; // the kernel folds: it gets the border arguments
    bool anyBase; // bases anywhere in the region (else only where all six taps lie inside)
    int channels;
    int pixelStride;
    int width;
    int height;
    int step; // +1 top-down, -1 bottom-up
    int maxJump;
    int oneRowAdvance;
    int misalign;
    uint32_t seed;
};

// One Lanczos kernel on random tables against the naive evaluation; returns the output.
template <typename T> std::vector<T> RunRing(ResizeKernel kernel, const RingCase& c)
{
    std::mt19937 rng(c.seed);
    const int stride = c.channels == 1 ? 1 : c.pixelStride;
    // The region starts colsLeft pixels and rowsAbove rows into the source; columns and rows from
    // there to the source's end: limit and rows.
    const int colsLeft = int(rng() % 4), rowsAbove = int(rng() % 4);
    const int limit = (c.anyBase ? 1 : 6) + int(rng() % 30),
              rows = (c.anyBase ? 1 : 6) + int(rng() % 16);
    const int left = std::min(colsLeft, 2), above = std::min(rowsAbove, 2);
    const int totalRows = rowsAbove + rows;
    TightSource<T> src((colsLeft + limit) * stride, totalRows, c.seed + 1);
    const auto logicalRow = [&](int k) {
        return c.step > 0 ? src.Row(k) : src.Row(totalRows - 1 - k);
    };
    const T* origin = logicalRow(rowsAbove) + colsLeft * stride;
    const int32_t step = c.step * src.Step();

    // Folding kernels take any base inside the region; the others only bases whose six taps lie
    // inside the source.
    const int lowColumn = c.anyBase ? 0 : 2 - left, highColumn = c.anyBase ? limit - 1 : limit - 4;
    const int lowRow = c.anyBase ? 0 : 2 - above, highRow = c.anyBase ? rows - 1 : rows - 4;
    std::vector<int32_t> rowIndex = Walk(c.height, lowRow, highRow, c.maxJump, rng);
    std::vector<int32_t> columns = Walk(c.width, lowColumn, highColumn, 3, rng);
    std::vector<int32_t> rowOffsets, colOffsets;
    for (int32_t r : rowIndex)
        rowOffsets.push_back(r * step);
    for (int32_t x : columns)
        colOffsets.push_back(x * stride);
    const std::vector<float> colWeights = EngineWeights(c.width, rng);
    std::vector<float> rowWeights = EngineWeights(c.height, rng);

    const int values = c.width * c.channels;
    std::vector<std::vector<float>> buffers(6, std::vector<float>(size_t(values)));
    GuardedPlane<T> dst(c.width * stride, c.height, (c.misalign * int(sizeof(T))) % 16, c.seed + 2);
    ResizeKernelArgs args;
    args.src = origin;
    args.dst = dst.Data();
    args.srcStep = step;
    args.dstStep = dst.Step();
    args.dstWidth = c.width;
    args.dstHeight = c.height;
    args.rowOffsets = rowOffsets.data();
    args.colOffsets = colOffsets.data();
    args.rowWeights = rowWeights.data();
    args.colWeights = colWeights.data();
    for (int k = 0; k < 6; ++k)
        args.rowBuffers[k] = buffers[size_t(k)].data();
    if (c.folding) {
        args.colsLeft = colsLeft;
        args.rowsAbove = rowsAbove;
        args.colsFromOrigin = limit;
        args.rowsFromOrigin = rows;
        args.oneRowAdvance = c.oneRowAdvance;
    }
    args.pixelStride = c.channels == 1 ? 0 : c.pixelStride;
    args.channelCount = c.channels == 1 ? 0 : c.channels;
    kernel(args);
    EXPECT_TRUE(dst.Intact());

    const auto filtered = [&](int regionRow) {
        const T* row = origin + int64_t(regionRow) * step;
        std::vector<float> out;
        for (int x = 0; x < c.width; ++x)
            for (int ch = 0; ch < c.channels; ++ch)
                out.push_back(ReferenceColumn(columns[size_t(x)], left, limit, c.folding,
                                              &colWeights[size_t(6 * x)],
                                              [&](int k) { return float(row[k * stride + ch]); }));
        return out;
    };
    std::vector<T> out;
    for (int y = 0; y < c.height; ++y) {
        std::vector<float> h[6];
        for (int k = 0; k < 6; ++k) {
            int r = rowIndex[size_t(y)] - 2 + k;
            if (c.folding)
                r = std::clamp(r, -above, rows - 1);
            h[k] = filtered(r);
        }
        for (int x = 0; x < c.width; ++x) {
            for (int ch = 0; ch < stride; ++ch) {
                const T got = dst.At(y, x * stride + ch);
                out.push_back(got);
                T want = dst.Original(y, x * stride + ch);
                if (ch < c.channels) {
                    const size_t j = size_t(x * c.channels + ch);
                    const float r[6] = {h[0][j], h[1][j], h[2][j], h[3][j], h[4][j], h[5][j]};
                    want = ReferenceSample<T>(ReferenceVertical(&rowWeights[size_t(6 * y)], r));
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

} // namespace

TEST(LanczosPasses, FoldingAtEachBorderClassReadsOnlyTheReadablePixels)
{
    // A 32-bit float row of L = 9 pixels with not-a-number in the two places before it and the
    // three after it: a result that read any of them would not be a number.
    const int L = 9;
    float row[2 + L + 3];
    for (float& v : row)
        v = kNaN;
    for (int k = 0; k < L; ++k)
        row[2 + k] = float(10 * k + 3);
    const float* s = row + 2;
    const float w[6] = {0.03f, -0.14f, 0.61f, 0.6f, -0.13f, 0.025f};
    std::vector<float> weights;
    for (int i = 0; i < 12; ++i)
        weights.insert(weights.end(), w, w + 6);

    // Margin 0: bases 0 and 1 fold on the left; margin 1: base 0 reads s(-1) with w0 + w1.
    const int32_t bases[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 12, 40};
    float out[12];
    row[1] = kNaN;
    LanczosHorz32f_C1(s, bases, weights.data(), out, 12, 0, L);
    EXPECT_EQ(out[0], (w[0] + w[1] + w[2]) * s[0] + w[3] * s[1] + w[4] * s[2] + w[5] * s[3]);
    EXPECT_EQ(out[1], (w[0] + w[1]) * s[0] + w[2] * s[1] + w[3] * s[2] + w[4] * s[3] + w[5] * s[4]);
    // The right border, base L - 3, L - 2 and L - 1; bases at or past L count as L - 1.
    EXPECT_EQ(out[6], w[0] * s[4] + w[1] * s[5] + w[2] * s[6] + w[3] * s[7] + (w[4] + w[5]) * s[8]);
    EXPECT_EQ(out[7], w[0] * s[5] + w[1] * s[6] + w[2] * s[7] + (w[3] + w[4] + w[5]) * s[8]);
    EXPECT_EQ(out[8], w[0] * s[6] + w[1] * s[7] + (w[2] + w[3] + w[4] + w[5]) * s[8]);
    EXPECT_EQ(out[9], out[8]);
    EXPECT_EQ(out[10], out[8]);
    EXPECT_EQ(out[11], out[8]);
    for (int x = 2; x < 6; ++x) {
        const float taps[6] = {s[x - 2], s[x - 1], s[x], s[x + 1], s[x + 2], s[x + 3]};
        EXPECT_EQ(out[x], ReferenceInner(taps, w)) << x;
    }

    // A negative margin has nothing to read on the left: it folds as margin 0.
    float negative[12];
    LanczosHorz32f_C1(s, bases, weights.data(), negative, 12, -3, L);
    EXPECT_EQ(FloatBits(std::vector<float>(negative, negative + 12)),
              FloatBits(std::vector<float>(out, out + 12)));

    row[1] = -7.0f; // one readable pixel to the left
    LanczosHorz32f_C1(s, bases, weights.data(), out, 2, 1, L);
    EXPECT_EQ(out[0],
              (w[0] + w[1]) * s[-1] + w[2] * s[0] + w[3] * s[1] + w[4] * s[2] + w[5] * s[3]);
    EXPECT_FALSE(std::isnan(out[1]));
    row[0] = -9.0f; // two: nothing folds on the left, and a larger margin counts as two
    for (int margin : {2, 5}) {
        LanczosHorz32f_C1(s, bases, weights.data(), out, 1, margin, L);
        const float taps[6] = {s[-2], s[-1], s[0], s[1], s[2], s[3]};
        EXPECT_EQ(out[0], ReferenceInner(taps, w)) << margin;
    }

    // Rows too short for the border classes to stay apart fold every tap into the row all the
    // same: each column is finite and follows the clamped taps.
    for (int limit = 1; limit <= 5; ++limit) {
        for (int margin : {0, 1}) {
            for (float& v : row)
                v = kNaN;
            for (int k = -margin; k < limit; ++k)
                row[2 + k] = float(k * k + 1);
            const int32_t all[5] = {0, 1, 2, 3, 4};
            float few[5];
            LanczosHorz32f_C1(s, all, weights.data(), few, limit, margin, limit);
            for (int x = 0; x < limit; ++x)
                EXPECT_EQ(few[x],
                          ReferenceColumn(x, margin, limit, true, w, [s](int k) { return s[k]; }))
                    << limit << " " << margin << " " << x;
        }
    }
}

TEST(LanczosPasses, VerticalConversionsOfEachTypeWriteExactlyCountSamples)
{
    const float pick[6] = {0, 0, 1, 0, 0, 0};
    const auto rowsOf = [](const std::vector<float>& row) {
        return std::array<const float*, 6>{row.data(), row.data(), row.data(),
                                           row.data(), row.data(), row.data()};
    };
    const struct {
        float v;
        int expected;
    } bytes[] = {{255.4f, 255}, {2.5f, 3},    {2.4f, 2},   {-0.2f, 0},
                 {300.0f, 255}, {1e10f, 255}, {-1e10f, 0}, {kNaN, 0}};
    for (const auto& e : bytes) {
        const std::vector<float> row(5, e.v);
        const auto rows = rowsOf(row);
        uint8_t out[6] = {7, 7, 7, 7, 7, 7}, plain[6] = {7, 7, 7, 7, 7, 7};
        LanczosVert8u(out, 5, pick, rows.data());
        LanczosVert8uScalarEquivalent(plain, 5, pick, rows.data());
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(out[i], e.expected) << e.v << " " << i;
        EXPECT_EQ(out[5], 7);
        EXPECT_EQ(std::vector<uint8_t>(plain, plain + 6), std::vector<uint8_t>(out, out + 6));
    }
    const struct {
        float v;
        int expected;
    } words[] = {{65535.4f, 65535}, {70000.0f, 65535}, {-5.0f, 0}, {kNaN, 0}, {2.5f, 3}};
    for (const auto& e : words) {
        const std::vector<float> row(5, e.v);
        uint16_t out[5] = {};
        LanczosVert16u(out, 5, pick, rowsOf(row).data());
        EXPECT_EQ(out[0], e.expected) << e.v;
        EXPECT_EQ(out[4], e.expected) << e.v;
    }
    const struct {
        float v;
        int expected;
    } shorts[] = {{-2.3f, -1}, {-40000.0f, -32768}, {40000.0f, 32767}, {kNaN, 0}, {-0.4f, 0}};
    for (const auto& e : shorts) {
        const std::vector<float> row(5, e.v);
        int16_t out[5] = {};
        LanczosVert16s(out, 5, pick, rowsOf(row).data());
        EXPECT_EQ(out[0], e.expected) << e.v;
        EXPECT_EQ(out[4], e.expected) << e.v;
    }
    const std::vector<float> real(2, -2.3f);
    float realOut[2] = {};
    LanczosVert32f(realOut, 2, pick, rowsOf(real).data());
    EXPECT_EQ(realOut[1], -2.3f);

    // Counts 0 to 3 write exactly that many samples, and the three-of-four pass leaves the
    // fourth sample of each of its pixels.
    const std::vector<float> row(9, 9.0f);
    for (int count = 0; count <= 3; ++count) {
        GuardedPlane<uint8_t> packed(count, 1), ac4(4 * count, 1);
        LanczosVert8u(packed.Data(), count, pick, rowsOf(row).data());
        LanczosVert8u_AC4(ac4.Data(), count, pick, rowsOf(row).data());
        EXPECT_TRUE(packed.Intact() && ac4.Intact()) << count;
        for (int i = 0; i < count; ++i)
            EXPECT_EQ(packed.At(0, i), 9);
        for (int i = 0; i < 4 * count; ++i)
            EXPECT_EQ(ac4.At(0, i), i % 4 == 3 ? ac4.Original(0, i) : 9) << count << " " << i;
    }
}

TEST(LanczosPasses, VectorPassesEqualTheirScalarEquivalentsForEveryCountAndAlignment)
{
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> weight(-0.5f, 1.2f), value(-300.0f, 600.0f);
    for (int count = 0; count <= 67; ++count) {
        const int limit = count + 8;
        const auto samples = RandomSamples<uint8_t>(size_t(limit + 4) * 4, uint32_t(count));
        // Weights from an odd column onwards are 8 bytes past a 16-byte boundary.
        std::vector<float> weights(6 * size_t(count + 2));
        for (auto& w : weights)
            w = weight(rng);
        for (int stride : {1, 3, 4}) {
            const uint8_t* src = samples.data() + 2 * stride; // two readable pixels on the left
            const int perPixel = stride == 1 ? 1 : (stride == 4 ? 4 : 3);
            for (int odd : {0, 1}) {
                std::vector<int32_t> inner(static_cast<size_t>(count)), any(inner);
                for (auto& i : inner)
                    i = int32_t(rng() % uint32_t(limit - 3)) * stride;
                for (auto& i : any)
                    i = int32_t(rng() % uint32_t(limit + 2)) * stride;
                std::sort(any.begin(), any.end());
                const float* w = weights.data() + 6 * odd;
                const size_t n = size_t(count * perPixel);
                std::vector<float> vector(n), plain(n), foldVector(n), foldPlain(n);
                const int margin = int(rng() % 3);
                if (stride == 1) {
                    LanczosHorzInner8u_C1(src, inner.data(), w, vector.data(), count);
                    LanczosHorzInner8u_C1ScalarEquivalent(src, inner.data(), w, plain.data(), count);
                    LanczosHorz8u_C1(src, any.data(), w, foldVector.data(), count, margin,
                                         limit);
                    LanczosHorz8u_C1ScalarEquivalent(src, any.data(), w, foldPlain.data(), count, margin,
                                                     limit);
                } else if (stride == 4) {
                    LanczosHorzInner8u_C4(src, inner.data(), w, vector.data(), count);
                    LanczosHorzInner8u_C4ScalarEquivalent(src, inner.data(), w, plain.data(), count);
                    LanczosHorz8u_C4(src, any.data(), w, foldVector.data(), count, margin,
                                         limit);
                    LanczosHorz8u_C4ScalarEquivalent(src, any.data(), w, foldPlain.data(), count, margin,
                                                     limit);
                    std::vector<float> three(size_t(3 * count)), threePlain(three.size());
                    LanczosHorzInner8u_C3(src, inner.data(), w, three.data(), count, 4);
                    LanczosHorzInner8u_C3ScalarEquivalent(src, inner.data(), w, threePlain.data(), count, 4);
                    ASSERT_EQ(FloatBits(three), FloatBits(threePlain));
                    LanczosHorz8u_C3(src, any.data(), w, three.data(), count, margin, limit, 4);
                    LanczosHorz8u_C3ScalarEquivalent(src, any.data(), w, threePlain.data(), count, margin,
                                                     limit, 4);
                    ASSERT_EQ(FloatBits(three), FloatBits(threePlain));
                } else {
                    LanczosHorzInner8u_C3(src, inner.data(), w, vector.data(), count, 3);
                    LanczosHorzInner8u_C3ScalarEquivalent(src, inner.data(), w, plain.data(), count, 3);
                    LanczosHorz8u_C3(src, any.data(), w, foldVector.data(), count, margin,
                                         limit, 3);
                    LanczosHorz8u_C3ScalarEquivalent(src, any.data(), w, foldPlain.data(), count, margin,
                                                     limit, 3);
                }
                ASSERT_EQ(FloatBits(vector), FloatBits(plain))
                    << "interior, stride " << stride << " count " << count << " odd " << odd;
                ASSERT_EQ(FloatBits(foldVector), FloatBits(foldPlain))
                    << "folding, stride " << stride << " count " << count << " odd " << odd;
            }
        }

        std::vector<std::vector<float>> rowData(6, std::vector<float>(size_t(3 * count)));
        for (auto& row : rowData)
            for (auto& v : row)
                v = rng() % 60 == 0 ? kNaN : value(rng);
        const float* const rows[6] = {rowData[0].data(), rowData[1].data(), rowData[2].data(),
                                      rowData[3].data(), rowData[4].data(), rowData[5].data()};
        for (int misalign = 0; misalign < 16; ++misalign) {
            const float* w = weights.data() + 6 * (misalign % 2);
            GuardedPlane<uint8_t> vector(count, 1, misalign), plain(count, 1, misalign);
            LanczosVert8u(vector.Data(), count, w, rows);
            LanczosVert8uScalarEquivalent(plain.Data(), count, w, rows);
            ASSERT_TRUE(vector.Intact());
            for (int i = 0; i < count; ++i)
                ASSERT_EQ(vector.At(0, i), plain.At(0, i)) << "count " << count << " at " << i;
            GuardedPlane<uint8_t> vector4(4 * count, 1, misalign), plain4(4 * count, 1, misalign);
            LanczosVert8u_AC4(vector4.Data(), count, w, rows);
            LanczosVert8u_AC4ScalarEquivalent(plain4.Data(), count, w, rows);
            ASSERT_TRUE(vector4.Intact());
            for (int i = 0; i < 4 * count; ++i) {
                ASSERT_EQ(vector4.At(0, i), plain4.At(0, i))
                    << "AC4 count " << count << " at " << i;
                if (i % 4 == 3) {
                    ASSERT_EQ(vector4.At(0, i), vector4.Original(0, i));
                }
            }
        }
    }
}

TEST(ResizeLanczosRows, EverySlotEqualsTheNaiveEvaluation)
{
    uint32_t seed = 1;
    for (const Layout& l : kLayouts) {
        const bool one = l.channels == 1;
        const int folding = one ? kSlotLanczosC1 : kSlotLanczosMC;
        const int inner = one ? kSlotLanczosInnerC1 : kSlotLanczosInnerMC;
        for (int step : {1, -1}) {
            for (int width : {1, 2, 3, 5, 8, 13, 30}) {
                for (int maxJump : {0, 1, 2, 4, 7, 12}) {
                    SCOPED_TRACE(testing::Message()
                                 << "channels " << l.channels << " stride " << l.pixelStride
                                 << " step " << step << " width " << width << " jump " << maxJump);
                    for (int flag : {0, 1}) {
                        const RingCase c{true,    true, l.channels, l.pixelStride, width, 13, step,
                                         maxJump, flag, 0,          ++seed};
                        RunRing<uint8_t>(ResizeKernelTable[size_t(folding)], c);
                        RunRing<uint16_t>(ResizeKernelTable[size_t(folding + 1)], c);
                        RunRing<float>(ResizeKernelTable[size_t(folding + 2)], c);
                    }
                    const RingCase c{false,   false, l.channels, l.pixelStride, width, 13, step,
                                     maxJump, 0,     0,          ++seed};
                    RunRing<uint8_t>(ResizeKernelTable[size_t(inner)], c);
                    RunRing<uint16_t>(ResizeKernelTable[size_t(inner + 1)], c);
                    RunRing<float>(ResizeKernelTable[size_t(inner + 2)], c);
                    RunRing<int16_t>(ResizeKernelTable[size_t(inner + 3)], c);
                }
            }
        }
    }
}

TEST(ResizeLanczosRows, VectorKernelsEqualTheirScalarEquivalents)
{
    for (const Layout& l : kLayouts) {
        const bool one = l.channels == 1;
        const ResizeKernel folding[2] = {ResizeKernelTable[one ? kSlotLanczosC1 : kSlotLanczosMC],
                                         one ? ResizeLanczosRows8u_C1ScalarEquivalent
                                             : ResizeLanczosRows8u_MCScalarEquivalent};
        const ResizeKernel inner[2] = {ResizeKernelTable[one ? kSlotLanczosInnerC1 : kSlotLanczosInnerMC],
                                       one ? ResizeLanczosInnerRows8u_C1ScalarEquivalent
                                           : ResizeLanczosInnerRows8u_MCScalarEquivalent};
        for (int misalign = 0; misalign < 16; misalign += 3) {
            for (int width : {1, 4, 13, 40}) {
                RingCase c{true,
                           true,
                           l.channels,
                           l.pixelStride,
                           width,
                           12,
                           misalign % 2 ? -1 : 1,
                           4,
                           0,
                           misalign,
                           uint32_t(900 + width + misalign)};
                EXPECT_EQ(RunRing<uint8_t>(folding[0], c), RunRing<uint8_t>(folding[1], c))
                    << "folding, channels " << l.channels << " width " << width;
                c.folding = c.anyBase = false;
                EXPECT_EQ(RunRing<uint8_t>(inner[0], c), RunRing<uint8_t>(inner[1], c))
                    << "interior, channels " << l.channels << " width " << width;
            }
        }
    }
}

TEST(ResizeLanczosRows, RowsOutsideTheSourceFollowTheRowIndex)
{
    // Ten rows of one column, each row's value its index times 10. A weight of 1 on one of the six
    // rows shows which source row that ring place holds.
    const int H = 10;
    TightSource<uint8_t> src(1, H, 1);
    for (int r = 0; r < H; ++r)
        src.Data()[r] = uint8_t(10 * r);
    const auto run = [&](int32_t firstRow, int rowsAbove, int place) {
        const int32_t rows[1] = {firstRow};
        const int32_t columns[1] = {0};
        float rowWeights[6] = {}, colWeights[6] = {0, 0, 1, 0, 0, 0};
        rowWeights[place] = 1.0f;
        std::vector<std::vector<float>> buffers(6, std::vector<float>(1));
        uint8_t out = 0;
        ResizeKernelArgs args;
        args.src = src.Data() + rowsAbove; // the region's first row is source row rowsAbove
        args.dst = &out;
        args.srcStep = 1;
        args.dstStep = 1;
        args.dstWidth = 1;
        args.dstHeight = 1;
        args.rowOffsets = rows;
        args.colOffsets = columns;
        args.rowWeights = rowWeights;
        args.colWeights = colWeights;
        for (int k = 0; k < 6; ++k)
            args.rowBuffers[k] = buffers[size_t(k)].data();
        args.colsLeft = 0;
        args.colsFromOrigin = 1;
        args.rowsAbove = rowsAbove;
        args.rowsFromOrigin = H - rowsAbove;
        ResizeKernelTable[kSlotLanczosC1](args);
        return out / 10 - rowsAbove; // the region row read
    };
    // A first row 3 rows into a region at the source's top: rows 1 and 2 exist and are used.
    EXPECT_EQ(run(3, 0, 0), 1);
    EXPECT_EQ(run(3, 0, 1), 2);
    EXPECT_EQ(run(3, 0, 5), 6);
    // Rows above the top are the top row; one row above the region is read as it is.
    EXPECT_EQ(run(0, 0, 0), 0);
    EXPECT_EQ(run(1, 0, 0), 0);
    EXPECT_EQ(run(0, 1, 0), -1);
    EXPECT_EQ(run(0, 1, 1), -1);
    EXPECT_EQ(run(0, 3, 0), -2);
    // Rows below the bottom are the bottom row, wherever the first row falls.
    EXPECT_EQ(run(H - 1, 0, 3), H - 1);
    EXPECT_EQ(run(H - 1, 0, 5), H - 1);
    EXPECT_EQ(run(H - 3, 0, 5), H - 1);
    EXPECT_EQ(run(H - 3, 0, 4), H - 1);
    EXPECT_EQ(run(H - 4, 0, 5), H - 1);
    EXPECT_EQ(run(H - 4, 2, 5), H - 3);
}

TEST(ResizeLanczosRows, BorderAndInteriorKernelsAgreeInsideTheSource)
{
    // With every base at least 2 from the left and top and 3 from the right and bottom, nothing
    // folds, so both sets read the same pixels in the same order.
    std::mt19937 rng(21);
    for (const Layout& l : kLayouts) {
        const bool one = l.channels == 1;
        for (int type = 0; type < 3; ++type) {
            const ResizeKernel folding =
                ResizeKernelTable[size_t((one ? kSlotLanczosC1 : kSlotLanczosMC) + type)];
            const ResizeKernel inner =
                ResizeKernelTable[size_t((one ? kSlotLanczosInnerC1 : kSlotLanczosInnerMC) + type)];
            for (int round = 0; round < 20; ++round) {
                RingCase c{false,
                           false,
                           l.channels,
                           l.pixelStride,
                           1 + int(rng() % 40),
                           9,
                           round % 2 ? -1 : 1,
                           int(rng() % 5),
                           round % 2,
                           round % 16,
                           uint32_t(rng())};
                RingCase withBorders = c;
                withBorders.folding = true;
                if (type == 0) {
                    EXPECT_EQ(RunRing<uint8_t>(inner, c), RunRing<uint8_t>(folding, withBorders));
                } else if (type == 1) {
                    EXPECT_EQ(RunRing<uint16_t>(inner, c), RunRing<uint16_t>(folding, withBorders));
                } else {
                    const auto a = RunRing<float>(inner, c),
                               b = RunRing<float>(folding, withBorders);
                    ASSERT_EQ(a.size(), b.size());
                    EXPECT_EQ(FloatBits(a), FloatBits(b));
                }
            }
        }
    }
}

TEST(ResizePlane, LanczosAtFractionZeroIsTheIdentity)
{
    const auto src = RandomSamples<uint8_t>(37 * 23, 5);
    GuardedPlane<uint8_t> dst(37, 23, 5);
    ASSERT_EQ(ResizePlane(src.data(), 37, 23, 37, {0, 0, 37, 23}, dst.Data(), dst.Step(), 37, 23,
                          1.0, 1.0, kResizeLanczos),
              StatusOk);
    EXPECT_TRUE(dst.Intact());
    for (int y = 0; y < 23; ++y)
        for (int x = 0; x < 37; ++x)
            ASSERT_EQ(dst.At(y, x), src[size_t(y * 37 + x)]) << y << " " << x;
    // A region inside the source, and one at its bottom-right corner.
    for (auto [x0, y0] : {std::array{5, 3}, std::array{30, 17}}) {
        std::vector<uint8_t> part(size_t(7 * 6));
        ASSERT_EQ(ResizePlane(src.data(), 37, 23, 37, {x0, y0, 7, 6}, part.data(), 7, 7, 6, 1.0,
                              1.0, kResizeLanczos),
                  StatusOk);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 7; ++x)
                ASSERT_EQ(part[size_t(y * 7 + x)], src[size_t((y0 + y) * 37 + x0 + x)]);
    }
}

TEST(ResizePlane, LanczosKeepsAConstantToTheBordersAndFollowsTheKernel)
{
    for (auto [dw, dh] :
         {std::array{85, 39}, std::array{20, 13}, std::array{37, 69}, std::array{1, 1}}) {
        const std::vector<uint8_t> flat(37 * 23, 200);
        std::vector<uint8_t> out(size_t(dw * dh));
        ASSERT_EQ(ResizePlane(flat.data(), 37, 23, 37, {0, 0, 37, 23}, out.data(), dw, dw, dh,
                              dw / 37.0, dh / 23.0, kResizeLanczos),
                  StatusOk);
        EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](uint8_t b) { return b == 200; }))
            << dw << " x " << dh;
    }

    // Against the six-tap sums in double precision over the engine's own tables, taps outside
    // the source on its edge pixels: within one.
    const int w = 37, h = 23;
    const auto src = RandomSamples<uint8_t>(size_t(w * h), 8);
    for (auto [dw, dh] : {std::array{80, 51}, std::array{20, 13}}) {
        ResizeRequest r;
        r.src = src.data();
        r.srcWidth = w;
        r.srcHeight = h;
        r.srcStep = w;
        r.roi = {0, 0, w, h};
        std::vector<uint8_t> out(size_t(dw * dh));
        r.dst = out.data();
        r.dstStep = dw;
        r.dstWidth = dw;
        r.dstHeight = dh;
        r.xFactor = double(dw) / w;
        r.yFactor = double(dh) / h;
        r.interpolation = kResizeLanczos;
        const ResizeTables t = BuildResizeTables(r);
        ASSERT_EQ(t.status, StatusOk);
        ASSERT_EQ(t.dstWidth, dw);
        ASSERT_EQ(ResizePlane(src.data(), w, h, w, {0, 0, w, h}, out.data(), dw, dw, dh, r.xFactor,
                              r.yFactor, kResizeLanczos),
                  StatusOk);
        for (int y = 0; y < dh; ++y) {
            for (int x = 0; x < dw; ++x) {
                double v = 0;
                for (int i = 0; i < 6; ++i) {
                    const int row = std::clamp(t.rowOffsets[size_t(y)] / w - 2 + i, 0, h - 1);
                    for (int k = 0; k < 6; ++k) {
                        const int column = std::clamp(t.colOffsets[size_t(x)] - 2 + k, 0, w - 1);
                        v += double(t.rowTaps[size_t(6 * y + i)]) * t.colTaps[size_t(6 * x + k)] *
                             src[size_t(row * w + column)];
                    }
                }
                const int expected = int(std::clamp(std::floor(v + 0.5), 0.0, 255.0));
                ASSERT_NEAR(out[size_t(y * dw + x)], expected, 1) << dw << " " << y << " " << x;
            }
        }
    }
}

TEST(ResizeGeneral, LanczosLayoutsAndTypesEqualTheOneChannelResultPerChannel)
{
    const int w = 29, h = 19, dw = 53, dh = 34;
    const double xf = double(dw) / w, yf = double(dh) / h;
    std::vector<std::vector<uint8_t>> planes, expected;
    for (int p = 0; p < 4; ++p) {
        planes.push_back(RandomSamples<uint8_t>(size_t(w * h), uint32_t(40 + p)));
        std::vector<uint8_t> out(size_t(dw * dh));
        ASSERT_EQ(ResizePlane(planes.back().data(), w, h, w, {0, 0, w, h}, out.data(), dw, dw, dh,
                              xf, yf, kResizeLanczos),
                  StatusOk);
        expected.push_back(out);
    }
    // Every channel goes through the same arithmetic as a plane of its own.
    for (int channels : {3, 4}) {
        for (int stride : {channels, 4}) {
            std::vector<uint8_t> packed(size_t(w * h * stride));
            for (int i = 0; i < w * h; ++i)
                for (int c = 0; c < channels; ++c)
                    packed[size_t(i * stride + c)] = planes[size_t(c)][size_t(i)];
            GuardedPlane<uint8_t> dst(dw * stride, dh);
            ASSERT_EQ(ResizeGeneral(packed.data(), w, h, w * stride, {0, 0, w, h}, dst.Data(),
                                    dst.Step(), dw, dh, xf, yf, 0, 0, stride, channels, 0, 0,
                                    kResizeLanczos, 1),
                      StatusOk);
            EXPECT_TRUE(dst.Intact());
            for (int y = 0; y < dh; ++y)
                for (int x = 0; x < dw; ++x)
                    for (int c = 0; c < stride; ++c)
                        ASSERT_EQ(dst.At(y, x * stride + c),
                                  c < channels ? expected[size_t(c)][size_t(y * dw + x)]
                                               : dst.Original(y, x * stride + c))
                            << channels << "/" << stride << " " << y << " " << x << " " << c;
        }
    }
    std::vector<std::vector<uint8_t>> out(4, std::vector<uint8_t>(size_t(dw * dh)));
    const void* src[4] = {planes[0].data(), planes[1].data(), planes[2].data(), planes[3].data()};
    void* dst[4] = {out[0].data(), out[1].data(), out[2].data(), out[3].data()};
    ASSERT_EQ(ResizeGeneral(src, w, h, w, {0, 0, w, h}, dst, dw, dw, dh, xf, yf, 0, 0, 0, 4, 0, 1,
                            kResizeLanczos, 1),
              StatusOk);
    EXPECT_EQ(out, expected);

    // 16-bit samples of 257 times the bytes, and floats of the bytes, give the 8-bit result to
    // within one step of the type.
    std::vector<uint16_t> wide(size_t(w * h));
    std::vector<float> real(size_t(w * h));
    for (size_t i = 0; i < wide.size(); ++i) {
        wide[i] = uint16_t(planes[0][i] * 257);
        real[i] = float(planes[0][i]);
    }
    std::vector<uint16_t> wideOut(size_t(dw * dh));
    std::vector<float> realOut(size_t(dw * dh));
    ASSERT_EQ(ResizeGeneral(wide.data(), w, h, 2 * w, {0, 0, w, h}, wideOut.data(), 2 * dw, dw, dh,
                            xf, yf, 0, 0, 1, 1, 1, 0, kResizeLanczos, 1),
              StatusOk);
    ASSERT_EQ(ResizeGeneral(real.data(), w, h, 4 * w, {0, 0, w, h}, realOut.data(), 4 * dw, dw, dh,
                            xf, yf, 0, 0, 1, 1, 2, 0, kResizeLanczos, 1),
              StatusOk);
    for (size_t i = 0; i < wideOut.size(); ++i) {
        ASSERT_NEAR(wideOut[i] / 257.0, expected[0][i], 1.0) << i;
        ASSERT_NEAR(std::clamp(realOut[i], 0.0f, 255.0f), expected[0][i], 1.0) << i;
    }
}
