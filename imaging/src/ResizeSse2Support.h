// What the 8-bit vector resize passes share: loads that read exactly the bytes named (never past a
// row's last sample), widening of bytes to floats, the conversion of four float results to bytes
// with the single-precision bias, and the stores of runs of results: packed, or three samples
// into every four-sample pixel, keeping each pixel's fourth byte.
#pragma once

#include "ResizeFloatConversion.h"

#include <emmintrin.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace imaging {

inline int32_t Load16(const void* p)
{
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

inline int32_t Load32(const void* p)
{
    int32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// The three bytes at p in the low three bytes; nothing past p[2] is read.
inline int32_t Load24(const uint8_t* p)
{
    return Load16(p) | int32_t(p[2]) << 16;
}

inline __m128i LoadAny(const void* p)
{
    return _mm_loadu_si128(static_cast<const __m128i*>(p));
}

inline void StoreAny(void* p, __m128i v)
{
    _mm_storeu_si128(static_cast<__m128i*>(p), v);
}

inline void Store32(void* p, int32_t v)
{
    std::memcpy(p, &v, 4);
}

// The four bytes of `bytes` (lowest first) as four floats.
inline __m128 BytesToFloats(int32_t bytes)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i words = _mm_unpacklo_epi8(_mm_cvtsi32_si128(bytes), zero);
    return _mm_cvtepi32_ps(_mm_unpacklo_epi16(words, zero));
}

// The sixteen bytes of v as four vectors of four floats: bytes 0-3, 4-7, 8-11 and 12-15.
inline void BytesToFloats(__m128i v, __m128& a, __m128& b, __m128& c, __m128& d)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i low = _mm_unpacklo_epi8(v, zero);
    const __m128i high = _mm_unpackhi_epi8(v, zero);
    a = _mm_cvtepi32_ps(_mm_unpacklo_epi16(low, zero));
    b = _mm_cvtepi32_ps(_mm_unpackhi_epi16(low, zero));
    c = _mm_cvtepi32_ps(_mm_unpacklo_epi16(high, zero));
    d = _mm_cvtepi32_ps(_mm_unpackhi_epi16(high, zero));
}

// Four groups of four bytes (group g in bytes 4g to 4g + 3) regrouped by position: byte k of
// every group, in group order, in bytes 4k to 4k + 3.
inline __m128i TransposeBytes4x4(__m128i v)
{
    const __m128i a = _mm_unpacklo_epi8(v, _mm_srli_si128(v, 8));
    return _mm_unpacklo_epi8(a, _mm_srli_si128(a, 8));
}

// v + 0.50000012, truncated and saturated to 0..255, as four 32-bit lanes (ConvertBiased).
// Not-a-number gives 0: the maximum takes its second operand, 0, where the first is not a number.
// Clamping before the conversion keeps every lane in range.
inline __m128i BiasedToBytes(__m128 v)
{
    const __m128 biased = _mm_add_ps(v, _mm_set1_ps(kSampleBias));
    const __m128 clamped = _mm_min_ps(_mm_max_ps(biased, _mm_setzero_ps()), _mm_set1_ps(255.0f));
    return _mm_cvttps_epi32(clamped);
}

// Four 32-bit lanes of 0..255 as four bytes.
inline int32_t PackFourBytes(__m128i lanes)
{
    const __m128i words = _mm_packs_epi32(lanes, lanes);
    return _mm_cvtsi128_si32(_mm_packus_epi16(words, words));
}

// Twelve 16-bit results v0..v11 (a holds v0-v7, the low half of b v8-v11) stored as the first
// three bytes of four four-sample pixels at `at`; the pixels' fourth bytes keep their values.
inline void StoreThreeOfFour(uint8_t* at, __m128i a, __m128i b)
{
    // 16-bit lanes 0-2 and 4-6: the three channels of two pixels of four lanes.
    const __m128i lanes012 = _mm_set_epi16(0, 0, 0, 0, 0, -1, -1, -1);
    const __m128i lanes456 = _mm_set_epi16(0, -1, -1, -1, 0, 0, 0, 0);
    const __m128i fourth = _mm_set1_epi32(int32_t(0xFF000000u));
    // Spread to four lanes a pixel: (v0 v1 v2 _ v3 v4 v5 _) and (v6 v7 v8 _ v9 v10 v11 _).
    const __m128i first =
        _mm_or_si128(_mm_and_si128(a, lanes012), _mm_and_si128(_mm_slli_si128(a, 2), lanes456));
    const __m128i secondLow = _mm_or_si128(_mm_srli_si128(a, 12), _mm_slli_si128(b, 4));
    const __m128i second = _mm_or_si128(_mm_and_si128(secondLow, lanes012),
                                        _mm_and_si128(_mm_slli_si128(b, 6), lanes456));
    const __m128i kept = _mm_and_si128(LoadAny(at), fourth);
    StoreAny(at, _mm_or_si128(_mm_packus_epi16(first, second), kept));
}

// Sixteen results four(0), four(4), four(8), four(12) (32-bit lanes of 0..255) stored as bytes.
template <class Four> inline void StoreSixteen(uint8_t* dst, Four four)
{
    const __m128i low = _mm_packs_epi32(four(0), four(4));
    const __m128i high = _mm_packs_epi32(four(8), four(12));
    StoreAny(dst, _mm_packus_epi16(low, high));
}

// A packed run in vector steps (count a multiple of four): Four(i) gives the byte values of
// samples i .. i + 3 as 32-bit lanes.
template <class Four> inline void StorePackedRun(uint8_t* dst, int32_t count, Four four)
{
    int32_t i = 0;
    for (; i + 16 <= count; i += 16)
        StoreSixteen(dst + i, [&](int32_t k) { return four(i + k); });
    for (; i + 4 <= count; i += 4)
        Store32(dst + i, PackFourBytes(four(i)));
}

// The first `samples` results of a three-of-four run (a multiple of four): four pixels a step,
// then the four or eight samples left one by one into their pixels.
template <class Four> inline void StoreThreeOfFourRun(uint8_t* dst, int32_t samples, Four four)
{
    int64_t j = 0;
    for (; j + 12 <= samples; j += 12) {
        const __m128i last = four(j + 8);
        StoreThreeOfFour(dst + 4 * (j / 3), _mm_packs_epi32(four(j), four(j + 4)),
                         _mm_packs_epi32(last, last));
    }
    for (; j < samples; j += 4) {
        alignas(16) int32_t v[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(v), four(j));
        for (int k = 0; k < 4; ++k)
            dst[ThreeOfFourPosition(j + k)] = uint8_t(v[k]);
    }
}

// ---- Source rows as floats, converted once and shared by every tap that reads them.

// Samples of one converted span: a buffer of this many floats lives on the stack of a pass.
inline constexpr int32_t kFloatSpan = 1024;

// The next run of columns from `begin`, in groups of `group`, for one converted span, taking the
// bases as non-decreasing: the span runs from the first column's first tap (`before` samples ahead
// of its base) to the run's last column's last tap (`after` past it) and holds at most kFloatSpan
// samples. The caller checks every column against the span, since a table may break the order;
// count < group + before + after means no usable span.
struct FloatSpan {
    int32_t end;
    int64_t first;
    int32_t count;
};

inline FloatSpan NextFloatSpan(const int32_t* index, int32_t begin, int32_t end, int32_t group,
                               int32_t before, int32_t after)
{
    const int64_t first = int64_t(index[begin]) - before;
    int32_t at = begin + group;
    while (at + group <= end && int64_t(index[at + group - 1]) + after - first < kFloatSpan)
        at += group;
    const int64_t count = int64_t(index[at - 1]) + after + 1 - first;
    return {at, first, count < 0 || count > kFloatSpan ? 0 : int32_t(count)};
}

// src[0 .. count - 1] as floats in out; nothing past src[count - 1] is read.
inline void BytesToFloatRow(const uint8_t* src, int32_t count, float* out)
{
    int32_t i = 0;
    for (; i + 16 <= count; i += 16) {
        __m128 a, b, c, d;
        BytesToFloats(LoadAny(src + i), a, b, c, d);
        _mm_storeu_ps(out + i, a);
        _mm_storeu_ps(out + i + 4, b);
        _mm_storeu_ps(out + i + 8, c);
        _mm_storeu_ps(out + i + 12, d);
    }
    for (; i + 4 <= count; i += 4)
        _mm_storeu_ps(out + i, BytesToFloats(Load32(src + i)));
    for (; i < count; ++i)
        out[i] = float(src[i]);
}

} // namespace imaging
