// The 8-bit nearest kernels in vector code: each gathers the source samples of a run of
// destination pixels into one register and stores the run at once (16 columns of one channel,
// four pixels of four or of three channels). Columns after the last whole run go one at a time.
// Three channels at a stride of four keep every destination pixel's fourth sample.
#include "ResizeKernels.h"
#include "ResizeRowDrivers.h"

#include <emmintrin.h>

#include <cstring>

namespace imaging {
namespace {

inline int32_t Load16(const uint8_t* p)
{
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

inline int32_t Load32(const uint8_t* p)
{
    int32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// The three samples of the pixel at p, in the low three bytes; nothing past p[2] is read.
inline int32_t Load24(const uint8_t* p)
{
    return Load16(p) | int32_t(p[2]) << 16;
}

inline int32_t Pair(const uint8_t* from, const int32_t* columns, int32_t x)
{
    return from[columns[x]] | int32_t(from[columns[x + 1]]) << 8;
}

void NearestRowOne(const ResizeKernelArgs& args, int32_t y)
{
    const uint8_t* from = SourceRow<uint8_t>(args, args.rowOffsets[y]);
    uint8_t* to = DestinationRow<uint8_t>(args, y);
    const int32_t* c = args.colOffsets;
    int32_t x = 0;
    for (; x + 16 <= args.dstWidth; x += 16) {
        const __m128i v = _mm_set_epi16(
            short(Pair(from, c, x + 14)), short(Pair(from, c, x + 12)),
            short(Pair(from, c, x + 10)), short(Pair(from, c, x + 8)), short(Pair(from, c, x + 6)),
            short(Pair(from, c, x + 4)), short(Pair(from, c, x + 2)), short(Pair(from, c, x)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + x), v);
    }
    NearestRow<uint8_t, 1>(args, y, x);
}

void NearestRowFour(const ResizeKernelArgs& args, int32_t y)
{
    const uint8_t* from = SourceRow<uint8_t>(args, args.rowOffsets[y]);
    uint8_t* to = DestinationRow<uint8_t>(args, y);
    const int32_t* c = args.colOffsets;
    int32_t x = 0;
    for (; x + 4 <= args.dstWidth; x += 4) {
        const __m128i v = _mm_set_epi32(Load32(from + c[x + 3]), Load32(from + c[x + 2]),
                                        Load32(from + c[x + 1]), Load32(from + c[x]));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + 4 * int64_t(x)), v);
    }
    NearestRow<uint8_t, 4>(args, y, x);
}

// Three samples into pixels of four: the gathered pixels replace the low three bytes of each
// destination pixel and its fourth byte is merged back.
void NearestRowThreeOfFour(const ResizeKernelArgs& args, int32_t y)
{
    const uint8_t* from = SourceRow<uint8_t>(args, args.rowOffsets[y]);
    uint8_t* to = DestinationRow<uint8_t>(args, y);
    const int32_t* c = args.colOffsets;
    const __m128i fourth = _mm_set1_epi32(int32_t(0xFF000000u));
    int32_t x = 0;
    for (; x + 4 <= args.dstWidth; x += 4) {
        const __m128i v = _mm_set_epi32(Load24(from + c[x + 3]), Load24(from + c[x + 2]),
                                        Load24(from + c[x + 1]), Load24(from + c[x]));
        auto* at = reinterpret_cast<__m128i*>(to + 4 * int64_t(x));
        const __m128i kept = _mm_and_si128(_mm_loadu_si128(at), fourth);
        _mm_storeu_si128(at, _mm_or_si128(v, kept));
    }
    NearestRow<uint8_t, 3>(args, y, x);
}

// Three samples into packed pixels of three: four pixels make 12 bytes. Pairs of pixels are
// joined in 64-bit lanes (six bytes each), then the upper lane is moved down against the lower.
void NearestRowThreePacked(const ResizeKernelArgs& args, int32_t y)
{
    const uint8_t* from = SourceRow<uint8_t>(args, args.rowOffsets[y]);
    uint8_t* to = DestinationRow<uint8_t>(args, y);
    const int32_t* c = args.colOffsets;
    const __m128i lowSix = _mm_set_epi32(0, 0, 0x0000FFFF, -1);
    const __m128i firstThree = _mm_set1_epi64x(0xFFFFFF);
    int32_t x = 0;
    for (; x + 4 <= args.dstWidth; x += 4) {
        const __m128i pixels = _mm_set_epi32(Load24(from + c[x + 3]), Load24(from + c[x + 2]),
                                             Load24(from + c[x + 1]), Load24(from + c[x]));
        // Each 64-bit lane: first pixel in bytes 0-2, second shifted into bytes 3-5.
        const __m128i pairs = _mm_or_si128(_mm_and_si128(pixels, firstThree),
                                           _mm_andnot_si128(firstThree, _mm_srli_epi64(pixels, 8)));
        const __m128i joined = _mm_or_si128(_mm_and_si128(pairs, lowSix),
                                            _mm_srli_si128(_mm_andnot_si128(lowSix, pairs), 2));
        uint8_t* at = to + 3 * int64_t(x);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(at), joined);
        const int32_t last = _mm_cvtsi128_si32(_mm_srli_si128(joined, 8));
        std::memcpy(at + 8, &last, 4);
    }
    NearestRow<uint8_t, 3>(args, y, x);
}

} // namespace

void ResizeNearestRows8u_C1(const ResizeKernelArgs& args)
{
    for (int32_t y = 0; y < args.dstHeight; ++y)
        NearestRowOne(args, y);
}

void ResizeNearestRows8u_C4(const ResizeKernelArgs& args)
{
    for (int32_t y = 0; y < args.dstHeight; ++y)
        NearestRowFour(args, y);
}

void ResizeNearestRows8u_C3(const ResizeKernelArgs& args)
{
    for (int32_t y = 0; y < args.dstHeight; ++y) {
        if (args.pixelStride == 3)
            NearestRowThreePacked(args, y);
        else if (args.pixelStride == 4)
            NearestRowThreeOfFour(args, y);
        else
            NearestRow<uint8_t, 3>(args, y, 0);
    }
}

} // namespace imaging
