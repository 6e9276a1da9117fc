// A device context's attributes (text and background colours, background and stretching modes)
// and the device's capabilities.
#include "gdi/GdiTable.h"
#include "um/errhandlingapi.h"
#include "um/winerror.h"
#include "windows/WindowManager.h"

using namespace user;

namespace {

// Sets one attribute of a DC and returns its previous value, or `failed`.
template <typename T, typename Set> T Exchange(HDC hdc, const char* call, T failed, Set set)
{
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    DcState* dc = FindDcLocked(table, hdc, call);
    return dc ? set(*dc) : failed;
}

} // namespace

extern "C" COLORREF WINAPI SetTextColor(HDC hdc, COLORREF color)
{
    return Exchange(hdc, "SetTextColor", CLR_INVALID, [color](DcState& dc) {
        const COLORREF old = dc.text;
        dc.text = color & 0x00FFFFFF;
        return old;
    });
}

extern "C" COLORREF WINAPI GetTextColor(HDC hdc)
{
    return Exchange(hdc, "GetTextColor", CLR_INVALID, [](DcState& dc) { return dc.text; });
}

extern "C" COLORREF WINAPI SetBkColor(HDC hdc, COLORREF color)
{
    return Exchange(hdc, "SetBkColor", CLR_INVALID, [color](DcState& dc) {
        const COLORREF old = dc.background;
        dc.background = color & 0x00FFFFFF;
        return old;
    });
}

extern "C" COLORREF WINAPI GetBkColor(HDC hdc)
{
    return Exchange(hdc, "GetBkColor", CLR_INVALID, [](DcState& dc) { return dc.background; });
}

extern "C" int WINAPI SetBkMode(HDC hdc, int mode)
{
    if (mode != TRANSPARENT && mode != OPAQUE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return Exchange(hdc, "SetBkMode", 0, [mode](DcState& dc) {
        const int old = dc.backgroundMode;
        dc.backgroundMode = mode;
        return old;
    });
}

extern "C" int WINAPI GetBkMode(HDC hdc)
{
    return Exchange(hdc, "GetBkMode", 0, [](DcState& dc) { return dc.backgroundMode; });
}

extern "C" int WINAPI SetStretchBltMode(HDC hdc, int mode)
{
    if (mode < BLACKONWHITE || mode > HALFTONE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return Exchange(hdc, "SetStretchBltMode", 0, [mode](DcState& dc) {
        const int old = dc.stretchMode;
        dc.stretchMode = mode;
        return old;
    });
}

extern "C" int WINAPI GetStretchBltMode(HDC hdc)
{
    return Exchange(hdc, "GetStretchBltMode", 0, [](DcState& dc) { return dc.stretchMode; });
}

extern "C" int WINAPI GetDeviceCaps(HDC hdc, int index)
{
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    if (!FindDcLocked(table, hdc, "GetDeviceCaps"))
        return 0;
    // Every DC here is of the display: a memory DC reports the device it is compatible with.
    switch (index) {
    case TECHNOLOGY: return DT_RASDISPLAY;
    case HORZSIZE: return kScreenWidth * 254 / 960;  // millimetres at 96 dots per inch
    case VERTSIZE: return kScreenHeight * 254 / 960;
    case HORZRES: return kScreenWidth;
    case VERTRES: return kScreenHeight;
    case BITSPIXEL: return table.screenDepth;
    case PLANES: return 1;
    case NUMBRUSHES:
    case NUMPENS:
    case NUMCOLORS: return -1; // more than 8 bits per pixel
    case RASTERCAPS: return RC_BITBLT | RC_BITMAP64 | RC_DI_BITMAP | RC_DIBTODEV | RC_STRETCHBLT | RC_STRETCHDIB;
    case LOGPIXELSX:
    case LOGPIXELSY: return 96;
    default: return 0;
    }
}
