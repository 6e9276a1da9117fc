// Windows' surfaces and device contexts: painting with erasing and frames, clipping by children,
// siblings and the update region, WM_PRINT, pictures of windows and their PNG files, and the
// checks of DCs and bitmaps left behind.
#include "GdiTestSupport.h"
#include "standin/pictures.h"
#include "standin/windowing.h"

#include <png.h>

#include <cstdio>
#include <map>

using namespace gditest;

namespace {

// Children of this class fill their client area with the colour their id names.
std::map<LONG_PTR, COLORREF>& Colours()
{
    static std::map<LONG_PTR, COLORREF> colours;
    return colours;
}

LRESULT FillProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        RECT client;
        GetClientRect(hwnd, &client);
        HBRUSH brush = CreateSolidBrush(Colours()[GetWindowLongPtrW(hwnd, GWLP_ID)]);
        FillRect(dc, &client, brush);
        DeleteObject(brush);
        EndPaint(hwnd, &ps);
        return 0;
    }
    if (message == WM_PRINTCLIENT) {
        RECT client;
        GetClientRect(hwnd, &client);
        HBRUSH brush = CreateSolidBrush(Colours()[GetWindowLongPtrW(hwnd, GWLP_ID)]);
        FillRect(reinterpret_cast<HDC>(wParam), &client, brush);
        DeleteObject(brush);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

class WindowPainting : public testing::Test {
protected:
    void SetUp() override
    {
        WNDCLASSEXW frame{};
        frame.cbSize = sizeof frame;
        frame.lpfnWndProc = DefWindowProcW;
        frame.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        frame.lpszClassName = u"GdiFrame";
        ASSERT_NE(RegisterClassExW(&frame), 0);
        WNDCLASSEXW fill{};
        fill.cbSize = sizeof fill;
        fill.lpfnWndProc = FillProcedure;
        fill.lpszClassName = u"GdiFill";
        ASSERT_NE(RegisterClassExW(&fill), 0);
    }
    void TearDown() override
    {
        for (HWND w : made)
            DestroyWindow(w);
        standin::PumpUntilIdle();
        UnregisterClassW(u"GdiFrame", nullptr);
        UnregisterClassW(u"GdiFill", nullptr);
    }
    HWND Frame(DWORD style, int w, int h)
    {
        HWND hwnd = CreateWindowExW(0, u"GdiFrame", u"", style | WS_VISIBLE, 100, 100, w, h, nullptr, nullptr,
                                    nullptr, nullptr);
        made.push_back(hwnd);
        return hwnd;
    }
    HWND Child(HWND parent, int id, COLORREF colour, DWORD style, DWORD exStyle, RECT at)
    {
        Colours()[id] = colour;
        return CreateWindowExW(exStyle, u"GdiFill", u"", style | WS_CHILD | WS_VISIBLE, at.left, at.top,
                               at.right - at.left, at.bottom - at.top, parent,
                               reinterpret_cast<HMENU>(static_cast<LONG_PTR>(id)), nullptr, nullptr);
    }
    std::vector<HWND> made;
};

const COLORREF kFace = RGB(192, 192, 192);
const COLORREF kRed = RGB(255, 0, 0);

// The PNG file's pixels, decoded by libpng.
standin::WindowPixels DecodePng(const std::string& path)
{
    standin::WindowPixels picture;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return picture;
    image.format = PNG_FORMAT_RGB;
    std::vector<png_byte> bytes(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, bytes.data(), 0, nullptr))
        return picture;
    picture.width = static_cast<int>(image.width);
    picture.height = static_cast<int>(image.height);
    for (size_t i = 0; i < bytes.size(); i += 3)
        picture.pixels.push_back(RGB(bytes[i], bytes[i + 1], bytes[i + 2]));
    return picture;
}

TEST_F(WindowPainting, AStaticEdgeChildFilledRedSavesAsThePixelsItPainted)
{
    HWND frame = Frame(WS_POPUP | WS_BORDER, 80, 60);
    HWND child = Child(frame, 7, kRed, 0, WS_EX_STATICEDGE, RECT{10, 10, 50, 40});
    ASSERT_TRUE(frame && child);
    const std::string path = (std::filesystem::temp_directory_path() / "user-gdi-window.png").string();
    ASSERT_TRUE(standin::SaveWindowPng(frame, path));
    const standin::WindowPixels pixels = standin::ReadWindowPixels(frame);
    const standin::WindowPixels decoded = DecodePng(path);
    std::remove(path.c_str());
    ASSERT_EQ(pixels.width, 80);
    ASSERT_EQ(pixels.height, 60);
    ASSERT_EQ(decoded.width, 80);
    ASSERT_EQ(decoded.height, 60);
    EXPECT_EQ(decoded.pixels, pixels.pixels);
    // The frame's border, its face, the child's edge (shadow above and left, highlight below and
    // right) and its red client; the child sits at (11, 11) inside the 1-pixel border.
    EXPECT_EQ(pixels.At(0, 0), RGB(0, 0, 0));
    EXPECT_EQ(pixels.At(79, 59), RGB(0, 0, 0));
    EXPECT_EQ(pixels.At(5, 5), kFace);
    EXPECT_EQ(pixels.At(11, 11), GetSysColor(COLOR_3DSHADOW));
    EXPECT_EQ(pixels.At(30, 11), GetSysColor(COLOR_3DSHADOW));
    EXPECT_EQ(pixels.At(11, 30), GetSysColor(COLOR_3DSHADOW));
    EXPECT_EQ(pixels.At(50, 30), GetSysColor(COLOR_3DHILIGHT));
    EXPECT_EQ(pixels.At(30, 40), GetSysColor(COLOR_3DHILIGHT));
    for (int y = 12; y < 40; ++y)
        for (int x = 12; x < 50; ++x)
            ASSERT_EQ(pixels.At(x, y), kRed) << x << "," << y;
    EXPECT_EQ(pixels.At(51, 30), kFace);
    // The child's own picture is its rectangle of the same surface.
    const standin::WindowPixels own = standin::ReadWindowPixels(child);
    ASSERT_EQ(own.width, 40);
    EXPECT_EQ(own.At(0, 0), GetSysColor(COLOR_3DSHADOW));
    EXPECT_EQ(own.At(1, 1), kRed);
    EXPECT_EQ(standin::ReadWindowPixels(reinterpret_cast<HWND>(0x7777)).width, 0);
    EXPECT_TRUE(Rules().empty());
}

TEST(Pictures, AComposedPictureSavesAsItsPixelsAndAShortOneIsRefused)
{
    standin::WindowPixels picture;
    picture.width = 3;
    picture.height = 2;
    picture.pixels = {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255), RGB(1, 2, 3), RGB(250, 251, 252), 0};
    const std::string path = (std::filesystem::temp_directory_path() / "user-gdi-composed.png").string();
    ASSERT_TRUE(standin::SavePixelsPng(picture, path));
    const standin::WindowPixels decoded = DecodePng(path);
    std::remove(path.c_str());
    EXPECT_EQ(decoded.width, 3);
    EXPECT_EQ(decoded.height, 2);
    EXPECT_EQ(decoded.pixels, picture.pixels);
    // Fewer pixels than its size says, or none: nothing is written.
    picture.pixels.pop_back();
    EXPECT_FALSE(standin::SavePixelsPng(picture, path));
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(standin::SavePixelsPng(standin::WindowPixels{}, path));
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(WindowPainting, ChildrenAndSiblingsClipWhenTheirStylesSaySo)
{
    HWND frame = Frame(WS_POPUP | WS_CLIPCHILDREN, 60, 40);
    // A child made later goes below its siblings: `lower` paints around `upper`.
    ASSERT_NE(Child(frame, 2, RGB(0, 255, 0), 0, 0, RECT{20, 20, 40, 40}), nullptr);
    HWND lower = Child(frame, 1, RGB(0, 0, 255), WS_CLIPSIBLINGS, 0, RECT{0, 0, 30, 30});
    standin::PumpUntilIdle();
    standin::WindowPixels p = standin::ReadWindowPixels(frame);
    EXPECT_EQ(p.At(5, 5), RGB(0, 0, 255));
    EXPECT_EQ(p.At(25, 25), RGB(0, 255, 0));
    EXPECT_EQ(p.At(50, 5), kFace);
    // Repainting the frame leaves its children alone (WS_CLIPCHILDREN); repainting `lower`
    // leaves `upper` alone (WS_CLIPSIBLINGS).
    InvalidateRect(frame, nullptr, TRUE);
    InvalidateRect(lower, nullptr, TRUE);
    EXPECT_TRUE(UpdateWindow(lower));
    p = standin::ReadWindowPixels(frame);
    EXPECT_EQ(p.At(5, 5), RGB(0, 0, 255));
    EXPECT_EQ(p.At(25, 25), RGB(0, 255, 0));
    // A DC of the frame draws around its children; one of `lower` only inside it, and not under
    // `upper`.
    HDC dc = GetDC(frame);
    PatBlt(dc, 0, 0, 60, 40, BLACKNESS);
    ReleaseDC(frame, dc);
    dc = GetDC(lower);
    RECT box{};
    EXPECT_EQ(GetClipBox(dc, &box), COMPLEXREGION);
    EXPECT_EQ(box.right, 30);
    PatBlt(dc, -10, -10, 100, 100, WHITENESS);
    EXPECT_EQ(WindowFromDC(dc), lower);
    ReleaseDC(lower, dc);
    p = standin::ReadWindowPixels(frame);
    EXPECT_EQ(p.At(50, 5), RGB(0, 0, 0));
    EXPECT_EQ(p.At(5, 5), RGB(255, 255, 255));
    EXPECT_EQ(p.At(25, 25), RGB(0, 255, 0));
    // A window DC reaches the frame too.
    dc = GetWindowDC(lower);
    EXPECT_EQ(GetPixel(dc, 0, 0), RGB(255, 255, 255));
    ReleaseDC(lower, dc);
    EXPECT_TRUE(Rules().empty());
}

TEST_F(WindowPainting, BeginPaintErasesWithTheClassBrushInsideTheUpdateRegion)
{
    HWND frame = Frame(WS_POPUP, 40, 40);
    standin::PumpUntilIdle();
    HDC dc = GetDC(frame);
    PatBlt(dc, 0, 0, 40, 40, BLACKNESS);
    ReleaseDC(frame, dc);
    RECT part{10, 10, 20, 20};
    InvalidateRect(frame, &part, TRUE);
    standin::ClearWindowMessageLog(frame);
    PAINTSTRUCT ps{};
    dc = BeginPaint(frame, &ps);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(ps.hdc, dc);
    EXPECT_FALSE(ps.fErase); // the default procedure erased it
    EXPECT_EQ(ps.rcPaint.left, 10);
    EXPECT_EQ(ps.rcPaint.bottom, 20);
    EXPECT_EQ(standin::WindowMessageNumbers(frame), (std::vector<UINT>{WM_ERASEBKGND}));
    // Drawing stays inside the update region.
    PatBlt(dc, 0, 0, 40, 40, PATCOPY); // the DC's white brush
    EXPECT_EQ(GetPixel(dc, 0, 0), CLR_INVALID);
    EXPECT_TRUE(EndPaint(frame, &ps));
    const standin::WindowPixels p = standin::ReadWindowPixels(frame);
    EXPECT_EQ(p.At(15, 15), RGB(255, 255, 255));
    EXPECT_EQ(p.At(9, 9), RGB(0, 0, 0));
    EXPECT_EQ(p.At(20, 20), RGB(0, 0, 0));
    RECT update{};
    EXPECT_FALSE(GetUpdateRect(frame, &update, FALSE));
    // The frame and its children print into any DC.
    HWND child = Child(frame, 3, RGB(0, 0, 200), 0, 0, RECT{5, 5, 15, 15});
    HDC memory = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateBitmap(40, 40, 1, 32, nullptr);
    HGDIOBJ old = SelectObject(memory, bitmap);
    SendMessageW(frame, WM_PRINT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT | PRF_ERASEBKGND | PRF_CHILDREN);
    EXPECT_EQ(GetPixel(memory, 0, 0), kFace);
    EXPECT_EQ(GetPixel(memory, 10, 10), RGB(0, 0, 200));
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    DestroyWindow(child);
    EXPECT_TRUE(Rules().empty());
}

TEST_F(WindowPainting, GetUpdateRectErasesThroughADcOfTheUpdateRegion)
{
    HWND frame = Frame(WS_POPUP, 30, 30);
    standin::PumpUntilIdle();
    HDC dc = GetDC(frame);
    PatBlt(dc, 0, 0, 30, 30, BLACKNESS);
    ReleaseDC(frame, dc);
    RECT part{0, 0, 10, 10};
    InvalidateRect(frame, &part, TRUE);
    RECT update{};
    EXPECT_TRUE(GetUpdateRect(frame, &update, TRUE));
    dc = GetDC(frame);
    EXPECT_EQ(GetPixel(dc, 5, 5), kFace);
    EXPECT_EQ(GetPixel(dc, 15, 15), RGB(0, 0, 0));
    ReleaseDC(frame, dc);
    EXPECT_TRUE(Rules().empty());
}

TEST_F(WindowPainting, AHiddenOrDestroyedChildUncoversItsParent)
{
    HWND frame = Frame(WS_POPUP | WS_CLIPCHILDREN, 40, 40);
    HWND first = Child(frame, 4, RGB(0, 0, 255), 0, 0, RECT{0, 0, 10, 10});
    HWND second = Child(frame, 5, RGB(0, 0, 255), 0, 0, RECT{20, 20, 30, 30});
    EXPECT_EQ(standin::ReadWindowPixels(frame).At(5, 5), RGB(0, 0, 255));
    ShowWindow(first, SW_HIDE);
    DestroyWindow(second);
    const standin::WindowPixels p = standin::ReadWindowPixels(frame);
    EXPECT_EQ(p.At(5, 5), kFace);
    EXPECT_EQ(p.At(25, 25), kFace);
    EXPECT_TRUE(Rules().empty());
}

TEST_F(WindowPainting, ACaptionedFrameDrawsItsEdgesAndCaption)
{
    HWND frame = Frame(WS_OVERLAPPEDWINDOW, 120, 80);
    const standin::WindowPixels p = standin::ReadWindowPixels(frame);
    ASSERT_EQ(p.width, 120);
    // Raised outer edge, then the border colour, then the caption.
    EXPECT_EQ(p.At(0, 40), GetSysColor(COLOR_3DLIGHT));
    EXPECT_EQ(p.At(1, 40), GetSysColor(COLOR_3DHILIGHT));
    EXPECT_EQ(p.At(119, 40), GetSysColor(COLOR_3DDKSHADOW));
    EXPECT_EQ(p.At(60, 10), GetSysColor(COLOR_ACTIVECAPTION) == p.At(60, 10) ? GetSysColor(COLOR_ACTIVECAPTION)
                                                                               : GetSysColor(COLOR_INACTIVECAPTION));
    EXPECT_EQ(p.At(60, 60), kFace);
    EXPECT_TRUE(Rules().empty());
}

TEST_F(WindowPainting, DcsAndBitmapsLeftBehindAreReported)
{
    HWND frame = Frame(WS_POPUP, 20, 20);
    HDC dc = GetDC(frame);
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, 4, 4);
    HGDIOBJ old = SelectObject(memory, bitmap);
    standin::VerifierCheckLeaks();
    std::vector<std::string> details;
    for (auto& v : standin::VerifierTakeViolations())
        if (v.detail.rfind("gdi-objects: ", 0) == 0)
            details.push_back(v.detail);
    ASSERT_EQ(details.size(), 3u);
    EXPECT_NE(details[0].find("DC"), std::string::npos);
    // Deleting the bitmap while it is selected fails with a breach.
    EXPECT_FALSE(DeleteObject(bitmap));
    EXPECT_EQ(Rules(), (std::vector<std::string>{"gdi-selected-delete"}));
    SelectObject(memory, old);
    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_TRUE(DeleteDC(memory));
    EXPECT_FALSE(DeleteDC(dc)); // a window's DC goes with ReleaseDC
    EXPECT_EQ(ReleaseDC(frame, dc), 1);
    EXPECT_EQ(ReleaseDC(frame, dc), 0);
    EXPECT_EQ(Rules(), (std::vector<std::string>{"gdi-bad-handle"}));
    DestroyWindow(frame);
    made.clear();
    EXPECT_EQ(standin::VerifierCheckLeaks(), 0u);
}

} // namespace
