// The glyph file (".gph") format core, shared by the driver (which reads and draws glyph files for
// the caption and loss-of-signal overlays) and the property-page library (which writes them):
// the layout of the 32,928-byte header and its 32-byte glyph entries, the checks a file must pass
// before anything of it is used, the table of composed (accented) glyphs, the layout of a line of
// text into cells and a rasteriser of the 1-bit glyph bitmaps into a line of 24-bit pixels in the
// caller's byte order and row direction.
//
// Standard C++ only and allocation-free: the caller owns the header image, the bitmaps and the
// pixel buffer.
#pragma once
#include <cstddef>
#include <cstdint>

namespace glyphfile {

inline constexpr uint32_t kFormatNumber = 1;
inline constexpr uint32_t kHeaderSize = 32928;       // also where the bitmaps start in the file
inline constexpr uint32_t kStyleCount = 4;           // plain, italic, bold, bold italic
inline constexpr uint32_t kGlyphCodes = 177;         // codes 0..176 carry glyphs
inline constexpr uint32_t kGlyphSlots = kStyleCount * kGlyphCodes;
inline constexpr uint32_t kEntryBytes = 32;
inline constexpr uint32_t kFirstTableOffset = 76;
inline constexpr uint32_t kStyleTableBytes = 8192;   // 256 entries
inline constexpr uint32_t kFormatOffset = 0;
inline constexpr uint32_t kHeaderSizeOffset = 8;
inline constexpr uint32_t kFontWeightOffset = 28;    // LOGFONT lfWeight
inline constexpr uint32_t kFontItalicOffset = 32;    // LOGFONT lfItalic
inline constexpr uint32_t kCellHeightOffset = 32844; // tmHeight of styles 0..3
inline constexpr uint32_t kAscentOffset = 32860;     // tmAscent
inline constexpr uint32_t kDescentOffset = 32876;    // tmDescent
inline constexpr uint32_t kLeadingOffset = 32892;    // tmInternalLeading
// Widths, heights and line metrics above this are refused.
inline constexpr uint32_t kMaxDimension = 1024;
// Cells one line may hold (leading blanks, characters, trailing blanks); the rest is cut.
inline constexpr uint32_t kMaxCells = 177;

// Style words (a style argument or a per-character style array).
inline constexpr uint32_t kStyleBold = 0x100;
inline constexpr uint32_t kStyleItalic = 0x200;
inline constexpr uint32_t kStylePlain = 0x400;

inline constexpr uint16_t kCodeW = 87;     // the letter whose width is a blank cell's
inline constexpr uint16_t kCodeGrave = 96; // the accent that is not centred

struct GlyphEntry {
    uint32_t width;   // black-box width, pixels
    uint32_t height;  // black-box height, rows
    int32_t originX;  // pen to the left of the black box
    int32_t originY;  // base line up to the top of the black box
    int16_t advanceX;
    int16_t advanceY;
    uint32_t bitmapBytes;
    uint64_t bitmapField; // file: offset in the bitmap area; memory: as the holder keeps it
};

// Bytes of one bitmap row of a glyph `width` pixels wide: ((width + 31) / 32) x 4.
constexpr uint32_t RowBytes(uint32_t width) { return ((width + 31) / 32) * 4; }
constexpr uint32_t RoundUp4(uint32_t value) { return (value + 3) & ~3u; }
// Style table of a style word: 0x200 adds 1, 0x100 adds 2; other bits are ignored.
constexpr uint32_t StyleIndex(uint32_t styleWord)
{
    return ((styleWord & kStyleBold) ? 2u : 0u) + ((styleWord & kStyleItalic) ? 1u : 0u);
}
constexpr size_t EntryOffset(uint32_t style, uint32_t code)
{
    return kFirstTableOffset + size_t(style) * kStyleTableBytes + size_t(code) * kEntryBytes;
}
// Slot of a glyph in the style-major order the bitmaps follow in the file.
constexpr uint32_t GlyphSlot(uint32_t style, uint32_t code) { return style * kGlyphCodes + code; }

uint32_t ReadU32(const uint8_t* bytes);
int32_t ReadI32(const uint8_t* bytes);
void WriteU32(uint8_t* bytes, uint32_t value);

// The entry of `code` (0..255) in `style` (0..3) of a header image.
GlyphEntry ReadEntry(const uint8_t* header, uint32_t style, uint32_t code);
void WriteEntry(uint8_t* header, uint32_t style, uint32_t code, const GlyphEntry& entry);
// A style's line metrics (tmHeight, tmAscent, tmDescent).
int32_t CellHeight(const uint8_t* header, uint32_t style);
int32_t Ascent(const uint8_t* header, uint32_t style);
int32_t Descent(const uint8_t* header, uint32_t style);
// The tallest cell height of the four styles.
int32_t LineHeight(const uint8_t* header);
// Whether a header image is one of a loaded file: its size word is 32,928.
bool IsLoaded(const uint8_t* header);

enum class HeaderCheck {
    Valid,
    WrongFormat,      // format number not 1
    WrongHeaderSize,  // size word not 32,928
    BadMetrics,       // a line metric negative or above kMaxDimension
    BadGlyph,         // a glyph wider or taller than kMaxDimension, or a byte count that is
                      // neither 0 nor height x RowBytes(width)
};
// Checks a header image read from a file; on Valid, *bitmapBytes is the sum of the byte counts of
// codes 0..176 of the four styles (the bytes that must follow the header).
HeaderCheck CheckHeader(const uint8_t* header, uint64_t* bitmapBytes);

// The two glyphs a composed code (128..176) is drawn from: an accent above a base letter.
struct Composite {
    uint16_t upper;
    uint16_t lower;
};
bool CompositeOf(uint32_t code, Composite* parts);

// The style word of characters that come without one, from the header's font: 0x100 for a weight
// above 400, 0x300 with italics too, 0x600 for italics only, else 0x400.
uint32_t DefaultStyleWord(const uint8_t* header);

// A width in pixels of the letter W in a style, raised to a multiple of 4; 0 when not loaded.
uint32_t CellWidth(const uint8_t* header, uint32_t styleWord);

// One cell of a laid-out line.
struct TextCell {
    uint16_t code;
    uint8_t style;   // table 0..3
    uint8_t blank;   // 1: a leading or trailing blank cell (background only)
    int32_t width;   // a multiple of 4
    int32_t originX;
};

struct TextLayout {
    uint32_t cellCount;
    int32_t lineWidth;     // a multiple of 4
    int32_t lineHeight;    // the tallest cell height of the four styles
    int32_t trailingWidth; // of the trailing blank cells
    TextCell cells[kMaxCells];
};

// Lays out `count` codes (their low byte is the glyph code) with their style words (or, with no
// array, DefaultStyleWord for every one), after `leading` and before `trailing` blank cells as
// wide as W in the first and the last character's style. False when the header is not loaded or
// the line would be empty (no cell, or zero height).
bool LayOutText(const uint8_t* header, const uint16_t* codes, const uint32_t* styles, uint32_t count,
                uint32_t leading, uint32_t trailing, TextLayout* layout);

// Where a line is drawn: 3 bytes a pixel, `stride` bytes a row (at least 3 x lineWidth),
// lineHeight rows, top row first unless bottomUp.
enum class PixelOrder { RedFirst, BlueFirst };
struct LineTarget {
    uint8_t* pixels;
    size_t stride;
    bool bottomUp;
    PixelOrder order;
};

// Draws a laid-out line: the whole line in `background`, then the set bits of each cell's glyph
// (composites: the accent above the base letter) in `foreground` (colours 0x00BBGGRR). `bitmaps`
// holds kGlyphSlots pointers in GlyphSlot order, each to its entry's bitmapBytes bytes (null when
// 0). Returns the width the line keeps after trimming: the furthest foreground column of any row
// plus the trailing blank cells, raised to a multiple of 4 and at most lineWidth.
int32_t DrawText(const uint8_t* header, const uint8_t* const* bitmaps, const TextLayout& layout,
                 uint32_t background, uint32_t foreground, const LineTarget& target);

} // namespace glyphfile
