// CaptionImage: conversion, scaling, mask and drawing of rendered text lines.
#include "captionimage.h"

#include "imaging/imaging.h"
#include "kernel/poolallocation.h"
#include "planework.h"
#include "videoframe.h"

#include <algorithm>
#include <cstring>

void CaptionImage::Release()
{
    FreePool(block);
    block = nullptr;
    y = u = v = maskY = maskC = nullptr;
    width = height = 0;
}

bool CaptionImage::Build(const GlyphBitmap& line, LONG targetHeight, LONG maxWidth, ULONG background)
{
    if (!line.pixels || line.width <= 0 || line.height <= 0)
        return false;
    if (targetHeight <= 0)
        targetHeight = line.height;
    LONG targetWidth = LONG((LONGLONG(line.width) * targetHeight + line.height / 2) / line.height);
    // The scale keeps the aspect; the width beyond the overlay is cut.
    const LONG scaledWidth = targetWidth;
    targetWidth = std::min(targetWidth, maxWidth);
    if (!BuildSized(line, scaledWidth, targetHeight, background))
        return false;
    if (targetWidth < width)
        width = std::max<LONG>(targetWidth & ~1, 0);
    return width > 0;
}

bool CaptionImage::BuildSized(const GlyphBitmap& line, LONG targetWidth, LONG targetHeight, ULONG background)
{
    Release();
    targetWidth &= ~1;
    if (!line.pixels || line.width <= 0 || line.height <= 0 || targetWidth <= 0 || targetHeight <= 0 ||
        targetWidth > 8192 || targetHeight > 4096)
        return false;
    const size_t pixels = size_t(targetWidth) * targetHeight;
    // RGB scratch, then Y, U, V, mask Y, mask C.
    const size_t bytes = pixels * 3 + pixels + pixels / 2 * 2 + pixels + pixels / 2;
    block = static_cast<PUCHAR>(AllocatePoolOfType(bytes, PagedPool));
    if (!block)
        return false;
    width = targetWidth;
    height = targetHeight;
    PUCHAR rgb = block;
    y = rgb + pixels * 3;
    u = y + pixels;
    v = u + pixels / 2;
    maskY = v + pixels / 2;
    maskC = maskY + pixels;
    const UCHAR bg[3] = {UCHAR(background & 0xFF), UCHAR(background >> 8), UCHAR(background >> 16)};
    for (LONG r = 0; r < height; ++r) {
        const LONG sr = LONG(LONGLONG(r) * line.height / height);
        const UCHAR* srcRow = line.pixels + size_t(sr) * line.pitch;
        for (LONG c = 0; c < width; ++c) {
            const LONG sc = LONG(LONGLONG(c) * line.width / width);
            const UCHAR* s = srcRow + size_t(sc) * 3;
            UCHAR* d = rgb + (size_t(r) * width + c) * 3;
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
            maskY[size_t(r) * width + c] = (s[0] != bg[0] || s[1] != bg[1] || s[2] != bg[2]) ? 0xFF : 0;
        }
        for (LONG c = 0; c < width / 2; ++c)
            maskC[size_t(r) * (width / 2) + c] =
                (maskY[size_t(r) * width + 2 * c] | maskY[size_t(r) * width + 2 * c + 1]) ? 0xFF : 0;
    }
    uint8_t* const planes[3] = {y, u, v};
    const int32_t steps[3] = {width, width / 2, width / 2};
    if (ConvertRGB24ToPlanar422(rgb, width * 3, planes, steps, width, height) < 0) {
        Release();
        return false;
    }
    return true;
}

void CaptionImage::Draw(const void* object, const char* functionName, VideoFrame* frame, LONG top, LONG left,
                        bool transparent, const char* const plainTexts[3], const char* const maskedTexts[3]) const
{
    if (Empty() || !frame || top < 0 || left < 0 || !frame->PlanesInBuffer())
        return;
    left &= ~1;
    const LONG rows = std::min(height, frame->GetHeight() - top);
    const LONG columns = std::min(width, frame->GetWidth() - left) & ~1;
    if (rows <= 0 || columns <= 0)
        return;
    const PUCHAR sources[3] = {y, u, v};
    const PUCHAR masks[3] = {maskY, maskC, maskC};
    for (ULONG p = 0; p < 3; ++p) {
        const LONG planeColumns = p == 0 ? columns : columns / 2;
        const LONG sourceStride = p == 0 ? width : width / 2;
        const LONG stride = frame->GetStride(p);
        PUCHAR destination = frame->GetPlane(p) + size_t(top) * stride + (p == 0 ? left : left / 2);
        GuardedPlaneWork(object, functionName, transparent ? maskedTexts[p] : plainTexts[p], [&] {
            if (transparent)
                CopyPlaneMasked(sources[p], sourceStride, destination, stride, planeColumns, rows, masks[p],
                                sourceStride);
            else
                CopyPlaneRows(sources[p], sourceStride, destination, stride, planeColumns, rows);
        });
    }
}
