// A contact sheet of the page library's artwork for people to look at: every bitmap as a page
// loads it (the small ones enlarged three times), each under its id, and the built-in glyphs of
// the four size classes enlarged twice, each in its black box. Written as contact.png into the
// build tree's pictures/artwork/ folder; the test checks that the sheet holds what it copied.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "ArtworkTestSupport.h"
#include "BuiltinGlyphs.h"
#include "standin/pictures.h"

using namespace artworktest;

namespace {

constexpr int kSheetWidth = 1240;
constexpr int kSheetHeight = 890;
constexpr COLORREF kSheetGround = RGB(200, 200, 200);
constexpr COLORREF kGlyphGround = RGB(255, 255, 255);
constexpr COLORREF kGlyphInk = RGB(0, 0, 0);
constexpr int kLabel = 16; // height of the line of text above each picture

class Sheet {
public:
    Sheet()
    {
        screen_ = GetDC(nullptr);
        dc_ = CreateCompatibleDC(screen_);
        source_ = CreateCompatibleDC(screen_);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = kSheetWidth;
        info.bmiHeader.biHeight = -kSheetHeight; // rows top first
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        section_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        bits_ = static_cast<BYTE*>(bits);
        oldBitmap_ = SelectObject(dc_, section_);
        font_ = CreateFontA(-12, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, "Arial");
        oldFont_ = SelectObject(dc_, font_);
        SetBkMode(dc_, TRANSPARENT);
        SetTextColor(dc_, RGB(0, 0, 0));
        HBRUSH ground = CreateSolidBrush(kSheetGround);
        const RECT all{0, 0, kSheetWidth, kSheetHeight};
        FillRect(dc_, &all, ground);
        DeleteObject(ground);
    }
    ~Sheet()
    {
        SelectObject(dc_, oldFont_);
        SelectObject(dc_, oldBitmap_);
        DeleteObject(font_);
        DeleteObject(section_);
        DeleteDC(source_);
        DeleteDC(dc_);
        ReleaseDC(nullptr, screen_);
    }
    bool Ready() const { return bits_ != nullptr; }

    void Label(int x, int y, const std::string& text) { TextOutA(dc_, x, y, text.c_str(), static_cast<int>(text.size())); }

    // Bitmap `id` under its label at (x, y), `scale` times its size; its width on the sheet.
    int Bitmap(int id, int x, int y, int scale)
    {
        Label(x, y, std::to_string(id));
        HBITMAP bitmap = LoadBitmapA(Module(), MAKEINTRESOURCEA(id));
        if (!bitmap)
            return 0;
        BITMAP bm{};
        GetObjectA(bitmap, sizeof bm, &bm);
        HGDIOBJ old = SelectObject(source_, bitmap);
        StretchBlt(dc_, x, y + kLabel, bm.bmWidth * scale, bm.bmHeight * scale, source_, 0, 0, bm.bmWidth, bm.bmHeight,
                   SRCCOPY);
        SelectObject(source_, old);
        DeleteObject(bitmap);
        return bm.bmWidth * scale;
    }

    void Set(int x, int y, COLORREF c)
    {
        if (x < 0 || y < 0 || x >= kSheetWidth || y >= kSheetHeight)
            return;
        BYTE* p = bits_ + (static_cast<size_t>(y) * kSheetWidth + x) * 4;
        p[0] = GetBValue(c);
        p[1] = GetGValue(c);
        p[2] = GetRValue(c);
        p[3] = 0;
    }
    COLORREF At(int x, int y) const
    {
        const BYTE* p = bits_ + (static_cast<size_t>(y) * kSheetWidth + x) * 4;
        return RGB(p[2], p[1], p[0]);
    }

    // A glyph twice its size at (x, y), ink on white over its black box; its width on the sheet.
    int Glyph(const builtinglyphs::BuiltinGlyph& g, int x, int y)
    {
        const uint32_t rowBytes = glyphfile::RowBytes(g.width);
        for (uint32_t gy = 0; gy < g.height; ++gy)
            for (uint32_t gx = 0; gx < g.width; ++gx) {
                const bool ink = g.bits[gy * rowBytes + gx / 8] & (0x80u >> (gx % 8));
                for (int d = 0; d < 4; ++d)
                    Set(x + 2 * static_cast<int>(gx) + d % 2, y + 2 * static_cast<int>(gy) + d / 2,
                        ink ? kGlyphInk : kGlyphGround);
            }
        return 2 * static_cast<int>(g.width);
    }

    standin::WindowPixels Pixels() const
    {
        standin::WindowPixels picture;
        picture.width = kSheetWidth;
        picture.height = kSheetHeight;
        for (int y = 0; y < kSheetHeight; ++y)
            for (int x = 0; x < kSheetWidth; ++x)
                picture.pixels.push_back(At(x, y));
        return picture;
    }

private:
    HDC screen_ = nullptr;
    HDC dc_ = nullptr;
    HDC source_ = nullptr;
    HBITMAP section_ = nullptr;
    HGDIOBJ oldBitmap_ = nullptr;
    HFONT font_ = nullptr;
    HGDIOBJ oldFont_ = nullptr;
    BYTE* bits_ = nullptr;
};

TEST(ArtworkContactSheet, ShowsEveryBitmapAndEveryBuiltInGlyph)
{
    Sheet sheet;
    ASSERT_TRUE(sheet.Ready());
    // The large pictures at their size.
    int x = 10, y = 10;
    for (int id : {207, 229, 239, 240})
        x += sheet.Bitmap(id, x, y, 1) + 10;
    EXPECT_EQ(sheet.At(10 + 160, 10 + kLabel + 120), RGB(208, 40, 40)); // the still picture's sign
    EXPECT_EQ(sheet.At(340 + 140, 10 + kLabel + 140), RGB(112, 192, 112)); // a graticule's centre
    // The strips, three times their size.
    x = 10;
    y = 10 + kLabel + 280 + 10;
    const int strips = y;
    for (int id : {206, 209, 226})
        x += sheet.Bitmap(id, x, y, 3) + 20;
    EXPECT_EQ(sheet.At(10, strips + kLabel), RGB(255, 0, 255));            // the button strip's mask
    EXPECT_EQ(sheet.At(10 + 3 * (36 + 9), strips + kLabel + 27), RGB(255, 176, 48)); // its image 2
    // The loss-of-signal pictures, three times their size.
    x = 10;
    y += kLabel + 54 + 10;
    const int pictures = y;
    for (int id = 230; id <= 238; ++id)
        x += sheet.Bitmap(id, x, y, 3) + 10;
    EXPECT_EQ(sheet.At(10 + 106 * 6 + 48, pictures + kLabel + 36), RGB(0xBD, 0x01, 0x00)); // 236, red
    // The glyphs, one row a size class, each in a white box of its black box.
    y += kLabel + 72 + 10;
    for (unsigned c = 0; c < builtinglyphs::kSizeClasses; ++c) {
        sheet.Label(10, y, "size class " + std::to_string(c) + ", codes 0 to 18");
        x = 10;
        uint32_t tallest = 0;
        for (unsigned code = 0; code < builtinglyphs::kCodes; ++code) {
            const builtinglyphs::BuiltinGlyph& g = builtinglyphs::kBuiltinGlyphs[c][code];
            x += sheet.Glyph(g, x, y + kLabel) + 8;
            tallest = std::max(tallest, g.height);
        }
        EXPECT_LE(x, kSheetWidth);
        y += kLabel + 2 * static_cast<int>(tallest) + 10;
    }
    EXPECT_LE(y, kSheetHeight);
    // The first glyph of class 0 (the pound sign) has its ink along its bottom row.
    const int glyphs = pictures + kLabel + 72 + 10 + kLabel;
    EXPECT_EQ(sheet.At(10 + 2, glyphs + 2 * 8), kGlyphInk);
    EXPECT_EQ(sheet.At(10, glyphs), kGlyphGround);

    const std::filesystem::path folder = ARTWORK_PICTURES;
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "contact.png").string();
    std::filesystem::remove(path);
    ASSERT_TRUE(standin::SavePixelsPng(sheet.Pixels(), path));
    std::ifstream png(path, std::ios::binary);
    char signature[8] = {};
    png.read(signature, sizeof signature);
    EXPECT_EQ(std::string(signature, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    std::printf("contact sheet: %s\n", path.c_str());
}

} // namespace
