// Raster drawing: blits and stretching with every ternary raster operation, pattern fills,
// rectangles, lines and pixels. Raster operations work on the values the target stores (bits,
// indices, packed fields); colours meet a monochrome bitmap through the DCs' text and background
// colours, other formats through their nearest value.
#include "gdi/Raster.h"
#include "um/errhandlingapi.h"
#include "um/winerror.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace user {
namespace {

BYTE RopCode(DWORD rop)
{
    return static_cast<BYTE>(rop >> 16);
}

uint32_t ApplyRop(BYTE code, uint32_t p, uint32_t s, uint32_t d)
{
    switch (code) {
    case 0xCC: return s;
    case 0xF0: return p;
    case 0x00: return 0;
    case 0xFF: return 0xFFFFFFFFu;
    default: break;
    }
    // Bit i of the code is the result for pattern, source and destination bits (i >> 2, i >> 1, i) & 1.
    uint32_t result = 0;
    for (int i = 0; i < 8; ++i)
        if ((code >> i) & 1)
            result |= ((i & 4) ? p : ~p) & ((i & 2) ? s : ~s) & ((i & 1) ? d : ~d);
    return result;
}

RECT Normalized(RECT r)
{
    if (r.left > r.right)
        std::swap(r.left, r.right);
    if (r.top > r.bottom)
        std::swap(r.top, r.bottom);
    return r;
}

RECT ToTarget(const Canvas& canvas, const RECT& r)
{
    const POINT o = canvas.dc->origin;
    return RECT{r.left + o.x, r.top + o.y, r.right + o.x, r.bottom + o.y};
}

// The target's value of a colour for drawing: a monochrome target compares with the DC's
// background colour only in blits; a drawn colour takes its nearest.
uint32_t DrawValue(const PixelBuffer& pixels, COLORREF color)
{
    return pixels.ValueOf(color & 0x00FFFFFF);
}

} // namespace

std::optional<Canvas> CanvasLocked(GdiTable& table, HDC hdc, const char* call)
{
    DcState* dc = FindDcLocked(table, hdc, call);
    if (!dc)
        return std::nullopt;
    Canvas canvas;
    canvas.dc = dc;
    canvas.pixels = TargetLocked(table, *dc);
    if (canvas.pixels)
        canvas.drawable = DrawableLocked(table, *dc);
    return canvas;
}

bool RopUsesSource(DWORD rop)
{
    const BYTE code = RopCode(rop);
    return (((code >> 2) ^ code) & 0x33) != 0;
}

bool RopUsesPattern(DWORD rop)
{
    const BYTE code = RopCode(rop);
    return (((code >> 4) ^ code) & 0x0F) != 0;
}

void FillLocked(Canvas& canvas, const RECT& rect, std::optional<COLORREF> pattern, DWORD rop)
{
    if (!canvas.pixels)
        return;
    PixelBuffer& px = *canvas.pixels;
    const BYTE code = RopCode(rop);
    const uint32_t p = pattern ? DrawValue(px, *pattern) : 0;
    const uint32_t mask = px.ValueMask();
    for (const RECT& r : IntersectRegion(canvas.drawable, ToTarget(canvas, Normalized(rect))))
        for (LONG y = r.top; y < r.bottom; ++y)
            for (LONG x = r.left; x < r.right; ++x)
                px.Set(x, y, ApplyRop(code, p, 0, px.Get(x, y)) & mask);
}

void BlitLocked(Canvas& canvas, int x, int y, int w, int h, const BlitSource* source, int sx, int sy, int sw, int sh,
                std::optional<COLORREF> pattern, DWORD rop)
{
    if (!canvas.pixels || w == 0 || h == 0)
        return;
    PixelBuffer& px = *canvas.pixels;
    const BYTE code = RopCode(rop);
    const uint32_t p = pattern ? DrawValue(px, *pattern) : 0;
    const uint32_t mask = px.ValueMask();
    const bool mirrorX = (w < 0) != (sw < 0);
    const bool mirrorY = (h < 0) != (sh < 0);
    const RECT dest = Normalized(RECT{x, y, x + w, y + h});
    const RECT from = Normalized(RECT{sx, sy, sx + sw, sy + sh});
    const LONG dw = dest.right - dest.left, dh = dest.bottom - dest.top;
    const LONG fw = from.right - from.left, fh = from.bottom - from.top;
    const PixelBuffer* src = source ? source->pixels : nullptr;
    if (source && (!src || fw == 0 || fh == 0))
        return;
    // Source values in the target's format: a table for indexed sources.
    const bool sameFormat = src && src->bitsPixel == px.bitsPixel && src->mono == px.mono &&
                            (px.bitsPixel > 8 ? std::equal(src->masks, src->masks + 3, px.masks)
                                              : src->palette.size() == px.palette.size() &&
                                                    std::equal(src->palette.begin(), src->palette.end(),
                                                               px.palette.begin(), [](const RGBQUAD& a, const RGBQUAD& b) {
                                                                   return a.rgbRed == b.rgbRed && a.rgbGreen == b.rgbGreen &&
                                                                          a.rgbBlue == b.rgbBlue;
                                                               }));
    std::array<uint32_t, 256> table{};
    const bool tabled = src && !sameFormat && src->bitsPixel <= 8;
    auto convert = [&](uint32_t value) -> uint32_t {
        if (sameFormat)
            return value;
        if (src->mono && !px.mono)
            return value ? px.ValueOf(canvas.dc->background) : px.ValueOf(canvas.dc->text);
        const COLORREF color = src->ColorOf(value);
        if (px.mono && !src->mono)
            return color == (source->background & 0x00FFFFFF) ? 1 : 0;
        return px.ValueOf(color);
    };
    if (tabled)
        for (uint32_t v = 0; v < (1u << src->bitsPixel); ++v)
            table[v] = convert(v);
    const POINT o = canvas.dc->origin;
    for (const RECT& r : IntersectRegion(canvas.drawable, RECT{dest.left + o.x, dest.top + o.y, dest.right + o.x,
                                                               dest.bottom + o.y})) {
        for (LONG ty = r.top; ty < r.bottom; ++ty) {
            const LONG dy = ty - o.y - dest.top;
            LONG syy = 0;
            if (src) {
                const LONG step = static_cast<LONG>((static_cast<int64_t>(2 * dy + 1) * fh) / (2 * dh));
                syy = mirrorY ? from.bottom - 1 - step : from.top + step;
                if (syy < 0 || syy >= src->height)
                    continue;
            }
            for (LONG tx = r.left; tx < r.right; ++tx) {
                uint32_t s = 0;
                if (src) {
                    const LONG dx = tx - o.x - dest.left;
                    const LONG step = static_cast<LONG>((static_cast<int64_t>(2 * dx + 1) * fw) / (2 * dw));
                    const LONG sxx = mirrorX ? from.right - 1 - step : from.left + step;
                    if (sxx < 0 || sxx >= src->width)
                        continue;
                    const uint32_t raw = src->Get(sxx, syy);
                    s = tabled ? table[raw] : convert(raw);
                }
                px.Set(tx, ty, ApplyRop(code, p, s, px.Get(tx, ty)) & mask);
            }
        }
    }
}

void MaskedCopyLocked(Canvas& canvas, int x, int y, const PixelBuffer& image, int sx, int sy, int w, int h,
                      const std::vector<bool>& shape)
{
    if (!canvas.pixels)
        return;
    PixelBuffer& px = *canvas.pixels;
    const POINT o = canvas.dc->origin;
    for (const RECT& r : IntersectRegion(canvas.drawable, RECT{x + o.x, y + o.y, x + w + o.x, y + h + o.y}))
        for (LONG ty = r.top; ty < r.bottom; ++ty)
            for (LONG tx = r.left; tx < r.right; ++tx) {
                const LONG dx = tx - o.x - x, dy = ty - o.y - y;
                const LONG ix = sx + dx, iy = sy + dy;
                if (!shape[static_cast<size_t>(dy) * w + dx] || ix < 0 || iy < 0 || ix >= image.width ||
                    iy >= image.height)
                    continue;
                px.Set(tx, ty, px.ValueOf(image.ColorOf(image.Get(ix, iy))));
            }
}

void ShapeFillLocked(Canvas& canvas, int x, int y, int w, int h, const std::vector<bool>& shape, COLORREF color)
{
    if (!canvas.pixels)
        return;
    PixelBuffer& px = *canvas.pixels;
    const uint32_t value = DrawValue(px, color);
    const POINT o = canvas.dc->origin;
    for (const RECT& r : IntersectRegion(canvas.drawable, RECT{x + o.x, y + o.y, x + w + o.x, y + h + o.y}))
        for (LONG ty = r.top; ty < r.bottom; ++ty)
            for (LONG tx = r.left; tx < r.right; ++tx)
                if (shape[static_cast<size_t>(ty - o.y - y) * w + (tx - o.x - x)])
                    px.Set(tx, ty, value);
}

COLORREF PutPixelLocked(Canvas& canvas, int x, int y, COLORREF color)
{
    if (!canvas.pixels)
        return CLR_INVALID;
    const LONG tx = x + canvas.dc->origin.x, ty = y + canvas.dc->origin.y;
    if (!RegionContains(canvas.drawable, tx, ty))
        return CLR_INVALID;
    PixelBuffer& px = *canvas.pixels;
    const uint32_t value = DrawValue(px, color);
    px.Set(tx, ty, value);
    return px.ColorOf(value);
}

void LineLocked(Canvas& canvas, POINT from, POINT to, const LOGPEN& pen)
{
    if (!canvas.pixels || pen.lopnStyle == PS_NULL)
        return;
    const LONG width = std::max<LONG>(pen.lopnWidth.x, 1);
    const LONG before = (width - 1) / 2;
    const LONG dx = std::labs(to.x - from.x), dy = -std::labs(to.y - from.y);
    const LONG stepX = from.x < to.x ? 1 : -1, stepY = from.y < to.y ? 1 : -1;
    LONG error = dx + dy;
    LONG x = from.x, y = from.y;
    while (x != to.x || y != to.y) {
        if (width == 1)
            PutPixelLocked(canvas, x, y, pen.lopnColor);
        else
            FillLocked(canvas, RECT{x - before, y - before, x - before + width, y - before + width}, pen.lopnColor,
                       PATCOPY);
        const LONG twice = 2 * error;
        if (twice >= dy) {
            error += dy;
            x += stepX;
        }
        if (twice <= dx) {
            error += dx;
            y += stepY;
        }
    }
}

} // namespace user

using namespace user;

namespace {

std::optional<COLORREF> SelectedBrushLocked(GdiTable& table, const DcState& dc)
{
    const auto found = table.objects.find(reinterpret_cast<uintptr_t>(dc.brush));
    if (found == table.objects.end() || found->second->brush.lbStyle != BS_SOLID)
        return std::nullopt;
    return found->second->brush.lbColor;
}

LOGPEN SelectedPenLocked(GdiTable& table, const DcState& dc)
{
    const auto found = table.objects.find(reinterpret_cast<uintptr_t>(dc.pen));
    return found == table.objects.end() ? LOGPEN{PS_NULL, {0, 0}, 0} : found->second->pen;
}

} // namespace

extern "C" BOOL WINAPI StretchBlt(HDC hdcDest, int xDest, int yDest, int wDest, int hDest, HDC hdcSrc, int xSrc,
                                  int ySrc, int wSrc, int hSrc, DWORD rop)
{
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    auto canvas = CanvasLocked(table, hdcDest, "StretchBlt");
    if (!canvas)
        return FALSE;
    std::optional<COLORREF> pattern;
    if (RopUsesPattern(rop)) {
        pattern = SelectedBrushLocked(table, *canvas->dc);
        if (!pattern)
            return TRUE; // a hollow brush paints nothing
    }
    if (!RopUsesSource(rop)) {
        BlitLocked(*canvas, xDest, yDest, wDest, hDest, nullptr, 0, 0, wSrc, hSrc, pattern, rop);
        return TRUE;
    }
    DcState* from = hdcSrc ? FindDcLocked(table, hdcSrc, "StretchBlt") : nullptr;
    if (!from) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    PixelBuffer* pixels = TargetLocked(table, *from);
    if (!pixels) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // The source's own clipping does not limit what it gives.
    const POINT o = from->origin;
    const BlitSource source{pixels, from->background};
    BlitLocked(*canvas, xDest, yDest, wDest, hDest, &source, xSrc + o.x, ySrc + o.y, wSrc, hSrc, pattern, rop);
    return TRUE;
}

extern "C" BOOL WINAPI BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop)
{
    return StretchBlt(hdc, x, y, cx, cy, hdcSrc, x1, y1, cx, cy, rop);
}

extern "C" BOOL WINAPI PatBlt(HDC hdc, int x, int y, int w, int h, DWORD rop)
{
    if (RopUsesSource(rop)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return StretchBlt(hdc, x, y, w, h, nullptr, 0, 0, w, h, rop);
}

extern "C" BOOL WINAPI Rectangle(HDC hdc, int left, int top, int right, int bottom)
{
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    auto canvas = CanvasLocked(table, hdc, "Rectangle");
    if (!canvas)
        return FALSE;
    RECT r = Normalized(RECT{left, top, right, bottom});
    const LOGPEN pen = SelectedPenLocked(table, *canvas->dc);
    const auto brush = SelectedBrushLocked(table, *canvas->dc);
    if (pen.lopnStyle == PS_NULL) {
        // Without a pen the figure is a pixel smaller each way.
        if (brush)
            FillLocked(*canvas, RECT{r.left, r.top, r.right - 1, r.bottom - 1}, brush, PATCOPY);
        return TRUE;
    }
    const LONG w = std::max<LONG>(pen.lopnWidth.x, 1);
    if (brush)
        FillLocked(*canvas, RECT{r.left + w, r.top + w, r.right - w, r.bottom - w}, brush, PATCOPY);
    // The frame lies inside the rectangle.
    FillLocked(*canvas, RECT{r.left, r.top, r.right, std::min(r.top + w, r.bottom)}, pen.lopnColor, PATCOPY);
    FillLocked(*canvas, RECT{r.left, std::max(r.bottom - w, r.top), r.right, r.bottom}, pen.lopnColor, PATCOPY);
    FillLocked(*canvas, RECT{r.left, r.top, std::min(r.left + w, r.right), r.bottom}, pen.lopnColor, PATCOPY);
    FillLocked(*canvas, RECT{std::max(r.right - w, r.left), r.top, r.right, r.bottom}, pen.lopnColor, PATCOPY);
    return TRUE;
}

extern "C" COLORREF WINAPI SetPixel(HDC hdc, int x, int y, COLORREF color)
{
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    auto canvas = CanvasLocked(table, hdc, "SetPixel");
    if (!canvas)
        return CLR_INVALID;
    return PutPixelLocked(*canvas, x, y, color);
}

extern "C" COLORREF WINAPI GetPixel(HDC hdc, int x, int y)
{
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    auto canvas = CanvasLocked(table, hdc, "GetPixel");
    if (!canvas || !canvas->pixels)
        return CLR_INVALID;
    const LONG tx = x + canvas->dc->origin.x, ty = y + canvas->dc->origin.y;
    if (!RegionContains(canvas->drawable, tx, ty))
        return CLR_INVALID;
    return canvas->pixels->ColorOf(canvas->pixels->Get(tx, ty));
}

extern "C" BOOL WINAPI MoveToEx(HDC hdc, int x, int y, LPPOINT lppt)
{
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    DcState* dc = FindDcLocked(table, hdc, "MoveToEx");
    if (!dc)
        return FALSE;
    if (lppt)
        *lppt = dc->position;
    dc->position = POINT{x, y};
    return TRUE;
}

extern "C" BOOL WINAPI LineTo(HDC hdc, int x, int y)
{
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    auto canvas = CanvasLocked(table, hdc, "LineTo");
    if (!canvas)
        return FALSE;
    LineLocked(*canvas, canvas->dc->position, POINT{x, y}, SelectedPenLocked(table, *canvas->dc));
    canvas->dc->position = POINT{x, y};
    return TRUE;
}

extern "C" BOOL WINAPI Polyline(HDC hdc, const POINT* apt, int cpt)
{
    if (!apt || cpt < 2) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    auto canvas = CanvasLocked(table, hdc, "Polyline");
    if (!canvas)
        return FALSE;
    // The current position is neither used nor moved.
    const LOGPEN pen = SelectedPenLocked(table, *canvas->dc);
    for (int i = 1; i < cpt; ++i)
        LineLocked(*canvas, apt[i - 1], apt[i], pen);
    return TRUE;
}
