// The per-sample arithmetic of the cubic resize passes (the cubic through four samples in Newton
// form, evaluated at a fraction t) and of the four-tap passes (four given weights), and the scalar
// row loops over it. The 16u and 32f cubic passes and the 16u, 16s and 32f four-tap passes are
// these loops; the 8u vector passes have their plain equivalents here, so that both sides share
// one statement of the formulas.
//
// Cubic: with p0..p3 the samples at positions -1, 0, 1 and 2 (the pixel before the base pixel,
// the base pixel and the two after it, or four filtered rows from top to bottom), the value at t
// is p0 + c1 d1 + c2 d2 + c3 d3 in single precision. Four-wide bodies and the one-at-a-time
// pixels after them evaluate it differently, and which path a sample takes is part of its
// result:
//   four-wide: c3 = (t - 1) c2 x 0.333333313, value = (p0 + c1 d1) + (c2 d2 + c3 d3)
//   one at a time: c3 = (t - 1) c2 / 3, value = ((p0 + c3 d3) + c2 d2) + c1 d1
// A one-channel horizontal pass and a vertical pass hand the largest multiple of four of their
// samples to the four-wide body and take the remaining one to three one at a time; vertical
// results are then converted with the bias of their path (ResizeFloatConversion.h). The
// three- and four-channel horizontal passes weigh the channels of a pixel together, four wide.
#pragma once

#include "ResizeFloatConversion.h"

#include <cstdint>

namespace imaging {

// The single-precision constant one unit in the last place below the float nearest to 1/3.
inline constexpr float kOneThirdBelow = 0.333333313f;

struct CubicCoefficients {
    float c1;
    float c2;
    float c3;
};

inline CubicCoefficients CubicQuadCoefficients(float t)
{
    const float c1 = t + 1.0f;
    const float c2 = (t * c1) * 0.5f;
    return {c1, c2, ((t - 1.0f) * c2) * kOneThirdBelow};
}

inline CubicCoefficients CubicSingleCoefficients(float t)
{
    const float c1 = t + 1.0f;
    const float c2 = (t * c1) * 0.5f;
    return {c1, c2, ((t - 1.0f) * c2) / 3.0f};
}

// The forward differences d1, d2, d3 of the four samples.
struct CubicDifferences {
    float d1;
    float d2;
    float d3;
};

inline CubicDifferences CubicDifferencesOf(float p0, float p1, float p2, float p3)
{
    const float d1 = p1 - p0;
    const float d2 = (p2 - p1) - d1;
    const float d3 = ((p3 - 2.0f * p2) + p1) - d2;
    return {d1, d2, d3};
}

inline float CubicQuadValue(float p0, float p1, float p2, float p3, const CubicCoefficients& c)
{
    const CubicDifferences d = CubicDifferencesOf(p0, p1, p2, p3);
    return (p0 + c.c1 * d.d1) + (c.c2 * d.d2 + c.c3 * d.d3);
}

inline float CubicSingleValue(float p0, float p1, float p2, float p3, const CubicCoefficients& c)
{
    const CubicDifferences d = CubicDifferencesOf(p0, p1, p2, p3);
    return ((p0 + c.c3 * d.d3) + c.c2 * d.d2) + c.c1 * d.d1;
}

// Four weights w0..w3 on the four samples, added in pairs.
inline float Taps4Value(float p0, float p1, float p2, float p3, const float* w)
{
    return (w[0] * p0 + w[1] * p1) + (w[2] * p2 + w[3] * p3);
}

// ---- Cubic horizontal passes: out receives width pixels of 1, 3 or 4 floats.

// The four-wide body of a one-channel row: width is a multiple of four.
template <typename T>
void CubicHorizontalQuadC1(const T* src, int32_t width, const int32_t* index,
                           const float* fractions, float* out)
{
    for (int32_t i = 0; i < width; ++i) {
        const T* p = src + index[i];
        out[i] = CubicQuadValue(float(p[-1]), float(p[0]), float(p[1]), float(p[2]),
                                CubicQuadCoefficients(fractions[i]));
    }
}

// A one-channel row: Quad takes the largest multiple of four columns, the rest go one at a time.
template <typename T, auto Quad>
void CubicHorizontalC1(const T* src, int32_t width, const int32_t* index, const float* fractions,
                       float* out)
{
    const int32_t quad = width & ~3;
    if (quad > 0)
        Quad(src, quad, index, fractions, out);
    for (int32_t i = quad; i < width; ++i) {
        const T* p = src + index[i];
        out[i] = CubicSingleValue(float(p[-1]), float(p[0]), float(p[1]), float(p[2]),
                                  CubicSingleCoefficients(fractions[i]));
    }
}

// Three channels of pixels pixelStride samples apart (packed three a pixel in out), or four
// channels at a stride of four.
template <typename T, int Channels>
void CubicHorizontalMC(const T* src, int32_t width, const int32_t* index, const float* fractions,
                       float* out, int32_t pixelStride)
{
    const int64_t ps = Channels == 4 ? 4 : pixelStride;
    for (int32_t i = 0; i < width; ++i) {
        const T* p = src + index[i];
        const CubicCoefficients c = CubicQuadCoefficients(fractions[i]);
        for (int ch = 0; ch < Channels; ++ch)
            out[Channels * int64_t(i) + ch] = CubicQuadValue(
                float(p[ch - ps]), float(p[ch]), float(p[ch + ps]), float(p[ch + 2 * ps]), c);
    }
}

// ---- Cubic vertical passes over four filtered rows from top to bottom.

// The four-wide body of a packed run: count is a multiple of four.
template <typename T>
void CubicVerticalQuad(T* dst, int32_t count, float t, const float* const rows[4])
{
    const CubicCoefficients c = CubicQuadCoefficients(t);
    for (int32_t i = 0; i < count; ++i)
        dst[i] =
            ConvertBiased<T>(CubicQuadValue(rows[0][i], rows[1][i], rows[2][i], rows[3][i], c));
}

// A sample of a packed run taken one at a time.
template <typename T>
inline T CubicVerticalSingle(const float* const rows[4], int64_t i, const CubicCoefficients& c)
{
    return ConvertBiasedTail<T>(
        CubicSingleValue(rows[0][i], rows[1][i], rows[2][i], rows[3][i], c));
}

// count samples in one run (C1, C3 and C4 alike).
template <typename T, auto Quad>
void CubicVerticalPacked(T* dst, int32_t count, float t, const float* const rows[4])
{
    const int32_t quad = count & ~3;
    if (quad > 0)
        Quad(dst, quad, t, rows);
    const CubicCoefficients c = CubicSingleCoefficients(t);
    for (int32_t i = quad; i < count; ++i)
        dst[i] = CubicVerticalSingle<T>(rows, i, c);
}

// The four-wide body of a three-of-four run: the first `samples` filtered samples (a multiple of
// four; three a pixel), each written to its place in the four-sample pixels.
template <typename T>
void CubicVerticalQuadAC4(T* dst, int32_t samples, float t, const float* const rows[4])
{
    const CubicCoefficients c = CubicQuadCoefficients(t);
    for (int32_t j = 0; j < samples; ++j)
        dst[ThreeOfFourPosition(j)] =
            ConvertBiased<T>(CubicQuadValue(rows[0][j], rows[1][j], rows[2][j], rows[3][j], c));
}

// Three samples of every four-sample pixel, the fourth left as it was. The split between the
// body and the one-at-a-time samples counts the three samples a pixel, not pixels.
template <typename T, auto Quad>
void CubicVerticalAC4(T* dst, int32_t pixels, float t, const float* const rows[4])
{
    const int32_t samples = 3 * pixels;
    const int32_t quad = samples & ~3;
    if (quad > 0)
        Quad(dst, quad, t, rows);
    const CubicCoefficients c = CubicSingleCoefficients(t);
    for (int32_t j = quad; j < samples; ++j)
        dst[ThreeOfFourPosition(j)] = CubicVerticalSingle<T>(rows, j, c);
}

// ---- Four-tap passes: four floats a column, four a row.

template <typename T>
void Taps4HorizontalC1(const T* src, int32_t width, const int32_t* index, const float* weights,
                       float* out)
{
    for (int32_t i = 0; i < width; ++i) {
        const T* p = src + index[i];
        out[i] = Taps4Value(float(p[-1]), float(p[0]), float(p[1]), float(p[2]),
                            weights + 4 * int64_t(i));
    }
}

template <typename T, int Channels>
void Taps4HorizontalMC(const T* src, int32_t width, const int32_t* index, const float* weights,
                       float* out, int32_t pixelStride)
{
    const int64_t ps = Channels == 4 ? 4 : pixelStride;
    for (int32_t i = 0; i < width; ++i) {
        const T* p = src + index[i];
        const float* w = weights + 4 * int64_t(i);
        for (int ch = 0; ch < Channels; ++ch)
            out[Channels * int64_t(i) + ch] = Taps4Value(
                float(p[ch - ps]), float(p[ch]), float(p[ch + ps]), float(p[ch + 2 * ps]), w);
    }
}

template <typename T>
void Taps4VerticalPacked(T* dst, int32_t count, const float* weights, const float* const rows[4])
{
    for (int32_t i = 0; i < count; ++i)
        dst[i] =
            ConvertBiased<T>(Taps4Value(rows[0][i], rows[1][i], rows[2][i], rows[3][i], weights));
}

template <typename T>
void Taps4VerticalAC4(T* dst, int32_t pixels, const float* weights, const float* const rows[4])
{
    for (int64_t j = 0; j < 3 * int64_t(pixels); ++j)
        dst[ThreeOfFourPosition(j)] =
            ConvertBiased<T>(Taps4Value(rows[0][j], rows[1][j], rows[2][j], rows[3][j], weights));
}

} // namespace imaging
