// Blue-first packed RGB: the primitive's red-first rows with red and blue exchanged in place.
#include "bluefirststores.h"

#include <emmintrin.h>

#include <cstring>

namespace {

using RowConversion = ImagingStatus (*)(const uint8_t* const[3], const int32_t[3], uint8_t*, int32_t, int32_t,
                                        int32_t);
using RowSwap = void (*)(uint8_t*, int32_t);

// The primitive checks the whole call once (so that a failing call writes nothing), then converts
// and swaps one row at a time while the row is still in the cache.
ImagingStatus ConvertRows(RowConversion convert, RowSwap swap, const uint8_t* const src[3],
                          const int32_t srcStep[3], uint8_t* dst, int32_t dstStep, int32_t width, int32_t height)
{
    if (!src || !dst)
        return StatusNullPointer;
    if (width < 1 || height < 1)
        return StatusSizeError;
    if (!src[0] || !src[1] || !src[2])
        return StatusNullPointer;
    const uint8_t* rowPlanes[3] = {src[0], src[1], src[2]};
    const int32_t rowSteps[3] = {srcStep[0], srcStep[1], srcStep[2]};
    uint8_t* out = dst;
    for (int32_t r = 0; r < height; ++r) {
        const ImagingStatus status = convert(rowPlanes, rowSteps, out, dstStep, width, 1);
        if (status != StatusOk)
            return status;
        swap(out, width);
        for (int p = 0; p < 3; ++p)
            rowPlanes[p] += rowSteps[p];
        out += dstStep;
    }
    return StatusOk;
}

} // namespace

void SwapRedBlue24(uint8_t* row, int32_t pixels)
{
    for (int32_t x = 0; x < pixels; ++x) {
        const uint8_t red = row[0];
        row[0] = row[2];
        row[2] = red;
        row += 3;
    }
}

void SwapRedBlue32(uint8_t* row, int32_t pixels)
{
    const __m128i keep = _mm_set1_epi32(static_cast<int32_t>(0xFF00FF00u));
    const __m128i low = _mm_set1_epi32(0x000000FF);
    int32_t x = 0;
    for (; x + 4 <= pixels; x += 4) {
        uint8_t* p = row + x * 4;
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i red = _mm_slli_epi32(_mm_and_si128(v, low), 16);
        const __m128i blue = _mm_and_si128(_mm_srli_epi32(v, 16), low);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm_or_si128(_mm_and_si128(v, keep), _mm_or_si128(red, blue)));
    }
    for (; x < pixels; ++x) {
        uint8_t* p = row + x * 4;
        const uint8_t red = p[0];
        p[0] = p[2];
        p[2] = red;
    }
}

void SwapRedBlue555(uint8_t* row, int32_t pixels)
{
    const __m128i green = _mm_set1_epi16(static_cast<short>(0x83E0)); // green and bit 15 stay
    const __m128i field = _mm_set1_epi16(0x001F);
    int32_t x = 0;
    for (; x + 8 <= pixels; x += 8) {
        uint8_t* p = row + x * 2;
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i high = _mm_slli_epi16(_mm_and_si128(v, field), 10);
        const __m128i lowField = _mm_and_si128(_mm_srli_epi16(v, 10), field);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm_or_si128(_mm_and_si128(v, green), _mm_or_si128(high, lowField)));
    }
    for (; x < pixels; ++x) {
        uint8_t* p = row + x * 2;
        uint16_t word;
        std::memcpy(&word, p, 2);
        word = static_cast<uint16_t>((word & 0x83E0) | ((word & 0x1F) << 10) | ((word >> 10) & 0x1F));
        std::memcpy(p, &word, 2);
    }
}

ImagingStatus ConvertPlanar422ToBgr24(const uint8_t* const src[3], const int32_t srcStep[3], uint8_t* dst,
                                      int32_t dstStep, int32_t width, int32_t height)
{
    return ConvertRows(ConvertPlanar422ToRGB24, SwapRedBlue24, src, srcStep, dst, dstStep, width, height);
}

ImagingStatus ConvertPlanar422ToBgr32(const uint8_t* const src[3], const int32_t srcStep[3], uint8_t* dst,
                                      int32_t dstStep, int32_t width, int32_t height)
{
    return ConvertRows(ConvertPlanar422ToRGB32, SwapRedBlue32, src, srcStep, dst, dstStep, width, height);
}

ImagingStatus ConvertPlanar422ToBgr555(const uint8_t* const src[3], const int32_t srcStep[3], uint8_t* dst,
                                       int32_t dstStep, int32_t width, int32_t height)
{
    return ConvertRows(ConvertPlanar422ToRGB555, SwapRedBlue555, src, srcStep, dst, dstStep, width, height);
}
