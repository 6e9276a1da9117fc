// The controls' shared painting (see ControlPainting.h).
#include "controls/ControlPainting.h"

#include <algorithm>

namespace user {

void PaintControl(HWND hwnd, UINT message, WPARAM wParam, HFONT font,
                  const std::function<void(HDC, const RECT&)>& paint)
{
    PAINTSTRUCT ps{};
    HDC dc = reinterpret_cast<HDC>(wParam);
    const bool begun = message == WM_PAINT && !dc;
    if (begun)
        dc = BeginPaint(hwnd, &ps);
    if (!dc)
        return;
    HGDIOBJ previous = SelectObject(dc, font ? static_cast<HGDIOBJ>(font) : GetStockObject(SYSTEM_FONT));
    const COLORREF text = GetTextColor(dc);
    const COLORREF background = GetBkColor(dc);
    const int mode = GetBkMode(dc);
    RECT client{};
    GetClientRect(hwnd, &client);
    paint(dc, client);
    SetTextColor(dc, text);
    SetBkColor(dc, background);
    SetBkMode(dc, mode);
    if (previous)
        SelectObject(dc, previous);
    if (begun)
        EndPaint(hwnd, &ps);
}

HBRUSH ParentBrush(HWND hwnd, HDC dc, UINT message)
{
    const bool window = message == WM_CTLCOLOREDIT || message == WM_CTLCOLORLISTBOX;
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(dc, GetSysColor(window ? COLOR_WINDOW : COLOR_3DFACE));
    HWND parent = GetParent(hwnd);
    HBRUSH brush = nullptr;
    if (parent)
        brush = reinterpret_cast<HBRUSH>(
            SendMessageW(parent, message, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(hwnd)));
    if (!brush)
        brush = GetSysColorBrush(window ? COLOR_WINDOW : COLOR_3DFACE);
    return brush;
}

void FillSystem(HDC dc, const RECT& rect, int colorIndex)
{
    FillRect(dc, &rect, GetSysColorBrush(colorIndex));
}

void DrawButtonFace(HDC dc, RECT rect, bool pressed, bool isDefault)
{
    if (isDefault) {
        FrameRect(dc, &rect, GetSysColorBrush(COLOR_WINDOWFRAME));
        InflateRect(&rect, -1, -1);
    }
    FillSystem(dc, rect, COLOR_3DFACE);
    if (pressed) {
        // Pressed: a shadow frame, as the classic look draws it.
        FrameRect(dc, &rect, GetSysColorBrush(COLOR_3DSHADOW));
    } else {
        DrawEdge(dc, &rect, EDGE_RAISED, BF_RECT | BF_SOFT);
    }
}

void DrawLabel(HDC dc, const std::u16string& text, RECT rect, UINT format, bool enabled)
{
    SetBkMode(dc, TRANSPARENT);
    if (!enabled)
        SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect, format);
}

void DrawCheckBox(HDC dc, int x, int y, UINT check, bool pushed, bool enabled)
{
    RECT box{x, y, x + 13, y + 13};
    DrawEdge(dc, &box, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
    FillSystem(dc, box, pushed || !enabled || check == BST_INDETERMINATE ? COLOR_3DFACE : COLOR_WINDOW);
    if (check == BST_UNCHECKED)
        return;
    // The mark: a 7-pixel tick three pixels thick, from (x+3, y+5) down to (x+5, y+7) and up to (x+9, y+3).
    const COLORREF ink = GetSysColor(check == BST_CHECKED && enabled ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT);
    for (int i = 0; i < 7; ++i) {
        const int px = x + 3 + i;
        const int py = i < 3 ? y + 5 + i : y + 7 - (i - 2);
        for (int t = 0; t < 3; ++t)
            SetPixel(dc, px, py + t, ink);
    }
}

void DrawRadio(HDC dc, int x, int y, bool checked, bool pushed, bool enabled)
{
    // A circle of diameter 12: the outer ring shadow above-left and highlight below-right, the
    // inner ring dark and light, the inside COLOR_WINDOW.
    const COLORREF shadow = GetSysColor(COLOR_3DSHADOW), highlight = GetSysColor(COLOR_3DHILIGHT),
                   dark = GetSysColor(COLOR_3DDKSHADOW), light = GetSysColor(COLOR_3DLIGHT),
                   inside = GetSysColor(pushed || !enabled ? COLOR_3DFACE : COLOR_WINDOW),
                   dot = GetSysColor(enabled ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT);
    for (int py = 0; py < 12; ++py)
        for (int px = 0; px < 12; ++px) {
            const double dx = px + 0.5 - 6, dy = py + 0.5 - 6;
            const double d = dx * dx + dy * dy;
            const bool upperLeft = dx + dy < 0;
            COLORREF color;
            if (d > 36)
                continue;
            if (d > 25)
                color = upperLeft ? shadow : highlight;
            else if (d > 16)
                color = upperLeft ? dark : light;
            else if (checked && d <= 4.5)
                color = dot;
            else
                color = inside;
            SetPixel(dc, x + px, y + py, color);
        }
}

void DrawArrow(HDC dc, const RECT& rect, UINT direction, bool enabled)
{
    const COLORREF ink = GetSysColor(enabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT);
    const int cx = (rect.left + rect.right) / 2, cy = (rect.top + rect.bottom) / 2;
    const int size = std::max(1, std::min<int>((rect.right - rect.left) / 4, (rect.bottom - rect.top) / 4) + 1);
    for (int row = 0; row < size; ++row)
        for (int i = -row; i <= row; ++i) {
            switch (direction) {
            case VK_UP: SetPixel(dc, cx + i, cy - size / 2 + row, ink); break;
            case VK_DOWN: SetPixel(dc, cx + i, cy + size / 2 - row, ink); break;
            case VK_LEFT: SetPixel(dc, cx - size / 2 + row, cy + i, ink); break;
            default: SetPixel(dc, cx + size / 2 - row, cy + i, ink); break;
            }
        }
}

std::u16string WindowText(HWND hwnd)
{
    const int length = GetWindowTextLengthW(hwnd);
    std::u16string text(static_cast<size_t>(std::max(length, 0)) + 1, u'\0');
    const int got = GetWindowTextW(hwnd, reinterpret_cast<LPWSTR>(text.data()), length + 1);
    text.resize(static_cast<size_t>(std::max(got, 0)));
    return text;
}

} // namespace user
