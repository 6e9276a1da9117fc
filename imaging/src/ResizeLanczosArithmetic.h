// The per-sample arithmetic of the Lanczos-3 resize passes and the scalar row loops over it. The
// 16u, 16s and 32f passes are these loops; the 8u vector passes have their plain equivalents here.
//
// A column carries six weights w0..w5 for the pixels base - 2 .. base + 3, used as given (never
// normalised). Interior columns, whose six pixels are all readable, pair the products the way the
// vector passes add them (two multiply-adds and two horizontal additions); border columns fold
// every tap outside the readable pixels onto the outermost readable one, adding the weights that
// land on one pixel first and multiplying once. The vertical pass adds the six weighted rows in
// order, starting from 0, and converts with the single-precision bias.
#pragma once

#include "ResizeFloatConversion.h"

#include <algorithm>
#include <cstdint>

namespace imaging {

// ((w0 s0 + w4 s4) + (w1 s1 + w5 s5)) + ((w2 s2 + 0) + (w3 s3 + 0)): the zeros are the empty
// lanes of the vector sum, which make the sign of a zero result the vector pass's.
inline float LanczosInnerValue(const float s[6], const float* w)
{
    const float q0 = w[0] * s[0] + w[4] * s[4];
    const float q1 = w[1] * s[1] + w[5] * s[5];
    const float q2 = w[2] * s[2] + 0.0f;
    const float q3 = w[3] * s[3] + 0.0f;
    return (q0 + q1) + (q2 + q3);
}

// The readable pixels of a row: from -left (left is the left margin, 0, 1 or 2) to limit - 1.
struct LanczosRowBounds {
    int32_t left;
    int32_t limit;
};

// The left margin as the folding pass counts it: 0, 1, or 2 for anything more. A negative margin
// has nothing to the left to read, so it counts as 0.
inline int32_t LanczosMargin(int32_t margin)
{
    return std::clamp(margin, 0, 2);
}

// Whether all six taps of base lie inside the readable pixels.
inline bool LanczosInterior(int64_t base, const LanczosRowBounds& b)
{
    return base - 2 >= -int64_t(b.left) && base + 3 <= int64_t(b.limit) - 1;
}

// The columns whose six taps are all readable, when they form one run [begin, end) with at
// least one column (single); the folding passes give the same values when they are called for
// the columns before and after the run and the interior pass for the run. Bases are the index
// entries divided by the pixel step.
struct LanczosInteriorRun {
    int32_t begin;
    int32_t end;
    bool single;
};

inline LanczosInteriorRun FindLanczosInteriorRun(const int32_t* index, int32_t width,
                                                 int32_t pixelStep, const LanczosRowBounds& b)
{
    const auto interior = [&](int32_t k) {
        return LanczosInterior(int64_t(index[k]) / (pixelStep > 0 ? pixelStep : 1), b);
    };
    int32_t begin = 0;
    while (begin < width && !interior(begin))
        ++begin;
    int32_t end = begin;
    while (end < width && interior(end))
        ++end;
    for (int32_t k = end; k < width; ++k)
        if (interior(k))
            return {0, 0, false};
    return {begin, end, end > begin};
}

// One channel of a border column: the base is clamped into the row (a base at or beyond the end
// counts as the last pixel, so that no column is left unwritten), every tap into the readable
// pixels; taps on one pixel add their weights in tap order, and the terms are added in order.
// sample(k) reads pixel k of the row.
template <typename Sample>
float LanczosFoldedValue(int64_t base, const LanczosRowBounds& b, const float* w, Sample sample)
{
    const int64_t low = -int64_t(b.left), high = int64_t(std::max(b.limit, 1)) - 1;
    base = std::clamp<int64_t>(base, 0, high);
    float value = 0.0f;
    bool first = true;
    int64_t at = std::clamp<int64_t>(base - 2, low, high);
    float weight = w[0];
    for (int k = 1; k <= 6; ++k) {
        const int64_t next = k < 6 ? std::clamp<int64_t>(base - 2 + k, low, high) : high + 1;
        if (next == at) {
            weight = weight + w[k];
            continue;
        }
        const float term = weight * sample(at);
        value = first ? term : value + term;
        first = false;
        if (k < 6) {
            at = next;
            weight = w[k];
        }
    }
    return value;
}

// ---- Interior horizontal passes: every column's six pixels must be readable.

template <typename T>
void LanczosInnerC1(const T* src, const int32_t* index, const float* weights, float* out,
                    int32_t count)
{
    for (int32_t i = 0; i < count; ++i) {
        const T* p = src + index[i] - 2;
        const float s[6] = {float(p[0]), float(p[1]), float(p[2]),
                            float(p[3]), float(p[4]), float(p[5])};
        out[i] = LanczosInnerValue(s, weights + 6 * int64_t(i));
    }
}

// Three channels of pixels pixelStride samples apart (packed three a pixel in out), or four
// channels at a stride of four.
template <typename T, int Channels>
void LanczosInnerMC(const T* src, const int32_t* index, const float* weights, float* out,
                    int32_t count, int32_t pixelStride)
{
    const int64_t ps = Channels == 4 ? 4 : pixelStride;
    for (int32_t i = 0; i < count; ++i) {
        const T* p = src + index[i];
        for (int ch = 0; ch < Channels; ++ch) {
            float s[6];
            for (int k = 0; k < 6; ++k)
                s[k] = float(p[(k - 2) * ps + ch]);
            out[Channels * int64_t(i) + ch] = LanczosInnerValue(s, weights + 6 * int64_t(i));
        }
    }
}

// ---- Horizontal passes with border folding: border columns here, every run of interior
// columns through Inner in one call. Columns are classified one by one, so the pass is sound
// for any bases and any readable width; with the engine's tables (bases not decreasing, the
// source at least 8 pixels wide) the borders are at most the first two and the last three
// columns' bases.

template <typename T, auto Inner>
void LanczosFoldingC1(const T* src, const int32_t* index, const float* weights, float* out,
                      int32_t width, int32_t leftMargin, int32_t limit)
{
    const LanczosRowBounds bounds{LanczosMargin(leftMargin), limit};
    int32_t i = 0;
    while (i < width) {
        int32_t run = i;
        while (run < width && LanczosInterior(index[run], bounds))
            ++run;
        if (run > i) {
            Inner(src, index + i, weights + 6 * int64_t(i), out + i, run - i);
            i = run;
            continue;
        }
        out[i] = LanczosFoldedValue(index[i], bounds, weights + 6 * int64_t(i),
                                    [src](int64_t k) { return float(src[k]); });
        ++i;
    }
}

// Three or four channels; bases and the readable width count pixels.
template <typename T, int Channels, auto Inner>
void LanczosFoldingMC(const T* src, const int32_t* index, const float* weights, float* out,
                      int32_t width, int32_t leftMargin, int32_t limit, int32_t pixelStride)
{
    const int64_t ps = Channels == 4 ? 4 : pixelStride;
    const LanczosRowBounds bounds{LanczosMargin(leftMargin), limit};
    const auto pixelOf = [ps, index](int32_t column) { return int64_t(index[column]) / ps; };
    int32_t i = 0;
    while (i < width) {
        int32_t run = i;
        while (run < width && LanczosInterior(pixelOf(run), bounds))
            ++run;
        if (run > i) {
            if constexpr (Channels == 4)
                Inner(src, index + i, weights + 6 * int64_t(i), out + 4 * int64_t(i), run - i);
            else
                Inner(src, index + i, weights + 6 * int64_t(i), out + 3 * int64_t(i), run - i,
                      pixelStride);
            i = run;
            continue;
        }
        for (int ch = 0; ch < Channels; ++ch)
            out[Channels * int64_t(i) + ch] =
                LanczosFoldedValue(pixelOf(i), bounds, weights + 6 * int64_t(i),
                                   [src, ps, ch](int64_t k) { return float(src[k * ps + ch]); });
        ++i;
    }
}

// ---- Vertical passes over six filtered rows from top to bottom.

inline float LanczosVerticalValue(const float* const rows[6], int64_t i, const float* w)
{
    float sum = 0.0f;
    for (int k = 0; k < 6; ++k)
        sum = sum + w[k] * rows[k][i];
    return sum;
}

template <typename T>
void LanczosVerticalPacked(T* dst, int32_t count, const float* weights, const float* const rows[6])
{
    for (int32_t i = 0; i < count; ++i)
        dst[i] = ConvertBiased<T>(LanczosVerticalValue(rows, i, weights));
}

template <typename T>
void LanczosVerticalAC4(T* dst, int32_t pixels, const float* weights, const float* const rows[6])
{
    for (int64_t j = 0; j < 3 * int64_t(pixels); ++j)
        dst[ThreeOfFourPosition(j)] = ConvertBiased<T>(LanczosVerticalValue(rows, j, weights));
}

} // namespace imaging
