// Readers of the pins' output pictures, written from the formats' own definitions (not from the
// converter): each turns a buffer back into pixels or planes in picture order, top row first.
//   RGB24 rows of blue, green, red; RGB32 blue, green, red, 0; RGB555 words with blue in bits 0-4,
//   green 5-9, red 10-14; grey one byte a pixel; all rows padded to a multiple of 4 bytes and,
//   bottom-up, the picture's top row last.
//   UYVY U Y0 V Y1 and YUY2 Y0 U Y1 V, rows of 2 x width bytes.
//   I420 Y (pitch width), U, V (half the width, half the height rounded up: the last row of an
//   odd height has chroma rows of its own); YVU9 Y (pitch width rounded up to 4),
//   V, U (a quarter of the pitch and height).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct UnpackedRgb {
    int r, g, b;
    int fourth; // RGB32's fourth byte, RGB555's bit 15; 0 elsewhere
    bool operator==(const UnpackedRgb&) const = default;
};

// Rows of `pitch` bytes holding width x height pixels; bottomUp: the last row is the top.
std::vector<UnpackedRgb> UnpackBgr24(const uint8_t* data, int width, int height, bool bottomUp);
std::vector<UnpackedRgb> UnpackBgr32(const uint8_t* data, int width, int height, bool bottomUp);
std::vector<UnpackedRgb> UnpackRgb555(const uint8_t* data, int width, int height, bool bottomUp);
std::vector<uint8_t> UnpackGray(const uint8_t* data, int width, int height, bool bottomUp);

// Luma and chroma planes: chroma of chromaWidth x chromaHeight.
struct UnpackedYuv {
    int width = 0, height = 0, chromaWidth = 0, chromaHeight = 0;
    std::vector<uint8_t> y, u, v;
    uint8_t Y(int x, int r) const { return y[size_t(r) * width + x]; }
    uint8_t U(int x, int r) const { return u[size_t(r) * chromaWidth + x]; }
    uint8_t V(int x, int r) const { return v[size_t(r) * chromaWidth + x]; }
};
UnpackedYuv UnpackUyvy(const uint8_t* data, int width, int height);
UnpackedYuv UnpackYuy2(const uint8_t* data, int width, int height);
UnpackedYuv UnpackI420(const uint8_t* data, int width, int height);
UnpackedYuv UnpackYvu9(const uint8_t* data, int width, int height);

// Bytes of each format's picture, from the same definitions.
size_t PackedRowBytes(int bytesPerPixel, int width); // rounded up to 4
size_t I420Bytes(int width, int height);
size_t Yvu9Bytes(int width, int height);
