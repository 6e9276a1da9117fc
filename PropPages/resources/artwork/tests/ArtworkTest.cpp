// The page library's bitmaps as a page loads them: each id with its size and depth, and pixels that
// show what the picture is for (the strip's mask colour and states, the still picture's sign, the
// colour strips' cells, the graticules' levels and targets where the scope plots them, the
// loss-of-signal pictures' colours).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "ArtworkTestSupport.h"

using namespace artworktest;

namespace {

struct Expected {
    int id;
    LONG width;
    LONG height;
    WORD bits;
};

const Expected kBitmaps[] = {
    {206, 74, 18, 24},   {207, 320, 240, 24}, {209, 128, 10, 24},  {226, 112, 10, 24},
    {229, 280, 280, 8},  {230, 32, 24, 24},   {231, 32, 24, 24},   {232, 32, 24, 24},
    {233, 32, 24, 24},   {234, 32, 24, 24},   {235, 32, 24, 24},   {236, 32, 24, 24},
    {237, 32, 24, 24},   {238, 32, 24, 24},   {239, 280, 280, 8},  {240, 280, 280, 24},
};

// The closed-caption page's colours and the loss-of-signal page's, as COLORREF (red low).
const COLORREF kCaptionPalette[8] = {0xFFFFFF, 0x00FFFF, 0xFFFF00, 0x00FF00, 0xFF00FF, 0x0000FF, 0xFF0000, 0x000000};
const COLORREF kSignalLossPalette[8] = {0x00FFFFFF, 0x0000C1BA, 0x00C0BE00, 0x0002BE00,
                                        0x00B800BD, 0x000001BD, 0x00BE0001, 0x00000000};
constexpr COLORREF kMagenta = RGB(255, 0, 255);

TEST(Artwork, EveryBitmapLoadsAtItsSizeAndItsResourceHasItsDepth)
{
    for (const Expected& e : kBitmaps) {
        SCOPED_TRACE(e.id);
        HBITMAP loaded = LoadBitmapA(Module(), MAKEINTRESOURCEA(e.id));
        ASSERT_NE(loaded, nullptr);
        BITMAP bm{};
        ASSERT_EQ(GetObjectA(loaded, sizeof bm, &bm), static_cast<int>(sizeof bm));
        EXPECT_EQ(bm.bmWidth, e.width);
        EXPECT_EQ(bm.bmHeight, e.height);
        DeleteObject(loaded);
        // The resource itself: an uncompressed bottom-up bitmap of the depth, a table only where
        // the depth needs one.
        const BITMAPINFOHEADER* header = ResourceHeader(e.id);
        ASSERT_NE(header, nullptr);
        EXPECT_EQ(header->biSize, 40u);
        EXPECT_EQ(header->biWidth, e.width);
        EXPECT_EQ(header->biHeight, e.height);
        EXPECT_EQ(header->biPlanes, 1);
        EXPECT_EQ(header->biBitCount, e.bits);
        EXPECT_EQ(header->biCompression, static_cast<DWORD>(BI_RGB));
        if (e.bits == 8) {
            EXPECT_GT(header->biClrUsed, 2u);
            EXPECT_LE(header->biClrUsed, 256u);
        } else {
            EXPECT_EQ(header->biClrUsed, 0u);
        }
        // Kept in its own format, as a section, it has that depth too.
        HBITMAP section = static_cast<HBITMAP>(
            LoadImageA(Module(), MAKEINTRESOURCEA(e.id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
        ASSERT_NE(section, nullptr);
        DIBSECTION ds{};
        ASSERT_EQ(GetObjectA(section, sizeof ds, &ds), static_cast<int>(sizeof ds));
        EXPECT_EQ(ds.dsBm.bmBitsPixel, e.bits);
        DeleteObject(section);
    }
    EXPECT_EQ(LoadBitmapA(Module(), MAKEINTRESOURCEA(208)), nullptr);
}

TEST(Artwork, TheRestoreStripHoldsFourButtonImagesOnTheMaskColour)
{
    const Picture strip = Load(206);
    ASSERT_EQ(strip.width, 74);
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const int left = 18 * i;
        // Rounded corners: the mask colour shows through.
        for (auto [x, y] : {std::pair{0, 0}, {17, 0}, {0, 17}, {17, 17}})
            EXPECT_EQ(strip.At(left + x, y), kMagenta);
        // A dark rim at the middle of each edge.
        EXPECT_EQ(strip.At(left + 9, 0), i == 2 ? RGB(128, 64, 0) : i == 3 ? RGB(128, 128, 128) : RGB(64, 64, 64));
        EXPECT_EQ(strip.At(left + 0, 9), strip.At(left + 9, 0));
    }
    // The faces: grey while normal, darker when pushed, amber when the value differs, grey again
    // when disabled, and a circular arrow on each (dark; black on amber; pale when disabled).
    EXPECT_EQ(strip.At(9, 9), RGB(212, 208, 200));
    EXPECT_EQ(strip.At(4, 9), RGB(96, 96, 96));
    EXPECT_EQ(strip.At(18 + 9, 9), RGB(190, 186, 178));
    EXPECT_EQ(strip.At(18 + 5, 10), RGB(40, 40, 40)); // pushed: the arrow one pixel down and right
    EXPECT_EQ(strip.At(18 + 4, 9), RGB(190, 186, 178));
    EXPECT_EQ(strip.At(36 + 9, 9), RGB(255, 176, 48));
    EXPECT_EQ(strip.At(36 + 4, 9), RGB(0, 0, 0));
    EXPECT_EQ(strip.At(54 + 9, 9), RGB(212, 208, 200));
    EXPECT_EQ(strip.At(54 + 4, 9), RGB(160, 160, 160));
    // The arrow has a gap on its right, where its head is.
    EXPECT_EQ(strip.At(14, 11), RGB(212, 208, 200));
    int arrow = 0;
    for (int y = 2; y < 16; ++y)
        for (int x = 2; x < 16; ++x)
            arrow += strip.At(x, y) == RGB(96, 96, 96);
    EXPECT_GT(arrow, 20);
    EXPECT_LT(arrow, 80);
    // Images are 18 pixels wide: the last two columns are unused.
    for (int y = 0; y < 18; ++y) {
        EXPECT_EQ(strip.At(72, y), kMagenta);
        EXPECT_EQ(strip.At(73, y), kMagenta);
    }
}

TEST(Artwork, TheStillPictureShowsACameraCrossedOutOnAGrid)
{
    const Picture still = Load(207);
    ASSERT_EQ(still.width, 320);
    EXPECT_EQ(still.At(20, 1), RGB(16, 24, 48));    // the ground: dark blue at the top
    EXPECT_EQ(still.At(20, 239), RGB(40, 56, 96));  // lighter at the bottom
    EXPECT_EQ(still.At(40, 20), RGB(64, 80, 128));  // grid lines every 40 pixels
    EXPECT_EQ(still.At(20, 40), RGB(64, 80, 128));
    EXPECT_EQ(still.At(160, 120), RGB(208, 40, 40)); // the sign's bar through the centre
    EXPECT_EQ(still.At(88, 120), RGB(208, 40, 40));  // its ring
    EXPECT_EQ(still.At(232, 120), RGB(208, 40, 40));
    EXPECT_EQ(still.At(130, 135), RGB(200, 204, 212)); // the camera's body
    EXPECT_EQ(still.At(210, 120), RGB(200, 204, 212)); // its lens
    EXPECT_EQ(still.At(160, 84), RGB(200, 204, 212));  // a reel
    EXPECT_EQ(still.At(128, 84), RGB(208, 40, 40));    // the bar over the other
    EXPECT_NE(still.At(300, 210), still.At(300, 30));  // the ground's gradient
}

TEST(Artwork, TheColourStripsShowEachButtonsColourInAFramedCell)
{
    const Picture caption = Load(209);
    ASSERT_EQ(caption.width, 128);
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(caption.At(16 * i + 8, 5), kCaptionPalette[i]);
        EXPECT_EQ(caption.At(16 * i + 1, 1), kCaptionPalette[i]);
        EXPECT_EQ(caption.At(16 * i + 14, 8), kCaptionPalette[i]);
        EXPECT_EQ(caption.At(16 * i, 5), RGB(128, 128, 128));
        EXPECT_EQ(caption.At(16 * i + 8, 0), RGB(128, 128, 128));
        EXPECT_EQ(caption.At(16 * i + 8, 9), RGB(128, 128, 128));
    }
    const Picture text = Load(226);
    ASSERT_EQ(text.width, 112);
    for (int i = 0; i < 7; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(text.At(16 * i + 8, 5), kSignalLossPalette[i]);
        EXPECT_EQ(text.At(16 * i + 15, 5), RGB(128, 128, 128));
    }
}

// Where the scope plots a chroma pair with its default parameters.
POINT VectorPoint(double u, double v, bool mirrored)
{
    return POINT{static_cast<LONG>(u * 0.825 + 35), static_cast<LONG>(mirrored ? v * 1.25 - 20 : 300 - v * 1.25)};
}

struct Target {
    COLORREF colour;
    double u;
    double v;
};

// The 75 % bar colours' chroma (studio range, 601 weights), each with the hue it is drawn in.
std::vector<Target> BarTargets()
{
    std::vector<Target> targets;
    for (auto [r, g, b] : {std::tuple{1, 1, 0}, {0, 1, 1}, {0, 1, 0}, {1, 0, 1}, {1, 0, 0}, {0, 0, 1}}) {
        const double R = 0.749 * r, G = 0.749 * g, B = 0.749 * b;
        targets.push_back({RGB(255 * r, 255 * g, 255 * b), 128 - 37.797 * R - 74.203 * G + 112.0 * B,
                           128 + 112.0 * R - 93.786 * G - 18.214 * B});
    }
    return targets;
}

TEST(Artwork, TheVectorGraticulesBoxTheBarColoursWhereTheScopePlotsThem)
{
    for (int id : {229, 239}) {
        SCOPED_TRACE(id);
        const Picture scope = Load(id);
        ASSERT_EQ(scope.width, 280);
        const COLORREF ground = scope.At(5, 5);
        EXPECT_EQ(ground, RGB(8, 16, 8));
        EXPECT_EQ(scope.At(140, 140), RGB(112, 192, 112)); // the centre: U = V = 128
        EXPECT_EQ(scope.At(136, 140), RGB(112, 192, 112));
        EXPECT_EQ(scope.At(140, 136), RGB(112, 192, 112));
        for (const Target& t : BarTargets()) {
            const POINT p = VectorPoint(t.u, t.v, false);
            SCOPED_TRACE(testing::Message() << "target at " << p.x << "," << p.y);
            EXPECT_EQ(scope.At(p.x + 5, p.y), t.colour);
            EXPECT_EQ(scope.At(p.x - 5, p.y + 3), t.colour);
            EXPECT_EQ(scope.At(p.x, p.y - 5), t.colour);
            EXPECT_EQ(scope.At(p.x, p.y), ground);
            // The two-line layout's second line plots V mirrored: its graticule boxes those
            // points too, dimmer; the single-line one leaves them alone.
            const POINT m = VectorPoint(t.u, t.v, true);
            if (id == 239) {
                EXPECT_NE(scope.At(m.x + 5, m.y), ground);
                EXPECT_NE(scope.At(m.x + 5, m.y), t.colour);
                EXPECT_EQ(scope.At(m.x + 5, m.y), scope.At(m.x - 5, m.y));
            } else {
                const COLORREF edge = scope.At(m.x + 5, m.y);
                EXPECT_FALSE(edge != ground && edge == scope.At(m.x - 5, m.y) && edge == scope.At(m.x, m.y - 5) &&
                             edge == scope.At(m.x, m.y + 5));
            }
        }
        // The outer ring passes through the end of the chroma range on the U axis, where a tick
        // of the axis crosses it.
        const POINT left = VectorPoint(16, 128, false);
        EXPECT_EQ(scope.At(left.x, left.y - 10), RGB(112, 192, 112));
        EXPECT_EQ(scope.At(left.x, left.y + 10), RGB(112, 192, 112));
        EXPECT_EQ(scope.At(left.x, left.y - 2), RGB(56, 112, 56));
        EXPECT_EQ(scope.At(left.x - 1, left.y - 10), ground);
    }
    // 239 adds colours (the dim targets) to those of 229.
    EXPECT_GT(Load(239).Colours().size(), Load(229).Colours().size());
}

TEST(Artwork, TheLumaGraticuleMarksTheLevelsWhereTheScopePlotsThem)
{
    const Picture luma = Load(240);
    ASSERT_EQ(luma.width, 280);
    const COLORREF major = RGB(112, 192, 112), minor = RGB(56, 112, 56), ground = RGB(8, 16, 8);
    auto row = [](double level) { return static_cast<int>(197 - (level - 16) / 219 * 162); };
    EXPECT_EQ(row(16), 197);
    EXPECT_EQ(row(235), 35);
    for (int x : {31, 100, 241}) {
        EXPECT_EQ(luma.At(x, row(16)), major);    // black
        EXPECT_EQ(luma.At(x, row(125.5)), major); // 50 %
        EXPECT_EQ(luma.At(x, row(235)), major);   // white
    }
    EXPECT_EQ(luma.At(100, row(16 + 21.9)), minor); // 10 %
    EXPECT_EQ(luma.At(100, 100), ground);
    EXPECT_EQ(luma.At(243, row(16)), ground); // the levels end with the line's last pixel
    EXPECT_EQ(luma.At(30, 60), minor);        // its first pixel, solid
    EXPECT_EQ(luma.At(136, 60), minor);       // its middle, dotted
    EXPECT_EQ(luma.At(136, 61), ground);
    // The ramp at the left is each level's own grey.
    EXPECT_EQ(luma.At(14, 197), RGB(0, 0, 0));
    EXPECT_EQ(luma.At(14, 35), RGB(255, 255, 255));
    EXPECT_EQ(luma.At(14, 116), RGB(128, 128, 128));
    EXPECT_EQ(luma.At(14, 34), ground);
}

TEST(Artwork, TheLossOfSignalPicturesAreTheBarsAndTheFlatColoursOfThePagesPalette)
{
    const Picture bars = Load(230);
    ASSERT_EQ(bars.width, 32);
    for (int i = 0; i < 8; ++i)
        for (int y : {0, 12, 23}) {
            EXPECT_EQ(bars.At(4 * i, y), kSignalLossPalette[i]) << i;
            EXPECT_EQ(bars.At(4 * i + 3, y), kSignalLossPalette[i]) << i;
        }
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(231 + i);
        const Picture flat = Load(231 + i);
        ASSERT_EQ(flat.width, 32);
        EXPECT_EQ(flat.Colours(), std::set<COLORREF>{kSignalLossPalette[i]});
    }
}

} // namespace
