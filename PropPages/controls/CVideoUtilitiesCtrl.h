// CVideoUtilitiesCtrl: the bitmap operations the preview controls share, without state: nearest-
// neighbour scaling of a device-independent bitmap, colour-keyed composition onto a background,
// and conversion of grabbed frames (I420, YUY2, YVU9, UYVY, 24-bit RGB, RGB555, 8-bit grey) into
// 24- or 32-bit DIB rows padded to 4 bytes. YCbCr converts with the studio-range coefficients in
// 16.16 fixed point. Converters allocate the destination (malloc; the caller frees it with free)
// when it is null, and answer the output's size.
#pragma once
#include "um/windows.h"

class CVideoUtilitiesCtrl {
public:
    // Bytes of one output row: width x bytes a pixel padded to 4.
    static ULONG DibStride(LONG width, ULONG bytesPerPixel);
    // One YCbCr pixel as blue, green, red.
    static void YuvToBgr(int y, int u, int v, BYTE* bgr);

    static void PreparePreviewBitmap(const BITMAPINFOHEADER* header, const BYTE* bits, BYTE** copyA, BYTE** copyB,
                                     BYTE** out, ULONG* outSize, HBITMAP target, ULONG* outRowBytes,
                                     const RECT* targetRect);
    static void BlitPreviewFrame(HDC dc, COLORREF key, HBITMAP source, const BYTE* sourceBits, HBITMAP background,
                                 const BYTE* backgroundBits, BYTE* destinationBits, ULONG destinationSize,
                                 ULONG sourceRowBytes, const RECT* area);

    static void ConvertI420ToDib(const BYTE* source, BYTE*& destination, const BITMAPINFOHEADER* header,
                                 ULONG* size, ULONG bytesPerPixel, bool flip, bool rgbOrder);
    static void ConvertYUY2ToDib(const BYTE* source, BYTE*& destination, const BITMAPINFOHEADER* header,
                                 ULONG* size, ULONG bytesPerPixel);
    static void ConvertYVU9ToDib(const BYTE* source, BYTE*& destination, const BITMAPINFOHEADER* header,
                                 ULONG* size, ULONG bytesPerPixel);
    static void ConvertFrameToDib(const BYTE* source, BYTE*& destination, const BITMAPINFOHEADER* header,
                                  ULONG* size, ULONG bytesPerPixel, bool flip);
    static void ConvertRGB24ToDib32(const BYTE* source, BYTE*& destination, const BITMAPINFOHEADER* header,
                                    ULONG* size);
    static void ConvertRGB555ToDib(const BYTE* source, BYTE*& destination, const BITMAPINFOHEADER* header,
                                   ULONG* size, ULONG bytesPerPixel);
    static void ConvertGrey8ToDib(const BYTE* source, BYTE*& destination, const BITMAPINFOHEADER* header,
                                  ULONG* size, ULONG bytesPerPixel);
};
