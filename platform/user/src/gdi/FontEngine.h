// The font engine: outline faces from the system's font files, rasterised monochrome by FreeType.
// A logical font resolves to one of the four style files of a family at an em size in pixels;
// metrics come from the face's own tables, glyphs as 1-bit bitmaps. Thread-safe: one lock guards
// the faces and the glyph cache, taken after the GDI table's lock, never before.
#pragma once
#include "um/wingdi.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace user {

// A logical font made concrete: the file, the em in pixels and the metrics at that size.
struct ResolvedFont {
    std::string file;        // full path of the style file
    std::u16string faceName; // what GetTextFace reports
    int em = 0;
    TEXTMETRICW metrics{};
    bool underline = false;
    bool strikeOut = false;
};

// One glyph at one size: a monochrome bitmap (rows of `pitch` bytes, leftmost pixel in the high
// bit), its position against the pen (left of the black box, base line up to its top) and the
// pen's advance. No ink: width or rows 0.
struct GlyphImage {
    int width = 0;
    int rows = 0;
    int pitch = 0;
    int left = 0;
    int top = 0;
    int advance = 0;
    std::vector<uint8_t> bits;
    bool Ink(int x, int y) const { return (bits[static_cast<size_t>(y) * pitch + x / 8] >> (7 - x % 8)) & 1; }
};

// The style file a face name, weight and italic flag select: "Arial", "MS Shell Dlg", "MS Sans
// Serif", "Microsoft Sans Serif", "Tahoma" and any unknown name to the sans-serif family, "Times
// New Roman" to the serif one, "Courier New" to the monospaced one; bold from weight 600.
std::string FontFileFor(std::u16string_view faceName, LONG weight, bool italic);

// The font a LOGFONT describes, or null when its file cannot be read.
std::shared_ptr<const ResolvedFont> ResolveFont(const LOGFONTW& logical);

// A character's glyph (`index`: a glyph index rather than a character), or null when the face
// cannot give one.
std::shared_ptr<const GlyphImage> RenderGlyph(const ResolvedFont& font, uint32_t code, bool index = false);

// A LOGFONT in the other form: the face name through the ANSI code page.
LOGFONTA AnsiLogFont(const LOGFONTW& wide);
LOGFONTW WideLogFont(const LOGFONTA& narrow);

// The pen's advance over a text in a font.
int TextAdvance(const ResolvedFont& font, std::u16string_view text);

} // namespace user
