// The previous implementations of the kernels that were made faster, kept verbatim as the
// reference the tests compare the current kernels with byte for byte: the 8-pixel colour output
// steps (quads with their fourth bytes dropped, chroma products per pixel) and the row copy that
// fenced every row and streamed from any 16-byte boundary.
#include "PreviousKernels.h"

#include <emmintrin.h>
#include <pmmintrin.h>

#include <cstring>

namespace imaging::previous {

namespace {

inline __m128i LoadBytes4(const uint8_t* p)
{
    int32_t word;
    std::memcpy(&word, p, 4);
    return _mm_cvtsi32_si128(word);
}

inline __m128i LoadBytes2(const uint8_t* p)
{
    uint16_t half;
    std::memcpy(&half, p, 2);
    return _mm_cvtsi32_si128(half);
}

inline __m128i LoadBytes8(const uint8_t* p)
{
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
}

inline void StoreBytes8(uint8_t* p, __m128i v)
{
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v);
}

inline void StoreBytes16(uint8_t* p, __m128i v)
{
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

// Up to eight pixels as 16-bit lanes: luma, and the blue- and red-difference samples less 128,
// shifted up by 7 bits and repeated for the two pixels that share them.
struct PixelLanes {
    __m128i luma;
    __m128i cb7;
    __m128i cr7;
};

inline PixelLanes Widen(__m128i yBytes, __m128i uBytes, __m128i vBytes)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i bias = _mm_set1_epi16(128);
    __m128i cb = _mm_sub_epi16(_mm_unpacklo_epi8(uBytes, zero), bias);
    __m128i cr = _mm_sub_epi16(_mm_unpacklo_epi8(vBytes, zero), bias);
    cb = _mm_unpacklo_epi16(cb, cb);
    cr = _mm_unpacklo_epi16(cr, cr);
    return {_mm_unpacklo_epi8(yBytes, zero), _mm_slli_epi16(cb, 7), _mm_slli_epi16(cr, 7)};
}

inline PixelLanes Load8(const uint8_t* y, const uint8_t* u, const uint8_t* v)
{
    return Widen(LoadBytes8(y), LoadBytes4(u), LoadBytes4(v));
}

inline PixelLanes Load4(const uint8_t* y, const uint8_t* u, const uint8_t* v)
{
    return Widen(LoadBytes4(y), LoadBytes2(u), LoadBytes2(v));
}

inline __m128i Product(__m128i shifted, int16_t factor)
{
    return _mm_mulhi_epi16(shifted, _mm_set1_epi16(factor));
}

inline __m128i StudioLuma(__m128i luma)
{
    return Product(_mm_slli_epi16(_mm_sub_epi16(luma, _mm_set1_epi16(16)), 7), 9535);
}

// R, G and B of up to eight pixels as bytes in the low halves.
struct RgbBytes {
    __m128i r;
    __m128i g;
    __m128i b;
};

inline __m128i ToBytes(__m128i q4WithRounding)
{
    const __m128i v = _mm_srai_epi16(q4WithRounding, 4);
    return _mm_packus_epi16(v, v);
}

inline RgbBytes StudioRgb24(const PixelLanes& p)
{
    const __m128i luma = StudioLuma(p.luma);
    const __m128i round = _mm_set1_epi16(8);
    const __m128i r = _mm_add_epi16(_mm_add_epi16(luma, Product(p.cr7, 13074)), round);
    const __m128i g = _mm_add_epi16(
        _mm_add_epi16(_mm_add_epi16(luma, Product(p.cr7, -6660)), Product(p.cb7, -3211)), round);
    const __m128i b = _mm_add_epi16(_mm_add_epi16(luma, Product(p.cb7, 16523)), round);
    return {ToBytes(r), ToBytes(g), ToBytes(b)};
}

inline RgbBytes AnalogRgb32(const PixelLanes& p)
{
    const __m128i luma = _mm_slli_epi16(p.luma, 4);
    const __m128i round = _mm_set1_epi16(8);
    const __m128i r = _mm_add_epi16(_mm_add_epi16(luma, Product(p.cr7, 9338)), round);
    const __m128i g = _mm_add_epi16(
        _mm_sub_epi16(luma, _mm_add_epi16(Product(p.cb7, 3227), Product(p.cr7, 4759))), round);
    const __m128i b = _mm_add_epi16(_mm_add_epi16(luma, Product(p.cb7, 16646)), round);
    return {ToBytes(r), ToBytes(g), ToBytes(b)};
}

// Eight RGB555 words; no rounding term.
inline __m128i Rgb555Words(const PixelLanes& p, bool swapRB)
{
    const __m128i luma = StudioLuma(p.luma);
    const __m128i zero = _mm_setzero_si128();
    const __m128i max = _mm_set1_epi16(255);
    auto five = [&](__m128i q4) {
        const __m128i v = _mm_max_epi16(_mm_min_epi16(_mm_srai_epi16(q4, 4), max), zero);
        return _mm_srli_epi16(v, 3);
    };
    const __m128i r = five(_mm_add_epi16(luma, Product(p.cr7, 13074)));
    const __m128i g =
        five(_mm_sub_epi16(_mm_sub_epi16(luma, Product(p.cr7, 6660)), Product(p.cb7, 3211)));
    const __m128i b = five(_mm_add_epi16(luma, Product(p.cb7, 16523)));
    const __m128i low = swapRB ? b : r;
    const __m128i high = swapRB ? r : b;
    return _mm_or_si128(_mm_or_si128(low, _mm_slli_epi16(g, 5)), _mm_slli_epi16(high, 10));
}

// Pixels 0-3 and 4-7 as R, G, B, 0 quadruples.
inline void Quads(const RgbBytes& c, __m128i& first, __m128i& second)
{
    const __m128i rg = _mm_unpacklo_epi8(c.r, c.g);
    const __m128i b0 = _mm_unpacklo_epi8(c.b, _mm_setzero_si128());
    first = _mm_unpacklo_epi16(rg, b0);
    second = _mm_unpackhi_epi16(rg, b0);
}

// Four R, G, B, 0 quadruples packed into 12 bytes at the bottom of the register.
inline __m128i DropFourthBytes(__m128i quads)
{
    const __m128i keepLow = _mm_set_epi32(0, 0x00FFFFFF, 0, 0x00FFFFFF);
    const __m128i keepNext = _mm_set_epi32(0x0000FFFF, int32_t(0xFF000000), 0x0000FFFF,
                                           int32_t(0xFF000000));
    // Within each 64-bit half, the second pixel moves down one byte next to the first.
    const __m128i halves = _mm_or_si128(_mm_and_si128(quads, keepLow),
                                        _mm_and_si128(_mm_srli_epi64(quads, 8), keepNext));
    const __m128i lowSix = _mm_set_epi32(0, 0, 0x0000FFFF, -1);
    const __m128i nextSix = _mm_set_epi32(0, -1, int32_t(0xFFFF0000), 0);
    return _mm_or_si128(_mm_and_si128(halves, lowSix),
                        _mm_and_si128(_mm_srli_si128(halves, 2), nextSix));
}

} // namespace

void PreviousYUVToRGB555Q4Sse2(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst,
                       int32_t pixels, bool swapRB)
{
    int32_t i = 0;
    for (; i + 8 <= pixels; i += 8)
        StoreBytes16(dst + 2 * i, Rgb555Words(Load8(y + i, u + i / 2, v + i / 2), swapRB));
    for (; i + 4 <= pixels; i += 4)
        StoreBytes8(dst + 2 * i, Rgb555Words(Load4(y + i, u + i / 2, v + i / 2), swapRB));
}

void PreviousYUVToRGB24Q4Sse2(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst,
                      int32_t pixels)
{
    for (int32_t i = 0; i < pixels; i += 8, dst += 24) {
        __m128i first, second;
        Quads(StudioRgb24(Load8(y + i, u + i / 2, v + i / 2)), first, second);
        const __m128i a = DropFourthBytes(first);
        const __m128i b = DropFourthBytes(second);
        StoreBytes16(dst, _mm_or_si128(a, _mm_slli_si128(b, 12)));
        StoreBytes8(dst + 16, _mm_srli_si128(b, 4));
    }
}

void PreviousYUVToRGB32Q4Sse2(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst,
                      int32_t pixels)
{
    const bool aligned = (reinterpret_cast<uintptr_t>(dst) & 15) == 0;
    int32_t i = 0;
    for (; i + 8 <= pixels; i += 8) {
        __m128i first, second;
        Quads(AnalogRgb32(Load8(y + i, u + i / 2, v + i / 2)), first, second);
        uint8_t* out = dst + 4 * i;
        if (aligned) {
            _mm_store_si128(reinterpret_cast<__m128i*>(out), first);
            _mm_store_si128(reinterpret_cast<__m128i*>(out + 16), second);
        } else {
            StoreBytes16(out, first);
            StoreBytes16(out + 16, second);
        }
    }
    for (; i + 4 <= pixels; i += 4) {
        __m128i first, second;
        Quads(AnalogRgb32(Load4(y + i, u + i / 2, v + i / 2)), first, second);
        uint8_t* out = dst + 4 * i;
        if (aligned)
            _mm_store_si128(reinterpret_cast<__m128i*>(out), first);
        else
            StoreBytes16(out, first);
    }
}


namespace {

template <int N>
inline void Move(const uint8_t* src, uint8_t* dst)
{
    uint8_t piece[N];
    std::memcpy(piece, src, N);
    std::memcpy(dst, piece, N);
}

void CopyShort(const uint8_t* src, uint8_t* dst, int64_t length)
{
    for (; length >= 8; length -= 8, src += 8, dst += 8)
        Move<8>(src, dst);
    if (length & 4) {
        Move<4>(src, dst);
        src += 4;
        dst += 4;
    }
    if (length & 2) {
        Move<2>(src, dst);
        src += 2;
        dst += 2;
    }
    if (length & 1)
        *dst = *src;
}

enum class Streaming { Off, On, UnlessAliased };

void CopyRun(const uint8_t* src, uint8_t* dst, int64_t length, Streaming streaming)
{
    if (length < 64) {
        CopyShort(src, dst, length);
        return;
    }
    const uintptr_t misalign = reinterpret_cast<uintptr_t>(dst) & 15;
    if (misalign) {
        // The bytes between the unaligned head and the boundary are written twice, alike.
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(src)));
        const int64_t advance = int64_t(16 - misalign);
        src += advance;
        dst += advance;
        length -= advance;
        if (length < 64) {
            CopyShort(src, dst, length);
            return;
        }
    }
    bool stream = streaming != Streaming::Off;
    if (streaming == Streaming::UnlessAliased) {
        const uint32_t apart = uint32_t(reinterpret_cast<uintptr_t>(src) -
                                        reinterpret_cast<uintptr_t>(dst)) & 0xFFFF;
        stream = !(apart >= 65216 && apart <= 65520);
    }
    const bool srcAligned = (reinterpret_cast<uintptr_t>(src) & 15) == 0;
    for (; length >= 64; length -= 64, src += 64, dst += 64) {
        __m128i a, b, c, d;
        if (srcAligned) {
            a = _mm_load_si128(reinterpret_cast<const __m128i*>(src));
            b = _mm_load_si128(reinterpret_cast<const __m128i*>(src + 16));
            c = _mm_load_si128(reinterpret_cast<const __m128i*>(src + 32));
            d = _mm_load_si128(reinterpret_cast<const __m128i*>(src + 48));
        } else {
            a = _mm_lddqu_si128(reinterpret_cast<const __m128i*>(src));
            b = _mm_lddqu_si128(reinterpret_cast<const __m128i*>(src + 16));
            c = _mm_lddqu_si128(reinterpret_cast<const __m128i*>(src + 32));
            d = _mm_lddqu_si128(reinterpret_cast<const __m128i*>(src + 48));
        }
        auto* out = reinterpret_cast<__m128i*>(dst);
        if (stream) {
            _mm_stream_si128(out, a);
            _mm_stream_si128(out + 1, b);
            _mm_stream_si128(out + 2, c);
            _mm_stream_si128(out + 3, d);
        } else {
            _mm_store_si128(out, a);
            _mm_store_si128(out + 1, b);
            _mm_store_si128(out + 2, c);
            _mm_store_si128(out + 3, d);
        }
    }
    if (stream)
        _mm_sfence();
    CopyShort(src, dst, length);
}

} // namespace

void PreviousCopyRowFast(const uint8_t* src, uint8_t* dst, int64_t length, bool streaming)
{
    CopyRun(src, dst, length, streaming ? Streaming::On : Streaming::Off);
}

void PreviousCopyRowSimd(const uint8_t* src, uint8_t* dst, int64_t length, bool streaming)
{
    CopyRun(src, dst, length, streaming ? Streaming::UnlessAliased : Streaming::Off);
}

} // namespace imaging::previous
