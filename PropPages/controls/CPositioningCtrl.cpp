#include "controls/CPositioningCtrl.h"

#include <algorithm>

namespace {

LONG Width(const RECT& r)
{
    return r.right - r.left;
}

LONG Height(const RECT& r)
{
    return r.bottom - r.top;
}

// Moves the rectangle's edges of `zone` by (dx, dy); zone 8 moves all of it, kept inside 0 to
// `limitRight` and 0 to `limitBottom` with its size.
void Follow(RECT& r, int zone, LONG dx, LONG dy, LONG limitRight, LONG limitBottom)
{
    switch (zone) {
    case 0: r.left += dx; break;
    case 1: r.left += dx; r.top += dy; break;
    case 2: r.top += dy; break;
    case 3: r.right += dx; r.top += dy; break;
    case 4: r.right += dx; break;
    case 5: r.right += dx; r.bottom += dy; break;
    case 6: r.bottom += dy; break;
    case 7: r.left += dx; r.bottom += dy; break;
    case 8: {
        const LONG width = Width(r), height = Height(r);
        r.left += dx;
        r.right += dx;
        r.top += dy;
        r.bottom += dy;
        if (r.left < 0) {
            r.left = 0;
            r.right = width;
        }
        if (r.right > limitRight) {
            r.right = limitRight;
            r.left = limitRight - width;
        }
        if (r.top < 0) {
            r.top = 0;
            r.bottom = height;
        }
        if (r.bottom > limitBottom) {
            r.bottom = limitBottom;
            r.top = limitBottom - height;
        }
        break;
    }
    default: break;
    }
}

// The size limits after a step of `zone`: no edge before 0 or past the bounds' right and bottom
// (the overlay never leaves them), no size below the minimum (the edge being dragged gives way)
// and none beyond the largest.
void Limit(RECT& r, int zone, LONG minimumWidth, LONG minimumHeight, LONG maximumWidth, LONG maximumHeight,
           LONG limitRight, LONG limitBottom)
{
    if (r.right > limitRight)
        r.right = limitRight;
    if (r.bottom > limitBottom)
        r.bottom = limitBottom;
    if (r.left < 0)
        r.left = 0;
    if (Width(r) < minimumWidth) {
        if (zone == 0 || zone == 1 || zone == 7)
            r.left = r.right - minimumWidth;
        else
            r.right = r.left + minimumWidth;
    }
    if (Width(r) > maximumWidth)
        r.right = maximumWidth;
    if (r.top < 0)
        r.top = 0;
    if (Height(r) < minimumHeight) {
        if (zone == 1 || zone == 2 || zone == 3)
            r.top = r.bottom - minimumHeight;
        else
            r.bottom = r.top + minimumHeight;
    }
    if (Height(r) > maximumHeight)
        r.bottom = maximumHeight;
}

} // namespace

void CPositioningCtrl::ResetPositioning()
{
    m_rcOverlay = m_rcBounds = m_rcMinimum = m_rcSavedClip = m_rcDragClip = RECT{};
    m_rcVideoMinimum = m_rcVideoMaximum = m_rcVideoOverlay = RECT{};
    m_prevX = m_x = m_prevY = m_y = 0;
    m_videoX = m_videoY = m_prevVideoX = m_prevVideoY = 0;
    m_scaleX = m_scaleY = 0.0;
    m_dragging = false;
    m_inside = false;
    m_zone = 9;
    m_enabled = 0;
}

void CPositioningCtrl::ComputeControlLayout(const RECT& minimum, const RECT& bounds, const RECT& videoMinimum,
                                            const RECT& videoMaximum, double horizontalScale, double verticalScale)
{
    m_rcMinimum = minimum;
    m_rcBounds = bounds;
    m_rcVideoMinimum = videoMinimum;
    m_rcVideoMaximum = videoMaximum;
    m_scaleX = horizontalScale;
    m_scaleY = verticalScale;
}

bool CPositioningCtrl::MapVideoRectToClient(LONG x, LONG y, LONG width, LONG height, bool force)
{
    if (force)
        m_rcVideoOverlay = RECT{};
    const RECT wanted{x, y, x + width, y + height};
    if (!force && wanted.left == m_rcVideoOverlay.left && wanted.top == m_rcVideoOverlay.top &&
        wanted.right == m_rcVideoOverlay.right && wanted.bottom == m_rcVideoOverlay.bottom)
        return false;
    m_rcVideoOverlay = wanted;
    m_rcOverlay = RECT{LONG(wanted.left * m_scaleX), LONG(wanted.top * m_scaleY), LONG(wanted.right * m_scaleX),
                       LONG(wanted.bottom * m_scaleY)};
    return true;
}

void CPositioningCtrl::TakePoint(LONG x, LONG y)
{
    m_x = std::clamp<LONG>(x, 0, std::max<LONG>(0, Width(m_rcBounds)));
    m_y = std::clamp<LONG>(y, 0, std::max<LONG>(0, Height(m_rcBounds)));
    m_videoX = m_scaleX != 0.0 ? LONG(m_x / m_scaleX) : 0;
    m_videoY = m_scaleY != 0.0 ? LONG(m_y / m_scaleY) : 0;
}

void CPositioningCtrl::EndDrag(bool announce)
{
    ClipCursor(&m_rcSavedClip);
    ReleaseCapture();
    m_dragging = false;
    if (announce) {
        m_zone = 9;
        NotifyZoneChanged(9);
    }
}

int CPositioningCtrl::ZoneAt(LONG x, LONG y) const
{
    const LONG L = m_rcOverlay.left, T = m_rcOverlay.top, R = m_rcOverlay.right, B = m_rcOverlay.bottom;
    const LONG tenth = (R - L) / 10, fifth = (B - T) / 5;
    if (x > L + 4 && x < R - 4 && y > T + 4 && y < B - 4)
        return 8;
    if (x > L + 4 && x < R - 4 && y >= B - 4)
        return x <= L + tenth ? 7 : x >= R - tenth ? 5 : 6;
    if (x > L + 4 && x < R - 4 && y <= T + 4)
        return x <= L + tenth ? 1 : x < R - tenth ? 2 : 3;
    if (x > L + 4 && x >= R - 4)
        return y <= T + fifth ? 3 : y >= B - fifth ? 5 : 4;
    return y <= T + fifth ? 1 : y >= B - fifth ? 7 : 0;
}

LRESULT CPositioningCtrl::DragOverlayRect(UINT message, WPARAM, LPARAM lParam, BOOL& handled)
{
    handled = FALSE;
    if (!m_enabled)
        return 0;
    switch (message) {
    case WM_NCHITTEST: {
        handled = TRUE;
        POINT point{LONG(short(LOWORD(lParam))), LONG(short(HIWORD(lParam)))};
        ScreenToClient(m_hWndPositioning, &point);
        TakePoint(point.x, point.y);
        if (m_x >= m_rcOverlay.left && m_x <= m_rcOverlay.right && m_y >= m_rcOverlay.top &&
            m_y <= m_rcOverlay.bottom) {
            m_inside = true;
            if (m_prevX == 0)
                m_prevX = m_x;
            if (m_prevY == 0)
                m_prevY = m_y;
            if (m_prevVideoX == 0)
                m_prevVideoX = m_videoX;
            if (m_prevVideoY == 0)
                m_prevVideoY = m_videoY;
        } else {
            m_inside = false;
            if (m_dragging)
                EndDrag(true);
        }
        return 0;
    }
    case WM_SETCURSOR: {
        handled = TRUE;
        const UINT mouse = HIWORD(lParam);
        if (mouse == WM_MOUSEMOVE) {
            m_prevX = m_x;
            m_prevY = m_y;
            m_prevVideoX = m_videoX;
            m_prevVideoY = m_videoY;
            m_zone = m_inside ? ZoneAt(m_x, m_y) : 9;
            NotifyZoneChanged(m_zone);
        } else if (mouse == WM_LBUTTONDOWN && m_zone != 9 && !m_dragging) {
            GetClipCursor(&m_rcSavedClip);
            GetWindowRect(m_hWndPositioning, &m_rcDragClip);
            ClipCursor(&m_rcDragClip);
            SetCapture(m_hWndPositioning);
            m_dragging = true;
        }
        return 0;
    }
    case WM_MOUSEMOVE: {
        TakePoint(LONG(short(LOWORD(lParam))), LONG(short(HIWORD(lParam))));
        if (m_dragging) {
            const LONG dx = m_x - m_prevX, dy = m_y - m_prevY;
            const LONG dvx = m_videoX - m_prevVideoX, dvy = m_videoY - m_prevVideoY;
            Follow(m_rcOverlay, m_zone, dx, dy, m_rcBounds.right, m_rcBounds.bottom);
            Follow(m_rcVideoOverlay, m_zone, dvx, dvy, m_rcVideoMaximum.right, m_rcVideoMaximum.bottom);
            if (m_inside && (dx != 0 || dy != 0)) {
                Limit(m_rcOverlay, m_zone, Width(m_rcMinimum), Height(m_rcMinimum), Width(m_rcBounds),
                      Height(m_rcBounds), m_rcBounds.right, m_rcBounds.bottom);
                Limit(m_rcVideoOverlay, m_zone, Width(m_rcVideoMinimum), Height(m_rcVideoMinimum),
                      Width(m_rcVideoMaximum), Height(m_rcVideoMaximum), m_rcVideoMaximum.right,
                      m_rcVideoMaximum.bottom);
                NotifyRectChanged();
            }
        }
        m_prevX = m_x;
        m_prevY = m_y;
        m_prevVideoX = m_videoX;
        m_prevVideoY = m_videoY;
        return 0;
    }
    case WM_LBUTTONUP:
        handled = TRUE;
        if (m_dragging)
            EndDrag(false);
        return 0;
    default:
        return 0;
    }
}

void CPositioningCtrl::NotifyZoneChanged(int zone)
{
    HWND parent = m_hWndPositioning ? GetParent(m_hWndPositioning) : nullptr;
    if (!parent || !IsWindow(parent))
        return;
    InvalidateRect(m_hWndPositioning, &m_rcClient, TRUE);
    PostMessageW(parent, WM_POSITIONING_ZONE, WPARAM(zone), 0);
}

void CPositioningCtrl::NotifyRectChanged()
{
    HWND parent = m_hWndPositioning ? GetParent(m_hWndPositioning) : nullptr;
    if (!parent || !IsWindow(parent))
        return;
    InvalidateRect(m_hWndPositioning, &m_rcClient, TRUE);
    PostMessageW(parent, WM_POSITIONING_RECT, reinterpret_cast<WPARAM>(&m_rcVideoOverlay), 0);
}

void CPositioningCtrl::DrawHandleFrame(HDC dc, LONG left, LONG top, LONG right, LONG bottom, LONG inflate)
{
    RECT r{left - inflate, top - inflate, right + inflate, bottom + inflate};
    // Three rings from the outside in: white over black, light grey, black over white.
    const COLORREF topLeft[3] = {0xFFFFFF, 0xC0C0C0, 0x000000};
    const COLORREF bottomRight[3] = {0x000000, 0xC0C0C0, 0xFFFFFF};
    for (int ring = 0; ring < 3; ++ring) {
        if (r.right - r.left < 1 || r.bottom - r.top < 1)
            break;
        HBRUSH light = CreateSolidBrush(topLeft[ring]);
        HBRUSH dark = CreateSolidBrush(bottomRight[ring]);
        const RECT topEdge{r.left, r.top, r.right, r.top + 1}, leftEdge{r.left, r.top, r.left + 1, r.bottom};
        const RECT bottomEdge{r.left, r.bottom - 1, r.right, r.bottom}, rightEdge{r.right - 1, r.top, r.right, r.bottom};
        FillRect(dc, &bottomEdge, dark);
        FillRect(dc, &rightEdge, dark);
        FillRect(dc, &topEdge, light);
        FillRect(dc, &leftEdge, light);
        DeleteObject(light);
        DeleteObject(dark);
        InflateRect(&r, -1, -1);
    }
}
