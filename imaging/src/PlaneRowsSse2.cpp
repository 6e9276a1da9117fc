// Vector kernels of the masked plane copy and the squared-difference sum (SSE2, with the SSE3
// unaligned load).
#include "RowKernels.h"

#include <emmintrin.h>
#include <pmmintrin.h>

namespace imaging {
namespace {

inline __m128i SquaredDiff16(__m128i a, __m128i b, __m128i zero)
{
    const __m128i lo = _mm_sub_epi16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero));
    const __m128i hi = _mm_sub_epi16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero));
    return _mm_add_epi32(_mm_madd_epi16(lo, lo), _mm_madd_epi16(hi, hi));
}

template <bool Aligned>
inline __m128i Load(const uint8_t* p)
{
    if constexpr (Aligned)
        return _mm_load_si128(reinterpret_cast<const __m128i*>(p));
    else
        return _mm_lddqu_si128(reinterpret_cast<const __m128i*>(p));
}

template <bool Aligned>
uint32_t SumRows(const uint8_t* src1, int32_t src1Step, const uint8_t* src2, int32_t src2Step,
                 int32_t width, int32_t height)
{
    const __m128i zero = _mm_setzero_si128();
    __m128i acc = zero;
    uint32_t scalar = 0;
    for (int32_t row = 0; row < height; ++row) {
        const uint8_t* a = src1 + int64_t(row) * src1Step;
        const uint8_t* b = src2 + int64_t(row) * src2Step;
        int32_t x = 0;
        for (; x + 32 <= width; x += 32) {
            acc = _mm_add_epi32(acc, SquaredDiff16(Load<Aligned>(a + x), Load<Aligned>(b + x), zero));
            acc = _mm_add_epi32(
                acc, SquaredDiff16(Load<Aligned>(a + x + 16), Load<Aligned>(b + x + 16), zero));
        }
        if (x + 16 <= width) {
            acc = _mm_add_epi32(acc, SquaredDiff16(Load<Aligned>(a + x), Load<Aligned>(b + x), zero));
            x += 16;
        }
        if (x + 8 <= width) {
            const __m128i d = _mm_sub_epi16(
                _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(a + x)), zero),
                _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(b + x)), zero));
            acc = _mm_add_epi32(acc, _mm_madd_epi16(d, d));
            x += 8;
        }
        for (; x < width; ++x) {
            const int32_t d = int32_t(a[x]) - int32_t(b[x]);
            scalar += uint32_t(d * d);
        }
    }
    acc = _mm_add_epi32(acc, _mm_srli_si128(acc, 8));
    acc = _mm_add_epi32(acc, _mm_srli_si128(acc, 4));
    return uint32_t(_mm_cvtsi128_si32(acc)) + scalar;
}

} // namespace

void CopyRowMaskedSse2(const uint8_t* src, uint8_t* dst, int32_t length, const uint8_t* mask)
{
    int32_t i = 0;
    for (; i < length && (reinterpret_cast<uintptr_t>(dst + i) & 15); ++i) {
        if (mask[i])
            dst[i] = src[i];
    }
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= length; i += 16) {
        const __m128i m = _mm_lddqu_si128(reinterpret_cast<const __m128i*>(mask + i));
        const __m128i keep = _mm_cmpeq_epi8(m, zero); // 0xFF where the destination stays
        const int bits = _mm_movemask_epi8(keep);
        if (bits == 0xFFFF)
            continue;
        const __m128i s = _mm_lddqu_si128(reinterpret_cast<const __m128i*>(src + i));
        auto* out = reinterpret_cast<__m128i*>(dst + i);
        if (bits == 0) {
            _mm_store_si128(out, s);
        } else {
            const __m128i d = _mm_load_si128(out);
            _mm_store_si128(out, _mm_or_si128(_mm_and_si128(keep, d), _mm_andnot_si128(keep, s)));
        }
    }
    for (; i < length; ++i) {
        if (mask[i])
            dst[i] = src[i];
    }
}

uint32_t SumSquaredDiffSse2(const uint8_t* src1, int32_t src1Step, const uint8_t* src2,
                            int32_t src2Step, int32_t width, int32_t height)
{
    const bool aligned = ((reinterpret_cast<uintptr_t>(src1) | reinterpret_cast<uintptr_t>(src2) |
                           uintptr_t(uint32_t(src1Step)) | uintptr_t(uint32_t(src2Step))) &
                          15) == 0;
    return aligned ? SumRows<true>(src1, src1Step, src2, src2Step, width, height)
                   : SumRows<false>(src1, src1Step, src2, src2Step, width, height);
}

} // namespace imaging
