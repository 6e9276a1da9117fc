// The previous implementations of the kernels that were made faster, kept verbatim as the
// reference the tests compare the current kernels with byte for byte: the 8-pixel colour output
// steps (quads with their fourth bytes dropped, chroma products per pixel), the RGB24 import
// (four unshuffle steps, pair sums by multiply-add), the row copy that
// fenced every row and streamed from any 16-byte boundary, and the one-channel cubic and Lanczos
// passes that gathered their taps from the bytes (32-bit tap groups for cubic, byte groups per
// column for Lanczos) and the float-to-byte step with its separate not-a-number mask.
#include "PreviousKernels.h"

#include "ResizeCubicArithmetic.h"
#include "ResizeSse2Support.h"

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

namespace {

// One step of the three-way byte unshuffle: after four steps the 48 bytes of 16 interleaved
// R, G, B pixels are in three registers of 16 reds, 16 greens and 16 blues.
inline void Unshuffle(__m128i& a, __m128i& b, __m128i& c)
{
    const __m128i na = _mm_unpacklo_epi8(a, _mm_unpackhi_epi64(b, b));
    const __m128i nb = _mm_unpacklo_epi8(_mm_unpackhi_epi64(a, a), c);
    const __m128i nc = _mm_unpacklo_epi8(b, _mm_unpackhi_epi64(c, c));
    a = na;
    b = nb;
    c = nc;
}

struct HalfLanes {
    __m128i lo;
    __m128i hi;
};

inline HalfLanes Widen16(__m128i bytes)
{
    const __m128i zero = _mm_setzero_si128();
    return {_mm_unpacklo_epi8(bytes, zero), _mm_unpackhi_epi8(bytes, zero)};
}

// For eight pixels: D = floor((9798 r + 19235 g) / 16384) + floor(3736 b / 16384).
inline __m128i LumaTwice(__m128i r, __m128i g, __m128i b)
{
    const __m128i factors = _mm_set_epi16(19235, 9798, 19235, 9798, 19235, 9798, 19235, 9798);
    const __m128i lo = _mm_srai_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(r, g), factors), 14);
    const __m128i hi = _mm_srai_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(r, g), factors), 14);
    return _mm_add_epi16(_mm_packs_epi32(lo, hi), _mm_mulhi_epi16(_mm_slli_epi16(b, 2),
                                                                   _mm_set1_epi16(3736)));
}

// For the pairs of eight pixels each: clamp(floor((c0 + c1 - S) x factor / 65536) + 128).
inline __m128i ChromaOfPairs(const HalfLanes& c, __m128i sLo, __m128i sHi, int16_t factor)
{
    const __m128i ones = _mm_set1_epi16(1);
    const __m128i lo = _mm_sub_epi32(_mm_madd_epi16(c.lo, ones), sLo);
    const __m128i hi = _mm_sub_epi32(_mm_madd_epi16(c.hi, ones), sHi);
    const __m128i scaled = _mm_add_epi16(Product(_mm_packs_epi32(lo, hi), factor),
                                         _mm_set1_epi16(128));
    return _mm_packus_epi16(scaled, scaled);
}

} // namespace

void PreviousRGB24ToYUVPairsSse2(const uint8_t* rgb, uint8_t* y, uint8_t* u, uint8_t* v, int32_t pixels)
{
    const __m128i ones = _mm_set1_epi16(1);
    for (int32_t i = 0; i < pixels; i += 16, rgb += 48) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rgb));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rgb + 16));
        __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rgb + 32));
        for (int step = 0; step < 4; ++step)
            Unshuffle(a, b, c);
        const HalfLanes r = Widen16(a), g = Widen16(b), bl = Widen16(c);
        const __m128i dLo = LumaTwice(r.lo, g.lo, bl.lo);
        const __m128i dHi = LumaTwice(r.hi, g.hi, bl.hi);
        StoreBytes16(y + i, _mm_packus_epi16(_mm_srai_epi16(dLo, 1), _mm_srai_epi16(dHi, 1)));
        // S of each pair: the sum of the pair's two D values, halved.
        const __m128i sLo = _mm_srai_epi32(_mm_madd_epi16(dLo, ones), 1);
        const __m128i sHi = _mm_srai_epi32(_mm_madd_epi16(dHi, ones), 1);
        StoreBytes8(v + i / 2, ChromaOfPairs(r, sLo, sHi, 28737));
        StoreBytes8(u + i / 2, ChromaOfPairs(bl, sLo, sHi, 16121));
    }
}

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

namespace {

struct CubicVectors {
    __m128 c1;
    __m128 c2;
    __m128 c3;
};

inline CubicVectors QuadCoefficients(__m128 t)
{
    const __m128 c1 = _mm_add_ps(t, _mm_set1_ps(1.0f));
    const __m128 c2 = _mm_mul_ps(_mm_mul_ps(t, c1), _mm_set1_ps(0.5f));
    const __m128 c3 =
        _mm_mul_ps(_mm_mul_ps(_mm_sub_ps(t, _mm_set1_ps(1.0f)), c2), _mm_set1_ps(kOneThirdBelow));
    return {c1, c2, c3};
}

inline __m128 QuadValue(__m128 p0, __m128 p1, __m128 p2, __m128 p3, const CubicVectors& c)
{
    const __m128 d1 = _mm_sub_ps(p1, p0);
    const __m128 d2 = _mm_sub_ps(_mm_sub_ps(p2, p1), d1);
    const __m128 d3 =
        _mm_sub_ps(_mm_add_ps(_mm_sub_ps(p3, _mm_mul_ps(_mm_set1_ps(2.0f), p2)), p1), d2);
    return _mm_add_ps(_mm_add_ps(p0, _mm_mul_ps(c.c1, d1)),
                      _mm_add_ps(_mm_mul_ps(c.c2, d2), _mm_mul_ps(c.c3, d3)));
}

inline void GatherFourColumns(const uint8_t* src, const int32_t* index, __m128& p0, __m128& p1,
                              __m128& p2, __m128& p3)
{
    const __m128i groups = _mm_set_epi32(Load32(src + index[3] - 1), Load32(src + index[2] - 1),
                                         Load32(src + index[1] - 1), Load32(src + index[0] - 1));
    BytesToFloats(TransposeBytes4x4(groups), p0, p1, p2, p3);
}

inline __m128 ColumnLanes(const uint8_t* p, const float* w)
{
    const __m128 s03 = BytesToFloats(Load32(p - 2));
    const __m128 s45 = BytesToFloats(Load16(p + 2));
    const __m128 w03 = _mm_loadu_ps(w);
    const __m128 w45 = _mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(w + 4));
    return _mm_add_ps(_mm_mul_ps(w03, s03), _mm_mul_ps(w45, s45));
}

} // namespace

__m128i PreviousBiasedToBytes(__m128 v)
{
    const __m128 biased = _mm_add_ps(v, _mm_set1_ps(kSampleBias));
    const __m128 numbers = _mm_and_ps(biased, _mm_cmpord_ps(biased, biased));
    const __m128 clamped = _mm_min_ps(_mm_max_ps(numbers, _mm_setzero_ps()), _mm_set1_ps(255.0f));
    return _mm_cvttps_epi32(clamped);
}

void PreviousCubicHorzQuad8u_C1(const uint8_t* src, int32_t width, const int32_t* index,
                                const float* fractions, float* out)
{
    for (int32_t i = 0; i + 4 <= width; i += 4) {
        __m128 p0, p1, p2, p3;
        GatherFourColumns(src, index + i, p0, p1, p2, p3);
        const CubicVectors c = QuadCoefficients(_mm_loadu_ps(fractions + i));
        _mm_storeu_ps(out + i, QuadValue(p0, p1, p2, p3, c));
    }
}

void PreviousLanczosHorzInner8u_C1(const uint8_t* src, const int32_t* index,
                                   const float* weights, float* out, int32_t count)
{
    int32_t i = 0;
    for (; i + 2 <= count; i += 2) {
        const __m128 a = ColumnLanes(src + index[i], weights + 6 * int64_t(i));
        const __m128 b = ColumnLanes(src + index[i + 1], weights + 6 * int64_t(i + 1));
        const __m128 pairs = _mm_hadd_ps(a, b);
        _mm_storel_pi(reinterpret_cast<__m64*>(out + i), _mm_hadd_ps(pairs, pairs));
    }
    if (i < count) {
        const __m128 a = ColumnLanes(src + index[i], weights + 6 * int64_t(i));
        const __m128 pairs = _mm_hadd_ps(a, a);
        _mm_store_ss(out + i, _mm_hadd_ps(pairs, pairs));
    }
}

} // namespace imaging::previous
