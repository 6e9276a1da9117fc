// What the controls' painting shares, in the classic look: the paint entry (WM_PAINT, a DC given
// in wParam, WM_PRINTCLIENT) with the control's font selected, the colours the parent gives
// through WM_CTLCOLOR*, raised and sunken faces, labels (COLOR_GRAYTEXT when disabled), check
// marks, radio dots, arrows and focus rectangles.
#pragma once
#include "um/winuser.h"
#include "um/wingdi.h"

#include <functional>
#include <string>

namespace user {

// Paints the control for WM_PAINT (between BeginPaint and EndPaint, or into the DC a non-zero
// wParam gives) and WM_PRINTCLIENT (into wParam's DC). The DC holds `font` (the system font when
// none) while `paint` runs with the client rectangle.
void PaintControl(HWND hwnd, UINT message, WPARAM wParam, HFONT font,
                  const std::function<void(HDC, const RECT&)>& paint);

// WM_CTLCOLOR<kind> to the control's parent with the DC, after the default colours are set; the
// brush the parent gives, or the default one (COLOR_WINDOW for edits and lists, COLOR_3DFACE for
// the rest) when it gives none.
HBRUSH ParentBrush(HWND hwnd, HDC dc, UINT message);

void FillSystem(HDC dc, const RECT& rect, int colorIndex);
// A push button's face: COLOR_3DFACE inside a raised edge, or a sunken one while pressed; the
// default button has a black frame around it.
void DrawButtonFace(HDC dc, RECT rect, bool pressed, bool isDefault);
// Text in the DC's font, transparent, in the DC's text colour or COLOR_GRAYTEXT when disabled.
void DrawLabel(HDC dc, const std::u16string& text, RECT rect, UINT format, bool enabled);
// A check box's 13 x 13 box at (x, y): sunken, COLOR_WINDOW inside (COLOR_3DFACE when pushed or
// disabled), the check mark for BST_CHECKED and a grey one for BST_INDETERMINATE.
void DrawCheckBox(HDC dc, int x, int y, UINT check, bool pushed, bool enabled);
// A radio button's 12 x 12 circle at (x, y), with its dot when checked.
void DrawRadio(HDC dc, int x, int y, bool checked, bool pushed, bool enabled);
// A solid triangle pointing up, down, left or right (VK_UP...), centred in the rectangle.
void DrawArrow(HDC dc, const RECT& rect, UINT direction, bool enabled);
// The window's text as GetWindowText gives it.
std::u16string WindowText(HWND hwnd);

} // namespace user
