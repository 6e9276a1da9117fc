// Image lists, icons and images drawn disabled.
#include "GdiTestSupport.h"
#include "um/commctrl.h"

using namespace gditest;

namespace {

TEST(ImageLists, AMagentaMaskedStripGivesFourImagesDrawnThroughTheMask)
{
    HIMAGELIST list = ImageList_Create(18, 18, ILC_COLOR24 | ILC_MASK, 4, 1);
    ASSERT_NE(list, nullptr);
    HBITMAP strip = LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(2));
    ASSERT_NE(strip, nullptr);
    EXPECT_EQ(ImageList_AddMasked(list, strip, RGB(255, 0, 255)), 0);
    EXPECT_EQ(ImageList_GetImageCount(list), 4);
    int cx = 0, cy = 0;
    EXPECT_TRUE(ImageList_GetIconSize(list, &cx, &cy));
    EXPECT_EQ(cx, 18);
    EXPECT_EQ(cy, 18);

    Surface canvas(30, 30, 32, RGB(0, 128, 0));
    EXPECT_TRUE(ImageList_Draw(list, 2, canvas.dc, 5, 5, ILD_TRANSPARENT));
    int square = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 30; ++x) {
            const bool inSquare = x >= 11 && x < 17 && y >= 11 && y < 17;
            const COLORREF got = GetPixel(canvas.dc, x, y);
            if (inSquare) {
                EXPECT_EQ(got, RGB(80, 100, 175)) << x << "," << y;
                ++square;
            } else {
                EXPECT_EQ(got, RGB(0, 128, 0)) << x << "," << y; // where the strip is magenta
            }
        }
    EXPECT_EQ(square, 36);
    // ILD_NORMAL with the list's background colour (none) is transparent too; a given background
    // colour fills the masked part.
    EXPECT_TRUE(ImageList_Draw(list, 0, canvas.dc, 0, 0, ILD_NORMAL));
    EXPECT_EQ(GetPixel(canvas.dc, 0, 0), RGB(0, 128, 0));
    EXPECT_EQ(GetPixel(canvas.dc, 6, 6), RGB(0, 100, 255));
    EXPECT_TRUE(ImageList_DrawEx(list, 3, canvas.dc, 0, 0, 0, 0, RGB(1, 2, 3), CLR_DEFAULT, ILD_NORMAL));
    EXPECT_EQ(GetPixel(canvas.dc, 0, 0), RGB(1, 2, 3));
    EXPECT_EQ(GetPixel(canvas.dc, 6, 6), RGB(120, 100, 135));
    // Part of an image.
    EXPECT_TRUE(ImageList_DrawEx(list, 1, canvas.dc, 20, 20, 8, 8, RGB(9, 9, 9), CLR_DEFAULT, ILD_NORMAL));
    EXPECT_EQ(GetPixel(canvas.dc, 27, 27), RGB(40, 100, 215));
    EXPECT_EQ(GetPixel(canvas.dc, 28, 28), RGB(0, 128, 0));
    EXPECT_FALSE(ImageList_Draw(list, 4, canvas.dc, 0, 0, ILD_NORMAL));
    EXPECT_FALSE(ImageList_Draw(list, -1, canvas.dc, 0, 0, ILD_NORMAL));

    // Added again with a mask bitmap: white is transparent.
    HBITMAP mask = CreateBitmap(36, 18, 1, 1, nullptr);
    {
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(dc, mask);
        PatBlt(dc, 0, 0, 36, 18, WHITENESS);
        PatBlt(dc, 18, 0, 1, 1, BLACKNESS);
        SelectObject(dc, old);
        DeleteDC(dc);
    }
    HBITMAP two = CreateBitmap(36, 18, 1, 32, nullptr);
    EXPECT_EQ(ImageList_Add(list, two, mask), 4);
    EXPECT_EQ(ImageList_GetImageCount(list), 6);
    Surface other(18, 18, 32, RGB(7, 7, 7));
    EXPECT_TRUE(ImageList_Draw(list, 5, other.dc, 0, 0, ILD_TRANSPARENT));
    EXPECT_EQ(GetPixel(other.dc, 0, 0), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(other.dc, 1, 0), RGB(7, 7, 7));
    // Narrower than one image: nothing added.
    HBITMAP narrow = CreateBitmap(17, 18, 1, 32, nullptr);
    EXPECT_EQ(ImageList_Add(list, narrow, nullptr), -1);
    DeleteObject(narrow);
    DeleteObject(two);
    DeleteObject(mask);
    DeleteObject(strip);
    EXPECT_TRUE(ImageList_Destroy(list));
    EXPECT_FALSE(ImageList_Destroy(list));
    EXPECT_EQ(ImageList_GetImageCount(list), 0);
    EXPECT_TRUE(Rules().empty());
}

TEST(ImageLists, IconsAndDisabledImagesAreEmbossed)
{
    HIMAGELIST list = ImageList_Create(18, 18, ILC_COLOR32 | ILC_MASK, 4, 4);
    HBITMAP strip = LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(2));
    ImageList_AddMasked(list, strip, RGB(255, 0, 255));
    HICON icon = ImageList_GetIcon(list, 1, ILD_NORMAL);
    ASSERT_NE(icon, nullptr);

    Surface canvas(20, 20, 32, RGB(0, 128, 0));
    EXPECT_TRUE(DrawIconEx(canvas.dc, 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL));
    EXPECT_EQ(GetPixel(canvas.dc, 0, 0), RGB(0, 128, 0));
    EXPECT_EQ(GetPixel(canvas.dc, 6, 6), RGB(40, 100, 215));
    // The DC's colours are its own again.
    EXPECT_EQ(GetTextColor(canvas.dc), RGB(0, 0, 0));

    // Disabled: the shape in the highlight one pixel down and right, then in the shadow.
    Surface disabled(20, 20, 32, RGB(0, 128, 0));
    EXPECT_TRUE(DrawStateA(disabled.dc, nullptr, nullptr, reinterpret_cast<LPARAM>(icon), 0, 0, 0, 0, 0,
                           DST_ICON | DSS_DISABLED));
    EXPECT_EQ(GetPixel(disabled.dc, 6, 6), GetSysColor(COLOR_3DSHADOW));
    EXPECT_EQ(GetPixel(disabled.dc, 11, 11), GetSysColor(COLOR_3DSHADOW));
    EXPECT_EQ(GetPixel(disabled.dc, 12, 12), GetSysColor(COLOR_3DHILIGHT));
    EXPECT_EQ(GetPixel(disabled.dc, 12, 7), GetSysColor(COLOR_3DHILIGHT));
    EXPECT_EQ(GetPixel(disabled.dc, 5, 5), RGB(0, 128, 0));
    EXPECT_EQ(GetPixel(disabled.dc, 13, 13), RGB(0, 128, 0));
    // Normal: the icon as DrawIconEx draws it.
    Surface normal(20, 20, 32, RGB(0, 128, 0));
    EXPECT_TRUE(DrawStateW(normal.dc, nullptr, nullptr, reinterpret_cast<LPARAM>(icon), 0, 1, 1, 0, 0,
                           DST_ICON | DSS_NORMAL));
    EXPECT_EQ(GetPixel(normal.dc, 7, 7), RGB(40, 100, 215));
    EXPECT_EQ(GetPixel(normal.dc, 6, 6), RGB(0, 128, 0));
    // A bitmap drawn disabled: what is not white is its shape.
    HBITMAP bitmap = CreateBitmap(4, 4, 1, 32, nullptr); // black
    Surface fromBitmap(8, 8, 32, RGB(0, 128, 0));
    EXPECT_TRUE(DrawStateA(fromBitmap.dc, nullptr, nullptr, reinterpret_cast<LPARAM>(bitmap), 0, 2, 2, 0, 0,
                           DST_BITMAP | DSS_DISABLED));
    EXPECT_EQ(GetPixel(fromBitmap.dc, 2, 2), GetSysColor(COLOR_3DSHADOW));
    EXPECT_EQ(GetPixel(fromBitmap.dc, 6, 6), GetSysColor(COLOR_3DHILIGHT));
    EXPECT_TRUE(DrawStateA(fromBitmap.dc, nullptr, nullptr, reinterpret_cast<LPARAM>(bitmap), 0, 0, 0, 0, 0,
                           DST_BITMAP | DSS_NORMAL));
    EXPECT_EQ(GetPixel(fromBitmap.dc, 0, 0), RGB(0, 0, 0));
    DeleteObject(bitmap);

    EXPECT_TRUE(DestroyIcon(icon));
    EXPECT_FALSE(DestroyIcon(icon));
    EXPECT_FALSE(DrawIconEx(canvas.dc, 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL));
    DeleteObject(strip);
    ImageList_Destroy(list);
    EXPECT_TRUE(Rules().empty());
}

} // namespace
