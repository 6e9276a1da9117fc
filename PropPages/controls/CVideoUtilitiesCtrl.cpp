#include "controls/CVideoUtilitiesCtrl.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

BYTE ToByte(long long sum)
{
    if (sum > 0xFFFFFF)
        return 255;
    if (sum < 0x10000)
        return 0;
    return BYTE(sum >> 16);
}

LONG Abs(LONG value)
{
    return value < 0 ? -value : value;
}

// The destination of `size` bytes (plus `spare`), made when the caller gave none.
bool Ensure(BYTE*& destination, ULONG size, ULONG spare = 0)
{
    if (!destination)
        destination = static_cast<BYTE*>(std::calloc(size_t(size) + spare, 1));
    return destination != nullptr;
}

void Put(BYTE* pixel, const BYTE* bgr, ULONG bytesPerPixel, bool rgbOrder = false)
{
    pixel[0] = rgbOrder ? bgr[2] : bgr[0];
    pixel[1] = bgr[1];
    pixel[2] = rgbOrder ? bgr[0] : bgr[2];
    if (bytesPerPixel == 4)
        pixel[3] = 0;
}

// Source rows of `bits` bits a pixel, padded to 4 bytes.
ULONG SourceStride(LONG width, ULONG bits)
{
    return ULONG((width * LONG(bits) + 31) / 32) * 4;
}

} // namespace

ULONG CVideoUtilitiesCtrl::DibStride(LONG width, ULONG bytesPerPixel)
{
    return ULONG((width * LONG(bytesPerPixel) * 8 + 31) / 8) & ~3u;
}

void CVideoUtilitiesCtrl::YuvToBgr(int y, int u, int v, BYTE* bgr)
{
    const long long c = (long long)std::max(y - 16, 0) * 76310;
    const long long d = u - 128, e = v - 128;
    bgr[2] = ToByte(c + 104635 * e);
    bgr[1] = ToByte(c - 25690 * d - 53294 * e);
    bgr[0] = ToByte(c + 132278 * d);
}

void CVideoUtilitiesCtrl::PreparePreviewBitmap(const BITMAPINFOHEADER* header, const BYTE* bits, BYTE** copyA,
                                               BYTE** copyB, BYTE** out, ULONG* outSize, HBITMAP target,
                                               ULONG* outRowBytes, const RECT* targetRect)
{
    if (!header || !bits || !out || !targetRect)
        return;
    const LONG width = targetRect->right - targetRect->left;
    const LONG height = targetRect->bottom - targetRect->top;
    const LONG sourceWidth = header->biWidth, sourceHeight = Abs(header->biHeight);
    const ULONG pixelBytes = header->biBitCount / 8;
    if (width <= 0 || height <= 0 || sourceWidth <= 0 || sourceHeight <= 0 || pixelBytes == 0)
        return;
    const ULONG sourceStride = SourceStride(sourceWidth, header->biBitCount);
    const ULONG stride = SourceStride(width, header->biBitCount);
    const ULONG size = stride * ULONG(height);
    BYTE* result = static_cast<BYTE*>(std::calloc(size, 1));
    if (!result)
        return;
    for (LONG r = 0; r < height; ++r) {
        const BYTE* row = bits + size_t(r * sourceHeight / height) * sourceStride;
        for (LONG c = 0; c < width; ++c)
            std::memcpy(result + size_t(r) * stride + size_t(c) * pixelBytes,
                        row + size_t(c * sourceWidth / width) * pixelBytes, pixelBytes);
    }
    std::free(*out);
    *out = result;
    if (outSize)
        *outSize = size;
    if (target && outRowBytes) {
        BITMAP info{};
        if (GetObjectW(target, sizeof info, &info))
            *outRowBytes = ULONG(info.bmBitsPixel / 8) * ULONG(width);
    }
    for (BYTE** copy : {copyA, copyB}) {
        if (!copy)
            continue;
        std::free(*copy);
        *copy = static_cast<BYTE*>(std::malloc(size));
        if (*copy)
            std::memcpy(*copy, result, size);
    }
}

void CVideoUtilitiesCtrl::BlitPreviewFrame(HDC dc, COLORREF key, HBITMAP source, const BYTE* sourceBits,
                                           HBITMAP background, const BYTE* backgroundBits, BYTE* destinationBits,
                                           ULONG destinationSize, ULONG sourceRowBytes, const RECT* area)
{
    if (!sourceBits || !backgroundBits || !destinationBits)
        return;
    if (area && area->right > area->left && area->bottom > area->top) {
        // Pixels step by the source bitmap's bytes a pixel (3 when it cannot say); the three bytes
        // of colour are compared and copied. The source and the destination cover the area; the
        // background is the whole picture, its rows as long as the background bitmap's.
        ULONG pixelBytes = 3;
        BITMAP info{};
        if (source && GetObjectW(source, sizeof info, &info) && info.bmBitsPixel >= 24)
            pixelBytes = info.bmBitsPixel / 8;
        size_t backgroundRow = sourceRowBytes, backgroundSize = SIZE_MAX;
        BITMAP behind{};
        if (background && GetObjectW(background, sizeof behind, &behind)) {
            backgroundRow = size_t(behind.bmWidthBytes);
            backgroundSize = backgroundRow * size_t(behind.bmHeight);
        }
        const BYTE keyLow = BYTE(key), keyMiddle = BYTE(key >> 8), keyHigh = BYTE(key >> 16);
        const LONG width = area->right - area->left;
        for (LONG row = area->top; row < area->bottom; ++row) {
            for (LONG column = 0; column < width; ++column) {
                const size_t at = size_t(row - area->top) * sourceRowBytes + size_t(column) * pixelBytes;
                if (at + 3 > destinationSize)
                    continue;
                const BYTE* pixel = sourceBits + at;
                const bool keyed = pixel[0] == keyLow && pixel[1] == keyMiddle && pixel[2] == keyHigh;
                const size_t from = size_t(row) * backgroundRow + size_t(area->left + column) * pixelBytes;
                if (keyed && from + 3 > backgroundSize)
                    continue;
                std::memcpy(destinationBits + at, keyed ? backgroundBits + from : pixel, 3);
            }
        }
    }
    if (dc) {
        HBITMAP selected = static_cast<HBITMAP>(GetCurrentObject(dc, OBJ_BITMAP));
        if (selected)
            SetBitmapBits(selected, destinationSize, destinationBits);
    }
}

void CVideoUtilitiesCtrl::ConvertI420ToDib(const BYTE* source, BYTE*& destination, const BITMAPINFOHEADER* header,
                                           ULONG* size, ULONG bytesPerPixel, bool flip, bool rgbOrder)
{
    if (!source || !header)
        return;
    const LONG width = header->biWidth, height = Abs(header->biHeight);
    const ULONG stride = DibStride(width, bytesPerPixel);
    const ULONG total = stride * ULONG(height);
    if (size)
        *size = total;
    if (!Ensure(destination, total))
        return;
    // Chroma planes of half the width and half the height, rounded up, after the luma plane.
    const LONG chromaWidth = (width + 1) / 2, chromaHeight = (height + 1) / 2;
    const BYTE* yPlane = source;
    const BYTE* uPlane = yPlane + size_t(width) * size_t(height);
    const BYTE* vPlane = uPlane + size_t(chromaWidth) * size_t(chromaHeight);
    BYTE bgr[3];
    for (LONG r = 0; r < height; ++r) {
        // Rows at the padded stride, so that widths whose rows need padding keep their shape.
        BYTE* out = destination + size_t(flip ? height - 1 - r : r) * stride;
        for (LONG c = 0; c < width; ++c) {
            const size_t chroma = size_t(r / 2) * size_t(chromaWidth) + size_t(c / 2);
            YuvToBgr(yPlane[size_t(r) * size_t(width) + size_t(c)], uPlane[chroma], vPlane[chroma], bgr);
            Put(out + size_t(c) * bytesPerPixel, bgr, bytesPerPixel, rgbOrder);
        }
    }
}

void CVideoUtilitiesCtrl::ConvertYUY2ToDib(const BYTE* source, BYTE*& destination, const BITMAPINFOHEADER* header,
                                           ULONG* size, ULONG bytesPerPixel)
{
    if (!source || !header)
        return;
    const LONG width = header->biWidth, height = Abs(header->biHeight);
    const ULONG stride = DibStride(width, bytesPerPixel);
    const ULONG sourceStride = (ULONG(width) * 2 + 3) & ~3u;
    if (size)
        *size = stride * ULONG(height);
    if (!Ensure(destination, stride * ULONG(height)))
        return;
    BYTE bgr[3];
    for (LONG r = 0; r < height; ++r) {
        const BYTE* in = source + size_t(r) * sourceStride;
        BYTE* out = destination + size_t(height - 1 - r) * stride;
        for (LONG c = 0; c < width; ++c) {
            const BYTE* pair = in + size_t(c / 2) * 4;
            YuvToBgr(pair[(c & 1) ? 2 : 0], pair[1], pair[3], bgr);
            Put(out + size_t(c) * bytesPerPixel, bgr, bytesPerPixel);
        }
    }
}

void CVideoUtilitiesCtrl::ConvertYVU9ToDib(const BYTE* source, BYTE*& destination, const BITMAPINFOHEADER* header,
                                           ULONG* size, ULONG bytesPerPixel)
{
    if (!source || !header)
        return;
    const LONG width = header->biWidth, height = Abs(header->biHeight);
    const ULONG stride = DibStride(width, bytesPerPixel);
    if (size)
        *size = stride * ULONG(height);
    if (!Ensure(destination, stride * ULONG(height)))
        return;
    const LONG chromaWidth = width / 4, chromaHeight = height / 4;
    const BYTE* vPlane = source + size_t(width) * size_t(height);
    const BYTE* uPlane = vPlane + size_t(chromaWidth) * size_t(chromaHeight);
    BYTE bgr[3];
    for (LONG r = 0; r < height; ++r) {
        BYTE* out = destination + size_t(height - 1 - r) * stride;
        for (LONG c = 0; c < width; ++c) {
            const LONG cr = std::min(r / 4, chromaHeight - 1), cc = std::min(c / 4, chromaWidth - 1);
            const size_t chroma = cr >= 0 && cc >= 0 ? size_t(cr) * size_t(chromaWidth) + size_t(cc) : 0;
            const bool hasChroma = chromaWidth > 0 && chromaHeight > 0;
            YuvToBgr(source[size_t(r) * size_t(width) + size_t(c)], hasChroma ? uPlane[chroma] : 128,
                     hasChroma ? vPlane[chroma] : 128, bgr);
            Put(out + size_t(c) * bytesPerPixel, bgr, bytesPerPixel);
        }
    }
}

void CVideoUtilitiesCtrl::ConvertFrameToDib(const BYTE* source, BYTE*& destination, const BITMAPINFOHEADER* header,
                                            ULONG* size, ULONG bytesPerPixel, bool flip)
{
    if (!source || !header)
        return;
    const LONG width = header->biWidth, height = Abs(header->biHeight);
    const ULONG stride = DibStride(width, bytesPerPixel);
    const ULONG sourceStride = (ULONG(width) * 2 + 3) & ~3u;
    if (size)
        *size = stride * ULONG(height);
    if (!Ensure(destination, stride * ULONG(height), stride))
        return;
    BYTE bgr[3];
    for (LONG r = 0; r < height; ++r) {
        const BYTE* in = source + size_t(r) * sourceStride;
        BYTE* out = destination + size_t(flip ? height - 1 - r : r) * stride;
        for (LONG c = 0; c < width; ++c) {
            const BYTE* pair = in + size_t(c / 2) * 4;
            YuvToBgr(pair[(c & 1) ? 3 : 1], pair[0], pair[2], bgr);
            Put(out + size_t(c) * bytesPerPixel, bgr, bytesPerPixel);
        }
    }
}

void CVideoUtilitiesCtrl::ConvertRGB24ToDib32(const BYTE* source, BYTE*& destination, const BITMAPINFOHEADER* header,
                                              ULONG* size)
{
    if (!source || !header)
        return;
    const LONG width = header->biWidth, height = Abs(header->biHeight);
    const ULONG stride = DibStride(width, 4), sourceStride = SourceStride(width, 24);
    if (size)
        *size = stride * ULONG(height);
    if (!Ensure(destination, stride * ULONG(height)))
        return;
    for (LONG r = 0; r < height; ++r)
        for (LONG c = 0; c < width; ++c)
            Put(destination + size_t(r) * stride + size_t(c) * 4, source + size_t(r) * sourceStride + size_t(c) * 3, 4);
}

void CVideoUtilitiesCtrl::ConvertRGB555ToDib(const BYTE* source, BYTE*& destination, const BITMAPINFOHEADER* header,
                                             ULONG* size, ULONG bytesPerPixel)
{
    if (!source || !header)
        return;
    const LONG width = header->biWidth, height = Abs(header->biHeight);
    const ULONG stride = DibStride(width, bytesPerPixel), sourceStride = SourceStride(width, header->biBitCount);
    if (size)
        *size = stride * ULONG(height);
    if (!Ensure(destination, stride * ULONG(height)))
        return;
    for (LONG r = 0; r < height; ++r)
        for (LONG c = 0; c < width; ++c) {
            const BYTE* in = source + size_t(r) * sourceStride + size_t(c) * 2;
            const unsigned value = unsigned(in[0]) | unsigned(in[1]) << 8;
            const BYTE bgr[3] = {BYTE((value & 0x1F) << 3), BYTE(((value >> 5) & 0x1F) << 3),
                                 BYTE(((value >> 10) & 0x1F) << 3)};
            Put(destination + size_t(r) * stride + size_t(c) * bytesPerPixel, bgr, bytesPerPixel);
        }
}

void CVideoUtilitiesCtrl::ConvertGrey8ToDib(const BYTE* source, BYTE*& destination, const BITMAPINFOHEADER* header,
                                            ULONG* size, ULONG bytesPerPixel)
{
    if (!source || !header)
        return;
    const LONG width = header->biWidth, height = Abs(header->biHeight);
    const ULONG stride = DibStride(width, bytesPerPixel), sourceStride = SourceStride(width, header->biBitCount);
    if (size)
        *size = stride * ULONG(height);
    if (!Ensure(destination, stride * ULONG(height)))
        return;
    for (LONG r = 0; r < height; ++r)
        for (LONG c = 0; c < width; ++c) {
            const BYTE grey = BYTE(std::min(255u, (unsigned(source[size_t(r) * sourceStride + size_t(c)]) * 76310u) >> 16));
            const BYTE bgr[3] = {grey, grey, grey};
            Put(destination + size_t(r) * stride + size_t(c) * bytesPerPixel, bgr, bytesPerPixel);
        }
}
