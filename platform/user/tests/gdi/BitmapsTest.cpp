// Bitmaps: compatible bitmaps and the screen's depth, bounded bits, device-independent sections of
// every depth, the DIB conversions, resource bitmaps and BMP files of every format.
#include "GdiTestSupport.h"
#include "standin/pictures.h"

using namespace gditest;

namespace {

struct ScreenDepth {
    explicit ScreenDepth(int bits) { standin::SetScreenDepth(bits); }
    ~ScreenDepth() { standin::SetScreenDepth(32); }
};

TEST(Bitmaps, CompatibleBitmapsFollowTheScreensDepthAndBitsStayInside)
{
    HDC screen = GetDC(nullptr);
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL), 32);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 320, 240);
    BITMAP bm{};
    ASSERT_EQ(GetObjectA(bitmap, sizeof bm, &bm), static_cast<int>(sizeof bm));
    EXPECT_EQ(bm.bmBitsPixel, 32);
    EXPECT_EQ(bm.bmWidthBytes, 1280);
    EXPECT_EQ(bm.bmPlanes, 1);
    EXPECT_EQ(bm.bmBits, nullptr);
    // 400,000 bytes offered: the bitmap's 307,200 are taken, and given back.
    std::vector<BYTE> frame(400000);
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = static_cast<BYTE>(i * 7 + 3);
    EXPECT_EQ(SetBitmapBits(bitmap, static_cast<DWORD>(frame.size()), frame.data()), 307200);
    std::vector<BYTE> back(400000, 0xEE);
    EXPECT_EQ(GetBitmapBits(bitmap, static_cast<LONG>(back.size()), back.data()), 307200);
    EXPECT_TRUE(std::equal(back.begin(), back.begin() + 307200, frame.begin()));
    EXPECT_EQ(back[307200], 0xEE);
    EXPECT_TRUE(DeleteObject(bitmap));

    {
        ScreenDepth sixteen(16);
        EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL), 16);
        HBITMAP shallow = CreateCompatibleBitmap(screen, 10, 3);
        ASSERT_EQ(GetObjectA(shallow, sizeof bm, &bm), static_cast<int>(sizeof bm));
        EXPECT_EQ(bm.bmBitsPixel, 16);
        EXPECT_EQ(bm.bmWidthBytes, 20);
        // 5-6-5: pure green is 0x07E0.
        HDC memory = CreateCompatibleDC(screen);
        HGDIOBJ old = SelectObject(memory, shallow);
        EXPECT_EQ(SetPixel(memory, 1, 0, RGB(0, 255, 0)), RGB(0, 255, 0));
        BYTE bits[60] = {};
        EXPECT_EQ(GetBitmapBits(shallow, sizeof bits, bits), 60);
        EXPECT_EQ(bits[2], 0xE0);
        EXPECT_EQ(bits[3], 0x07);
        SelectObject(memory, old);
        DeleteDC(memory);
        DeleteObject(shallow);
        EXPECT_FALSE(standin::SetScreenDepth(24));
    }
    EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL), 32);
    EXPECT_EQ(GetDeviceCaps(screen, PLANES), 1);
    EXPECT_EQ(GetDeviceCaps(screen, HORZRES), 1920);
    EXPECT_EQ(GetDeviceCaps(screen, VERTRES), 1080);
    EXPECT_EQ(GetDeviceCaps(screen, LOGPIXELSX), 96);
    EXPECT_EQ(GetDeviceCaps(screen, LOGPIXELSY), 96);
    EXPECT_EQ(GetDeviceCaps(screen, NUMCOLORS), -1);
    EXPECT_EQ(GetDeviceCaps(screen, TECHNOLOGY), DT_RASDISPLAY);
    EXPECT_NE(GetDeviceCaps(screen, RASTERCAPS) & RC_BITBLT, 0);
    EXPECT_NE(GetDeviceCaps(screen, RASTERCAPS) & RC_STRETCHBLT, 0);

    // A memory DC's first bitmap is monochrome, and so are the bitmaps compatible with it.
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP mono = CreateCompatibleBitmap(memory, 17, 2);
    ASSERT_EQ(GetObjectA(mono, sizeof bm, &bm), static_cast<int>(sizeof bm));
    EXPECT_EQ(bm.bmBitsPixel, 1);
    EXPECT_EQ(bm.bmWidthBytes, 4);
    DeleteObject(mono);
    DeleteDC(memory);
    EXPECT_EQ(ReleaseDC(nullptr, screen), 1);
    EXPECT_TRUE(Rules().empty());
}

TEST(Bitmaps, SectionsOfEveryDepthLayTheirRowsOutAsTheHeaderSays)
{
    HDC dc = CreateCompatibleDC(nullptr);
    struct Case {
        WORD bits;
        LONG height;
        size_t rowBytes;
    };
    for (const Case c : {Case{1, 3, 4}, Case{4, 3, 4}, Case{8, 3, 8}, Case{16, 3, 12}, Case{24, -3, 16},
                         Case{32, -3, 20}, Case{32, 3, 20}}) {
        SCOPED_TRACE(c.bits);
        std::vector<BYTE> info(sizeof(BITMAPINFOHEADER) + 256 * 4, 0);
        auto* bmi = reinterpret_cast<BITMAPINFO*>(info.data());
        bmi->bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), 5, c.height, 1, c.bits, BI_RGB, 0, 0, 0, 0, 0};
        if (c.bits <= 8) {
            bmi->bmiHeader.biClrUsed = 2;
            bmi->bmiColors[0] = RGBQUAD{0, 0, 0, 0};
            (&bmi->bmiColors[0])[1] = RGBQUAD{30, 20, 10, 0};
        }
        void* bits = nullptr;
        HBITMAP section = CreateDIBSection(dc, bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
        ASSERT_NE(section, nullptr);
        ASSERT_NE(bits, nullptr);
        DIBSECTION ds{};
        ASSERT_EQ(GetObjectA(section, sizeof ds, &ds), static_cast<int>(sizeof ds));
        EXPECT_EQ(ds.dsBm.bmBits, bits);
        EXPECT_EQ(ds.dsBm.bmWidthBytes, static_cast<LONG>(c.rowBytes));
        EXPECT_EQ(ds.dsBmih.biHeight, c.height);
        BITMAP bm{};
        EXPECT_EQ(GetObjectA(section, sizeof bm, &bm), static_cast<int>(sizeof bm));
        HGDIOBJ old = SelectObject(dc, section);
        const COLORREF color = c.bits <= 8 ? RGB(10, 20, 30) : RGB(8, 16, 255);
        EXPECT_EQ(SetPixel(dc, 4, 0, color), color);
        EXPECT_EQ(GetPixel(dc, 4, 0), color);
        // Row 0 is the last in memory for a bottom-up section.
        const size_t row = c.height > 0 ? 2 : 0;
        const BYTE* p = static_cast<const BYTE*>(bits) + row * c.rowBytes;
        switch (c.bits) {
        case 1: EXPECT_EQ(p[0], 0x08); break;
        case 4: EXPECT_EQ(p[2], 0x10); break;
        case 8: EXPECT_EQ(p[4], 1); break;
        case 16: EXPECT_EQ(p[8] | (p[9] << 8), (1 << 10) | (2 << 5) | 31); break;
        case 24: EXPECT_EQ(p[12], 255); EXPECT_EQ(p[13], 16); EXPECT_EQ(p[14], 8); break;
        default: EXPECT_EQ(p[16], 255); EXPECT_EQ(p[17], 16); EXPECT_EQ(p[18], 8); break;
        }
        SelectObject(dc, old);
        DeleteObject(section);
    }
    // What no section can be: fails without a handle.
    BITMAPINFO bad{};
    bad.bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), 5, 5, 1, 12, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = reinterpret_cast<void*>(1);
    EXPECT_EQ(CreateDIBSection(dc, &bad, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
    EXPECT_EQ(bits, nullptr);
    bad.bmiHeader.biBitCount = 24;
    bad.bmiHeader.biCompression = BI_RLE8;
    EXPECT_EQ(CreateDIBSection(dc, &bad, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
    DeleteDC(dc);
    EXPECT_TRUE(Rules().empty());
}

TEST(Bitmaps, DibBitsGoBothWaysWithScanLinesFromTheBottom)
{
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 3, 4);
    // Describe the bitmap.
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    EXPECT_NE(GetDIBits(screen, bitmap, 0, 0, nullptr, &info, DIB_RGB_COLORS), 0);
    EXPECT_EQ(info.bmiHeader.biWidth, 3);
    EXPECT_EQ(info.bmiHeader.biHeight, 4);
    EXPECT_EQ(info.bmiHeader.biBitCount, 32);
    EXPECT_EQ(info.bmiHeader.biSizeImage, 48u);
    // 24-bit bottom-up rows in: line 0 is the bitmap's bottom row.
    info.bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), 3, 4, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<BYTE> rows(12 * 4, 0);
    for (int line = 0; line < 4; ++line)
        for (int x = 0; x < 3; ++x) {
            rows[line * 12 + 3 * x] = static_cast<BYTE>(line * 10 + x); // blue
            rows[line * 12 + 3 * x + 2] = 200;                          // red
        }
    EXPECT_EQ(SetDIBits(screen, bitmap, 0, 4, rows.data(), &info, DIB_RGB_COLORS), 4);
    EXPECT_EQ(PixelBytes(bitmap, 2, 3), (std::vector<BYTE>{2, 0, 200, 0}));
    EXPECT_EQ(PixelBytes(bitmap, 1, 0), (std::vector<BYTE>{31, 0, 200, 0}));
    // Two lines out from line 1, top-down 32 bits.
    info.bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), 3, -4, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<BYTE> out(12 * 2, 0xEE);
    EXPECT_EQ(GetDIBits(screen, bitmap, 1, 2, out.data(), &info, DIB_RGB_COLORS), 2);
    // Top-down: line 1 is the second row from the top, which bottom-up line 2 wrote.
    EXPECT_EQ(out[0], 20);
    EXPECT_EQ(out[12], 10);
    // Starting past the end gives nothing.
    EXPECT_EQ(GetDIBits(screen, bitmap, 9, 2, out.data(), &info, DIB_RGB_COLORS), 0);
    // 8 bits out: a colour table comes with them.
    std::vector<BYTE> big(sizeof(BITMAPINFOHEADER) + 256 * 4, 0);
    auto* bmi8 = reinterpret_cast<BITMAPINFO*>(big.data());
    bmi8->bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), 3, 4, 1, 8, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<BYTE> indices(16, 0);
    EXPECT_EQ(GetDIBits(screen, bitmap, 0, 4, indices.data(), bmi8, DIB_RGB_COLORS), 4);
    const RGBQUAD& first = (&bmi8->bmiColors[0])[indices[0]];
    EXPECT_GT(first.rgbRed, 150);
    DeleteObject(bitmap);
    ReleaseDC(nullptr, screen);
    EXPECT_TRUE(Rules().empty());
}

TEST(Bitmaps, AnEightBitResourceBitmapBlitsItsTableColours)
{
    HDC screen = GetDC(nullptr);
    HDC source = CreateCompatibleDC(screen);
    HDC target = CreateCompatibleDC(screen);
    HBITMAP loaded = LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(1));
    ASSERT_NE(loaded, nullptr);
    BITMAP bm{};
    GetObjectA(loaded, sizeof bm, &bm);
    EXPECT_EQ(bm.bmWidth, 8);
    EXPECT_EQ(bm.bmHeight, 4);
    EXPECT_EQ(bm.bmBitsPixel, 32); // the screen's format
    // Kept in its own format as a section, the bitmap holds index 5 where x + y is even.
    HBITMAP section = static_cast<HBITMAP>(
        LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(1), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    ASSERT_NE(section, nullptr);
    DIBSECTION ds{};
    ASSERT_EQ(GetObjectA(section, sizeof ds, &ds), static_cast<int>(sizeof ds));
    EXPECT_EQ(ds.dsBm.bmBitsPixel, 8);
    EXPECT_EQ(static_cast<const BYTE*>(ds.dsBm.bmBits)[3 * 8 + 0], 5); // top row, bottom-up
    HBITMAP canvas = CreateCompatibleBitmap(screen, 8, 4);
    HGDIOBJ oldTarget = SelectObject(target, canvas);
    for (HBITMAP from : {loaded, section}) {
        HGDIOBJ oldSource = SelectObject(source, from);
        EXPECT_TRUE(BitBlt(target, 0, 0, 8, 4, source, 0, 0, SRCCOPY));
        SelectObject(source, oldSource);
        EXPECT_EQ(PixelBytes(canvas, 0, 0), (std::vector<BYTE>{30, 20, 10, 0}));
        EXPECT_EQ(PixelBytes(canvas, 3, 2), (std::vector<BYTE>{0, 0, 200, 0}));
        EXPECT_EQ(PixelBytes(canvas, 7, 3), (std::vector<BYTE>{30, 20, 10, 0}));
    }
    // Not there: NULL.
    EXPECT_EQ(LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(77)), nullptr);
    EXPECT_EQ(LoadBitmapW(GetModuleHandleW(nullptr), u"NOSUCH"), nullptr);
    SelectObject(target, oldTarget);
    DeleteObject(canvas);
    DeleteObject(section);
    DeleteObject(loaded);
    DeleteDC(source);
    DeleteDC(target);
    ReleaseDC(nullptr, screen);
    EXPECT_TRUE(Rules().empty());
}

using BmpFiles = MachineTest;

TEST_F(BmpFiles, EveryDepthAndLayoutLoadsAsTheSameColours)
{
    auto colour = [](int x, int y) { return RGB(x * 40, y * 80, 255 - x * 40); };
    std::vector<RGBQUAD> palette16;
    for (int i = 0; i < 16; ++i)
        palette16.push_back(RGBQUAD{static_cast<BYTE>(255 - (i % 4) * 40), static_cast<BYTE>((i / 4) * 80),
                                    static_cast<BYTE>((i % 4) * 40), 0});
    std::vector<BmpSpec> specs;
    specs.push_back({4, 3, 24, false, false, {}, colour});
    specs.push_back({4, 3, 24, true, false, {}, colour});
    specs.push_back({4, 3, 32, false, false, {}, colour});
    specs.push_back({4, 3, 32, false, true, {}, colour});
    specs.push_back({4, 3, 16, false, false, {}, colour});
    specs.push_back({4, 3, 16, true, true, {}, colour});
    specs.push_back({4, 3, 8, false, false, palette16, [](int x, int y) { return static_cast<uint32_t>(y * 4 + x); }});
    specs.push_back({4, 3, 4, true, false, palette16, [](int x, int y) { return static_cast<uint32_t>(y * 4 + x); }});
    specs.push_back({4, 3, 1, false, false, {RGBQUAD{255, 0, 0, 0}, RGBQUAD{0, 255, 255, 0}},
                     [](int x, int y) { return static_cast<uint32_t>((x + y) & 1); }});
    HDC dc = CreateCompatibleDC(nullptr);
    for (size_t i = 0; i < specs.size(); ++i) {
        const BmpSpec& spec = specs[i];
        SCOPED_TRACE(testing::Message() << spec.bits << " bits, case " << i);
        WriteMachineFile("C:\\image.bmp", MakeBmp(spec));
        HBITMAP bitmap = static_cast<HBITMAP>(LoadImageA(nullptr, "C:\\image.bmp", IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
        ASSERT_NE(bitmap, nullptr);
        HGDIOBJ old = SelectObject(dc, bitmap);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x) {
                COLORREF want;
                if (spec.bits == 1)
                    want = ((x + y) & 1) ? RGB(255, 255, 0) : RGB(0, 0, 255);
                else if (spec.bits <= 8)
                    want = RGB(x * 40, y * 80, 255 - x * 40);
                else
                    want = colour(x, y);
                const COLORREF got = GetPixel(dc, x, y);
                const int tolerance = spec.bits == 16 ? 8 : 0;
                EXPECT_NEAR(GetRValue(got), GetRValue(want), tolerance) << x << "," << y;
                EXPECT_NEAR(GetGValue(got), GetGValue(want), tolerance) << x << "," << y;
                EXPECT_NEAR(GetBValue(got), GetBValue(want), tolerance) << x << "," << y;
            }
        SelectObject(dc, old);
        DeleteObject(bitmap);
    }
    DeleteDC(dc);
    EXPECT_TRUE(Rules().empty());
}

TEST_F(BmpFiles, TheLogoFileLoadsAtItsSizeOrStretchedAndAnythingElseGivesNull)
{
    BmpSpec logo{100, 50, 24, false, false, {}, [](int x, int y) { return RGB(x, y, 7); }};
    WriteMachineFile("C:\\logo.bmp", MakeBmp(logo));
    HBITMAP bitmap = static_cast<HBITMAP>(LoadImageA(nullptr, "C:\\logo.bmp", IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
    ASSERT_NE(bitmap, nullptr);
    BITMAP bm{};
    ASSERT_EQ(GetObjectA(bitmap, sizeof bm, &bm), static_cast<int>(sizeof bm));
    EXPECT_EQ(bm.bmWidth, 100);
    EXPECT_EQ(bm.bmHeight, 50);
    EXPECT_EQ(bm.bmBitsPixel, 32);
    EXPECT_EQ(PixelBytes(bitmap, 99, 49), (std::vector<BYTE>{7, 49, 99, 0}));
    DeleteObject(bitmap);

    // Stretched to 50 x 100, nearest.
    HBITMAP stretched = static_cast<HBITMAP>(LoadImageW(nullptr, u"C:\\logo.bmp", IMAGE_BITMAP, 50, 100, LR_LOADFROMFILE));
    ASSERT_NE(stretched, nullptr);
    ASSERT_EQ(GetObjectA(stretched, sizeof bm, &bm), static_cast<int>(sizeof bm));
    EXPECT_EQ(bm.bmWidth, 50);
    EXPECT_EQ(bm.bmHeight, 100);
    EXPECT_EQ(PixelBytes(stretched, 10, 10), (std::vector<BYTE>{7, 5, 21, 0}));
    DeleteObject(stretched);

    // As a section: 24 bits as in the file.
    HBITMAP section = static_cast<HBITMAP>(
        LoadImageA(nullptr, "C:\\logo.bmp", IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
    ASSERT_NE(section, nullptr);
    ASSERT_EQ(GetObjectA(section, sizeof bm, &bm), static_cast<int>(sizeof bm));
    EXPECT_EQ(bm.bmBitsPixel, 24);
    EXPECT_NE(bm.bmBits, nullptr);
    DeleteObject(section);

    // A text file, a truncated file, a missing file, an icon: NULL.
    const std::string text = "not a picture\r\n";
    WriteMachineFile("C:\\notes.txt", std::vector<BYTE>(text.begin(), text.end()));
    EXPECT_EQ(LoadImageA(nullptr, "C:\\notes.txt", IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE), nullptr);
    auto bytes = MakeBmp(logo);
    bytes.resize(bytes.size() - 1);
    WriteMachineFile("C:\\short.bmp", bytes);
    EXPECT_EQ(LoadImageA(nullptr, "C:\\short.bmp", IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE), nullptr);
    EXPECT_EQ(LoadImageA(nullptr, "C:\\none.bmp", IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE), nullptr);
    EXPECT_EQ(LoadImageA(nullptr, "C:\\logo.bmp", IMAGE_ICON, 0, 0, LR_LOADFROMFILE), nullptr);
    // A table longer than its depth allows.
    BmpSpec crowded{2, 2, 1, false, false, std::vector<RGBQUAD>(3), [](int, int) { return 0u; }};
    WriteMachineFile("C:\\crowded.bmp", MakeBmp(crowded));
    EXPECT_EQ(LoadImageA(nullptr, "C:\\crowded.bmp", IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE), nullptr);
    EXPECT_TRUE(Rules().empty());
}

} // namespace
