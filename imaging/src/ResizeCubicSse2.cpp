// The 8-bit cubic and four-tap passes in vector code, four results a step in single precision.
// One-channel horizontal passes gather the four taps of four columns and regroup them by tap, so
// that every lane is one column; the three- and four-channel passes take one pixel a step with
// its channels in the lanes. Vertical passes weigh four samples of the four filtered rows a step
// and convert them with the bias of ResizeFloatConversion.h. Every step computes the formulas of
// ResizeCubicArithmetic.h operation for operation, and the pixels after the vector steps go
// through those formulas directly.
#include "ResizeCubicArithmetic.h"
#include "ResizePasses.h"
#include "ResizeSse2Support.h"

#include <emmintrin.h>

namespace imaging {
namespace {

struct CubicVectors {
    __m128 c1;
    __m128 c2;
    __m128 c3;
};

// CubicQuadCoefficients lane by lane.
inline CubicVectors QuadCoefficients(__m128 t)
{
    const __m128 c1 = _mm_add_ps(t, _mm_set1_ps(1.0f));
    const __m128 c2 = _mm_mul_ps(_mm_mul_ps(t, c1), _mm_set1_ps(0.5f));
    const __m128 c3 =
        _mm_mul_ps(_mm_mul_ps(_mm_sub_ps(t, _mm_set1_ps(1.0f)), c2), _mm_set1_ps(kOneThirdBelow));
    return {c1, c2, c3};
}

// CubicQuadValue lane by lane.
inline __m128 QuadValue(__m128 p0, __m128 p1, __m128 p2, __m128 p3, const CubicVectors& c)
{
    const __m128 d1 = _mm_sub_ps(p1, p0);
    const __m128 d2 = _mm_sub_ps(_mm_sub_ps(p2, p1), d1);
    const __m128 d3 =
        _mm_sub_ps(_mm_add_ps(_mm_sub_ps(p3, _mm_mul_ps(_mm_set1_ps(2.0f), p2)), p1), d2);
    return _mm_add_ps(_mm_add_ps(p0, _mm_mul_ps(c.c1, d1)),
                      _mm_add_ps(_mm_mul_ps(c.c2, d2), _mm_mul_ps(c.c3, d3)));
}

// Taps4Value lane by lane.
inline __m128 Taps4Vector(__m128 p0, __m128 p1, __m128 p2, __m128 p3, __m128 w0, __m128 w1,
                          __m128 w2, __m128 w3)
{
    return _mm_add_ps(_mm_add_ps(_mm_mul_ps(w0, p0), _mm_mul_ps(w1, p1)),
                      _mm_add_ps(_mm_mul_ps(w2, p2), _mm_mul_ps(w3, p3)));
}

// The taps at -1, 0, 1, 2 of four one-channel columns: tap k of column c in lane c of pk.
inline void GatherFourColumns(const uint8_t* src, const int32_t* index, __m128& p0, __m128& p1,
                              __m128& p2, __m128& p3)
{
    const __m128i groups = _mm_set_epi32(Load32(src + index[3] - 1), Load32(src + index[2] - 1),
                                         Load32(src + index[1] - 1), Load32(src + index[0] - 1));
    BytesToFloats(TransposeBytes4x4(groups), p0, p1, p2, p3);
}

// The four pixels -1 .. 2 around p of three channels each (a zero fourth lane); nothing past
// the last pixel's third sample is read.
inline void GatherThreeChannelPixels(const uint8_t* p, int32_t pixelStride, __m128& p0, __m128& p1,
                                     __m128& p2, __m128& p3)
{
    const __m128i groups = _mm_set_epi32(Load24(p + 2 * pixelStride), Load24(p + pixelStride),
                                         Load24(p), Load24(p - pixelStride));
    BytesToFloats(groups, p0, p1, p2, p3);
}

// The first three lanes of v at out; the whole vector when the fourth float's place belongs to
// the next pixel, which is written afterwards.
inline void StoreThreeFloats(float* out, __m128 v, bool nextPixelFollows)
{
    if (nextPixelFollows) {
        _mm_storeu_ps(out, v);
        return;
    }
    _mm_storel_pi(reinterpret_cast<__m64*>(out), v);
    _mm_store_ss(out + 2, _mm_movehl_ps(v, v));
}

template <int Lane> inline __m128 Broadcast(__m128 v)
{
    return _mm_shuffle_ps(v, v, _MM_SHUFFLE(Lane, Lane, Lane, Lane));
}

inline __m128 LoadRow(const float* row, int64_t i)
{
    return _mm_loadu_ps(row + i);
}

} // namespace

// ---- Cubic

namespace {

// Four columns gathered from the bytes, for groups outside any converted span.
__attribute__((noinline)) void CubicQuadGathered(const uint8_t* src, const int32_t* index,
                                                 const float* fractions, float* out)
{
    __m128 p0, p1, p2, p3;
    GatherFourColumns(src, index, p0, p1, p2, p3);
    _mm_storeu_ps(out, QuadValue(p0, p1, p2, p3, QuadCoefficients(_mm_loadu_ps(fractions))));
}

} // namespace

void CubicHorzQuad8u_C1(const uint8_t* src, int32_t width, const int32_t* index,
                        const float* fractions, float* out)
{
    // The row is converted to floats span by span, once; each column's four taps are then one
    // unaligned load, and four columns are regrouped by tap with one transposition. A group
    // whose taps fall outside the span (a table whose bases go backwards) is gathered from the
    // bytes instead.
    alignas(16) float row[kFloatSpan];
    int32_t i = 0;
    while (i + 4 <= width) {
        const FloatSpan span = NextFloatSpan(index, i, width, 4, 1, 2);
        if (span.count < 4) {
            CubicQuadGathered(src, index + i, fractions + i, out + i);
            i += 4;
            continue;
        }
        BytesToFloatRow(src + span.first, span.count, row);
        const uint32_t lastLoad = uint32_t(span.count - 4);
        for (; i < span.end; i += 4) {
            const uint32_t a = uint32_t(index[i] - 1 - span.first);
            const uint32_t b = uint32_t(index[i + 1] - 1 - span.first);
            const uint32_t c = uint32_t(index[i + 2] - 1 - span.first);
            const uint32_t d = uint32_t(index[i + 3] - 1 - span.first);
            if ((a > lastLoad) | (b > lastLoad) | (c > lastLoad) | (d > lastLoad)) {
                CubicQuadGathered(src, index + i, fractions + i, out + i);
                continue;
            }
            __m128 p0 = _mm_loadu_ps(row + a), p1 = _mm_loadu_ps(row + b),
                   p2 = _mm_loadu_ps(row + c), p3 = _mm_loadu_ps(row + d);
            _MM_TRANSPOSE4_PS(p0, p1, p2, p3);
            _mm_storeu_ps(out + i, QuadValue(p0, p1, p2, p3,
                                             QuadCoefficients(_mm_loadu_ps(fractions + i))));
        }
    }
}

void CubicHorz8u_C1(const uint8_t* src, int32_t width, const int32_t* index,
                    const float* fractions, float* out)
{
    CubicHorizontalC1<uint8_t, CubicHorzQuad8u_C1>(src, width, index, fractions, out);
}

void CubicHorz8u_C3(const uint8_t* src, int32_t width, const int32_t* index,
                    const float* fractions, float* out, int32_t pixelStride)
{
    for (int32_t i = 0; i < width; ++i) {
        __m128 p0, p1, p2, p3;
        GatherThreeChannelPixels(src + index[i], pixelStride, p0, p1, p2, p3);
        const CubicVectors c = QuadCoefficients(_mm_set1_ps(fractions[i]));
        StoreThreeFloats(out + 3 * int64_t(i), QuadValue(p0, p1, p2, p3, c), i + 1 < width);
    }
}

void CubicHorz8u_C4(const uint8_t* src, int32_t width, const int32_t* index,
                    const float* fractions, float* out)
{
    for (int32_t i = 0; i < width; ++i) {
        __m128 p0, p1, p2, p3;
        // Pixels -1 .. 2 are the sixteen bytes from the one before the base pixel.
        BytesToFloats(LoadAny(src + index[i] - 4), p0, p1, p2, p3);
        const CubicVectors c = QuadCoefficients(_mm_set1_ps(fractions[i]));
        _mm_storeu_ps(out + 4 * int64_t(i), QuadValue(p0, p1, p2, p3, c));
    }
}

void CubicVertQuad8u(uint8_t* dst, int32_t count, float t, const float* const rows[4])
{
    const CubicVectors c = QuadCoefficients(_mm_set1_ps(t));
    StorePackedRun(dst, count, [&](int64_t i) {
        return BiasedToBytes(QuadValue(LoadRow(rows[0], i), LoadRow(rows[1], i),
                                       LoadRow(rows[2], i), LoadRow(rows[3], i), c));
    });
}

void CubicVert8u(uint8_t* dst, int32_t count, float t, const float* const rows[4])
{
    CubicVerticalPacked<uint8_t, CubicVertQuad8u>(dst, count, t, rows);
}

void CubicVertQuad8u_AC4(uint8_t* dst, int32_t samples, float t, const float* const rows[4])
{
    const CubicVectors c = QuadCoefficients(_mm_set1_ps(t));
    StoreThreeOfFourRun(dst, samples, [&](int64_t j) {
        return BiasedToBytes(QuadValue(LoadRow(rows[0], j), LoadRow(rows[1], j),
                                       LoadRow(rows[2], j), LoadRow(rows[3], j), c));
    });
}

void CubicVert8u_AC4(uint8_t* dst, int32_t pixels, float t, const float* const rows[4])
{
    CubicVerticalAC4<uint8_t, CubicVertQuad8u_AC4>(dst, pixels, t, rows);
}

// ---- Four-tap

void Taps4Horz8u_C1(const uint8_t* src, int32_t width, const int32_t* index,
                    const float* weights, float* out)
{
    int32_t i = 0;
    for (; i + 4 <= width; i += 4) {
        __m128 p0, p1, p2, p3;
        GatherFourColumns(src, index + i, p0, p1, p2, p3);
        const float* w = weights + 4 * int64_t(i);
        __m128 w0 = _mm_loadu_ps(w), w1 = _mm_loadu_ps(w + 4), w2 = _mm_loadu_ps(w + 8),
               w3 = _mm_loadu_ps(w + 12);
        _MM_TRANSPOSE4_PS(w0, w1, w2, w3);
        _mm_storeu_ps(out + i, Taps4Vector(p0, p1, p2, p3, w0, w1, w2, w3));
    }
    Taps4HorizontalC1<uint8_t>(src, width - i, index + i, weights + 4 * int64_t(i), out + i);
}

void Taps4Horz8u_C3(const uint8_t* src, int32_t width, const int32_t* index,
                    const float* weights, float* out, int32_t pixelStride)
{
    for (int32_t i = 0; i < width; ++i) {
        __m128 p0, p1, p2, p3;
        GatherThreeChannelPixels(src + index[i], pixelStride, p0, p1, p2, p3);
        const __m128 w = _mm_loadu_ps(weights + 4 * int64_t(i));
        const __m128 v = Taps4Vector(p0, p1, p2, p3, Broadcast<0>(w), Broadcast<1>(w),
                                     Broadcast<2>(w), Broadcast<3>(w));
        StoreThreeFloats(out + 3 * int64_t(i), v, i + 1 < width);
    }
}

void Taps4Horz8u_C4(const uint8_t* src, int32_t width, const int32_t* index,
                    const float* weights, float* out)
{
    for (int32_t i = 0; i < width; ++i) {
        __m128 p0, p1, p2, p3;
        BytesToFloats(LoadAny(src + index[i] - 4), p0, p1, p2, p3);
        const __m128 w = _mm_loadu_ps(weights + 4 * int64_t(i));
        _mm_storeu_ps(out + 4 * int64_t(i),
                      Taps4Vector(p0, p1, p2, p3, Broadcast<0>(w), Broadcast<1>(w), Broadcast<2>(w),
                                  Broadcast<3>(w)));
    }
}

void Taps4Vert8u(uint8_t* dst, int32_t count, const float* weights, const float* const rows[4])
{
    const __m128 w0 = _mm_set1_ps(weights[0]), w1 = _mm_set1_ps(weights[1]),
                 w2 = _mm_set1_ps(weights[2]), w3 = _mm_set1_ps(weights[3]);
    const int32_t vectors = count & ~3;
    StorePackedRun(dst, vectors, [&](int64_t i) {
        return BiasedToBytes(Taps4Vector(LoadRow(rows[0], i), LoadRow(rows[1], i),
                                         LoadRow(rows[2], i), LoadRow(rows[3], i), w0, w1, w2, w3));
    });
    for (int32_t i = vectors; i < count; ++i)
        dst[i] = ConvertBiased<uint8_t>(
            Taps4Value(rows[0][i], rows[1][i], rows[2][i], rows[3][i], weights));
}

void Taps4Vert8u_AC4(uint8_t* dst, int32_t pixels, const float* weights,
                     const float* const rows[4])
{
    const __m128 w0 = _mm_set1_ps(weights[0]), w1 = _mm_set1_ps(weights[1]),
                 w2 = _mm_set1_ps(weights[2]), w3 = _mm_set1_ps(weights[3]);
    const int32_t samples = 3 * pixels;
    const int32_t vectors = samples & ~3;
    StoreThreeOfFourRun(dst, vectors, [&](int64_t j) {
        return BiasedToBytes(Taps4Vector(LoadRow(rows[0], j), LoadRow(rows[1], j),
                                         LoadRow(rows[2], j), LoadRow(rows[3], j), w0, w1, w2, w3));
    });
    for (int64_t j = vectors; j < samples; ++j)
        dst[ThreeOfFourPosition(j)] = ConvertBiased<uint8_t>(
            Taps4Value(rows[0][j], rows[1][j], rows[2][j], rows[3][j], weights));
}

} // namespace imaging
