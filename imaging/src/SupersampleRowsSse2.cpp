// The 8-bit supersampling row routines in vector code. Column sums run down all rows for a block
// of 16 columns in 32-bit lanes before storing the block as 64-bit sums; a block taller than
// 32-bit lanes can hold is summed in parts. Float accumulation converts 16 samples a step, and a
// weighted row is multiplied in double two samples at a time, as the scalar formula does one.
#include "SupersampleKernel.h"

#include <emmintrin.h>

#include <algorithm>
#include <cstring>

namespace imaging {
namespace {

// Rows of 8-bit samples whose sum fits a 32-bit lane.
constexpr int32_t kRowsPerPart = int32_t(0xFFFFFFFFu / 255u);

inline __m128i LoadAny(const void* p)
{
    return _mm_loadu_si128(static_cast<const __m128i*>(p));
}

inline void StoreAny(void* p, __m128i v)
{
    _mm_storeu_si128(static_cast<__m128i*>(p), v);
}

// Adds four 32-bit lanes, widened, to four 64-bit sums at out (or stores them when `add` is off).
inline void WidenInto(__m128i lanes, uint64_t* out, bool add)
{
    const __m128i zero = _mm_setzero_si128();
    __m128i low = _mm_unpacklo_epi32(lanes, zero);
    __m128i high = _mm_unpackhi_epi32(lanes, zero);
    if (add) {
        low = _mm_add_epi64(low, LoadAny(out));
        high = _mm_add_epi64(high, LoadAny(out + 2));
    }
    StoreAny(out, low);
    StoreAny(out + 2, high);
}

// Sixteen columns from `row` down `rows` rows, added to (or stored as) out[0..15].
void SumBlock16(const uint8_t* row, int32_t step, int32_t rows, uint64_t* out, bool add)
{
    const __m128i zero = _mm_setzero_si128();
    __m128i s0 = zero, s1 = zero, s2 = zero, s3 = zero;
    for (int32_t r = 0; r < rows; ++r) {
        const __m128i v = LoadAny(row + int64_t(r) * step);
        const __m128i low = _mm_unpacklo_epi8(v, zero);
        const __m128i high = _mm_unpackhi_epi8(v, zero);
        s0 = _mm_add_epi32(s0, _mm_unpacklo_epi16(low, zero));
        s1 = _mm_add_epi32(s1, _mm_unpackhi_epi16(low, zero));
        s2 = _mm_add_epi32(s2, _mm_unpacklo_epi16(high, zero));
        s3 = _mm_add_epi32(s3, _mm_unpackhi_epi16(high, zero));
    }
    WidenInto(s0, out, add);
    WidenInto(s1, out + 4, add);
    WidenInto(s2, out + 8, add);
    WidenInto(s3, out + 12, add);
}

// Four columns, read as one 32-bit word per row.
void SumBlock4(const uint8_t* row, int32_t step, int32_t rows, uint64_t* out, bool add)
{
    const __m128i zero = _mm_setzero_si128();
    __m128i s = zero;
    for (int32_t r = 0; r < rows; ++r) {
        int32_t word;
        std::memcpy(&word, row + int64_t(r) * step, 4);
        s = _mm_add_epi32(s, _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(word), zero),
                                                zero));
    }
    WidenInto(s, out, add);
}

// Four 8-bit samples as four floats.
inline __m128 FourAsFloats(const uint8_t* p)
{
    int32_t word;
    std::memcpy(&word, p, 4);
    const __m128i zero = _mm_setzero_si128();
    return _mm_cvtepi32_ps(
        _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(word), zero), zero));
}

} // namespace

void SupersampleColumnSums8uSse2(const uint8_t* row, int32_t step, int64_t count, int32_t rows,
                                 uint64_t* out)
{
    int64_t i = 0;
    for (; i + 16 <= count; i += 16)
        for (int32_t done = 0; done == 0 || done < rows; done += kRowsPerPart)
            SumBlock16(row + int64_t(done) * step + i, step, std::min(kRowsPerPart, rows - done),
                       out + i, done > 0);
    for (; i + 4 <= count; i += 4)
        for (int32_t done = 0; done == 0 || done < rows; done += kRowsPerPart)
            SumBlock4(row + int64_t(done) * step + i, step, std::min(kRowsPerPart, rows - done),
                      out + i, done > 0);
    for (; i < count; ++i) {
        uint64_t sum = 0;
        for (int32_t r = 0; r < rows; ++r)
            sum += row[int64_t(r) * step + i];
        out[i] = sum;
    }
}

void SupersampleAddRow8uSse2(const uint8_t* row, int64_t count, float* acc)
{
    const __m128i zero = _mm_setzero_si128();
    int64_t i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m128i v = LoadAny(row + i);
        const __m128i low = _mm_unpacklo_epi8(v, zero);
        const __m128i high = _mm_unpackhi_epi8(v, zero);
        const __m128i lanes[4] = {_mm_unpacklo_epi16(low, zero), _mm_unpackhi_epi16(low, zero),
                                  _mm_unpacklo_epi16(high, zero), _mm_unpackhi_epi16(high, zero)};
        for (int k = 0; k < 4; ++k)
            _mm_storeu_ps(acc + i + 4 * k,
                          _mm_add_ps(_mm_loadu_ps(acc + i + 4 * k), _mm_cvtepi32_ps(lanes[k])));
    }
    for (; i + 4 <= count; i += 4)
        _mm_storeu_ps(acc + i, _mm_add_ps(_mm_loadu_ps(acc + i), FourAsFloats(row + i)));
    for (; i < count; ++i)
        acc[i] += float(row[i]);
}

void SupersampleAddRowWeighted8uSse2(const uint8_t* row, int64_t count, double weight, float* acc)
{
    const __m128d w = _mm_set1_pd(weight);
    int64_t i = 0;
    for (; i + 4 <= count; i += 4) {
        int32_t word;
        std::memcpy(&word, row + i, 4);
        const __m128i zero = _mm_setzero_si128();
        const __m128i lanes =
            _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(word), zero), zero);
        const __m128 low = _mm_cvtpd_ps(_mm_mul_pd(_mm_cvtepi32_pd(lanes), w));
        const __m128 high = _mm_cvtpd_ps(_mm_mul_pd(_mm_cvtepi32_pd(_mm_srli_si128(lanes, 8)), w));
        _mm_storeu_ps(acc + i, _mm_add_ps(_mm_loadu_ps(acc + i), _mm_movelh_ps(low, high)));
    }
    for (; i < count; ++i)
        acc[i] += float(weight * double(row[i]));
}

namespace {

// Four outputs from four window totals (doubles in two registers): total x normaliser + 0.5,
// truncated, at most 255, stored as four bytes.
inline void StoreFourOutputs(__m128d low, __m128d high, __m128d normaliser, uint8_t* out)
{
    const __m128d half = _mm_set1_pd(0.5);
    const __m128i a = _mm_cvttpd_epi32(_mm_add_pd(_mm_mul_pd(low, normaliser), half));
    const __m128i b = _mm_cvttpd_epi32(_mm_add_pd(_mm_mul_pd(high, normaliser), half));
    const __m128i lanes = _mm_unpacklo_epi64(a, b);
    const __m128i words = _mm_packs_epi32(lanes, lanes);
    const int32_t bytes = _mm_cvtsi128_si32(_mm_packus_epi16(words, words));
    std::memcpy(out, &bytes, 4);
}

inline bool Unclipped(const SupersampleColumnWindow* w)
{
    return w[0].clippedCover == 0.0 && w[1].clippedCover == 0.0 && w[2].clippedCover == 0.0 &&
           w[3].clippedCover == 0.0;
}

} // namespace

int32_t SupersampleWholeOutputs8uSse2(const uint64_t* sums, const SupersampleColumnWindow* windows,
                                      int32_t count, double normaliser, uint8_t* out)
{
    const __m128d norm = _mm_set1_pd(normaliser);
    int32_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const SupersampleColumnWindow* w = windows + i;
        const int32_t n = w[0].wholeCount;
        if (!Unclipped(w) || w[1].wholeCount != n || w[2].wholeCount != n || w[3].wholeCount != n)
            break;
        // Every column sum and window total is below 2^31: the low halves of the sums suffice.
        __m128i total = _mm_setzero_si128();
        for (int32_t k = 0; k < n; ++k)
            total = _mm_add_epi32(total, _mm_set_epi32(int32_t(sums[w[3].wholeFirst + k]),
                                                       int32_t(sums[w[2].wholeFirst + k]),
                                                       int32_t(sums[w[1].wholeFirst + k]),
                                                       int32_t(sums[w[0].wholeFirst + k])));
        StoreFourOutputs(_mm_cvtepi32_pd(total), _mm_cvtepi32_pd(_mm_srli_si128(total, 8)), norm,
                         out + i);
    }
    return i;
}

int32_t SupersamplePartOutputs8uSse2(const float* acc, const SupersampleColumnWindow* windows,
                                     int32_t count, double normaliser, uint8_t* out)
{
    const __m128d norm = _mm_set1_pd(normaliser);
    int32_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const SupersampleColumnWindow* w = windows + i;
        if (!Unclipped(w) || !w[0].terms || !w[1].terms || !w[2].terms || !w[3].terms)
            break;
        const int32_t steps = std::max(std::max(w[0].terms, w[1].terms),
                                       std::max(w[2].terms, w[3].terms));
        // Lane k adds the terms of window k in order; a window's missing terms weigh 0 and add 0.
        __m128 sum = _mm_setzero_ps();
        for (int32_t s = 0; s < steps; ++s) {
            const __m128 columns = _mm_set_ps(acc[w[3].start + std::min(s, w[3].terms - 1)],
                                              acc[w[2].start + std::min(s, w[2].terms - 1)],
                                              acc[w[1].start + std::min(s, w[1].terms - 1)],
                                              acc[w[0].start + std::min(s, w[0].terms - 1)]);
            const __m128d low = _mm_mul_pd(_mm_set_pd(w[1].weights[s], w[0].weights[s]),
                                           _mm_cvtps_pd(columns));
            const __m128d high = _mm_mul_pd(_mm_set_pd(w[3].weights[s], w[2].weights[s]),
                                            _mm_cvtps_pd(_mm_movehl_ps(columns, columns)));
            sum = _mm_add_ps(sum, _mm_movelh_ps(_mm_cvtpd_ps(low), _mm_cvtpd_ps(high)));
        }
        StoreFourOutputs(_mm_cvtps_pd(sum), _mm_cvtps_pd(_mm_movehl_ps(sum, sum)), norm, out + i);
    }
    return i;
}

} // namespace imaging
