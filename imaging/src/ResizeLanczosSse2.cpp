// The 8-bit Lanczos passes in vector code. The one-channel interior pass converts the row to
// floats once and takes two columns a step: each column's six taps and weights in two vectors,
// the products paired lane by lane and the two columns summed together with two horizontal
// additions (SSE3). The three- and four-channel interior passes take one pixel a step with its
// channels in the lanes and pair the products the same way. The folding passes are the border
// walk of ResizeLanczosArithmetic.h over these interior passes. The vertical pass broadcasts the
// six row weights once and weighs four samples a step. Every step computes the formulas of
// ResizeLanczosArithmetic.h operation for operation.
#include "ResizeLanczosArithmetic.h"
#include "ResizePasses.h"
#include "ResizeSse2Support.h"

#include <emmintrin.h>
#include <pmmintrin.h>

namespace imaging {
namespace {

// The lane sums of one one-channel column, taps from p - 2 (read as bytes):
// (w0 s0 + w4 s4, w1 s1 + w5 s5, w2 s2 + 0, w3 s3 + 0).
inline __m128 ColumnLanes(const uint8_t* p, const float* w)
{
    const __m128 s03 = BytesToFloats(Load32(p - 2));
    const __m128 s45 = BytesToFloats(Load16(p + 2));
    const __m128 w03 = _mm_loadu_ps(w);
    const __m128 w45 = _mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(w + 4));
    return _mm_add_ps(_mm_mul_ps(w03, s03), _mm_mul_ps(w45, s45));
}

// ColumnLanes from a row already converted to floats, f at the column's first tap.
inline __m128 FloatColumnLanes(const float* f, const float* w)
{
    const __m128 s03 = _mm_loadu_ps(f);
    const __m128 s45 = _mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(f + 4));
    const __m128 w03 = _mm_loadu_ps(w);
    const __m128 w45 = _mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(w + 4));
    return _mm_add_ps(_mm_mul_ps(w03, s03), _mm_mul_ps(w45, s45));
}

// LanczosInnerValue with the channels of one pixel in the lanes: six pixels s0..s5, six weights.
inline __m128 PixelValue(const __m128 s[6], const float* w)
{
    const __m128 zero = _mm_setzero_ps();
    const __m128 q0 =
        _mm_add_ps(_mm_mul_ps(_mm_set1_ps(w[0]), s[0]), _mm_mul_ps(_mm_set1_ps(w[4]), s[4]));
    const __m128 q1 =
        _mm_add_ps(_mm_mul_ps(_mm_set1_ps(w[1]), s[1]), _mm_mul_ps(_mm_set1_ps(w[5]), s[5]));
    const __m128 q2 = _mm_add_ps(_mm_mul_ps(_mm_set1_ps(w[2]), s[2]), zero);
    const __m128 q3 = _mm_add_ps(_mm_mul_ps(_mm_set1_ps(w[3]), s[3]), zero);
    return _mm_add_ps(_mm_add_ps(q0, q1), _mm_add_ps(q2, q3));
}

// LanczosVerticalValue of four samples: the weighted rows added in order from 0.
inline __m128 VerticalValue(const __m128 w[6], const float* const rows[6], int64_t i)
{
    __m128 sum = _mm_setzero_ps();
    for (int k = 0; k < 6; ++k)
        sum = _mm_add_ps(sum, _mm_mul_ps(w[k], _mm_loadu_ps(rows[k] + i)));
    return sum;
}

inline void BroadcastWeights(const float* weights, __m128 w[6])
{
    for (int k = 0; k < 6; ++k)
        w[k] = _mm_set1_ps(weights[k]);
}

} // namespace

void LanczosHorzInner8u_C1(const uint8_t* src, const int32_t* index, const float* weights,
                           float* out, int32_t count)
{
    // The row is converted to floats span by span, once, and shared by the six taps of every
    // column that reads it; a pair of columns outside the span (a table whose bases go
    // backwards) is read from the bytes.
    alignas(16) float row[kFloatSpan];
    int32_t i = 0;
    while (i + 2 <= count) {
        const FloatSpan span = NextFloatSpan(index, i, count, 2, 2, 3);
        if (span.count < 6) {
            const __m128 a = ColumnLanes(src + index[i], weights + 6 * int64_t(i));
            const __m128 b = ColumnLanes(src + index[i + 1], weights + 6 * int64_t(i + 1));
            const __m128 pairs = _mm_hadd_ps(a, b);
            _mm_storel_pi(reinterpret_cast<__m64*>(out + i), _mm_hadd_ps(pairs, pairs));
            i += 2;
            continue;
        }
        BytesToFloatRow(src + span.first, span.count, row);
        const uint32_t lastColumn = uint32_t(span.count - 6);
        for (; i < span.end; i += 2) {
            const uint32_t a = uint32_t(index[i] - 2 - span.first);
            const uint32_t b = uint32_t(index[i + 1] - 2 - span.first);
            __m128 lanesA, lanesB;
            if ((a > lastColumn) | (b > lastColumn)) {
                lanesA = ColumnLanes(src + index[i], weights + 6 * int64_t(i));
                lanesB = ColumnLanes(src + index[i + 1], weights + 6 * int64_t(i + 1));
            } else {
                lanesA = FloatColumnLanes(row + a, weights + 6 * int64_t(i));
                lanesB = FloatColumnLanes(row + b, weights + 6 * int64_t(i + 1));
            }
            const __m128 pairs = _mm_hadd_ps(lanesA, lanesB);
            _mm_storel_pi(reinterpret_cast<__m64*>(out + i), _mm_hadd_ps(pairs, pairs));
        }
    }
    if (i < count) {
        const __m128 a = ColumnLanes(src + index[i], weights + 6 * int64_t(i));
        const __m128 pairs = _mm_hadd_ps(a, a);
        _mm_store_ss(out + i, _mm_hadd_ps(pairs, pairs));
    }
}

void LanczosHorzInner8u_C3(const uint8_t* src, const int32_t* index, const float* weights,
                           float* out, int32_t count, int32_t pixelStride)
{
    const int64_t ps = pixelStride;
    for (int32_t i = 0; i < count; ++i) {
        const uint8_t* p = src + index[i];
        __m128 s[6], unused;
        BytesToFloats(_mm_set_epi32(Load24(p + ps), Load24(p), Load24(p - ps), Load24(p - 2 * ps)),
                      s[0], s[1], s[2], s[3]);
        BytesToFloats(_mm_set_epi32(0, 0, Load24(p + 3 * ps), Load24(p + 2 * ps)), s[4], s[5],
                      unused, unused);
        const __m128 v = PixelValue(s, weights + 6 * int64_t(i));
        float* at = out + 3 * int64_t(i);
        if (i + 1 < count) {
            _mm_storeu_ps(at, v); // the fourth float is the next pixel's, written next
        } else {
            _mm_storel_pi(reinterpret_cast<__m64*>(at), v);
            _mm_store_ss(at + 2, _mm_movehl_ps(v, v));
        }
    }
}

void LanczosHorzInner8u_C4(const uint8_t* src, const int32_t* index, const float* weights,
                           float* out, int32_t count)
{
    for (int32_t i = 0; i < count; ++i) {
        // Pixels -2 .. 1 in sixteen bytes, pixels 2 and 3 in the next eight.
        const uint8_t* p = src + index[i];
        __m128 s[6], unused;
        BytesToFloats(LoadAny(p - 8), s[0], s[1], s[2], s[3]);
        BytesToFloats(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + 8)), s[4], s[5], unused,
                      unused);
        _mm_storeu_ps(out + 4 * int64_t(i), PixelValue(s, weights + 6 * int64_t(i)));
    }
}

void LanczosHorz8u_C1(const uint8_t* src, const int32_t* index, const float* weights,
                      float* out, int32_t width, int32_t leftMargin, int32_t limit)
{
    LanczosFoldingC1<uint8_t, LanczosHorzInner8u_C1>(src, index, weights, out, width,
                                                         leftMargin, limit);
}

void LanczosHorz8u_C3(const uint8_t* src, const int32_t* index, const float* weights,
                      float* out, int32_t width, int32_t leftMargin, int32_t limit,
                      int32_t pixelStride)
{
    LanczosFoldingMC<uint8_t, 3, LanczosHorzInner8u_C3>(src, index, weights, out, width,
                                                            leftMargin, limit, pixelStride);
}

void LanczosHorz8u_C4(const uint8_t* src, const int32_t* index, const float* weights,
                      float* out, int32_t width, int32_t leftMargin, int32_t limit)
{
    LanczosFoldingMC<uint8_t, 4, LanczosHorzInner8u_C4>(src, index, weights, out, width,
                                                            leftMargin, limit, 4);
}

void LanczosVert8u(uint8_t* dst, int32_t count, const float* weights,
                   const float* const rows[6])
{
    __m128 w[6];
    BroadcastWeights(weights, w);
    const int32_t vectors = count & ~3;
    StorePackedRun(dst, vectors,
                   [&](int64_t i) { return BiasedToBytes(VerticalValue(w, rows, i)); });
    for (int32_t i = vectors; i < count; ++i)
        dst[i] = ConvertBiased<uint8_t>(LanczosVerticalValue(rows, i, weights));
}

void LanczosVert8u_AC4(uint8_t* dst, int32_t pixels, const float* weights,
                       const float* const rows[6])
{
    __m128 w[6];
    BroadcastWeights(weights, w);
    const int32_t samples = 3 * pixels;
    const int32_t vectors = samples & ~3;
    StoreThreeOfFourRun(dst, vectors,
                        [&](int64_t j) { return BiasedToBytes(VerticalValue(w, rows, j)); });
    for (int64_t j = vectors; j < samples; ++j)
        dst[ThreeOfFourPosition(j)] =
            ConvertBiased<uint8_t>(LanczosVerticalValue(rows, j, weights));
}

} // namespace imaging
