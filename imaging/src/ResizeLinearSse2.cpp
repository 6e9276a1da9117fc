// The 8-bit linear passes in vector code. Horizontal: each column's two neighbouring samples are
// gathered with one 16-bit load and weighted with one multiply-add of 16-bit pairs, eight columns
// a step. Vertical: upper and lower filtered values interleaved and weighted the same way, 16
// samples a step, then 8 and 4; AC4 rows four pixels a step. Whatever is left over goes through
// the scalar formula of ResizeLinearArithmetic.h, which is also what every step computes.
#include "ResizeLinearArithmetic.h"
#include "ResizePasses.h"
#include "ResizeSse2Support.h"

#include <emmintrin.h>

#include <cstring>

namespace imaging {
namespace {

using A = LinearArithmetic8u;

// (sum + 128) >> 8 of four 32-bit sums.
inline __m128i HorizontalRound(__m128i sums)
{
    return _mm_srai_epi32(_mm_add_epi32(sums, _mm_set1_epi32(128)), 8);
}

// One column's weight pair repeated over the register.
inline __m128i WeightPair(const int16_t* weights, int32_t column)
{
    return _mm_set1_epi32(Load32(weights + 2 * int64_t(column)));
}

// Four channels of one pixel, from the low 8 bytes of `samples` (this pixel's channels in bytes
// 0-3, the next pixel's in bytes 4-7), weighted by the column's pair: four 32-bit sums.
inline __m128i WeighPixel(__m128i samples, __m128i pair)
{
    const __m128i wide = _mm_unpacklo_epi8(samples, _mm_setzero_si128());
    return _mm_madd_epi16(_mm_unpacklo_epi16(wide, _mm_srli_si128(wide, 8)), pair);
}

// (upper x (16384 - w) + lower x w + 2^19) >> 20 of four interleaved value pairs.
inline __m128i VerticalRound(__m128i interleaved, __m128i weights)
{
    const __m128i sums = _mm_madd_epi16(interleaved, weights);
    return _mm_srai_epi32(_mm_add_epi32(sums, _mm_set1_epi32(1 << 19)), 20);
}

inline __m128i VerticalWeights(uint16_t w)
{
    return _mm_set1_epi32(int32_t(uint32_t(uint16_t(16384 - w)) | uint32_t(w) << 16));
}

// Eight results of upper and lower (8 values each), as 16-bit values.
inline __m128i VerticalEight(__m128i upper, __m128i lower, __m128i weights)
{
    return _mm_packs_epi32(VerticalRound(_mm_unpacklo_epi16(upper, lower), weights),
                           VerticalRound(_mm_unpackhi_epi16(upper, lower), weights));
}

} // namespace

void LinearHorz8u_C1(const uint8_t* src, int32_t width, const int32_t* index,
                     const int16_t* weights, int16_t* out)
{
    const __m128i zero = _mm_setzero_si128();
    int32_t i = 0;
    for (; i + 8 <= width; i += 8) {
        const int32_t* c = index + i;
        const __m128i pairs = _mm_set_epi16(
            short(Load16(src + c[7])), short(Load16(src + c[6])), short(Load16(src + c[5])),
            short(Load16(src + c[4])), short(Load16(src + c[3])), short(Load16(src + c[2])),
            short(Load16(src + c[1])), short(Load16(src + c[0])));
        const int16_t* w = weights + 2 * int64_t(i);
        const __m128i low = _mm_madd_epi16(_mm_unpacklo_epi8(pairs, zero), LoadAny(w));
        const __m128i high = _mm_madd_epi16(_mm_unpackhi_epi8(pairs, zero), LoadAny(w + 8));
        StoreAny(out + i, _mm_packs_epi32(HorizontalRound(low), HorizontalRound(high)));
    }
    if (i + 4 <= width) {
        const int32_t* c = index + i;
        const __m128i pairs = _mm_set_epi16(0, 0, 0, 0, short(Load16(src + c[3])),
                                            short(Load16(src + c[2])), short(Load16(src + c[1])),
                                            short(Load16(src + c[0])));
        const __m128i sums = _mm_madd_epi16(_mm_unpacklo_epi8(pairs, zero),
                                            LoadAny(weights + 2 * int64_t(i)));
        const __m128i values = HorizontalRound(sums);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), _mm_packs_epi32(values, values));
        i += 4;
    }
    for (; i < width; ++i)
        out[i] = A::Horizontal(src[index[i]], src[index[i] + 1], weights + 2 * int64_t(i));
}

void LinearHorz8u_C4(const uint8_t* src, int32_t width, const int32_t* index,
                     const int16_t* weights, int16_t* out)
{
    int32_t i = 0;
    for (; i + 2 <= width; i += 2) {
        const __m128i first = WeighPixel(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(src + index[i])),
                                         WeightPair(weights, i));
        const __m128i second =
            WeighPixel(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(src + index[i + 1])),
                       WeightPair(weights, i + 1));
        StoreAny(out + 4 * int64_t(i),
                 _mm_packs_epi32(HorizontalRound(first), HorizontalRound(second)));
    }
    if (i < width)
        LinearHorizontalC4<A>(src, 1, index + i, weights + 2 * int64_t(i), out + 4 * int64_t(i));
}

void LinearHorz8u_C3(const uint8_t* src, int32_t width, const int32_t* index,
                     const int16_t* weights, int16_t* out, int32_t pixelStride)
{
    // A pixel's three samples and the next pixel's, read without touching anything past the next
    // pixel's third sample: the next pixel's word is loaded one byte early and shifted down.
    const auto pixelPair = [&](int32_t column) {
        const uint8_t* p = src + index[column];
        const int32_t next = int32_t(uint32_t(Load32(p + pixelStride - 1)) >> 8);
        return _mm_unpacklo_epi32(_mm_cvtsi32_si128(Load32(p)), _mm_cvtsi32_si128(next));
    };
    int32_t i = 0;
    // Each step stores eight values for six; the two extra land where the next pixel goes, so the
    // loop stops while a pixel still follows.
    for (; i + 2 < width; i += 2) {
        const __m128i first = HorizontalRound(WeighPixel(pixelPair(i), WeightPair(weights, i)));
        const __m128i second =
            HorizontalRound(WeighPixel(pixelPair(i + 1), WeightPair(weights, i + 1)));
        const __m128i values = _mm_packs_epi32(first, second);
        int16_t* at = out + 3 * int64_t(i);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(at), values);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(at + 3), _mm_srli_si128(values, 8));
    }
    if (i < width)
        LinearHorizontalC3<A>(src, width - i, index + i, weights + 2 * int64_t(i),
                              out + 3 * int64_t(i), pixelStride);
}

void LinearVert8u(uint8_t* dst, int32_t count, uint16_t weight, const int16_t* upper,
                  const int16_t* lower)
{
    const __m128i w = VerticalWeights(weight);
    int32_t i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m128i first = VerticalEight(LoadAny(upper + i), LoadAny(lower + i), w);
        const __m128i second = VerticalEight(LoadAny(upper + i + 8), LoadAny(lower + i + 8), w);
        StoreAny(dst + i, _mm_packus_epi16(first, second));
    }
    if (i + 8 <= count) {
        const __m128i values = VerticalEight(LoadAny(upper + i), LoadAny(lower + i), w);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + i), _mm_packus_epi16(values, values));
        i += 8;
    }
    if (i + 4 <= count) {
        const __m128i u = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(upper + i));
        const __m128i l = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(lower + i));
        const __m128i values = VerticalRound(_mm_unpacklo_epi16(u, l), w);
        const __m128i words = _mm_packs_epi32(values, values);
        const int32_t bytes = _mm_cvtsi128_si32(_mm_packus_epi16(words, words));
        std::memcpy(dst + i, &bytes, 4);
        i += 4;
    }
    for (; i < count; ++i)
        dst[i] = A::Vertical(upper[i], lower[i], weight);
}

void LinearVert8u_AC4(uint8_t* dst, int32_t pixels, uint16_t weight, const int16_t* upper,
                      const int16_t* lower)
{
    const __m128i w = VerticalWeights(weight);
    int32_t i = 0;
    for (; i + 4 <= pixels; i += 4) {
        // Twelve values v0-v11 (four pixels of three) as 16-bit results: a = v0-v7, b = v8-v11.
        const int16_t* u = upper + 3 * int64_t(i);
        const int16_t* l = lower + 3 * int64_t(i);
        const __m128i a = VerticalEight(LoadAny(u), LoadAny(l), w);
        const __m128i rest = VerticalRound(
            _mm_unpacklo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(u + 8)),
                               _mm_loadl_epi64(reinterpret_cast<const __m128i*>(l + 8))),
            w);
        StoreThreeOfFour(dst + 4 * int64_t(i), a, _mm_packs_epi32(rest, rest));
    }
    if (i < pixels)
        LinearVerticalAC4<A>(dst + 4 * int64_t(i), pixels - i, weight, upper + 3 * int64_t(i),
                             lower + 3 * int64_t(i));
}

} // namespace imaging
