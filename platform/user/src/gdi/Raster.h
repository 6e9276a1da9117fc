// Raster work on a device context's pixels: fills under raster operations, blits with format
// conversion, masked copies, lines and single pixels, each clipped to where the DC may draw.
#pragma once
#include "gdi/GdiTable.h"

#include <optional>

namespace user {

struct Canvas {
    DcState* dc = nullptr;
    PixelBuffer* pixels = nullptr; // null: a DC drawing nowhere (the screen's)
    Region drawable;               // target coordinates
};

// The canvas of a DC, or nothing for a handle that names none.
std::optional<Canvas> CanvasLocked(GdiTable& table, HDC hdc, const char* call);

// Whether a ternary raster operation reads the source or the pattern.
bool RopUsesSource(DWORD rop);
bool RopUsesPattern(DWORD rop);

// Fills a rectangle (DC coordinates) under a raster operation with a pattern colour (none: the
// operation must not read one).
void FillLocked(Canvas& canvas, const RECT& rect, std::optional<COLORREF> pattern, DWORD rop);

// Pixels from a source, stretched nearest, under a raster operation. `background` is the
// source's background colour, which a monochrome target takes as white.
struct BlitSource {
    const PixelBuffer* pixels = nullptr;
    COLORREF background = RGB(255, 255, 255);
};
void BlitLocked(Canvas& canvas, int x, int y, int w, int h, const BlitSource* source, int sx, int sy, int sw, int sh,
                std::optional<COLORREF> pattern, DWORD rop);

// Copies the pixels of an image where `shape` says so (a w x h mask, true: drawn), at (x, y).
void MaskedCopyLocked(Canvas& canvas, int x, int y, const PixelBuffer& image, int sx, int sy, int w, int h,
                      const std::vector<bool>& shape);
// Paints one colour where `shape` says so.
void ShapeFillLocked(Canvas& canvas, int x, int y, int w, int h, const std::vector<bool>& shape, COLORREF color);

// A line with a pen, leaving out its last point.
void LineLocked(Canvas& canvas, POINT from, POINT to, const LOGPEN& pen);

// The colour a pixel got (CLR_INVALID when clipped away).
COLORREF PutPixelLocked(Canvas& canvas, int x, int y, COLORREF color);

} // namespace user
