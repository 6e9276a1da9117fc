// The two headers at the start of a device-independent bitmap file, with their byte layouts: the
// 14-byte file header (signature "BM", file size, offset of the pixels) and the 40-byte information
// header (size of itself, width, signed height, planes, bits per pixel, compression, ...). A
// positive height stores the rows bottom-up, a negative one top-down; each row is padded to a
// multiple of 4 bytes. Larger information headers begin with these 40 bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#pragma pack(push, 2)
struct BITMAPFILEHEADER {
    uint16_t bfType;      // 0x4D42, "BM" in byte order
    uint32_t bfSize;      // bytes of the whole file
    uint16_t bfReserved1;
    uint16_t bfReserved2;
    uint32_t bfOffBits;   // offset of the first pixel row from the start of the file
};
#pragma pack(pop)
static_assert(sizeof(BITMAPFILEHEADER) == 14);
static_assert(offsetof(BITMAPFILEHEADER, bfSize) == 2);
static_assert(offsetof(BITMAPFILEHEADER, bfOffBits) == 10);

struct BITMAPINFOHEADER {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);
static_assert(offsetof(BITMAPINFOHEADER, biBitCount) == 14);
static_assert(offsetof(BITMAPINFOHEADER, biCompression) == 16);
static_assert(offsetof(BITMAPINFOHEADER, biClrImportant) == 36);

inline constexpr uint16_t kBitmapFileSignature = 0x4D42; // "BM"
inline constexpr uint32_t BI_RGB = 0;
inline constexpr uint32_t BI_RLE8 = 1;
inline constexpr uint32_t BI_RLE4 = 2;
inline constexpr uint32_t BI_BITFIELDS = 3;
