// The glyph-file writer's built-in glyphs: the marks and symbols of codes 0 to 18 that a glyph file
// carries in place of the typeface's own, each as a fixed 1-bit bitmap in four size classes.
//
// Codes, in order: 0 pound sign, 1 cent sign, 2 ring, 3 one half, 4 eighth note, 5 registered
// sign, 6 trade mark sign, 7 circumflex accent, 8 acute accent, 9 cedilla, 10 left and 11 right
// double angle quotation marks, 12 diaeresis, 13 inverted exclamation mark, 14 yen sign, 15 sharp
// s, 16 circled letter C, 17 service mark, 18 bullet.
//
// The table, kBuiltinGlyphs[size class][code], is BuiltinGlyphTable.cpp, drawn once from a real
// face by tools/builtinglyphs and committed (README.md). Each entry:
//   width, height  the black box in pixels; the ink touches all four of its edges;
//   above          the mark sits above a letter (ring, trade mark, circumflex, acute, diaeresis,
//                  service mark): the writer gives it origin y = tmHeight - height, the others -1;
//   bits           height rows, top row first, each glyphfile::RowBytes(width) bytes (4, or 8 for
//                  widths above 32), the leftmost pixel in the most significant bit of the row's
//                  first byte, a set bit ink; bits right of the width are clear. This is the
//                  glyph bitmap format of the file itself: the writer copies BitmapBytes(entry)
//                  bytes as they are.
#pragma once
#include <cstdint>

#include "glyphfileformat.h"

namespace builtinglyphs {

inline constexpr unsigned kCodes = 19;
inline constexpr unsigned kSizeClasses = 4;

struct BuiltinGlyph {
    uint32_t width;
    uint32_t height;
    bool above;
    const uint8_t* bits;
};

constexpr uint32_t BitmapBytes(const BuiltinGlyph& glyph) { return glyph.height * glyphfile::RowBytes(glyph.width); }

// The size class of a point size in tenths of a point: 0 below 24 pt, 1 below 36 pt, 2 below
// 48 pt, 3 from 48 pt up.
constexpr unsigned SizeClass(uint32_t pointSizeTenths)
{
    return pointSizeTenths < 240 ? 0 : pointSizeTenths < 360 ? 1 : pointSizeTenths < 480 ? 2 : 3;
}

extern const BuiltinGlyph kBuiltinGlyphs[kSizeClasses][kCodes];
// The face and the rasteriser the table was drawn with.
extern const char kBuiltinGlyphFace[];
extern const char kBuiltinGlyphRasteriser[];

} // namespace builtinglyphs
