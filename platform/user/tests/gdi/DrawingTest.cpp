// Drawing: raster operations, depth conversion and the monochrome rules, stretching, lines
// without their last point, rectangles, clipping, edges, focus rectangles and system colours.
#include "GdiTestSupport.h"

using namespace gditest;

namespace {

TEST(Drawing, APolylineLeavesOutItsLastPoint)
{
    Surface s(16, 16, 32, RGB(255, 255, 255));
    HPEN red = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
    HGDIOBJ old = SelectObject(s.dc, red);
    const POINT points[] = {{0, 0}, {10, 0}, {10, 10}};
    EXPECT_TRUE(Polyline(s.dc, points, 3));
    EXPECT_EQ(s.Count(RGB(255, 0, 0), 16, 16), 20);
    EXPECT_EQ(GetPixel(s.dc, 10, 10), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(s.dc, 10, 0), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(s.dc, 10, 9), RGB(255, 0, 0));
    // MoveToEx and LineTo: the same rule, the position moves to the end.
    POINT before{};
    EXPECT_TRUE(MoveToEx(s.dc, 0, 15, &before));
    EXPECT_TRUE(LineTo(s.dc, 5, 10));
    EXPECT_EQ(s.Count(RGB(255, 0, 0), 16, 16), 25);
    EXPECT_EQ(GetPixel(s.dc, 5, 10), RGB(255, 255, 255));
    EXPECT_TRUE(MoveToEx(s.dc, 0, 0, &before));
    EXPECT_EQ(before.x, 5);
    EXPECT_EQ(before.y, 10);
    // A null pen draws nothing; a wide one draws a band.
    SelectObject(s.dc, GetStockObject(NULL_PEN));
    EXPECT_TRUE(LineTo(s.dc, 15, 15));
    EXPECT_EQ(s.Count(RGB(255, 0, 0), 16, 16), 25);
    HPEN wide = CreatePen(PS_SOLID, 3, RGB(0, 0, 255));
    SelectObject(s.dc, wide);
    MoveToEx(s.dc, 2, 13, nullptr);
    LineTo(s.dc, 8, 13);
    EXPECT_EQ(s.Count(RGB(0, 0, 255), 16, 16), 24); // 3 x 3 squares from x 1 to 8
    EXPECT_FALSE(Polyline(s.dc, points, 1));
    SelectObject(s.dc, old);
    DeleteObject(red);
    DeleteObject(wide);
    EXPECT_TRUE(Rules().empty());
}

TEST(Drawing, RasterOperationsCombineSourcePatternAndDestination)
{
    const COLORREF d = RGB(0x0F, 0xF0, 0x33), src = RGB(0x55, 0x0F, 0xF0), pat = RGB(0x81, 0x42, 0x24);
    struct Case {
        DWORD rop;
        COLORREF want;
    };
    const Case cases[] = {
        {SRCCOPY, src},
        {SRCAND, d & src},
        {SRCPAINT, d | src},
        {SRCINVERT, d ^ src},
        {DSTINVERT, ~d & 0xFFFFFF},
        {PATCOPY, pat},
        {PATINVERT, pat ^ d},
        {NOTSRCCOPY, ~src & 0xFFFFFF},
        {BLACKNESS, 0},
        {WHITENESS, 0xFFFFFF},
    };
    Surface source(4, 4, 32, src);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.rop);
        Surface target(4, 4, 32, d);
        HBRUSH brush = CreateSolidBrush(pat);
        HGDIOBJ old = SelectObject(target.dc, brush);
        EXPECT_TRUE(BitBlt(target.dc, 1, 1, 2, 2, source.dc, 0, 0, c.rop));
        EXPECT_EQ(GetPixel(target.dc, 1, 1), c.want);
        EXPECT_EQ(GetPixel(target.dc, 2, 2), c.want);
        EXPECT_EQ(GetPixel(target.dc, 3, 3), d);
        EXPECT_EQ(GetPixel(target.dc, 0, 1), d);
        SelectObject(target.dc, old);
        DeleteObject(brush);
    }
    // PatBlt takes no source; a raster operation that needs one fails.
    Surface target(4, 4, 32, d);
    EXPECT_TRUE(PatBlt(target.dc, 0, 0, 4, 4, WHITENESS));
    EXPECT_EQ(GetPixel(target.dc, 3, 3), RGB(255, 255, 255));
    EXPECT_FALSE(PatBlt(target.dc, 0, 0, 4, 4, SRCCOPY));
    EXPECT_FALSE(BitBlt(target.dc, 0, 0, 4, 4, nullptr, 0, 0, SRCCOPY));
    // InvertRect twice gives the pixels back.
    RECT r{0, 0, 2, 2};
    EXPECT_TRUE(InvertRect(target.dc, &r));
    EXPECT_EQ(GetPixel(target.dc, 1, 1), RGB(0, 0, 0));
    EXPECT_TRUE(InvertRect(target.dc, &r));
    EXPECT_EQ(GetPixel(target.dc, 1, 1), RGB(255, 255, 255));
    EXPECT_TRUE(Rules().empty());
}

TEST(Drawing, MonochromeMeetsColourThroughTextAndBackgroundColours)
{
    Surface colour(4, 1, 32, RGB(0, 0, 0));
    SetPixel(colour.dc, 1, 0, RGB(10, 200, 30));
    SetPixel(colour.dc, 2, 0, RGB(10, 200, 31));
    // Colour to monochrome: the source's background colour is white, anything else black.
    Surface mono(4, 1, 1, RGB(0, 0, 0));
    SetBkColor(colour.dc, RGB(10, 200, 30));
    EXPECT_TRUE(BitBlt(mono.dc, 0, 0, 4, 1, colour.dc, 0, 0, SRCCOPY));
    EXPECT_EQ(GetPixel(mono.dc, 0, 0), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(mono.dc, 1, 0), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(mono.dc, 2, 0), RGB(0, 0, 0));
    // Monochrome to colour: 0 takes the target's text colour, 1 its background colour.
    Surface target(4, 1, 32, RGB(9, 9, 9));
    SetTextColor(target.dc, RGB(1, 2, 3));
    SetBkColor(target.dc, RGB(200, 100, 50));
    EXPECT_TRUE(BitBlt(target.dc, 0, 0, 4, 1, mono.dc, 0, 0, SRCCOPY));
    EXPECT_EQ(GetPixel(target.dc, 0, 0), RGB(1, 2, 3));
    EXPECT_EQ(GetPixel(target.dc, 1, 0), RGB(200, 100, 50));
    // The colours are kept.
    EXPECT_EQ(GetTextColor(target.dc), RGB(1, 2, 3));
    EXPECT_EQ(SetBkColor(target.dc, 0), RGB(200, 100, 50));
    EXPECT_EQ(SetBkMode(target.dc, TRANSPARENT), OPAQUE);
    EXPECT_EQ(GetBkMode(target.dc), TRANSPARENT);
    // Between depths: 32 to 16 bits and back keeps the top bits.
    Surface shallow(4, 1, 16, RGB(0, 0, 0));
    EXPECT_TRUE(BitBlt(shallow.dc, 0, 0, 4, 1, colour.dc, 0, 0, SRCCOPY));
    EXPECT_EQ(GetPixel(shallow.dc, 1, 0), RGB(8, 199, 33));
    EXPECT_TRUE(Rules().empty());
}

TEST(Drawing, StretchingTakesTheNearestPixel)
{
    Surface source(2, 2, 32, RGB(0, 0, 0));
    SetPixel(source.dc, 0, 0, RGB(255, 0, 0));
    SetPixel(source.dc, 1, 1, RGB(0, 0, 255));
    Surface target(6, 4, 32, RGB(255, 255, 255));
    EXPECT_EQ(SetStretchBltMode(target.dc, COLORONCOLOR), BLACKONWHITE);
    EXPECT_EQ(GetStretchBltMode(target.dc), COLORONCOLOR);
    EXPECT_TRUE(StretchBlt(target.dc, 0, 0, 6, 4, source.dc, 0, 0, 2, 2, SRCCOPY));
    EXPECT_EQ(target.Count(RGB(255, 0, 0), 6, 4), 6);
    EXPECT_EQ(target.Count(RGB(0, 0, 255), 6, 4), 6);
    EXPECT_EQ(GetPixel(target.dc, 2, 1), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(target.dc, 3, 2), RGB(0, 0, 255));
    // Shrinking by two takes every other pixel; a source outside the bitmap leaves the target.
    Surface small(1, 1, 32, RGB(9, 9, 9));
    EXPECT_TRUE(StretchBlt(small.dc, 0, 0, 1, 1, target.dc, 0, 0, 6, 4, SRCCOPY));
    EXPECT_EQ(GetPixel(small.dc, 0, 0), RGB(0, 0, 255));
    EXPECT_TRUE(BitBlt(small.dc, 0, 0, 1, 1, source.dc, 5, 5, SRCCOPY));
    EXPECT_EQ(GetPixel(small.dc, 0, 0), RGB(0, 0, 255));
    EXPECT_TRUE(Rules().empty());
}

TEST(Drawing, RectanglesFillsAndFrames)
{
    Surface s(10, 10, 32, RGB(255, 255, 255));
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(0, 0, 255));
    HBRUSH brush = CreateSolidBrush(RGB(0, 255, 0));
    HGDIOBJ oldPen = SelectObject(s.dc, pen);
    HGDIOBJ oldBrush = SelectObject(s.dc, brush);
    EXPECT_TRUE(Rectangle(s.dc, 1, 1, 5, 5));
    EXPECT_EQ(s.Count(RGB(0, 0, 255), 10, 10), 12);
    EXPECT_EQ(s.Count(RGB(0, 255, 0), 10, 10), 4);
    EXPECT_EQ(GetPixel(s.dc, 5, 5), RGB(255, 255, 255));
    // Without a pen the filled figure is a pixel smaller each way.
    SelectObject(s.dc, GetStockObject(NULL_PEN));
    EXPECT_TRUE(Rectangle(s.dc, 6, 6, 10, 10));
    EXPECT_EQ(s.Count(RGB(0, 255, 0), 10, 10), 4 + 9);
    // FillRect leaves the right and bottom edges out; FrameRect draws one pixel inside.
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    RECT r{0, 6, 3, 9};
    EXPECT_TRUE(FillRect(s.dc, &r, red));
    EXPECT_EQ(s.Count(RGB(255, 0, 0), 10, 10), 9);
    EXPECT_TRUE(FrameRect(s.dc, &r, reinterpret_cast<HBRUSH>(COLOR_WINDOWTEXT + 1)));
    EXPECT_EQ(s.Count(RGB(255, 0, 0), 10, 10), 1);
    EXPECT_EQ(GetPixel(s.dc, 1, 7), RGB(255, 0, 0));
    SelectObject(s.dc, oldPen);
    SelectObject(s.dc, oldBrush);
    DeleteObject(pen);
    DeleteObject(brush);
    DeleteObject(red);
    EXPECT_TRUE(Rules().empty());
}

TEST(Drawing, ClippingLimitsEveryDrawing)
{
    Surface s(10, 10, 32, RGB(255, 255, 255));
    RECT box{};
    EXPECT_EQ(GetClipBox(s.dc, &box), SIMPLEREGION);
    EXPECT_EQ(box.right, 10);
    EXPECT_EQ(IntersectClipRect(s.dc, 2, 2, 8, 8), SIMPLEREGION);
    EXPECT_EQ(ExcludeClipRect(s.dc, 4, 4, 6, 6), COMPLEXREGION);
    EXPECT_EQ(GetClipBox(s.dc, &box), COMPLEXREGION);
    EXPECT_EQ(box.left, 2);
    EXPECT_EQ(box.bottom, 8);
    EXPECT_TRUE(PatBlt(s.dc, 0, 0, 10, 10, BLACKNESS));
    EXPECT_EQ(s.Count(RGB(0, 0, 0), 10, 10), 36 - 4);
    EXPECT_EQ(SetPixel(s.dc, 0, 0, RGB(0, 0, 0)), CLR_INVALID);
    EXPECT_EQ(GetPixel(s.dc, 5, 5), CLR_INVALID);
    // A selected region is copied: the caller's region stays the caller's.
    HRGN region = CreateRectRgn(0, 0, 1, 10);
    EXPECT_EQ(SelectClipRgn(s.dc, region), SIMPLEREGION);
    EXPECT_TRUE(DeleteObject(region));
    EXPECT_TRUE(PatBlt(s.dc, 0, 0, 10, 10, BLACKNESS));
    EXPECT_EQ(SelectClipRgn(s.dc, nullptr), SIMPLEREGION);
    EXPECT_EQ(s.Count(RGB(0, 0, 0), 10, 10), 32 + 10);
    // Regions combine.
    HRGN a = CreateRectRgn(0, 0, 4, 4), b = CreateRectRgn(2, 2, 6, 6), c = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(CombineRgn(c, a, b, RGN_AND), SIMPLEREGION);
    EXPECT_EQ(GetRgnBox(c, &box), SIMPLEREGION);
    EXPECT_EQ(box.left, 2);
    EXPECT_EQ(box.right, 4);
    EXPECT_EQ(CombineRgn(c, a, b, RGN_OR), COMPLEXREGION);
    EXPECT_TRUE(PtInRegion(c, 5, 5));
    EXPECT_FALSE(PtInRegion(c, 5, 0));
    EXPECT_EQ(CombineRgn(c, a, b, RGN_DIFF), COMPLEXREGION);
    EXPECT_FALSE(PtInRegion(c, 3, 3));
    EXPECT_EQ(CombineRgn(c, a, a, RGN_XOR), NULLREGION);
    for (HRGN r : {a, b, c})
        DeleteObject(r);
    EXPECT_TRUE(Rules().empty());
}

TEST(Drawing, EdgesFocusRectanglesAndTheClassicColours)
{
    EXPECT_EQ(GetSysColor(COLOR_WINDOWTEXT), RGB(0, 0, 0));
    EXPECT_EQ(GetSysColor(COLOR_GRAYTEXT), RGB(128, 128, 128));
    EXPECT_EQ(GetSysColor(COLOR_WINDOW), RGB(255, 255, 255));
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), RGB(192, 192, 192));
    EXPECT_EQ(GetSysColor(COLOR_3DHILIGHT), RGB(255, 255, 255));
    EXPECT_EQ(GetSysColor(COLOR_3DSHADOW), RGB(128, 128, 128));
    EXPECT_EQ(GetSysColor(25), 0u);
    EXPECT_EQ(GetSysColorBrush(25), nullptr);
    HBRUSH face = GetSysColorBrush(COLOR_BTNFACE);
    LOGBRUSH lb{};
    ASSERT_EQ(GetObjectA(face, sizeof lb, &lb), static_cast<int>(sizeof lb));
    EXPECT_EQ(lb.lbColor, RGB(192, 192, 192));
    EXPECT_TRUE(DeleteObject(face)); // the system's: it stays
    EXPECT_EQ(GetObjectType(face), static_cast<DWORD>(OBJ_BRUSH));

    Surface s(8, 8, 32, RGB(1, 1, 1));
    RECT r{0, 0, 8, 8};
    EXPECT_TRUE(DrawEdge(s.dc, &r, EDGE_SUNKEN, BF_RECT | BF_ADJUST | BF_MIDDLE));
    EXPECT_EQ(r.left, 2);
    EXPECT_EQ(r.bottom, 6);
    EXPECT_EQ(GetPixel(s.dc, 0, 0), GetSysColor(COLOR_3DSHADOW));
    EXPECT_EQ(GetPixel(s.dc, 7, 0), GetSysColor(COLOR_3DHILIGHT)); // the bottom-right colour takes the corner
    EXPECT_EQ(GetPixel(s.dc, 7, 7), GetSysColor(COLOR_3DHILIGHT));
    EXPECT_EQ(GetPixel(s.dc, 1, 1), GetSysColor(COLOR_3DDKSHADOW));
    EXPECT_EQ(GetPixel(s.dc, 6, 6), GetSysColor(COLOR_3DLIGHT));
    EXPECT_EQ(GetPixel(s.dc, 3, 3), GetSysColor(COLOR_3DFACE));
    r = RECT{0, 0, 8, 8};
    EXPECT_TRUE(DrawEdge(s.dc, &r, EDGE_RAISED, BF_TOP));
    EXPECT_EQ(GetPixel(s.dc, 3, 0), GetSysColor(COLOR_3DLIGHT));
    EXPECT_EQ(GetPixel(s.dc, 3, 1), GetSysColor(COLOR_3DHILIGHT));
    EXPECT_EQ(r.top, 0); // no BF_ADJUST

    // A focus rectangle is dotted and goes away when drawn again.
    Surface f(6, 6, 32, RGB(255, 255, 255));
    RECT all{0, 0, 6, 6};
    EXPECT_TRUE(DrawFocusRect(f.dc, &all));
    EXPECT_EQ(GetPixel(f.dc, 0, 0), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(f.dc, 1, 0), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(f.dc, 2, 2), RGB(255, 255, 255));
    EXPECT_EQ(f.Count(RGB(0, 0, 0), 6, 6), 10);
    EXPECT_TRUE(DrawFocusRect(f.dc, &all));
    EXPECT_EQ(f.Count(RGB(255, 255, 255), 6, 6), 36);
    EXPECT_TRUE(Rules().empty());
}

} // namespace
