// Laying text out for the drawing calls and the controls: '&' prefixes, lines and word breaks, and
// glyph runs drawn onto a canvas.
#pragma once
#include "gdi/Raster.h"

#include <string>
#include <vector>

namespace user {

// A text with its '&' prefixes taken out ("&&" stays one '&'): the character the last prefix
// marks, -1 for none.
struct PrefixedText {
    std::u16string text;
    int underline = -1;
};
PrefixedText StripPrefixes(std::u16string_view text, bool prefixes);

// A text's lines: at line feeds unless single-line, and with `wordBreak` at spaces so that each
// fits `width` where a space allows. `starts` receives each line's offset in the text.
std::vector<std::u16string> BreakLines(const ResolvedFont& font, std::u16string_view text, bool singleLine,
                                       bool wordBreak, int width, std::vector<size_t>* starts);

// Glyphs in the DC's text colour from the cell's top-left (x, y), with the advances `dx` when given
// and a line under character `underline` (-1: none) and under all of them for an underlined font.
void DrawGlyphsLocked(Canvas& canvas, const ResolvedFont& font, int x, int y, std::u16string_view text,
                      const INT* dx, int underline);

} // namespace user
