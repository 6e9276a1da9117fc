// The positioning base in a control of the window family, driven by pointer input: hover zones,
// a drag of the whole overlay against the right bound, a press outside the overlay, a pointer
// leaving the bounds, and the handle frame's rings.
#include "controls/CPositioningCtrl.h"
#include "controls/CVideoCtrlImpl.h"

#include "standin/actions.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class TestOverlayCtrl : public CVideoCtrlImpl<TestOverlayCtrl>, public CPositioningCtrl {
public:
    BEGIN_MSG_MAP(TestOverlayCtrl)
        MESSAGE_RANGE_HANDLER(WM_MOUSEFIRST, WM_MOUSELAST, OnMouse)
        MESSAGE_RANGE_HANDLER(WM_NCMOUSEMOVE, WM_NCMBUTTONDBLCLK, OnMouse)
        MESSAGE_HANDLER(WM_SETCURSOR, OnMouse)
        MESSAGE_HANDLER(WM_NCHITTEST, OnMouse)
        MESSAGE_HANDLER(WM_ERASEBKGND, OnErase)
    END_MSG_MAP()

    LRESULT OnMouse(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled)
    {
        return DragOverlayRect(message, wParam, lParam, handled);
    }
    LRESULT OnErase(UINT, WPARAM, LPARAM, BOOL&) { return 1; }
};

struct Notices {
    static inline std::vector<int> zones;
    static inline std::vector<RECT> rects;
    static LRESULT Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_POSITIONING_ZONE) {
            zones.push_back(int(wParam));
            return 0;
        }
        if (message == WM_POSITIONING_RECT) {
            rects.push_back(*reinterpret_cast<const RECT*>(wParam));
            return 0;
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
};

class PositioningTest : public testing::Test {
protected:
    void SetUp() override
    {
        Notices::zones.clear();
        Notices::rects.clear();
        WNDCLASSEXW type{};
        type.cbSize = sizeof type;
        type.lpfnWndProc = Notices::Procedure;
        type.lpszClassName = u"PositioningTestPage";
        RegisterClassExW(&type);
        page_ = CreateWindowExW(0, u"PositioningTestPage", u"", WS_POPUP | WS_VISIBLE, 20, 20, 400, 300, nullptr,
                                nullptr, nullptr, nullptr);
        ASSERT_NE(page_, nullptr);
        RECT place{10, 10, 330, 250};
        ASSERT_NE(ctrl_.Create(page_, place), nullptr);
        ctrl_.m_hWndPositioning = ctrl_.m_hWnd;
        GetClientRect(ctrl_.m_hWnd, &ctrl_.m_rcClient);
        ctrl_.ComputeControlLayout(RECT{0, 0, 10, 10}, RECT{0, 0, 320, 240}, RECT{0, 0, 10, 10},
                                   RECT{0, 0, 320, 240}, 1.0, 1.0);
        ASSERT_TRUE(ctrl_.MapVideoRectToClient(50, 50, 100, 100, false));
        ctrl_.m_enabled = 1;
    }
    void TearDown() override
    {
        if (ctrl_.m_hWnd)
            ctrl_.DestroyWindow();
        DestroyWindow(page_);
    }

    static bool Equal(const RECT& a, const RECT& b)
    {
        return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
    }

    HWND page_ = nullptr;
    TestOverlayCtrl ctrl_;
};

TEST_F(PositioningTest, MapVideoRectToClientChangesOnlyOnANewRectangleOrWhenForced)
{
    EXPECT_FALSE(ctrl_.MapVideoRectToClient(50, 50, 100, 100, false));
    ctrl_.m_scaleX = 0.5;
    ctrl_.m_scaleY = 0.75;
    EXPECT_FALSE(ctrl_.MapVideoRectToClient(50, 50, 100, 100, false));
    EXPECT_TRUE(Equal(ctrl_.m_rcOverlay, RECT{50, 50, 150, 150}));
    EXPECT_TRUE(ctrl_.MapVideoRectToClient(50, 50, 100, 100, true));
    EXPECT_TRUE(Equal(ctrl_.m_rcOverlay, RECT{25, 37, 75, 112}));
}

TEST_F(PositioningTest, DraggingTheOverlayRightStopsAtTheBoundKeepingItsWidth)
{
    standin::Drag(ctrl_.m_hWnd, POINT{100, 100}, POINT{300, 100}, 100);
    EXPECT_TRUE(Equal(ctrl_.m_rcOverlay, RECT{220, 50, 320, 150}));
    EXPECT_TRUE(Equal(ctrl_.m_rcVideoOverlay, RECT{220, 50, 320, 150}));
    ASSERT_FALSE(Notices::rects.empty());
    EXPECT_TRUE(Equal(Notices::rects.back(), RECT{220, 50, 320, 150}));
    ASSERT_FALSE(Notices::zones.empty());
    EXPECT_EQ(Notices::zones.front(), 8);
    // The button went up: no drag, no capture.
    EXPECT_FALSE(ctrl_.m_dragging);
    EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(PositioningTest, APressOutsideTheOverlayStartsNoDrag)
{
    standin::Drag(ctrl_.m_hWnd, POINT{10, 10}, POINT{60, 10}, 25);
    EXPECT_TRUE(Equal(ctrl_.m_rcOverlay, RECT{50, 50, 150, 150}));
    EXPECT_TRUE(Notices::rects.empty());
    EXPECT_FALSE(ctrl_.m_dragging);
    ASSERT_FALSE(Notices::zones.empty());
    EXPECT_EQ(Notices::zones.front(), 9);
}

TEST_F(PositioningTest, ShrinkingFromTheLeftBelowTheMinimumMovesTheLeftEdgeBack)
{
    // The left edge (zone 0) pulled right past the minimum width of 10.
    standin::Drag(ctrl_.m_hWnd, POINT{51, 100}, POINT{151, 100}, 50);
    EXPECT_EQ(ctrl_.m_rcOverlay.right, 150);
    EXPECT_EQ(ctrl_.m_rcOverlay.left, 140);
    EXPECT_EQ(ctrl_.m_rcVideoOverlay.left, 140);
}

TEST_F(PositioningTest, APointerPastTheRightBoundCountsAsAtTheBound)
{
    // Bounds 20 pixels short of the control's right: the right edge dragged past them. The
    // pointer beyond the bounds is held at the bound, not thrown to 0, so the edge stays there.
    ctrl_.ComputeControlLayout(RECT{0, 0, 10, 10}, RECT{0, 0, 300, 240}, RECT{0, 0, 10, 10}, RECT{0, 0, 300, 240},
                               1.0, 1.0);
    ctrl_.MapVideoRectToClient(180, 50, 100, 100, true);
    standin::Drag(ctrl_.m_hWnd, POINT{279, 100}, POINT{318, 100}, 39);
    EXPECT_EQ(ctrl_.m_rcOverlay.left, 180);
    EXPECT_EQ(ctrl_.m_rcOverlay.right, 300);
    EXPECT_EQ(ctrl_.m_rcVideoOverlay.right, 300);
    ASSERT_FALSE(Notices::rects.empty());
    EXPECT_EQ(Notices::rects.back().right, 300);
    // The drag went on to the release: no "none" zone was announced on the way.
    ASSERT_FALSE(Notices::zones.empty());
    EXPECT_EQ(Notices::zones.back(), 4);
}

TEST_F(PositioningTest, TheHandleFrameHasThreeRings)
{
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 40, 40);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, bitmap);
    RECT all{0, 0, 40, 40};
    HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
    FillRect(dc, &all, blue);
    DeleteObject(blue);
    CPositioningCtrl::DrawHandleFrame(dc, 10, 10, 30, 30, 3);
    // Outer ring at 7: white top-left, black bottom-right; middle grey; inner black top-left.
    EXPECT_EQ(GetPixel(dc, 15, 7), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(dc, 7, 15), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(dc, 15, 32), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(dc, 32, 15), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(dc, 15, 8), RGB(192, 192, 192));
    EXPECT_EQ(GetPixel(dc, 15, 9), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(dc, 15, 30), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(dc, 15, 15), RGB(0, 0, 255));
    EXPECT_EQ(GetPixel(dc, 15, 6), RGB(0, 0, 255));
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

} // namespace
