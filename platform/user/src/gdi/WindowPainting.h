// What the default window procedure and the painting bookkeeping ask of the GDI.
#pragma once
#include "um/winuser.h"

namespace user {

// WM_ERASEBKGND: the class brush over the client area; 1 when there was one.
LRESULT DefaultEraseBackground(HWND hwnd, HDC hdc);
// WM_NCPAINT: the frame, caption, edges and scroll bar areas of the style.
void DefaultNcPaint(HWND hwnd);
// WM_PRINT: the parts `flags` (PRF_) names into a DC whose origin is the window's top-left corner.
void DefaultPrint(HWND hwnd, HDC hdc, LPARAM flags);
// A client DC clipped to the update region (GetUpdateRect's erasing); released with ReleaseDC.
HDC UpdateRegionDc(HWND hwnd);

} // namespace user
