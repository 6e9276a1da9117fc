// The built-in glyphs: each of codes 0 to 18 in each size class has the black box its class gives
// it, the flag for marks above a letter, ink on every edge of its box and none right of its width,
// and the shape of the mark it is (checked where a shape is plain at every size).
#include <gtest/gtest.h>

#include "BuiltinGlyphs.h"

using builtinglyphs::BitmapBytes;
using builtinglyphs::BuiltinGlyph;
using builtinglyphs::kBuiltinGlyphs;
using builtinglyphs::SizeClass;

namespace {

struct Box {
    uint32_t height;
    uint32_t width;
};

// Height x width in size classes 0 to 3, and whether the mark goes above a letter.
struct Expected {
    Box box[4];
    bool above;
};

const Expected kExpected[19] = {
    {{{9, 11}, {18, 18}, {29, 27}, {38, 36}}, false},  // pound sign
    {{{11, 5}, {23, 13}, {34, 18}, {48, 24}}, false},  // cent sign
    {{{4, 5}, {9, 10}, {13, 14}, {18, 17}}, true},     // ring
    {{{12, 11}, {23, 21}, {36, 29}, {48, 40}}, false}, // one half
    {{{13, 10}, {25, 21}, {38, 29}, {51, 38}}, false}, // eighth note
    {{{14, 16}, {22, 21}, {31, 28}, {44, 38}}, false}, // registered sign
    {{{6, 14}, {13, 24}, {19, 36}, {26, 47}}, true},   // trade mark sign
    {{{4, 7}, {5, 8}, {8, 14}, {10, 20}}, true},       // circumflex accent
    {{{2, 3}, {4, 6}, {7, 8}, {9, 10}}, true},         // acute accent
    {{{3, 3}, {6, 4}, {8, 7}, {10, 10}}, false},       // cedilla
    {{{7, 6}, {9, 12}, {14, 17}, {26, 31}}, false},    // left double angle quotation mark
    {{{7, 6}, {9, 12}, {14, 17}, {26, 31}}, false},    // right double angle quotation mark
    {{{2, 3}, {3, 6}, {5, 11}, {6, 14}}, true},        // diaeresis
    {{{10, 1}, {19, 2}, {28, 6}, {39, 9}}, false},     // inverted exclamation mark
    {{{12, 10}, {21, 21}, {32, 34}, {43, 44}}, false}, // yen sign
    {{{11, 7}, {22, 15}, {34, 19}, {45, 29}}, false},  // sharp s
    {{{11, 11}, {21, 21}, {48, 36}, {54, 40}}, false}, // circled letter C
    {{{5, 8}, {9, 14}, {14, 21}, {17, 28}}, true},     // service mark
    {{{5, 5}, {14, 15}, {21, 21}, {27, 27}}, false},   // bullet
};

bool Ink(const BuiltinGlyph& g, uint32_t x, uint32_t y)
{
    return (g.bits[y * glyphfile::RowBytes(g.width) + x / 8] & (0x80u >> (x % 8))) != 0;
}

bool RowHasInk(const BuiltinGlyph& g, uint32_t y)
{
    for (uint32_t x = 0; x < g.width; ++x)
        if (Ink(g, x, y))
            return true;
    return false;
}

bool ColumnHasInk(const BuiltinGlyph& g, uint32_t x)
{
    for (uint32_t y = 0; y < g.height; ++y)
        if (Ink(g, x, y))
            return true;
    return false;
}

TEST(BuiltinGlyphs, EveryCodeInEverySizeClassHasItsBoxItsFlagAndInkOnEveryEdge)
{
    for (unsigned c = 0; c < builtinglyphs::kSizeClasses; ++c)
        for (unsigned code = 0; code < builtinglyphs::kCodes; ++code) {
            SCOPED_TRACE(testing::Message() << "class " << c << " code " << code);
            const BuiltinGlyph& g = kBuiltinGlyphs[c][code];
            EXPECT_EQ(g.height, kExpected[code].box[c].height);
            EXPECT_EQ(g.width, kExpected[code].box[c].width);
            EXPECT_EQ(g.above, kExpected[code].above);
            ASSERT_NE(g.bits, nullptr);
            EXPECT_EQ(BitmapBytes(g), g.height * (g.width > 32 ? 8u : 4u));
            EXPECT_TRUE(RowHasInk(g, 0));
            EXPECT_TRUE(RowHasInk(g, g.height - 1));
            EXPECT_TRUE(ColumnHasInk(g, 0));
            EXPECT_TRUE(ColumnHasInk(g, g.width - 1));
            // Neither blank nor solid (the one-pixel-wide exclamation mark aside).
            uint32_t ink = 0;
            for (uint32_t y = 0; y < g.height; ++y)
                for (uint32_t x = 0; x < g.width; ++x)
                    ink += Ink(g, x, y);
            EXPECT_GT(ink, 0u);
            if (g.width > 1) {
                EXPECT_LT(ink, g.width * g.height);
            }
            // Padding right of the width stays clear: the bytes go into glyph files as they are.
            const uint32_t rowBytes = glyphfile::RowBytes(g.width);
            for (uint32_t y = 0; y < g.height; ++y)
                for (uint32_t x = g.width; x < rowBytes * 8; ++x)
                    EXPECT_EQ(g.bits[y * rowBytes + x / 8] & (0x80u >> (x % 8)), 0) << "row " << y << " bit " << x;
        }
}

TEST(BuiltinGlyphs, TheMarksHaveTheirShapes)
{
    for (unsigned c = 0; c < builtinglyphs::kSizeClasses; ++c) {
        SCOPED_TRACE(testing::Message() << "class " << c);
        // The diaeresis: two dots with a clear column between them.
        const BuiltinGlyph& diaeresis = kBuiltinGlyphs[c][12];
        EXPECT_FALSE(ColumnHasInk(diaeresis, diaeresis.width / 2));
        // The inverted exclamation mark: its dot at the top, a clear row, then the stroke.
        const BuiltinGlyph& exclamation = kBuiltinGlyphs[c][13];
        bool gap = false;
        for (uint32_t y = 1; y < exclamation.height / 2; ++y)
            gap = gap || !RowHasInk(exclamation, y);
        EXPECT_TRUE(gap);
        EXPECT_TRUE(RowHasInk(exclamation, exclamation.height / 2 + 1));
        // The circumflex: its apex in the middle of the top row, its feet at the bottom corners
        // with the middle of the bottom row clear.
        const BuiltinGlyph& circumflex = kBuiltinGlyphs[c][7];
        EXPECT_TRUE(Ink(circumflex, circumflex.width / 2, 0));
        EXPECT_FALSE(Ink(circumflex, 0, 0));
        EXPECT_TRUE(Ink(circumflex, 0, circumflex.height - 1));
        EXPECT_TRUE(Ink(circumflex, circumflex.width - 1, circumflex.height - 1));
        EXPECT_FALSE(Ink(circumflex, circumflex.width / 2, circumflex.height - 1));
        // The acute rises to the right: ink at the top right, none at the top left.
        const BuiltinGlyph& acute = kBuiltinGlyphs[c][8];
        EXPECT_TRUE(Ink(acute, acute.width - 1, 0));
        EXPECT_FALSE(Ink(acute, 0, 0));
        // The ring, the bullet, the registered sign and the circled C are round: corners clear;
        // the ring and the circled C are hollow, the bullet is solid in the middle.
        for (unsigned code : {2u, 5u, 16u, 18u}) {
            const BuiltinGlyph& g = kBuiltinGlyphs[c][code];
            EXPECT_FALSE(Ink(g, 0, 0)) << code;
            EXPECT_FALSE(Ink(g, g.width - 1, g.height - 1)) << code;
        }
        EXPECT_FALSE(Ink(kBuiltinGlyphs[c][2], kBuiltinGlyphs[c][2].width / 2, kBuiltinGlyphs[c][2].height / 2));
        EXPECT_TRUE(Ink(kBuiltinGlyphs[c][18], kBuiltinGlyphs[c][18].width / 2, kBuiltinGlyphs[c][18].height / 2));
        // The angle quotation marks point the two ways: the left one's middle row starts with ink
        // at the left edge, the right one's ends with ink at the right edge, each mirrored.
        const BuiltinGlyph& left = kBuiltinGlyphs[c][10];
        const BuiltinGlyph& right = kBuiltinGlyphs[c][11];
        EXPECT_TRUE(Ink(left, 0, left.height / 2));
        EXPECT_FALSE(Ink(left, left.width - 1, left.height / 2));
        EXPECT_TRUE(Ink(right, right.width - 1, right.height / 2));
        EXPECT_FALSE(Ink(right, 0, right.height / 2));
    }
}

TEST(BuiltinGlyphs, ThePointSizeChoosesTheSizeClass)
{
    EXPECT_EQ(SizeClass(0), 0u);
    EXPECT_EQ(SizeClass(80), 0u);
    EXPECT_EQ(SizeClass(239), 0u);
    EXPECT_EQ(SizeClass(240), 1u);
    EXPECT_EQ(SizeClass(359), 1u);
    EXPECT_EQ(SizeClass(360), 2u);
    EXPECT_EQ(SizeClass(479), 2u);
    EXPECT_EQ(SizeClass(480), 3u);
    EXPECT_EQ(SizeClass(65535), 3u);
    // The table's own classes grow with the point size.
    for (unsigned code = 0; code < builtinglyphs::kCodes; ++code)
        for (unsigned c = 1; c < builtinglyphs::kSizeClasses; ++c)
            EXPECT_GT(kBuiltinGlyphs[c][code].height, kBuiltinGlyphs[c - 1][code].height) << code;
}

TEST(BuiltinGlyphs, TheTableNamesTheFaceAndRasteriserItWasDrawnWith)
{
    EXPECT_STREQ(builtinglyphs::kBuiltinGlyphFace, "Liberation Sans Regular");
    EXPECT_EQ(std::string(builtinglyphs::kBuiltinGlyphRasteriser).rfind("FreeType ", 0), 0u);
}

} // namespace
