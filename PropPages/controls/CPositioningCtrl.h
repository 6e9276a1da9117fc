// CPositioningCtrl: a rectangle placed on a video picture with the mouse, kept in two coordinate
// spaces at once: the control's pixels and the video frame's pixels (control pixels = video pixels
// x scale). Hovering finds one of ten zones (0 left edge, 1 top-left, 2 top, 3 top-right, 4 right,
// 5 bottom-right, 6 bottom, 7 bottom-left, 8 inside, 9 none) and posts 1025 (wParam = zone) to the
// parent; a press on a zone drags that edge, corner or the whole rectangle within the bounds, the
// cursor confined to the control and the mouse captured, and each step posts 1026 (wParam = the
// address of the video rectangle). A pointer beyond the bounds counts as at the nearest bound.
#pragma once
#include "um/windows.h"

inline constexpr UINT WM_POSITIONING_ZONE = 1025;
inline constexpr UINT WM_POSITIONING_RECT = 1026;

class CPositioningCtrl {
public:
    CPositioningCtrl() { ResetPositioning(); }

    void ResetPositioning();
    void ComputeControlLayout(const RECT& minimum, const RECT& bounds, const RECT& videoMinimum,
                              const RECT& videoMaximum, double horizontalScale, double verticalScale);
    bool MapVideoRectToClient(LONG x, LONG y, LONG width, LONG height, bool force);
    LRESULT DragOverlayRect(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
    void NotifyZoneChanged(int zone);
    void NotifyRectChanged();
    static void DrawHandleFrame(HDC dc, LONG left, LONG top, LONG right, LONG bottom, LONG inflate);

    HCURSOR m_hCursor = nullptr;
    HCURSOR m_hCursorSaved = nullptr;
    RECT m_rcOverlay{};
    RECT m_rcBounds{};
    RECT m_rcMinimum{};
    RECT m_rcSavedClip{};
    RECT m_rcDragClip{};
    RECT m_rcVideoMinimum{};
    RECT m_rcVideoMaximum{};
    RECT m_rcVideoOverlay{};
    bool m_dragging = false;
    bool m_inside = false;
    int m_zone = 9;
    LONG m_prevX = 0, m_x = 0, m_prevY = 0, m_y = 0;
    LONG m_videoX = 0, m_videoY = 0, m_prevVideoX = 0, m_prevVideoY = 0;
    double m_scaleX = 0.0, m_scaleY = 0.0;
    HWND m_hWndPositioning = nullptr;
    RECT m_rcClient{};
    int m_enabled = 0;

private:
    void TakePoint(LONG x, LONG y);
    void EndDrag(bool announce);
    int ZoneAt(LONG x, LONG y) const;
};
