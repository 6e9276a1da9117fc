// The 8-bit supersampling row routines in vector code. Column sums run down all rows for a block
// of 16 columns in 32-bit lanes before storing the block as 64-bit sums; a block taller than
// 32-bit lanes can hold is summed in parts. Float accumulation converts 16 samples a step, and a
// weighted row is multiplied in double two samples at a time, as the scalar formula does one.
#include "SupersampleKernel.h"

#include <emmintrin.h>

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

} // namespace imaging
