// Vector kernels of the colour conversions (SSE2). Every product is the high half of a signed
// 16 x 16-bit multiplication of a value shifted up by 7 bits, i.e. floor(value x factor / 512),
// and packing with unsigned saturation clamps to 0..255. The plain kernels compute the same bytes.
#include "RowKernels.h"

#include <emmintrin.h>

#include <cstring>

namespace imaging {
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

// For eight pairs, from the sums of their two samples: clamp(floor((c0 + c1 - S) x factor /
// 65536) + 128).
inline __m128i ChromaOfPairs(__m128i pairSums, __m128i s, int16_t factor)
{
    const __m128i scaled =
        _mm_add_epi16(Product(_mm_sub_epi16(pairSums, s), factor), _mm_set1_epi16(128));
    return _mm_packus_epi16(scaled, scaled);
}


// ---- Sixteen pixels a step. The chroma terms (products, and the rounding where the format has
// one) are formed once per chroma sample, for the two pixels that share it: the integer sums are
// the same in any order, so every byte equals the eight-pixel path's.

// Eight chroma samples less 128, shifted up by 7 bits, as 16-bit lanes.
inline __m128i ChromaLanes8(const uint8_t* c)
{
    const __m128i lanes = _mm_unpacklo_epi8(LoadBytes8(c), _mm_setzero_si128());
    return _mm_slli_epi16(_mm_sub_epi16(lanes, _mm_set1_epi16(128)), 7);
}

// What eight chroma sample pairs add to the luma term of R, G and B.
struct ChromaTerms {
    __m128i r;
    __m128i g;
    __m128i b;
};

inline ChromaTerms StudioTerms(const uint8_t* u, const uint8_t* v, __m128i round)
{
    const __m128i cb7 = ChromaLanes8(u), cr7 = ChromaLanes8(v);
    return {_mm_add_epi16(Product(cr7, 13074), round),
            _mm_add_epi16(_mm_add_epi16(Product(cr7, -6660), Product(cb7, -3211)), round),
            _mm_add_epi16(Product(cb7, 16523), round)};
}

// Every chroma lane twice: lanes for pixels 0-7 (from samples 0-3) and 8-15 (samples 4-7).
inline __m128i TwiceLow(__m128i lanes)
{
    return _mm_unpacklo_epi16(lanes, lanes);
}

inline __m128i TwiceHigh(__m128i lanes)
{
    return _mm_unpackhi_epi16(lanes, lanes);
}

// One inverse step of Unshuffle: the even bytes of a and b, the even bytes of c and the odd of a,
// the odd bytes of b and c. Four steps from 16 reds, greens and blues give 48 interleaved bytes.
inline void Reshuffle(__m128i& a, __m128i& b, __m128i& c)
{
    const __m128i low = _mm_set1_epi16(0x00FF);
    const __m128i na = _mm_packus_epi16(_mm_and_si128(a, low), _mm_and_si128(b, low));
    const __m128i nb = _mm_packus_epi16(_mm_and_si128(c, low), _mm_srli_epi16(a, 8));
    const __m128i nc = _mm_packus_epi16(_mm_srli_epi16(b, 8), _mm_srli_epi16(c, 8));
    a = na;
    b = nb;
    c = nc;
}

// Sixteen RGB24 pixels (48 bytes). Luma is split into even and odd pixels, so that one chroma
// lane serves the pixel pair in the same lane of both halves; packing the halves (with the clamp
// to 0..255) gives the reds and greens of the even pixels, the blues of the even and the reds of
// the odd, and the greens and blues of the odd.
inline void StudioRgb24Halves(const uint8_t* y, const uint8_t* u, const uint8_t* v, __m128i& a,
                              __m128i& b, __m128i& c)
{
    const ChromaTerms t = StudioTerms(u, v, _mm_set1_epi16(8));
    const __m128i luma = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y));
    const __m128i even = StudioLuma(_mm_and_si128(luma, _mm_set1_epi16(0x00FF)));
    const __m128i odd = StudioLuma(_mm_srli_epi16(luma, 8));
    const auto q4 = [](__m128i l, __m128i term) { return _mm_srai_epi16(_mm_add_epi16(l, term), 4); };
    a = _mm_packus_epi16(q4(even, t.r), q4(even, t.g));
    b = _mm_packus_epi16(q4(even, t.b), q4(odd, t.r));
    c = _mm_packus_epi16(q4(odd, t.g), q4(odd, t.b));
}

// The halves reshuffled into the 48 bytes: three more inverse unshuffle steps.
inline void StudioRgb24Sixteen(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst)
{
    __m128i a, b, c;
    StudioRgb24Halves(y, u, v, a, b, c);
    for (int step = 0; step < 3; ++step)
        Reshuffle(a, b, c);
    StoreBytes16(dst, a);
    StoreBytes16(dst + 16, b);
    StoreBytes16(dst + 32, c);
}

// The same 48 bytes as eight 8-byte stores, one a pixel pair (its six bytes and two that the next
// pair's store overwrites), so the two bytes after the 48 are written too: for every group but a
// run's last.
inline void StudioRgb24SixteenSpilling(const uint8_t* y, const uint8_t* u, const uint8_t* v,
                                       uint8_t* dst)
{
    __m128i a, b, c;
    StudioRgb24Halves(y, u, v, a, b, c);
    // The six bytes of pair k as three words: (R, G) even, (B even, R odd), (G, B) odd.
    const __m128i rg = _mm_unpacklo_epi8(a, _mm_unpackhi_epi64(a, a));
    const __m128i br = _mm_unpacklo_epi8(b, _mm_unpackhi_epi64(b, b));
    const __m128i gb = _mm_unpacklo_epi8(c, _mm_unpackhi_epi64(c, c));
    const __m128i zero = _mm_setzero_si128();
    const __m128i first = _mm_unpacklo_epi16(rg, br), second = _mm_unpackhi_epi16(rg, br);
    const __m128i lastLow = _mm_unpacklo_epi16(gb, zero), lastHigh = _mm_unpackhi_epi16(gb, zero);
    const __m128i pairs[4] = {_mm_unpacklo_epi32(first, lastLow), _mm_unpackhi_epi32(first, lastLow),
                              _mm_unpacklo_epi32(second, lastHigh),
                              _mm_unpackhi_epi32(second, lastHigh)};
    for (int k = 0; k < 4; ++k) {
        StoreBytes8(dst + 12 * k, pairs[k]);
        _mm_storeh_pi(reinterpret_cast<__m64*>(dst + 12 * k + 6), _mm_castsi128_ps(pairs[k]));
    }
}

// Sixteen RGB32 pixels (64 bytes), aligned stores when the destination allows.
inline void AnalogRgb32Sixteen(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst,
                               bool aligned)
{
    // With the luma term 16 Y, (16 Y + T) >> 4 is Y + (T >> 4): the shift moves to the chroma
    // terms, once per chroma sample, and the luma enters as it is.
    const __m128i cb7 = ChromaLanes8(u), cr7 = ChromaLanes8(v);
    const __m128i round = _mm_set1_epi16(8);
    const auto q0 = [](__m128i term) { return _mm_srai_epi16(term, 4); };
    const __m128i r = q0(_mm_add_epi16(Product(cr7, 9338), round));
    const __m128i g = q0(_mm_sub_epi16(round, _mm_add_epi16(Product(cb7, 3227), Product(cr7, 4759))));
    const __m128i b = q0(_mm_add_epi16(Product(cb7, 16646), round));
    const HalfLanes luma = Widen16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(y)));
    const auto bytes = [&](__m128i term) {
        return _mm_packus_epi16(_mm_add_epi16(luma.lo, TwiceLow(term)),
                                _mm_add_epi16(luma.hi, TwiceHigh(term)));
    };
    const RgbBytes p = {bytes(r), bytes(g), bytes(b)};
    const __m128i zero = _mm_setzero_si128();
    const __m128i rgLow = _mm_unpacklo_epi8(p.r, p.g), rgHigh = _mm_unpackhi_epi8(p.r, p.g);
    const __m128i bLow = _mm_unpacklo_epi8(p.b, zero), bHigh = _mm_unpackhi_epi8(p.b, zero);
    const __m128i quads[4] = {_mm_unpacklo_epi16(rgLow, bLow), _mm_unpackhi_epi16(rgLow, bLow),
                              _mm_unpacklo_epi16(rgHigh, bHigh), _mm_unpackhi_epi16(rgHigh, bHigh)};
    for (int k = 0; k < 4; ++k) {
        auto* out = reinterpret_cast<__m128i*>(dst + 16 * k);
        if (aligned)
            _mm_store_si128(out, quads[k]);
        else
            _mm_storeu_si128(out, quads[k]);
    }
}

// Sixteen RGB555 words (32 bytes); no rounding term.
inline void Rgb555Sixteen(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst,
                          bool swapRB)
{
    const __m128i cb7 = ChromaLanes8(u), cr7 = ChromaLanes8(v);
    const __m128i termR = Product(cr7, 13074);
    const __m128i termG = _mm_add_epi16(Product(cr7, 6660), Product(cb7, 3211));
    const __m128i termB = Product(cb7, 16523);
    const HalfLanes lanes = Widen16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(y)));
    const __m128i zero = _mm_setzero_si128();
    const __m128i max = _mm_set1_epi16(255);
    auto five = [&](__m128i q4) {
        const __m128i value = _mm_max_epi16(_mm_min_epi16(_mm_srai_epi16(q4, 4), max), zero);
        return _mm_srli_epi16(value, 3);
    };
    auto words = [&](__m128i luma, __m128i r, __m128i g, __m128i b) {
        const __m128i low = five(_mm_add_epi16(luma, swapRB ? b : r));
        const __m128i high = five(_mm_add_epi16(luma, swapRB ? r : b));
        return _mm_or_si128(_mm_or_si128(low, _mm_slli_epi16(five(_mm_sub_epi16(luma, g)), 5)),
                            _mm_slli_epi16(high, 10));
    };
    StoreBytes16(dst, words(StudioLuma(lanes.lo), TwiceLow(termR), TwiceLow(termG),
                            TwiceLow(termB)));
    StoreBytes16(dst + 16, words(StudioLuma(lanes.hi), TwiceHigh(termR), TwiceHigh(termG),
                                 TwiceHigh(termB)));
}

} // namespace

void RGB24ToYUVPairsSse2(const uint8_t* rgb, uint8_t* y, uint8_t* u, uint8_t* v, int32_t pixels)
{
    const __m128i zero = _mm_setzero_si128();
    for (int32_t i = 0; i < pixels; i += 16, rgb += 48) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rgb));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rgb + 16));
        __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rgb + 32));
        // Three steps leave the pixels split by parity: reds and greens of the even pixels, blues
        // of the even and reds of the odd, greens and blues of the odd. A pair's two pixels then
        // sit in the same lane of an even and an odd register.
        for (int step = 0; step < 3; ++step)
            Unshuffle(a, b, c);
        const __m128i rEven = _mm_unpacklo_epi8(a, zero), gEven = _mm_unpackhi_epi8(a, zero);
        const __m128i bEven = _mm_unpacklo_epi8(b, zero), rOdd = _mm_unpackhi_epi8(b, zero);
        const __m128i gOdd = _mm_unpacklo_epi8(c, zero), bOdd = _mm_unpackhi_epi8(c, zero);
        const __m128i dEven = LumaTwice(rEven, gEven, bEven);
        const __m128i dOdd = LumaTwice(rOdd, gOdd, bOdd);
        // Luma is D / 2, at most 254: the odd pixels' bytes go into the high halves.
        StoreBytes16(y + i, _mm_or_si128(_mm_srai_epi16(dEven, 1),
                                         _mm_slli_epi16(_mm_srai_epi16(dOdd, 1), 8)));
        // S of each pair: the sum of the pair's two D values, halved.
        const __m128i s16 = _mm_srai_epi16(_mm_add_epi16(dEven, dOdd), 1);
        StoreBytes8(v + i / 2, ChromaOfPairs(_mm_add_epi16(rEven, rOdd), s16, 28737));
        StoreBytes8(u + i / 2, ChromaOfPairs(_mm_add_epi16(bEven, bOdd), s16, 16121));
    }
}

void YUVToRGB555Q4Sse2(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst,
                       int32_t pixels, bool swapRB)
{
    int32_t i = 0;
    for (; i + 16 <= pixels; i += 16)
        Rgb555Sixteen(y + i, u + i / 2, v + i / 2, dst + 2 * i, swapRB);
    for (; i + 8 <= pixels; i += 8)
        StoreBytes16(dst + 2 * i, Rgb555Words(Load8(y + i, u + i / 2, v + i / 2), swapRB));
    for (; i + 4 <= pixels; i += 4)
        StoreBytes8(dst + 2 * i, Rgb555Words(Load4(y + i, u + i / 2, v + i / 2), swapRB));
}

void YUVToRGB24Q4Sse2(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst,
                      int32_t pixels)
{
    int32_t i = 0;
    for (; i + 32 <= pixels; i += 16, dst += 48)
        StudioRgb24SixteenSpilling(y + i, u + i / 2, v + i / 2, dst);
    for (; i + 16 <= pixels; i += 16, dst += 48)
        StudioRgb24Sixteen(y + i, u + i / 2, v + i / 2, dst);
    // Eight pixels left: quads with their fourth bytes dropped.
    for (; i < pixels; i += 8, dst += 24) {
        __m128i first, second;
        Quads(StudioRgb24(Load8(y + i, u + i / 2, v + i / 2)), first, second);
        const __m128i a = DropFourthBytes(first);
        const __m128i b = DropFourthBytes(second);
        StoreBytes16(dst, _mm_or_si128(a, _mm_slli_si128(b, 12)));
        StoreBytes8(dst + 16, _mm_srli_si128(b, 4));
    }
}

void YUVToRGB32Q4Sse2(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst,
                      int32_t pixels)
{
    const bool aligned = (reinterpret_cast<uintptr_t>(dst) & 15) == 0;
    int32_t i = 0;
    for (; i + 16 <= pixels; i += 16)
        AnalogRgb32Sixteen(y + i, u + i / 2, v + i / 2, dst + 4 * i, aligned);
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

} // namespace imaging
