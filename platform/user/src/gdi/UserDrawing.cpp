// The user interface library's drawing: system colours of the classic scheme and their brushes,
// rectangles filled, framed and inverted, three-dimensional edges, focus rectangles and images
// drawn normal or disabled (embossed).
#include "gdi/Icons.h"
#include "gdi/Raster.h"
#include "um/errhandlingapi.h"
#include "um/winerror.h"

#include <algorithm>

namespace user {

std::optional<COLORREF> SystemColor(int index)
{
    switch (index) {
    case COLOR_SCROLLBAR: return RGB(192, 192, 192);
    case COLOR_BACKGROUND: return RGB(0, 128, 128);
    case COLOR_ACTIVECAPTION: return RGB(0, 0, 128);
    case COLOR_INACTIVECAPTION: return RGB(128, 128, 128);
    case COLOR_MENU: return RGB(192, 192, 192);
    case COLOR_WINDOW: return RGB(255, 255, 255);
    case COLOR_WINDOWFRAME: return RGB(0, 0, 0);
    case COLOR_MENUTEXT: return RGB(0, 0, 0);
    case COLOR_WINDOWTEXT: return RGB(0, 0, 0);
    case COLOR_CAPTIONTEXT: return RGB(255, 255, 255);
    case COLOR_ACTIVEBORDER: return RGB(192, 192, 192);
    case COLOR_INACTIVEBORDER: return RGB(192, 192, 192);
    case COLOR_APPWORKSPACE: return RGB(128, 128, 128);
    case COLOR_HIGHLIGHT: return RGB(0, 0, 128);
    case COLOR_HIGHLIGHTTEXT: return RGB(255, 255, 255);
    case COLOR_BTNFACE: return RGB(192, 192, 192);
    case COLOR_BTNSHADOW: return RGB(128, 128, 128);
    case COLOR_GRAYTEXT: return RGB(128, 128, 128);
    case COLOR_BTNTEXT: return RGB(0, 0, 0);
    case COLOR_INACTIVECAPTIONTEXT: return RGB(192, 192, 192);
    case COLOR_BTNHIGHLIGHT: return RGB(255, 255, 255);
    case COLOR_3DDKSHADOW: return RGB(0, 0, 0);
    case COLOR_3DLIGHT: return RGB(223, 223, 223);
    case COLOR_INFOTEXT: return RGB(0, 0, 0);
    case COLOR_INFOBK: return RGB(255, 255, 225);
    case COLOR_HOTLIGHT: return RGB(0, 0, 255);
    case COLOR_GRADIENTACTIVECAPTION: return RGB(16, 132, 208);
    case COLOR_GRADIENTINACTIVECAPTION: return RGB(181, 181, 181);
    case COLOR_MENUHILIGHT: return RGB(0, 0, 128);
    case COLOR_MENUBAR: return RGB(192, 192, 192);
    default: return std::nullopt;
    }
}

} // namespace user

using namespace user;

namespace {

COLORREF Sys(int index)
{
    return SystemColor(index).value_or(0);
}

RECT Normalized(const RECT& r)
{
    return RECT{std::min(r.left, r.right), std::min(r.top, r.bottom), std::max(r.left, r.right),
                std::max(r.top, r.bottom)};
}

// One ring of an edge: the top and left lines in one colour, the bottom and right ones (which
// take the corners they share) in another.
void Ring(Canvas& canvas, const RECT& r, UINT sides, COLORREF topLeft, COLORREF bottomRight)
{
    if (sides & BF_TOP)
        FillLocked(canvas, RECT{r.left, r.top, r.right - 1, r.top + 1}, topLeft, PATCOPY);
    if (sides & BF_LEFT)
        FillLocked(canvas, RECT{r.left, r.top, r.left + 1, r.bottom - 1}, topLeft, PATCOPY);
    if (sides & BF_BOTTOM)
        FillLocked(canvas, RECT{r.left, r.bottom - 1, r.right, r.bottom}, bottomRight, PATCOPY);
    if (sides & BF_RIGHT)
        FillLocked(canvas, RECT{r.right - 1, r.top, r.right, r.bottom}, bottomRight, PATCOPY);
}

void Inset(RECT& r, UINT sides)
{
    if (sides & BF_LEFT)
        ++r.left;
    if (sides & BF_TOP)
        ++r.top;
    if (sides & BF_RIGHT)
        --r.right;
    if (sides & BF_BOTTOM)
        --r.bottom;
}

// A temporary DC over pixels (never in the table's leak list: removed before return).
struct ScratchDc {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ old = nullptr;
    ScratchDc(HDC like, int w, int h)
    {
        dc = CreateCompatibleDC(like);
        BITMAPINFO info{};
        info.bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, nullptr, nullptr, 0);
        if (dc && bitmap) {
            old = SelectObject(dc, bitmap);
            RECT all{0, 0, w, h};
            FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        }
    }
    ~ScratchDc()
    {
        if (old)
            SelectObject(dc, old);
        if (bitmap)
            DeleteObject(bitmap);
        if (dc)
            DeleteDC(dc);
    }
};

// Where an image drawn on white is not white.
std::vector<bool> InkShape(HBITMAP bitmap, int w, int h)
{
    std::vector<bool> shape(static_cast<size_t>(w) * h, false);
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    auto pixels = BitmapPixelsLocked(table, bitmap, "DrawState");
    if (!pixels)
        return shape;
    for (int y = 0; y < h && y < pixels->height; ++y)
        for (int x = 0; x < w && x < pixels->width; ++x)
            shape[static_cast<size_t>(y) * w + x] = pixels->ColorOf(pixels->Get(x, y)) != RGB(255, 255, 255);
    return shape;
}

BOOL DrawStateCommon(HDC hdc, HBRUSH hbrFore, DRAWSTATEPROC proc, LPARAM lData, WPARAM wData, int x, int y, int cx,
                     int cy, UINT flags)
{
    (void)hbrFore;
    const UINT kind = flags & 0x000F;
    std::optional<IconImage> icon;
    if (kind == DST_ICON) {
        icon = FindIcon(reinterpret_cast<HICON>(lData));
        if (!icon) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        if (!cx)
            cx = icon->width;
        if (!cy)
            cy = icon->height;
    } else if (kind == DST_BITMAP) {
        BITMAP bm{};
        if (!GetObjectW(reinterpret_cast<HBITMAP>(lData), sizeof bm, &bm))
            return FALSE;
        if (!cx)
            cx = bm.bmWidth;
        if (!cy)
            cy = bm.bmHeight;
    } else if (kind != DST_COMPLEX || !proc) {
        // Text waits for the text renderer.
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (cx <= 0 || cy <= 0)
        return TRUE;
    // The image drawn on white in a scratch bitmap.
    ScratchDc scratch(hdc, cx, cy);
    if (!scratch.old)
        return FALSE;
    if (kind == DST_ICON) {
        DrawIconEx(scratch.dc, 0, 0, reinterpret_cast<HICON>(lData), cx, cy, 0, nullptr, DI_NORMAL);
    } else if (kind == DST_BITMAP) {
        HDC source = CreateCompatibleDC(hdc);
        HGDIOBJ old = SelectObject(source, reinterpret_cast<HBITMAP>(lData));
        BitBlt(scratch.dc, 0, 0, cx, cy, source, 0, 0, SRCCOPY);
        SelectObject(source, old);
        DeleteDC(source);
    } else {
        proc(scratch.dc, lData, wData, cx, cy);
    }
    std::vector<bool> shape;
    if (kind == DST_ICON) {
        const auto full = IconShape(*icon);
        shape.assign(static_cast<size_t>(cx) * cy, false);
        for (int yy = 0; yy < cy; ++yy)
            for (int xx = 0; xx < cx; ++xx)
                shape[static_cast<size_t>(yy) * cx + xx] =
                    full[static_cast<size_t>(yy * icon->height / cy) * icon->width + xx * icon->width / cx];
    } else if (flags & DSS_DISABLED) {
        shape = InkShape(scratch.bitmap, cx, cy);
    } else {
        shape.assign(static_cast<size_t>(cx) * cy, true);
    }
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    auto canvas = CanvasLocked(table, hdc, "DrawState");
    if (!canvas)
        return FALSE;
    if (flags & DSS_DISABLED) {
        // Embossed: the shape in the highlight one pixel down and right, then in the shadow.
        ShapeFillLocked(*canvas, x + 1, y + 1, cx, cy, shape, Sys(COLOR_3DHILIGHT));
        ShapeFillLocked(*canvas, x, y, cx, cy, shape, Sys(COLOR_3DSHADOW));
        return TRUE;
    }
    auto pixels = BitmapPixelsLocked(table, scratch.bitmap, "DrawState");
    if (pixels)
        MaskedCopyLocked(*canvas, x, y, *pixels, 0, 0, cx, cy, shape);
    return TRUE;
}

} // namespace

extern "C" DWORD WINAPI GetSysColor(int nIndex)
{
    return SystemColor(nIndex).value_or(0);
}

extern "C" HBRUSH WINAPI GetSysColorBrush(int nIndex)
{
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    const auto found = table.systemBrushes.find(nIndex);
    return found == table.systemBrushes.end() ? nullptr : found->second;
}

extern "C" int WINAPI FillRect(HDC hDC, const RECT* lprc, HBRUSH hbr)
{
    if (!lprc)
        return 0;
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    auto canvas = CanvasLocked(table, hDC, "FillRect");
    if (!canvas)
        return 0;
    const auto color = BrushColorLocked(table, hbr, "FillRect");
    if (!color)
        return 0;
    // Right and bottom edges stay out.
    if (lprc->right > lprc->left && lprc->bottom > lprc->top)
        FillLocked(*canvas, *lprc, color, PATCOPY);
    return 1;
}

extern "C" int WINAPI FrameRect(HDC hDC, const RECT* lprc, HBRUSH hbr)
{
    if (!lprc)
        return 0;
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    auto canvas = CanvasLocked(table, hDC, "FrameRect");
    if (!canvas)
        return 0;
    const auto color = BrushColorLocked(table, hbr, "FrameRect");
    if (!color)
        return 0;
    const RECT& r = *lprc;
    if (r.right <= r.left || r.bottom <= r.top)
        return 1;
    FillLocked(*canvas, RECT{r.left, r.top, r.right, r.top + 1}, color, PATCOPY);
    FillLocked(*canvas, RECT{r.left, r.bottom - 1, r.right, r.bottom}, color, PATCOPY);
    FillLocked(*canvas, RECT{r.left, r.top + 1, r.left + 1, r.bottom - 1}, color, PATCOPY);
    FillLocked(*canvas, RECT{r.right - 1, r.top + 1, r.right, r.bottom - 1}, color, PATCOPY);
    return 1;
}

extern "C" BOOL WINAPI InvertRect(HDC hDC, const RECT* lprc)
{
    if (!lprc)
        return FALSE;
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    auto canvas = CanvasLocked(table, hDC, "InvertRect");
    if (!canvas)
        return FALSE;
    if (lprc->right > lprc->left && lprc->bottom > lprc->top)
        FillLocked(*canvas, *lprc, std::nullopt, DSTINVERT);
    return TRUE;
}

extern "C" BOOL WINAPI DrawEdge(HDC hdc, LPRECT qrc, UINT edge, UINT grfFlags)
{
    if (!qrc)
        return FALSE;
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    auto canvas = CanvasLocked(table, hdc, "DrawEdge");
    if (!canvas)
        return FALSE;
    RECT r = Normalized(*qrc);
    const UINT sides = grfFlags & BF_RECT;
    const UINT outer = edge & BDR_OUTER;
    const UINT inner = edge & BDR_INNER;
    if (outer) {
        COLORREF tl, br;
        if (grfFlags & BF_MONO)
            tl = br = Sys(COLOR_WINDOWFRAME);
        else if (grfFlags & BF_FLAT)
            tl = br = Sys(COLOR_3DSHADOW);
        else if (outer & BDR_RAISEDOUTER)
            tl = Sys((grfFlags & BF_SOFT) ? COLOR_3DHILIGHT : COLOR_3DLIGHT), br = Sys(COLOR_3DDKSHADOW);
        else
            tl = Sys((grfFlags & BF_SOFT) ? COLOR_3DDKSHADOW : COLOR_3DSHADOW), br = Sys(COLOR_3DHILIGHT);
        Ring(*canvas, r, sides, tl, br);
        Inset(r, sides);
    }
    if (inner) {
        COLORREF tl, br;
        if (grfFlags & BF_MONO)
            tl = br = Sys(COLOR_WINDOW);
        else if (grfFlags & BF_FLAT)
            tl = br = Sys(COLOR_3DFACE);
        else if (inner & BDR_RAISEDINNER)
            tl = Sys((grfFlags & BF_SOFT) ? COLOR_3DLIGHT : COLOR_3DHILIGHT), br = Sys(COLOR_3DSHADOW);
        else
            tl = Sys((grfFlags & BF_SOFT) ? COLOR_3DSHADOW : COLOR_3DDKSHADOW), br = Sys(COLOR_3DLIGHT);
        Ring(*canvas, r, sides, tl, br);
        Inset(r, sides);
    }
    if (grfFlags & BF_MIDDLE)
        FillLocked(*canvas, r, Sys((grfFlags & BF_MONO) ? COLOR_WINDOW : COLOR_3DFACE), PATCOPY);
    if (grfFlags & BF_ADJUST)
        *qrc = r;
    return TRUE;
}

extern "C" BOOL WINAPI DrawFocusRect(HDC hDC, const RECT* lprc)
{
    if (!lprc)
        return FALSE;
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    auto canvas = CanvasLocked(table, hDC, "DrawFocusRect");
    if (!canvas)
        return FALSE;
    // Every other pixel of the outline inverted: drawing it twice takes it away.
    const RECT r = Normalized(*lprc);
    auto dot = [&](LONG x, LONG y) {
        if (((x - r.left) + (y - r.top)) % 2 == 0)
            FillLocked(*canvas, RECT{x, y, x + 1, y + 1}, std::nullopt, DSTINVERT);
    };
    for (LONG x = r.left; x < r.right; ++x) {
        dot(x, r.top);
        if (r.bottom - 1 > r.top)
            dot(x, r.bottom - 1);
    }
    for (LONG y = r.top + 1; y < r.bottom - 1; ++y) {
        dot(r.left, y);
        if (r.right - 1 > r.left)
            dot(r.right - 1, y);
    }
    return TRUE;
}

extern "C" BOOL WINAPI DrawStateA(HDC hdc, HBRUSH hbrFore, DRAWSTATEPROC qfnCallBack, LPARAM lData, WPARAM wData,
                                  int x, int y, int cx, int cy, UINT uFlags)
{
    return DrawStateCommon(hdc, hbrFore, qfnCallBack, lData, wData, x, y, cx, cy, uFlags);
}

extern "C" BOOL WINAPI DrawStateW(HDC hdc, HBRUSH hbrFore, DRAWSTATEPROC qfnCallBack, LPARAM lData, WPARAM wData,
                                  int x, int y, int cx, int cy, UINT uFlags)
{
    return DrawStateCommon(hdc, hbrFore, qfnCallBack, lData, wData, x, y, cx, cy, uFlags);
}
