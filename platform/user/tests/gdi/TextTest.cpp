// Fonts, glyph bitmaps and text: faces chosen by name, weight and italics; metrics checked against
// the test's own reading of the font files' tables; glyph bitmaps' sizes, padding and errors; text
// drawn only inside its extent and over an untouched background when transparent.
#include "GdiTestSupport.h"

#include <cmath>
#include <fstream>
#include <iterator>

namespace {

constexpr const char* kSansRegular = "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf";
constexpr const char* kSansBold = "/usr/share/fonts/truetype/liberation/LiberationSans-Bold.ttf";

// The vertical metrics of a TrueType file, read from its table directory by hand.
struct FileMetrics {
    int unitsPerEm = 0;
    int winAscent = 0;
    int winDescent = 0;
    int weightClass = 0;
};

uint32_t Big32(const std::vector<unsigned char>& b, size_t at)
{
    return uint32_t(b.at(at)) << 24 | uint32_t(b.at(at + 1)) << 16 | uint32_t(b.at(at + 2)) << 8 | b.at(at + 3);
}
int Big16(const std::vector<unsigned char>& b, size_t at)
{
    return b.at(at) << 8 | b.at(at + 1);
}

FileMetrics ReadFileMetrics(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    FileMetrics m;
    const int tables = Big16(b, 4);
    for (int i = 0; i < tables; ++i) {
        const size_t entry = 12 + 16 * static_cast<size_t>(i);
        const std::string tag(b.begin() + entry, b.begin() + entry + 4);
        const size_t offset = Big32(b, entry + 8);
        if (tag == "head")
            m.unitsPerEm = Big16(b, offset + 18);
        if (tag == "OS/2") {
            m.weightClass = Big16(b, offset + 4);
            m.winAscent = Big16(b, offset + 74);
            m.winDescent = Big16(b, offset + 76);
        }
    }
    return m;
}

LOGFONTA Arial(LONG height, LONG weight, BYTE italic = 0)
{
    LOGFONTA lf{};
    lf.lfHeight = height;
    lf.lfWeight = weight;
    lf.lfItalic = italic;
    std::strcpy(lf.lfFaceName, "Arial");
    return lf;
}

// A memory DC over a 32-bit bitmap filled with one colour.
struct Surface {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;
    int width, height;
    Surface(int w, int h, COLORREF fill) : width(w), height(h)
    {
        dc = CreateCompatibleDC(nullptr);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = w;
        info.bmiHeader.biHeight = -h;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        previous = SelectObject(dc, bitmap);
        HBRUSH brush = CreateSolidBrush(fill);
        RECT all{0, 0, w, h};
        FillRect(dc, &all, brush);
        DeleteObject(brush);
    }
    ~Surface()
    {
        SelectObject(dc, previous);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    // The bounds of the pixels that are not `background` (empty when none).
    RECT Changed(COLORREF background) const
    {
        RECT box{width, height, 0, 0};
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if (GetPixel(dc, x, y) != background) {
                    box.left = std::min<LONG>(box.left, x);
                    box.top = std::min<LONG>(box.top, y);
                    box.right = std::max<LONG>(box.right, x + 1);
                    box.bottom = std::max<LONG>(box.bottom, y + 1);
                }
        return box;
    }
    int Count(COLORREF color) const
    {
        int n = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                n += GetPixel(dc, x, y) == color;
        return n;
    }
};

class Text : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_TRUE(gditest::Rules().empty()); }
};

const MAT2 kIdentity{{0, 1}, {0, 0}, {0, 0}, {0, 1}};

TEST_F(Text, ArialAtMinusElevenTakesItsMetricsFromTheSansFaceAndBoldItsOwnFile)
{
    const FileMetrics regular = ReadFileMetrics(kSansRegular);
    const FileMetrics bold = ReadFileMetrics(kSansBold);
    ASSERT_GT(regular.unitsPerEm, 0);
    ASSERT_EQ(regular.weightClass, 400);
    ASSERT_EQ(bold.weightClass, 700);

    Surface s(8, 8, RGB(255, 255, 255));
    LOGFONTA lf = Arial(-11, 400);
    HFONT font = CreateFontIndirectA(&lf);
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(GetObjectType(font), static_cast<DWORD>(OBJ_FONT));
    HGDIOBJ old = SelectObject(s.dc, font);
    ASSERT_NE(old, nullptr);
    EXPECT_EQ(old, GetStockObject(SYSTEM_FONT)); // a new DC's font

    TEXTMETRICA tm{};
    ASSERT_TRUE(GetTextMetricsA(s.dc, &tm));
    const LONG ascent = std::lround(11.0 * regular.winAscent / regular.unitsPerEm);
    const LONG descent = std::lround(11.0 * regular.winDescent / regular.unitsPerEm);
    EXPECT_EQ(tm.tmAscent, ascent);
    EXPECT_EQ(tm.tmDescent, descent);
    EXPECT_EQ(tm.tmHeight, ascent + descent);
    EXPECT_EQ(tm.tmInternalLeading, tm.tmHeight - 11);
    EXPECT_EQ(tm.tmWeight, regular.weightClass);
    EXPECT_TRUE(tm.tmPitchAndFamily & TMPF_TRUETYPE);
    char face[LF_FACESIZE]{};
    EXPECT_EQ(GetTextFaceA(s.dc, sizeof face, face), 6);
    EXPECT_STREQ(face, "Arial");

    // The same font by its cell height: a positive height is ascent + descent.
    HFONT cell = CreateFontA(tm.tmHeight, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, "Arial");
    SelectObject(s.dc, cell);
    TEXTMETRICA byCell{};
    ASSERT_TRUE(GetTextMetricsA(s.dc, &byCell));
    EXPECT_EQ(byCell.tmHeight, tm.tmHeight);
    EXPECT_EQ(byCell.tmAscent, tm.tmAscent);

    // Weight 700 (and 600) select the bold file, whose OS/2 weight the metrics report.
    for (LONG weight : {600L, 700L}) {
        LOGFONTA lb = Arial(-11, weight);
        HFONT heavy = CreateFontIndirectA(&lb);
        SelectObject(s.dc, heavy);
        TEXTMETRICW tw{};
        ASSERT_TRUE(GetTextMetricsW(s.dc, &tw));
        EXPECT_EQ(tw.tmWeight, bold.weightClass) << weight;
        EXPECT_EQ(tw.tmAscent, std::lround(11.0 * bold.winAscent / bold.unitsPerEm));
        SelectObject(s.dc, font);
        EXPECT_TRUE(DeleteObject(heavy));
    }

    // GetObject gives the LOGFONT back in either form.
    LOGFONTA back{};
    EXPECT_EQ(GetObjectA(font, sizeof back, &back), static_cast<int>(sizeof(LOGFONTA)));
    EXPECT_EQ(back.lfHeight, -11);
    EXPECT_STREQ(back.lfFaceName, "Arial");
    LOGFONTW wide{};
    EXPECT_EQ(GetObjectW(font, sizeof wide, &wide), static_cast<int>(sizeof(LOGFONTW)));
    EXPECT_EQ(std::u16string(wide.lfFaceName), u"Arial");

    SelectObject(s.dc, old);
    EXPECT_TRUE(DeleteObject(cell));
    EXPECT_TRUE(DeleteObject(font));
}

TEST_F(Text, StockFontsAndFaceNamesMapToTheirFamilies)
{
    Surface s(4, 4, 0);
    TEXTMETRICW tm{};
    HGDIOBJ old = SelectObject(s.dc, GetStockObject(DEFAULT_GUI_FONT));
    ASSERT_TRUE(GetTextMetricsW(s.dc, &tm));
    EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, 11); // the dialogs' 8 points
    LOGFONTW gui{};
    ASSERT_EQ(GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof gui, &gui), static_cast<int>(sizeof gui));
    EXPECT_EQ(std::u16string(gui.lfFaceName), u"MS Shell Dlg");
    SelectObject(s.dc, GetStockObject(SYSTEM_FONT));
    ASSERT_TRUE(GetTextMetricsW(s.dc, &tm));
    EXPECT_EQ(tm.tmHeight, 16);
    EXPECT_EQ(tm.tmWeight, 700);
    EXPECT_TRUE(DeleteObject(GetStockObject(SYSTEM_FONT))); // stock objects stay

    // Monospaced "Courier New": every letter advances alike; proportional sans does not.
    HFONT mono = CreateFontW(-13, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, u"Courier New");
    SelectObject(s.dc, mono);
    SIZE i{}, w{};
    ASSERT_TRUE(GetTextExtentPoint32W(s.dc, u"iiii", 4, &i));
    ASSERT_TRUE(GetTextExtentPoint32W(s.dc, u"WWWW", 4, &w));
    EXPECT_EQ(i.cx, w.cx);
    ASSERT_TRUE(GetTextMetricsW(s.dc, &tm));
    EXPECT_EQ(tm.tmPitchAndFamily & 0xF0, FF_MODERN);
    EXPECT_EQ(tm.tmPitchAndFamily & TMPF_FIXED_PITCH, 0);
    HFONT sans = CreateFontW(-13, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, u"No Such Face");
    SelectObject(s.dc, sans);
    ASSERT_TRUE(GetTextExtentPoint32W(s.dc, u"iiii", 4, &i));
    ASSERT_TRUE(GetTextExtentPoint32W(s.dc, u"WWWW", 4, &w));
    EXPECT_LT(i.cx, w.cx);
    EXPECT_EQ(i.cy, w.cy);
    WCHAR face[LF_FACESIZE]{};
    GetTextFaceW(s.dc, LF_FACESIZE, face);
    EXPECT_EQ(std::u16string(face), u"Liberation Sans");
    HFONT serif = CreateFontW(-13, 0, 0, 0, 400, 1, 0, 0, 0, 0, 0, 0, 0, u"Times New Roman");
    SelectObject(s.dc, serif);
    ASSERT_TRUE(GetTextMetricsW(s.dc, &tm));
    EXPECT_EQ(tm.tmPitchAndFamily & 0xF0, FF_ROMAN);
    EXPECT_EQ(tm.tmItalic, 255);

    // An empty text is as high as the font and no wider than nothing; bad arguments fail.
    SIZE none{};
    EXPECT_TRUE(GetTextExtentPoint32A(s.dc, "", 0, &none));
    EXPECT_EQ(none.cx, 0);
    EXPECT_EQ(none.cy, tm.tmHeight);
    EXPECT_FALSE(GetTextExtentPoint32A(s.dc, "x", -1, &none));
    EXPECT_EQ(CreateFontIndirectA(nullptr), nullptr);
    EXPECT_FALSE(GetTextMetricsW(s.dc, nullptr));

    SelectObject(s.dc, old);
    EXPECT_TRUE(DeleteObject(mono));
    EXPECT_TRUE(DeleteObject(sans));
    EXPECT_TRUE(DeleteObject(serif));
}

TEST_F(Text, GlyphBitmapsArePaddedRowsAndBadRequestsFail)
{
    Surface s(4, 4, 0);
    LOGFONTA lf = Arial(-16, 400);
    HFONT regular = CreateFontIndirectA(&lf);
    lf.lfWeight = 700;
    HFONT bold = CreateFontIndirectA(&lf);
    HGDIOBJ old = SelectObject(s.dc, regular);

    GLYPHMETRICS gm{};
    const DWORD size = GetGlyphOutlineA(s.dc, 'W', GGO_BITMAP, &gm, 0, nullptr, &kIdentity);
    ASSERT_NE(size, GDI_ERROR);
    ASSERT_GT(gm.gmBlackBoxX, 0u);
    ASSERT_GT(gm.gmBlackBoxY, 0u);
    const DWORD row = (gm.gmBlackBoxX + 31) / 32 * 4;
    EXPECT_EQ(size, gm.gmBlackBoxY * row);
    EXPECT_GT(gm.gmCellIncX, 0);
    EXPECT_EQ(gm.gmCellIncY, 0);
    EXPECT_GT(gm.gmptGlyphOrigin.y, 0); // the top of 'W' stands above the base line

    std::vector<BYTE> bits(size + 8, 0xAA);
    ASSERT_EQ(GetGlyphOutlineA(s.dc, 'W', GGO_BITMAP, &gm, size, bits.data(), &kIdentity), size);
    int ink = 0;
    for (DWORD y = 0; y < gm.gmBlackBoxY; ++y)
        for (DWORD x = 0; x < row * 8; ++x) {
            const bool set = (bits[y * row + x / 8] >> (7 - x % 8)) & 1;
            if (x >= gm.gmBlackBoxX) {
                EXPECT_FALSE(set) << "padding bit " << x << " of row " << y;
            }
            ink += set;
        }
    EXPECT_GT(ink, static_cast<int>(gm.gmBlackBoxY)); // every row of a 'W' has ink
    EXPECT_EQ(bits[size], 0xAA); // nothing past the size
    // The top row and the bottom row both carry ink (the black box is tight).
    auto rowInk = [&](DWORD y) {
        for (DWORD b = 0; b < row; ++b)
            if (bits[y * row + b])
                return true;
        return false;
    };
    EXPECT_TRUE(rowInk(0));
    EXPECT_TRUE(rowInk(gm.gmBlackBoxY - 1));

    // A buffer with no room given is a size query too.
    EXPECT_EQ(GetGlyphOutlineA(s.dc, 'W', GGO_BITMAP, &gm, 0, bits.data(), &kIdentity), size);
    EXPECT_EQ(bits[size], 0xAA);
    // A short buffer, another matrix, another format: GDI_ERROR.
    EXPECT_EQ(GetGlyphOutlineA(s.dc, 'W', GGO_BITMAP, &gm, size - 1, bits.data(), &kIdentity), GDI_ERROR);
    const MAT2 doubled{{0, 2}, {0, 0}, {0, 0}, {0, 2}};
    EXPECT_EQ(GetGlyphOutlineA(s.dc, 'W', GGO_BITMAP, &gm, 0, nullptr, &doubled), GDI_ERROR);
    EXPECT_EQ(GetGlyphOutlineA(s.dc, 'W', GGO_BITMAP, &gm, 0, nullptr, nullptr), GDI_ERROR);
    EXPECT_EQ(GetGlyphOutlineA(s.dc, 'W', GGO_GRAY8_BITMAP, &gm, 0, nullptr, &kIdentity), GDI_ERROR);

    // The space has no ink.
    GLYPHMETRICS space{};
    EXPECT_EQ(GetGlyphOutlineA(s.dc, ' ', GGO_BITMAP, &space, 0, nullptr, &kIdentity), 0u);
    EXPECT_EQ(GetGlyphOutlineA(s.dc, ' ', GGO_BITMAP, &space, sizeof bits, bits.data(), &kIdentity), 0u);
    EXPECT_GT(space.gmCellIncX, 0);

    // GGO_METRICS agrees with GGO_BITMAP's metrics.
    GLYPHMETRICS metrics{};
    EXPECT_EQ(GetGlyphOutlineW(s.dc, u'W', GGO_METRICS, &metrics, 0, nullptr, &kIdentity), size);
    EXPECT_EQ(metrics.gmBlackBoxX, gm.gmBlackBoxX);
    EXPECT_EQ(metrics.gmCellIncX, gm.gmCellIncX);

    // Bold is no narrower; 'W' is wider than 'i'.
    GLYPHMETRICS i{};
    GetGlyphOutlineA(s.dc, 'i', GGO_METRICS, &i, 0, nullptr, &kIdentity);
    EXPECT_GT(gm.gmBlackBoxX, i.gmBlackBoxX);
    SelectObject(s.dc, bold);
    GLYPHMETRICS heavy{};
    ASSERT_NE(GetGlyphOutlineA(s.dc, 'W', GGO_BITMAP, &heavy, 0, nullptr, &kIdentity), GDI_ERROR);
    EXPECT_GE(heavy.gmBlackBoxX, gm.gmBlackBoxX);

    // Italic leans: the top row's ink lies right of the bottom row's.
    lf.lfWeight = 400;
    lf.lfItalic = 1;
    HFONT italic = CreateFontIndirectA(&lf);
    SelectObject(s.dc, italic);
    GLYPHMETRICS l{};
    const DWORD lSize = GetGlyphOutlineA(s.dc, 'l', GGO_BITMAP, &l, 0, nullptr, &kIdentity);
    std::vector<BYTE> lBits(lSize);
    ASSERT_EQ(GetGlyphOutlineA(s.dc, 'l', GGO_BITMAP, &l, lSize, lBits.data(), &kIdentity), lSize);
    const DWORD lRow = (l.gmBlackBoxX + 31) / 32 * 4;
    auto firstInk = [&](DWORD y) {
        for (DWORD x = 0; x < l.gmBlackBoxX; ++x)
            if ((lBits[y * lRow + x / 8] >> (7 - x % 8)) & 1)
                return static_cast<int>(x);
        return -1;
    };
    EXPECT_GT(firstInk(0), firstInk(l.gmBlackBoxY - 1));

    SelectObject(s.dc, old);
    DeleteObject(regular);
    DeleteObject(bold);
    DeleteObject(italic);
}

TEST_F(Text, CentredTextStaysInsideItsExtentAndTransparentTextKeepsTheBackground)
{
    const COLORREF face = RGB(192, 192, 192);
    Surface s(75, 23, face);
    LOGFONTA lf = Arial(-11, 400);
    HFONT font = CreateFontIndirectA(&lf);
    HGDIOBJ old = SelectObject(s.dc, font);
    SIZE extent{};
    ASSERT_TRUE(GetTextExtentPoint32A(s.dc, "Apply", 5, &extent));
    SetBkMode(s.dc, TRANSPARENT);
    SetTextColor(s.dc, RGB(0, 0, 0));
    RECT r{0, 0, 75, 23};
    const int height = DrawTextA(s.dc, "Apply", -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    EXPECT_GT(height, 0);
    const RECT ink = s.Changed(face);
    ASSERT_LT(ink.left, ink.right) << "nothing drawn";
    const int left = (75 - extent.cx) / 2, top = (23 - extent.cy) / 2;
    EXPECT_GE(ink.left, left);
    EXPECT_LE(ink.right, left + extent.cx);
    EXPECT_GE(ink.top, top);
    EXPECT_LE(ink.bottom, top + extent.cy);
    // Centred within a pixel: the margins left and right of the extent differ by at most one.
    EXPECT_LE(std::abs((75 - (left + extent.cx)) - left), 1);
    // Transparent: only text-coloured pixels changed.
    EXPECT_EQ(s.Count(face) + s.Count(RGB(0, 0, 0)), 75 * 23);

    // Opaque: the text's cell takes the background colour, nothing outside it.
    Surface o(75, 23, face);
    SelectObject(o.dc, font);
    SetBkMode(o.dc, OPAQUE);
    SetBkColor(o.dc, RGB(255, 255, 255));
    DrawTextA(o.dc, "Apply", -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    const RECT cell = o.Changed(face);
    EXPECT_EQ(cell.left, left);
    EXPECT_EQ(cell.right, left + extent.cx);
    EXPECT_EQ(cell.bottom - cell.top, extent.cy);
    SelectObject(o.dc, old);

    // DT_CALCRECT measures without drawing.
    Surface c(75, 23, face);
    SelectObject(c.dc, font);
    RECT measured{5, 5, 5, 5};
    EXPECT_EQ(DrawTextA(c.dc, "Apply", -1, &measured, DT_CALCRECT | DT_SINGLELINE), extent.cy);
    EXPECT_EQ(measured.right - measured.left, extent.cx);
    EXPECT_EQ(measured.bottom - measured.top, extent.cy);
    EXPECT_EQ(c.Count(face), 75 * 23);
    SelectObject(c.dc, old);
    SelectObject(s.dc, old);
    DeleteObject(font);
}

TEST_F(Text, WordBreaksPrefixesAndClippedOpaqueText)
{
    Surface s(120, 80, RGB(255, 255, 255));
    LOGFONTA lf = Arial(-11, 400);
    HFONT font = CreateFontIndirectA(&lf);
    HGDIOBJ old = SelectObject(s.dc, font);
    TEXTMETRICA tm{};
    GetTextMetricsA(s.dc, &tm);
    SIZE word{};
    GetTextExtentPoint32A(s.dc, "words", 5, &word);

    // Three words in a rectangle one word wide: three lines.
    RECT narrow{0, 0, word.cx + 2, 80};
    EXPECT_EQ(DrawTextA(s.dc, "words words words", -1, &narrow, DT_WORDBREAK | DT_CALCRECT), 3 * tm.tmHeight);
    RECT wide{0, 0, 120, 80};
    EXPECT_EQ(DrawTextA(s.dc, "words words words", -1, &wide, DT_WORDBREAK | DT_CALCRECT), tm.tmHeight);
    RECT lines{0, 0, 120, 80};
    EXPECT_EQ(DrawTextA(s.dc, "one\r\ntwo\nthree", -1, &lines, DT_CALCRECT), 3 * tm.tmHeight);
    RECT single{0, 0, 120, 80};
    EXPECT_EQ(DrawTextA(s.dc, "one\ntwo", -1, &single, DT_CALCRECT | DT_SINGLELINE), tm.tmHeight);

    // '&' underlines the next character's advance one pixel under the base line; "&&" is one '&'.
    RECT prefixed{0, 0, 120, 20};
    SIZE amp{};
    GetTextExtentPoint32A(s.dc, "&x", 2, &amp);
    RECT m{0, 0, 0, 0};
    DrawTextA(s.dc, "&&x", -1, &m, DT_CALCRECT);
    EXPECT_EQ(m.right, amp.cx);
    SetBkMode(s.dc, TRANSPARENT);
    DrawTextA(s.dc, "&Apply", -1, &prefixed, DT_LEFT | DT_SINGLELINE);
    SIZE a{};
    GetTextExtentPoint32A(s.dc, "A", 1, &a);
    for (int x = 0; x < a.cx; ++x)
        EXPECT_EQ(GetPixel(s.dc, x, tm.tmAscent + 1), RGB(0, 0, 0)) << x;
    RECT plain{0, 40, 120, 60};
    DrawTextA(s.dc, "&Apply", -1, &plain, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
    SIZE shown{};
    GetTextExtentPoint32A(s.dc, "&Apply", 6, &shown);
    RECT calc{0, 0, 0, 0};
    DrawTextA(s.dc, "&Apply", -1, &calc, DT_CALCRECT | DT_NOPREFIX);
    EXPECT_EQ(calc.right, shown.cx);

    // ExtTextOut with ETO_OPAQUE | ETO_CLIPPED fills its rectangle and draws nothing outside it.
    Surface e(60, 30, RGB(255, 255, 255));
    SelectObject(e.dc, font);
    SetBkColor(e.dc, RGB(0, 0, 255));
    SetTextColor(e.dc, RGB(255, 0, 0));
    RECT clip{10, 5, 30, 20};
    ASSERT_TRUE(ExtTextOutA(e.dc, 12, 6, ETO_OPAQUE | ETO_CLIPPED, &clip, "WWWWWW", 6, nullptr));
    const RECT changed = e.Changed(RGB(255, 255, 255));
    EXPECT_EQ(changed.left, 10);
    EXPECT_EQ(changed.top, 5);
    EXPECT_EQ(changed.right, 30);
    EXPECT_EQ(changed.bottom, 20);
    EXPECT_GT(e.Count(RGB(255, 0, 0)), 0);
    // TextOut in opaque mode paints the text's cell from (x, y).
    Surface t(60, 30, RGB(255, 255, 255));
    SelectObject(t.dc, font);
    SetBkColor(t.dc, RGB(0, 255, 0));
    ASSERT_TRUE(TextOutA(t.dc, 3, 4, "Wi", 2));
    SIZE wi{};
    GetTextExtentPoint32A(t.dc, "Wi", 2, &wi);
    const RECT box = t.Changed(RGB(255, 255, 255));
    EXPECT_EQ(box.left, 3);
    EXPECT_EQ(box.top, 4);
    EXPECT_EQ(box.right, 3 + wi.cx);
    EXPECT_EQ(box.bottom, 4 + wi.cy);
    // Right alignment ends the text at x.
    Surface r(60, 30, RGB(255, 255, 255));
    SelectObject(r.dc, font);
    SetTextAlign(r.dc, TA_RIGHT);
    SetBkColor(r.dc, RGB(0, 255, 0));
    ASSERT_TRUE(TextOutA(r.dc, 50, 4, "Wi", 2));
    EXPECT_EQ(r.Changed(RGB(255, 255, 255)).right, 50);
    EXPECT_EQ(SetTextAlign(r.dc, TA_LEFT), static_cast<UINT>(TA_RIGHT));

    SelectObject(s.dc, old);
    SelectObject(e.dc, old);
    SelectObject(t.dc, old);
    SelectObject(r.dc, old);
    DeleteObject(font);
}

TEST(MulDivTest, RoundsHalfAwayAndRefusesZeroAndOverflow)
{
    EXPECT_EQ(MulDiv(8, 96, 72), 11);
    EXPECT_EQ(MulDiv(12, 96, 72), 16);
    EXPECT_EQ(MulDiv(-3, 1, 2), -2);
    EXPECT_EQ(MulDiv(3, 1, -2), -2);
    EXPECT_EQ(MulDiv(1, 1, 0), -1);
    EXPECT_EQ(MulDiv(0x7FFFFFFF, 4, 2), -1);
    EXPECT_EQ(MulDiv(0x40000000, 4, 8), 0x20000000);
}

} // namespace
