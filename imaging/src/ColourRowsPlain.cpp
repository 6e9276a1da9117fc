// Plain pixel kernels of the colour conversions: the scalar pixels each row ends with (the odd
// pixel of the RGB24 import, the RGB555 tail, the 16.16 pixels of the RGB24 and RGB32 outputs) and
// the scalar equivalents of the vector kernels. Built without auto-vectorisation. Signed right
// shifts floor; every result is clamped to 0..255 before it is stored.
#include "RowKernels.h"

namespace imaging {
namespace {

inline int32_t Clamp255(int32_t v)
{
    return v < 0 ? 0 : (v > 255 ? 255 : v);
}

inline void StoreWord(uint8_t* dst, uint32_t word)
{
    dst[0] = uint8_t(word);
    dst[1] = uint8_t(word >> 8);
}

// Luma times 1.164 after the 16 offset, with 4 fraction bits: the high half of a 16-bit product
// of values shifted up by 7 bits.
inline int32_t StudioLumaQ4(int32_t luma)
{
    return ((luma - 16) * 9535) >> 9;
}

inline int32_t ProductQ4(int32_t chroma, int32_t factor)
{
    return (chroma * factor) >> 9;
}

} // namespace

void RGB24ToYUVPairsPlain(const uint8_t* rgb, uint8_t* y, uint8_t* u, uint8_t* v, int32_t pixels)
{
    for (int32_t k = 0; k < pixels / 2; ++k, rgb += 6) {
        const int32_t r0 = rgb[0], g0 = rgb[1], b0 = rgb[2];
        const int32_t r1 = rgb[3], g1 = rgb[4], b1 = rgb[5];
        // Two-stage truncation: white gives 254, as the vector arithmetic does.
        const int32_t d0 = ((9798 * r0 + 19235 * g0) >> 14) + ((3736 * b0) >> 14);
        const int32_t d1 = ((9798 * r1 + 19235 * g1) >> 14) + ((3736 * b1) >> 14);
        y[2 * k] = uint8_t(d0 >> 1);
        y[2 * k + 1] = uint8_t(d1 >> 1);
        const int32_t s = (d0 + d1) >> 1;
        v[k] = uint8_t(Clamp255((((r0 + r1 - s) * 28737) >> 16) + 128));
        u[k] = uint8_t(Clamp255((((b0 + b1 - s) * 16121) >> 16) + 128));
    }
}

void RGB24ToYUVLastPixelPlain(const uint8_t* rgb, uint8_t* y, uint8_t* u, uint8_t* v)
{
    const int32_t r = rgb[0], g = rgb[1], b = rgb[2];
    const int32_t t = 9798 * r + 19235 * g + 3736 * b;
    *y = uint8_t(t >> 15);
    *u = uint8_t(Clamp255(((((32768 * b - t + 16383) >> 15) * 16121) >> 15) + 128));
    *v = uint8_t(Clamp255(((((32768 * r - t + 32767) >> 15) * 28737) >> 15) + 128));
}

void YUVToRGB555Q4Plain(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst,
                        int32_t pixels, bool swapRB)
{
    const int rShift = swapRB ? 10 : 0;
    const int bShift = swapRB ? 0 : 10;
    for (int32_t i = 0; i < pixels; ++i, dst += 2) {
        const int32_t luma = StudioLumaQ4(y[i]);
        const int32_t cb = u[i >> 1] - 128;
        const int32_t cr = v[i >> 1] - 128;
        const int32_t r = Clamp255((luma + ProductQ4(cr, 13074)) >> 4);
        const int32_t g = Clamp255((luma - ProductQ4(cr, 6660) - ProductQ4(cb, 3211)) >> 4);
        const int32_t b = Clamp255((luma + ProductQ4(cb, 16523)) >> 4);
        StoreWord(dst, uint32_t(((r >> 3) << rShift) | ((g >> 3) << 5) | ((b >> 3) << bShift)));
    }
}

void YUVToRGB24Q4Plain(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst,
                       int32_t pixels)
{
    for (int32_t i = 0; i < pixels; ++i, dst += 3) {
        const int32_t luma = StudioLumaQ4(y[i]);
        const int32_t cb = u[i >> 1] - 128;
        const int32_t cr = v[i >> 1] - 128;
        dst[0] = uint8_t(Clamp255((luma + ProductQ4(cr, 13074) + 8) >> 4));
        dst[1] = uint8_t(Clamp255((luma + ProductQ4(cr, -6660) + ProductQ4(cb, -3211) + 8) >> 4));
        dst[2] = uint8_t(Clamp255((luma + ProductQ4(cb, 16523) + 8) >> 4));
    }
}

void YUVToRGB24Q16Plain(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst,
                        int32_t pixels)
{
    for (int32_t i = 0; i < pixels; ++i, dst += 3) {
        const int32_t luma = 76282 * (y[i] - 16);
        const int32_t cb = u[i >> 1] - 128;
        const int32_t cr = v[i >> 1] - 128;
        dst[0] = uint8_t(Clamp255((luma + 104593 * cr) >> 16));
        dst[1] = uint8_t(Clamp255((luma - 25689 * cb - 53279 * cr) >> 16));
        dst[2] = uint8_t(Clamp255((luma + 132184 * cb) >> 16));
    }
}

void YUVToRGB32Q4Plain(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst,
                       int32_t pixels)
{
    for (int32_t i = 0; i < pixels; ++i, dst += 4) {
        const int32_t luma = 16 * y[i];
        const int32_t cb = u[i >> 1] - 128;
        const int32_t cr = v[i >> 1] - 128;
        dst[0] = uint8_t(Clamp255((luma + ProductQ4(cr, 9338) + 8) >> 4));
        dst[1] = uint8_t(Clamp255((luma - (ProductQ4(cb, 3227) + ProductQ4(cr, 4759)) + 8) >> 4));
        dst[2] = uint8_t(Clamp255((luma + ProductQ4(cb, 16646) + 8) >> 4));
        dst[3] = 0;
    }
}

void YUVToRGB32Q16Plain(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst,
                        int32_t pixels)
{
    for (int32_t i = 0; i < pixels; ++i, dst += 4) {
        const int32_t luma = 65536 * y[i];
        const int32_t cb = u[i >> 1] - 128;
        const int32_t cr = v[i >> 1] - 128;
        dst[0] = uint8_t(Clamp255((luma + 74711 * cr) >> 16));
        dst[1] = uint8_t(Clamp255((luma - 25821 * cb - 38076 * cr) >> 16));
        dst[2] = uint8_t(Clamp255((luma + 133169 * cb) >> 16));
        dst[3] = 0;
    }
}

} // namespace imaging
