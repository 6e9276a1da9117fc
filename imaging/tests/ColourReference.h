// An independent model of the colour conversions, written from the formulas with floor division
// rather than shifts and vector lanes: what every conversion must produce, byte for byte.
#pragma once

#include <cstdint>

namespace reference {

inline int64_t FloorDiv(int64_t a, int64_t b)
{
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

inline uint8_t Clamp(int64_t v)
{
    return uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// One row of RGB24 into Y and the two chroma planes.
inline void ImportRow(const uint8_t* rgb, int width, uint8_t* y, uint8_t* u, uint8_t* v)
{
    for (int k = 0; k < width / 2; ++k) {
        const uint8_t* p = rgb + 6 * k;
        int64_t d[2];
        for (int i = 0; i < 2; ++i)
            d[i] = FloorDiv(9798 * p[3 * i] + 19235 * p[3 * i + 1], 16384) +
                   FloorDiv(3736 * p[3 * i + 2], 16384);
        y[2 * k] = uint8_t(FloorDiv(d[0], 2));
        y[2 * k + 1] = uint8_t(FloorDiv(d[1], 2));
        const int64_t s = FloorDiv(d[0] + d[1], 2);
        v[k] = Clamp(FloorDiv((p[0] + p[3] - s) * 28737, 65536) + 128);
        u[k] = Clamp(FloorDiv((p[2] + p[5] - s) * 16121, 65536) + 128);
    }
    if (width % 2) {
        const uint8_t* p = rgb + 3 * (width - 1);
        const int64_t t = 9798 * p[0] + 19235 * p[1] + 3736 * p[2];
        y[width - 1] = uint8_t(FloorDiv(t, 32768));
        u[width / 2] = uint8_t(FloorDiv(FloorDiv(32768 * p[2] - t + 16383, 32768) * 16121, 32768) + 128);
        v[width / 2] = Clamp(FloorDiv(FloorDiv(32768 * p[0] - t + 32767, 32768) * 28737, 32768) + 128);
    }
}

struct Rgb {
    uint8_t r, g, b;
};

// Pixel i of a row of the given width, with its luma and chroma samples.
inline Rgb ToRGB24(int i, int width, int Y, int U, int V)
{
    const int64_t cb = U - 128, cr = V - 128;
    if (i < width / 8 * 8) {
        const int64_t y = FloorDiv((Y - 16) * 9535, 512);
        return {Clamp(FloorDiv(y + FloorDiv(cr * 13074, 512) + 8, 16)),
                Clamp(FloorDiv(y + FloorDiv(-6660 * cr, 512) + FloorDiv(-3211 * cb, 512) + 8, 16)),
                Clamp(FloorDiv(y + FloorDiv(cb * 16523, 512) + 8, 16))};
    }
    const int64_t l = 76282 * int64_t(Y - 16);
    return {Clamp(FloorDiv(l + 104593 * cr, 65536)), Clamp(FloorDiv(l - 25689 * cb - 53279 * cr, 65536)),
            Clamp(FloorDiv(l + 132184 * cb, 65536))};
}

inline Rgb ToRGB32(int i, int width, int Y, int U, int V)
{
    const int64_t cb = U - 128, cr = V - 128;
    if (i < width / 4 * 4) {
        const int64_t y = 16 * Y;
        return {Clamp(FloorDiv(y + FloorDiv(cr * 9338, 512) + 8, 16)),
                Clamp(FloorDiv(y - (FloorDiv(cb * 3227, 512) + FloorDiv(cr * 4759, 512)) + 8, 16)),
                Clamp(FloorDiv(y + FloorDiv(cb * 16646, 512) + 8, 16))};
    }
    return {Clamp(FloorDiv(65536 * Y + 74711 * cr, 65536)),
            Clamp(FloorDiv(65536 * Y - 25821 * cb - 38076 * cr, 65536)),
            Clamp(FloorDiv(65536 * Y + 133169 * cb, 65536))};
}

inline uint16_t ToRGB555(int Y, int U, int V, bool swapRB = false)
{
    const int64_t cb = U - 128, cr = V - 128;
    const int64_t y = FloorDiv((Y - 16) * 9535, 512);
    const int r = Clamp(FloorDiv(y + FloorDiv(cr * 13074, 512), 16));
    const int g = Clamp(FloorDiv(y - FloorDiv(cr * 6660, 512) - FloorDiv(cb * 3211, 512), 16));
    const int b = Clamp(FloorDiv(y + FloorDiv(cb * 16523, 512), 16));
    return uint16_t(((swapRB ? b : r) / 8) | ((g / 8) << 5) | ((swapRB ? r : b) / 8) << 10);
}

} // namespace reference
