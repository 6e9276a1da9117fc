// WTL's bitmap button over a dialog-style push button: made owner-drawn and one image large, the
// image of each state (normal, pressed under the capture or the space key, hovered, disabled with
// the normal image greyed through DrawStateA or its own image), the click it sends in hover mode,
// the focus image without hover, and where WM_ERASEBKGND goes. The strip is the test module's
// bitmap 2: four 18 x 18 images on magenta, image i with a 6 x 6 square at (6, 6) of colour
// (40 i, 100, 255 - 40 i).
#include "GdiTestSupport.h"
#include "standin/pictures.h"
#include "standin/windowing.h"
#include "wtl/atlctrlx.h"

namespace {

COLORREF ImageColour(int i)
{
    return RGB(40 * i, 100, 255 - 40 * i);
}

int g_clicks = 0;

LRESULT WINAPI ParentProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == 7)
        ++g_clicks;
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

class SkinButton : public WTL::CBitmapButtonImpl<SkinButton> {
public:
    explicit SkinButton(DWORD style) : WTL::CBitmapButtonImpl<SkinButton>(style) {}
};

class BitmapButton : public testing::Test {
protected:
    void SetUp() override
    {
        g_clicks = 0;
        WNDCLASSEXW frame{};
        frame.cbSize = sizeof frame;
        frame.lpfnWndProc = ParentProcedure;
        frame.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        frame.lpszClassName = u"BitmapButtonParent";
        ASSERT_NE(RegisterClassExW(&frame), 0);
        parent = CreateWindowExW(0, u"BitmapButtonParent", u"", WS_POPUP | WS_VISIBLE, 0, 0, 100, 60, nullptr,
                                 nullptr, nullptr, nullptr);
        button = CreateWindowExW(0, u"Button", u"", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON | WS_TABSTOP, 10, 10, 60, 30,
                                 parent, reinterpret_cast<HMENU>(7), nullptr, nullptr);
        ASSERT_TRUE(list.Create(2U, 18, 5, RGB(255, 0, 255)));
    }
    void TearDown() override
    {
        standin::ResetInput();
        DestroyWindow(parent);
        standin::PumpUntilIdle();
        list.Destroy();
        UnregisterClassW(u"BitmapButtonParent", nullptr);
        EXPECT_TRUE(gditest::Rules().empty());
    }
    COLORREF Centre()
    {
        standin::PumpUntilIdle();
        return standin::ReadWindowPixels(button).At(8, 8);
    }
    HWND parent = nullptr;
    HWND button = nullptr;
    WTL::CImageList list;
};

TEST_F(BitmapButton, AHoverButtonFromTheStripShowsEachStatesImage)
{
    EXPECT_EQ(list.GetImageCount(), 4);
    SkinButton skin(BMPBTN_HOVER | BMPBTN_AUTOSIZE);
    skin.SetImageList(list);
    skin.SetImages(0, 1, 2);
    ASSERT_TRUE(skin.SubclassWindow(button));
    EXPECT_EQ(GetWindowLongPtrW(button, GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
    RECT r{};
    GetWindowRect(button, &r);
    EXPECT_EQ(r.right - r.left, 18);
    EXPECT_EQ(r.bottom - r.top, 18);

    EXPECT_EQ(Centre(), ImageColour(0));
    // The mask leaves the parent's face where the strip is magenta.
    EXPECT_EQ(standin::ReadWindowPixels(button).At(1, 1), GetSysColor(COLOR_3DFACE));

    // Pressed under the capture: image 1; released over it: one click, image 0 again.
    SendMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    EXPECT_EQ(GetCapture(), button);
    EXPECT_EQ(Centre(), ImageColour(1));
    // Dragged off the button it shows unpressed; back on, pressed.
    SendMessageW(button, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(40, 40));
    EXPECT_NE(Centre(), ImageColour(1));
    SendMessageW(button, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(5, 5));
    EXPECT_EQ(Centre(), ImageColour(1));
    SendMessageW(button, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(g_clicks, 1);
    EXPECT_EQ(GetCapture(), nullptr);

    // Hovered: image 2 until the pointer leaves (the button sits at (10, 10) of its parent at the
    // screen's origin).
    standin::MovePointer(15, 15);
    EXPECT_EQ(Centre(), ImageColour(2));
    standin::MovePointer(90, 50);
    EXPECT_EQ(Centre(), ImageColour(0));

    // The space key presses it while down.
    SendMessageW(button, WM_KEYDOWN, VK_SPACE, 0);
    EXPECT_EQ(Centre(), ImageColour(1));
    SendMessageW(button, WM_KEYUP, VK_SPACE, 0);
    EXPECT_EQ(Centre(), ImageColour(0));

    // With the hover style the erase goes to the button's own procedure (no class brush: 0).
    HDC dc = GetDC(button);
    EXPECT_EQ(SendMessageW(button, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0), 0);
    ReleaseDC(button, dc);
}

TEST_F(BitmapButton, DisabledItShowsTheNormalImageGreyedOrItsOwnDisabledImage)
{
    SkinButton skin(BMPBTN_HOVER | BMPBTN_AUTOSIZE);
    skin.SetImageList(list);
    skin.SetImages(0, 1, 2);
    ASSERT_TRUE(skin.SubclassWindow(button));
    EnableWindow(button, FALSE);
    standin::PumpUntilIdle();
    const standin::WindowPixels shown = standin::ReadWindowPixels(button);

    // What DrawStateA makes of the normal image, drawn here on the same face.
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 18, 18);
    HGDIOBJ old = SelectObject(memory, bitmap);
    RECT all{0, 0, 18, 18};
    FillRect(memory, &all, GetSysColorBrush(COLOR_3DFACE));
    HICON icon = list.GetIcon(0);
    ASSERT_TRUE(DrawStateA(memory, nullptr, nullptr, reinterpret_cast<LPARAM>(icon), 0, 0, 0, 0, 0,
                           DST_ICON | DSS_DISABLED));
    int differing = 0;
    for (int y = 0; y < 18; ++y)
        for (int x = 0; x < 18; ++x)
            differing += GetPixel(memory, x, y) != shown.At(x, y);
    EXPECT_EQ(differing, 0);
    EXPECT_NE(shown.At(8, 8), ImageColour(0));
    DestroyIcon(icon);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);

    // With an image of its own for the disabled state, that one.
    skin.SetImages(0, 1, 2, 3);
    InvalidateRect(button, nullptr, TRUE);
    EXPECT_EQ(Centre(), ImageColour(3));
}

TEST_F(BitmapButton, WithoutHoverTheFocusPicksTheThirdImageAndThe3DStyleDrawsAnEdge)
{
    SkinButton skin(BMPBTN_AUTOSIZE | BMPBTN_AUTO3D_SINGLE);
    skin.SetImageList(list);
    skin.SetImages(0);
    ASSERT_TRUE(skin.SubclassWindow(button));
    EXPECT_EQ(Centre(), ImageColour(0));
    // The single edge: highlight at the top left, shadow at the bottom right.
    standin::WindowPixels p = standin::ReadWindowPixels(button);
    EXPECT_EQ(p.At(0, 0), GetSysColor(COLOR_3DHILIGHT));
    EXPECT_EQ(p.At(17, 17), GetSysColor(COLOR_3DSHADOW));
    // No hover image without the style: moving over it changes nothing.
    SendMessageW(button, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(Centre(), ImageColour(0));
    skin.SetImages(0, -1, 2);
    SetFocus(button);
    EXPECT_EQ(Centre(), ImageColour(2));
    // Pressed without a pushed image: the normal one a pixel down and right, a sunken edge.
    SendMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    standin::PumpUntilIdle();
    p = standin::ReadWindowPixels(button);
    EXPECT_EQ(p.At(7, 7), ImageColour(0));
    EXPECT_EQ(p.At(12, 12), ImageColour(0));
    EXPECT_EQ(p.At(0, 0), GetSysColor(COLOR_3DSHADOW));
    // The button's own procedure clicks without hover.
    SendMessageW(button, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(g_clicks, 1);
    // Without hover nothing is erased, and the erase is answered.
    HDC dc = GetDC(button);
    EXPECT_EQ(SendMessageW(button, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0), 1);
    ReleaseDC(button, dc);
}

} // namespace
