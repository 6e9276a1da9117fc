// The glyph file core: the checks a header must pass, the composite table, the line layout and
// the rasteriser's placement, colours, byte orders, clipping and trimming, on header images built
// here with rectangles of known size.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "glyphfileformat.h"

using namespace glyphfile;

namespace {

struct TestFont {
    std::vector<uint8_t> header = std::vector<uint8_t>(kHeaderSize, 0);
    std::vector<std::vector<uint8_t>> bitmaps = std::vector<std::vector<uint8_t>>(kGlyphSlots);
    std::vector<const uint8_t*> pointers = std::vector<const uint8_t*>(kGlyphSlots, nullptr);

    TestFont(int32_t height = 20, int32_t ascent = 16, int32_t descent = 4)
    {
        WriteU32(&header[0], kFormatNumber);
        WriteU32(&header[8], kHeaderSize);
        for (uint32_t s = 0; s < kStyleCount; ++s) {
            WriteU32(&header[kCellHeightOffset + 4 * s], uint32_t(height));
            WriteU32(&header[kAscentOffset + 4 * s], uint32_t(ascent));
            WriteU32(&header[kDescentOffset + 4 * s], uint32_t(descent));
        }
    }
    // A solid rectangle glyph standing on the base line.
    void Rectangle(uint32_t style, uint32_t code, uint32_t width, uint32_t height, int32_t originX = 0)
    {
        GlyphEntry e = {width, height, originX, int32_t(height), 0, 0, height * RowBytes(width), 0};
        WriteEntry(header.data(), style, code, e);
        auto& bits = bitmaps[GlyphSlot(style, code)];
        bits.assign(e.bitmapBytes, 0);
        for (uint32_t r = 0; r < height; ++r)
            for (uint32_t c = 0; c < width; ++c)
                bits[r * RowBytes(width) + c / 8] |= uint8_t(0x80 >> (c % 8));
        pointers[GlyphSlot(style, code)] = bits.data();
    }
};

// Pixel (x, y) of a red-first top-down line as 0x00BBGGRR.
uint32_t Pixel(const std::vector<uint8_t>& line, size_t stride, int x, int y)
{
    const uint8_t* p = &line[size_t(y) * stride + size_t(x) * 3];
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
}

} // namespace

TEST(GlyphFileFormat, HeaderChecksRefuseWrongFormatSizeAndByteCounts)
{
    TestFont font;
    font.Rectangle(0, 'A', 9, 12);
    uint64_t total = 0;
    EXPECT_EQ(CheckHeader(font.header.data(), &total), HeaderCheck::Valid);
    EXPECT_EQ(total, 12u * 4);

    auto broken = font;
    WriteU32(&broken.header[8], kHeaderSize - 1);
    EXPECT_EQ(CheckHeader(broken.header.data(), &total), HeaderCheck::WrongHeaderSize);
    EXPECT_FALSE(IsLoaded(broken.header.data()));
    EXPECT_EQ(CellWidth(broken.header.data(), 0), 0u);
    broken = font;
    WriteU32(&broken.header[0], 2);
    EXPECT_EQ(CheckHeader(broken.header.data(), &total), HeaderCheck::WrongFormat);

    for (uint32_t bytes : {1u, 12u * 4 - 1, 12u * 4 + 1, 0x7FFFFFFFu}) {
        broken = font;
        GlyphEntry e = ReadEntry(broken.header.data(), 0, 'A');
        e.bitmapBytes = bytes;
        WriteEntry(broken.header.data(), 0, 'A', e);
        EXPECT_EQ(CheckHeader(broken.header.data(), &total), HeaderCheck::BadGlyph) << bytes;
    }
    broken = font;
    GlyphEntry big = {1025, 1, 0, 1, 0, 0, 0, 0};
    WriteEntry(broken.header.data(), 3, 176, big);
    EXPECT_EQ(CheckHeader(broken.header.data(), &total), HeaderCheck::BadGlyph);
    // Entries above 176 are never used: no check applies to them.
    broken = font;
    WriteEntry(broken.header.data(), 0, 200, big);
    EXPECT_EQ(CheckHeader(broken.header.data(), &total), HeaderCheck::Valid);
    broken = font;
    WriteU32(&broken.header[kCellHeightOffset + 8], 1025);
    EXPECT_EQ(CheckHeader(broken.header.data(), &total), HeaderCheck::BadMetrics);
}

TEST(GlyphFileFormat, CompositeTableAndStyles)
{
    Composite c;
    ASSERT_TRUE(CompositeOf(128, &c));
    EXPECT_EQ(c.upper, 8);
    EXPECT_EQ(c.lower, 'a');
    ASSERT_TRUE(CompositeOf(138, &c));
    EXPECT_EQ(c.upper, 67);
    EXPECT_EQ(c.lower, 9);
    ASSERT_TRUE(CompositeOf(145, &c));
    EXPECT_EQ(c.lower, 'o');
    ASSERT_TRUE(CompositeOf(146, &c)); // circumflex over capital O
    EXPECT_EQ(c.upper, 7);
    EXPECT_EQ(c.lower, 'O');
    ASSERT_TRUE(CompositeOf(152, &c));
    EXPECT_EQ(c.upper, 96);
    EXPECT_EQ(c.lower, 'A');
    ASSERT_TRUE(CompositeOf(176, &c));
    EXPECT_EQ(c.upper, 126);
    EXPECT_EQ(c.lower, 'N');
    EXPECT_FALSE(CompositeOf(127, &c));
    EXPECT_FALSE(CompositeOf(177, &c));

    EXPECT_EQ(StyleIndex(0), 0u);
    EXPECT_EQ(StyleIndex(0x200), 1u);
    EXPECT_EQ(StyleIndex(0x100), 2u);
    EXPECT_EQ(StyleIndex(0x300), 3u);
    EXPECT_EQ(StyleIndex(0x400), 0u);
    TestFont font;
    WriteU32(&font.header[kFontWeightOffset], 700);
    font.header[kFontItalicOffset] = 1;
    EXPECT_EQ(DefaultStyleWord(font.header.data()), 0x300u);
    font.header[kFontItalicOffset] = 0;
    EXPECT_EQ(DefaultStyleWord(font.header.data()), 0x100u);
    WriteU32(&font.header[kFontWeightOffset], 400);
    EXPECT_EQ(DefaultStyleWord(font.header.data()), 0x400u);
    font.header[kFontItalicOffset] = 1;
    EXPECT_EQ(DefaultStyleWord(font.header.data()), 0x600u);
}

TEST(GlyphFileFormat, LineLayoutCellsAndDrawing)
{
    TestFont font;
    font.Rectangle(0, 'W', 10, 12);
    font.Rectangle(0, 'A', 5, 8);
    const uint16_t codes[] = {'A', 'A'};
    TextLayout layout;
    ASSERT_TRUE(LayOutText(font.header.data(), codes, nullptr, 2, 1, 0, &layout));
    EXPECT_EQ(layout.cellCount, 3u);
    EXPECT_EQ(layout.cells[0].width, 12); // the blank: W's 10 raised to 12
    EXPECT_EQ(layout.cells[1].width, 8);
    EXPECT_EQ(layout.lineWidth, 28);
    EXPECT_EQ(layout.lineHeight, 20);

    const size_t stride = size_t(layout.lineWidth) * 3;
    std::vector<uint8_t> line(stride * size_t(layout.lineHeight), 0xAA);
    const uint32_t bg = 0x00102030, fg = 0x00F0E0D0;
    const int32_t kept = DrawText(font.header.data(), font.pointers.data(), layout, bg, fg,
                                  {line.data(), stride, false, PixelOrder::RedFirst});
    EXPECT_EQ(kept, 28); // the last A ends at column 24 (12 + 8 + 5 - 1): 25 raised to 28
    // An A 5 wide and 8 high on the base line 4 rows above the bottom: rows 8..15.
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 28; ++x) {
            const bool ink = y >= 8 && y < 16 && ((x >= 12 && x < 17) || (x >= 20 && x < 25));
            ASSERT_EQ(Pixel(line, stride, x, y), ink ? fg : bg) << x << "," << y;
        }
    // Blue first, bottom-up: the same picture, mirrored and with the bytes swapped.
    std::vector<uint8_t> other(line.size(), 0);
    DrawText(font.header.data(), font.pointers.data(), layout, bg, fg, {other.data(), stride, true, PixelOrder::BlueFirst});
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 28; ++x) {
            const uint8_t* a = &line[size_t(y) * stride + size_t(x) * 3];
            const uint8_t* b = &other[size_t(19 - y) * stride + size_t(x) * 3];
            ASSERT_TRUE(a[0] == b[2] && a[1] == b[1] && a[2] == b[0]);
        }
}

TEST(GlyphFileFormat, CompositesStackAndCentre)
{
    TestFont font;
    font.Rectangle(0, 'O', 12, 10);
    font.Rectangle(0, 7, 4, 3);   // circumflex
    font.Rectangle(0, 96, 4, 3);  // grave
    const uint16_t codes[] = {146, 160}; // circumflex over O, grave over U (U is empty)
    font.Rectangle(0, 'U', 8, 10);
    TextLayout layout;
    ASSERT_TRUE(LayOutText(font.header.data(), codes, nullptr, 2, 0, 0, &layout));
    EXPECT_EQ(layout.cells[0].width, 12);
    EXPECT_EQ(layout.cells[1].width, 8);
    const size_t stride = size_t(layout.lineWidth) * 3;
    std::vector<uint8_t> line(stride * 20, 0);
    DrawText(font.header.data(), font.pointers.data(), layout, 0, 0xFFFFFF, {line.data(), stride, false, PixelOrder::RedFirst});
    // Both parts 13 rows together on the base line (row 16 from the top): rows 3..5 the accent,
    // 6..15 the letter. The circumflex is centred over the O (columns 4..7), the grave is not.
    auto ink = [&](int x, int y) { return Pixel(line, stride, x, y) != 0; };
    EXPECT_TRUE(ink(4, 3) && ink(7, 5) && !ink(3, 4) && !ink(8, 4));
    EXPECT_TRUE(ink(0, 6) && ink(11, 15) && !ink(0, 16) && !ink(0, 2));
    EXPECT_TRUE(ink(12, 3) && ink(15, 3) && !ink(16, 3));
}

TEST(GlyphFileFormat, CellLimitEmptyCodesAndClipping)
{
    TestFont font(8, 6, 2);
    font.Rectangle(0, 'W', 4, 30); // taller than the line: clipped, not written past it
    std::vector<uint16_t> codes(300, 'W');
    TextLayout layout;
    ASSERT_TRUE(LayOutText(font.header.data(), codes.data(), nullptr, uint32_t(codes.size()), 0, 0, &layout));
    EXPECT_EQ(layout.cellCount, kMaxCells);
    const size_t stride = size_t(layout.lineWidth) * 3;
    std::vector<uint8_t> line(stride * 8 + 1, 0x5A);
    DrawText(font.header.data(), font.pointers.data(), layout, 0, 0xFFFFFF, {line.data(), stride, false, PixelOrder::RedFirst});
    EXPECT_EQ(line.back(), 0x5A);

    // Code 20 has no entry: a cell of width 0 that draws nothing and does not move the pen.
    const uint16_t empty[] = {20, 'W'};
    ASSERT_TRUE(LayOutText(font.header.data(), empty, nullptr, 2, 0, 0, &layout));
    EXPECT_EQ(layout.cells[0].width, 0);
    EXPECT_EQ(layout.lineWidth, 4);
    // No file: nothing lays out.
    WriteU32(&font.header[8], 0);
    EXPECT_FALSE(LayOutText(font.header.data(), empty, nullptr, 2, 0, 0, &layout));
}
