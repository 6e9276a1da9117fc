// The committed table of built-in glyphs is this tool's output: drawn again from the face it names
// with the rasteriser it names, it comes out byte for byte the same. With another FreeType or
// without the face the comparison cannot be made and is skipped, saying why.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "TableWriter.h"

namespace {

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(BuiltinGlyphMaker, DrawsTheCommittedTableAgainFromItsFace)
{
    if (!std::filesystem::exists(BUILTIN_GLYPH_FACE))
        GTEST_SKIP() << "no face " << BUILTIN_GLYPH_FACE << " (tools/setup.sh installs it)";
    builtinglyphs::BuiltinGlyphRenderer renderer(BUILTIN_GLYPH_FACE);
    ASSERT_TRUE(renderer.Ready()) << renderer.Error();
    const std::string committed = ReadFile(BUILTIN_GLYPH_TABLE);
    ASSERT_FALSE(committed.empty());
    if (committed.find("with " + renderer.RasteriserName() + ".") == std::string::npos)
        GTEST_SKIP() << "the table was drawn with another FreeType than " << renderer.RasteriserName();
    std::string error;
    const std::string drawn = builtinglyphs::TableSource(renderer, error);
    ASSERT_FALSE(drawn.empty()) << error;
    EXPECT_TRUE(drawn == committed) << "PropPages/glyphs/BuiltinGlyphTable.cpp is not the tool's output: run "
                                       "builtin-glyph-maker again (tools/builtinglyphs/README.md)";
}

TEST(BuiltinGlyphMaker, StretchesAMarkOverExactlyItsBoxAndRefusesWhatTheFaceLacks)
{
    if (!std::filesystem::exists(BUILTIN_GLYPH_FACE))
        GTEST_SKIP() << "no face " << BUILTIN_GLYPH_FACE;
    builtinglyphs::BuiltinGlyphRenderer renderer(BUILTIN_GLYPH_FACE);
    ASSERT_TRUE(renderer.Ready()) << renderer.Error();
    // A full stop stretched over 40 x 3 pixels: rows of 8 bytes, ink from edge to edge.
    const std::vector<uint8_t> dot = renderer.Render(U".", 40, 3);
    ASSERT_EQ(dot.size(), 3u * 8);
    for (int y = 0; y < 3; ++y) {
        EXPECT_NE(dot[y * 8] & 0x80, 0) << y;
        EXPECT_NE(dot[y * 8 + 4] & 0x80, 0) << y; // pixel 32
        EXPECT_NE(dot[y * 8 + 4] & 0x01, 0) << y; // pixel 39
        EXPECT_EQ(dot[y * 8 + 5], 0) << y;        // padding
    }
    // A space has no ink, a private-use code no glyph: nothing is drawn.
    EXPECT_TRUE(renderer.Render(U" ", 8, 8).empty());
    EXPECT_TRUE(renderer.Render(U"\uE000", 8, 8).empty());
    EXPECT_TRUE(renderer.Render(U"A", 0, 8).empty());
    builtinglyphs::BuiltinGlyphRenderer missing("/nonexistent/face.ttf");
    EXPECT_FALSE(missing.Ready());
    EXPECT_TRUE(missing.Render(U"A", 8, 8).empty());
}

} // namespace
