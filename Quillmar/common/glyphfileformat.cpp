// The glyph file format core: layout, checks, composites, line layout and the 1-bit rasteriser.
#include "glyphfileformat.h"

#include <algorithm>
#include <cstring>

namespace glyphfile {

namespace {

constexpr char kVowelsAndCases[] = "aAeEiIoOuU";
constexpr char kTildeLetters[] = "aAoOnN";

struct CellGlyphs {
    GlyphEntry upper;        // the glyph itself for plain codes
    GlyphEntry lower;        // composites only
    uint16_t upperCode;
    uint16_t lowerCode;
    bool composite;
    int32_t upperShift;      // pixels the narrower part moves right
    int32_t lowerShift;
    int32_t width;           // black-box width of the cell
    int32_t height;          // of both parts
    int32_t originY;
};

CellGlyphs CellOf(const uint8_t* header, uint32_t style, uint16_t code)
{
    CellGlyphs cell = {};
    Composite parts;
    if (CompositeOf(code, &parts)) {
        cell.composite = true;
        cell.upperCode = parts.upper;
        cell.lowerCode = parts.lower;
        cell.upper = ReadEntry(header, style, parts.upper);
        cell.lower = ReadEntry(header, style, parts.lower);
        const int32_t upperWidth = static_cast<int32_t>(cell.upper.width);
        const int32_t lowerWidth = static_cast<int32_t>(cell.lower.width);
        cell.width = std::max(upperWidth, lowerWidth);
        if (parts.upper != kCodeGrave) {
            if (upperWidth < lowerWidth)
                cell.upperShift = (lowerWidth - upperWidth) / 2;
            else
                cell.lowerShift = (upperWidth - lowerWidth) / 2;
        }
        cell.height = static_cast<int32_t>(cell.upper.height + cell.lower.height);
        cell.originY = cell.height;
    } else {
        cell.upperCode = code;
        cell.upper = ReadEntry(header, style, code);
        cell.width = static_cast<int32_t>(cell.upper.width);
        cell.height = static_cast<int32_t>(cell.upper.height);
        cell.originY = cell.upper.originY;
    }
    return cell;
}

int32_t CellOriginX(const uint8_t* header, uint32_t style, uint16_t code)
{
    Composite parts;
    if (!CompositeOf(code, &parts))
        return ReadEntry(header, style, code).originX;
    const GlyphEntry upper = ReadEntry(header, style, parts.upper);
    const GlyphEntry lower = ReadEntry(header, style, parts.lower);
    if (upper.width > lower.width)
        return upper.originX;
    if (lower.width > upper.width)
        return lower.originX;
    return ReadEntry(header, style, code).originX;
}

// Advances are kept within the line: an origin outside 0..kMaxDimension counts as 0.
int32_t Advance(int32_t originX) { return originX >= 0 && originX <= int32_t(kMaxDimension) ? originX : 0; }

void PutPixel(const LineTarget& target, int32_t height, int32_t x, int32_t y, uint32_t colour)
{
    const int32_t row = target.bottomUp ? height - 1 - y : y;
    uint8_t* p = target.pixels + size_t(row) * target.stride + size_t(x) * 3;
    const uint8_t r = colour & 0xFF, g = (colour >> 8) & 0xFF, b = (colour >> 16) & 0xFF;
    if (target.order == PixelOrder::RedFirst) {
        p[0] = r;
        p[1] = g;
        p[2] = b;
    } else {
        p[0] = b;
        p[1] = g;
        p[2] = r;
    }
}

// Draws the set bits of one glyph with its top row at line row `top` and its left column at `left`,
// clipped to the line; `lastInk` keeps the furthest foreground column of each row.
void DrawGlyph(const LineTarget& target, const TextLayout& layout, const GlyphEntry& entry, const uint8_t* bitmap,
               int32_t left, int32_t top, uint32_t foreground, int32_t* lastInk)
{
    if (!bitmap || entry.bitmapBytes == 0)
        return;
    const uint32_t rowBytes = RowBytes(entry.width);
    for (uint32_t r = 0; r < entry.height; ++r) {
        const int32_t y = top + int32_t(r);
        if (y < 0)
            continue;
        if (y >= layout.lineHeight)
            break;
        const uint8_t* row = bitmap + size_t(r) * rowBytes;
        for (uint32_t c = 0; c < entry.width; ++c) {
            if (!(row[c >> 3] & (0x80u >> (c & 7))))
                continue;
            const int32_t x = left + int32_t(c);
            if (x < 0 || x >= layout.lineWidth)
                continue;
            PutPixel(target, layout.lineHeight, x, y, foreground);
            lastInk[y] = std::max(lastInk[y], x);
        }
    }
}

} // namespace

uint32_t ReadU32(const uint8_t* bytes)
{
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
}

int32_t ReadI32(const uint8_t* bytes) { return static_cast<int32_t>(ReadU32(bytes)); }

void WriteU32(uint8_t* bytes, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}

GlyphEntry ReadEntry(const uint8_t* header, uint32_t style, uint32_t code)
{
    GlyphEntry entry = {};
    if (style >= kStyleCount || code >= 256)
        return entry;
    const uint8_t* p = header + EntryOffset(style, code);
    entry.width = ReadU32(p);
    entry.height = ReadU32(p + 4);
    entry.originX = ReadI32(p + 8);
    entry.originY = ReadI32(p + 12);
    entry.advanceX = static_cast<int16_t>(p[16] | p[17] << 8);
    entry.advanceY = static_cast<int16_t>(p[18] | p[19] << 8);
    entry.bitmapBytes = ReadU32(p + 20);
    entry.bitmapField = uint64_t(ReadU32(p + 24)) | uint64_t(ReadU32(p + 28)) << 32;
    return entry;
}

void WriteEntry(uint8_t* header, uint32_t style, uint32_t code, const GlyphEntry& entry)
{
    if (style >= kStyleCount || code >= 256)
        return;
    uint8_t* p = header + EntryOffset(style, code);
    WriteU32(p, entry.width);
    WriteU32(p + 4, entry.height);
    WriteU32(p + 8, static_cast<uint32_t>(entry.originX));
    WriteU32(p + 12, static_cast<uint32_t>(entry.originY));
    WriteU32(p + 16, uint32_t(uint16_t(entry.advanceX)) | uint32_t(uint16_t(entry.advanceY)) << 16);
    WriteU32(p + 20, entry.bitmapBytes);
    WriteU32(p + 24, static_cast<uint32_t>(entry.bitmapField));
    WriteU32(p + 28, static_cast<uint32_t>(entry.bitmapField >> 32));
}

int32_t CellHeight(const uint8_t* header, uint32_t style) { return ReadI32(header + kCellHeightOffset + 4 * (style & 3)); }
int32_t Ascent(const uint8_t* header, uint32_t style) { return ReadI32(header + kAscentOffset + 4 * (style & 3)); }
int32_t Descent(const uint8_t* header, uint32_t style) { return ReadI32(header + kDescentOffset + 4 * (style & 3)); }

int32_t LineHeight(const uint8_t* header)
{
    int32_t height = 0;
    for (uint32_t s = 0; s < kStyleCount; ++s)
        height = std::max(height, CellHeight(header, s));
    return height;
}

bool IsLoaded(const uint8_t* header) { return header && ReadU32(header + kHeaderSizeOffset) == kHeaderSize; }

HeaderCheck CheckHeader(const uint8_t* header, uint64_t* bitmapBytes)
{
    if (ReadU32(header + kFormatOffset) != kFormatNumber)
        return HeaderCheck::WrongFormat;
    if (ReadU32(header + kHeaderSizeOffset) != kHeaderSize)
        return HeaderCheck::WrongHeaderSize;
    for (uint32_t s = 0; s < kStyleCount; ++s) {
        for (int32_t metric : {CellHeight(header, s), Ascent(header, s), Descent(header, s)})
            if (metric < 0 || metric > int32_t(kMaxDimension))
                return HeaderCheck::BadMetrics;
    }
    uint64_t total = 0;
    for (uint32_t s = 0; s < kStyleCount; ++s) {
        for (uint32_t c = 0; c < kGlyphCodes; ++c) {
            const GlyphEntry e = ReadEntry(header, s, c);
            if (e.width > kMaxDimension || e.height > kMaxDimension)
                return HeaderCheck::BadGlyph;
            if (e.bitmapBytes != 0 && uint64_t(e.bitmapBytes) != uint64_t(e.height) * RowBytes(e.width))
                return HeaderCheck::BadGlyph;
            total += e.bitmapBytes;
        }
    }
    if (bitmapBytes)
        *bitmapBytes = total;
    return HeaderCheck::Valid;
}

bool CompositeOf(uint32_t code, Composite* parts)
{
    auto set = [parts](uint16_t upper, uint16_t lower) {
        if (parts)
            *parts = {upper, lower};
        return true;
    };
    if (code >= 128 && code <= 137)
        return set(8, uint16_t(kVowelsAndCases[code - 128]));
    if (code == 138)
        return set(67, 9);
    if (code >= 139 && code <= 148)
        return set(7, uint16_t(kVowelsAndCases[code - 139]));
    if (code == 149 || code == 150)
        return set(2, uint16_t(kVowelsAndCases[code - 149]));
    if (code >= 151 && code <= 160)
        return set(kCodeGrave, uint16_t(kVowelsAndCases[code - 151]));
    if (code >= 161 && code <= 170)
        return set(12, uint16_t(kVowelsAndCases[code - 161]));
    if (code >= 171 && code <= 176)
        return set(126, uint16_t(kTildeLetters[code - 171]));
    return false;
}

uint32_t DefaultStyleWord(const uint8_t* header)
{
    const int32_t weight = ReadI32(header + kFontWeightOffset);
    const bool italic = header[kFontItalicOffset] != 0;
    if (weight > 400)
        return italic ? kStyleBold | kStyleItalic : kStyleBold;
    return italic ? 0x600 : kStylePlain;
}

uint32_t CellWidth(const uint8_t* header, uint32_t styleWord)
{
    if (!IsLoaded(header))
        return 0;
    const GlyphEntry w = ReadEntry(header, StyleIndex(styleWord), kCodeW);
    return w.width > kMaxDimension ? 0 : RoundUp4(w.width);
}

bool LayOutText(const uint8_t* header, const uint16_t* codes, const uint32_t* styles, uint32_t count,
                uint32_t leading, uint32_t trailing, TextLayout* layout)
{
    if (!layout)
        return false;
    layout->cellCount = 0;
    layout->lineWidth = 0;
    layout->lineHeight = 0;
    layout->trailingWidth = 0;
    if (!IsLoaded(header) || (count > 0 && !codes))
        return false;
    const uint32_t defaultStyle = DefaultStyleWord(header);
    auto styleOf = [&](uint32_t i) { return StyleIndex(styles ? styles[i] : defaultStyle); };
    const uint32_t firstStyle = count ? styleOf(0) : StyleIndex(defaultStyle);
    const uint32_t lastStyle = count ? styleOf(count - 1) : firstStyle;

    int64_t width = 0;
    auto add = [&](uint16_t code, uint32_t style, bool blank) {
        if (layout->cellCount >= kMaxCells)
            return false;
        TextCell& cell = layout->cells[layout->cellCount++];
        cell.code = code;
        cell.style = static_cast<uint8_t>(style);
        cell.blank = blank ? 1 : 0;
        if (blank) {
            const GlyphEntry w = ReadEntry(header, style, kCodeW);
            cell.width = int32_t(RoundUp4(std::min(w.width, kMaxDimension)));
            cell.originX = w.originX;
        } else {
            const CellGlyphs glyphs = CellOf(header, style, code);
            cell.width = int32_t(RoundUp4(uint32_t(std::clamp(glyphs.width, 0, int32_t(kMaxDimension)))));
            cell.originX = CellOriginX(header, style, code);
        }
        width += cell.width + Advance(cell.originX);
        return true;
    };
    for (uint32_t i = 0; i < leading; ++i)
        if (!add(kCodeW, firstStyle, true))
            break;
    for (uint32_t i = 0; i < count; ++i)
        if (!add(static_cast<uint16_t>(codes[i] & 0xFF), styleOf(i), false))
            break;
    for (uint32_t i = 0; i < trailing; ++i) {
        const uint32_t before = layout->cellCount;
        if (!add(kCodeW, lastStyle, true))
            break;
        layout->trailingWidth += layout->cells[before].width;
    }
    layout->lineWidth = int32_t(RoundUp4(uint32_t(std::min<int64_t>(width, int64_t(kMaxCells) * 2 * kMaxDimension))));
    layout->lineHeight = LineHeight(header);
    return layout->cellCount > 0 && layout->lineWidth > 0 && layout->lineHeight > 0;
}

int32_t DrawText(const uint8_t* header, const uint8_t* const* bitmaps, const TextLayout& layout,
                 uint32_t background, uint32_t foreground, const LineTarget& target)
{
    const int32_t height = layout.lineHeight;
    if (!IsLoaded(header) || !target.pixels || height <= 0 || layout.lineWidth <= 0 ||
        height > int32_t(kMaxDimension) || target.stride < size_t(layout.lineWidth) * 3)
        return 0;
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < layout.lineWidth; ++x)
            PutPixel(target, height, x, y, background);

    int32_t lastInk[kMaxDimension];
    std::fill(lastInk, lastInk + height, -1);
    auto bitmapOf = [&](uint32_t style, uint16_t code) -> const uint8_t* {
        return bitmaps && code < kGlyphCodes ? bitmaps[GlyphSlot(style, code)] : nullptr;
    };
    int64_t pen = 0;
    for (uint32_t i = 0; i < layout.cellCount; ++i) {
        const TextCell& cell = layout.cells[i];
        const int32_t advance = Advance(cell.originX);
        int64_t left = pen;
        if (i > 0) {
            const bool italic = (cell.style & 1) != 0;
            left = italic ? pen - advance + (advance != 0 ? 1 : 0) : pen + advance;
        }
        pen += cell.width + advance;
        if (cell.blank || left >= layout.lineWidth)
            continue;
        const CellGlyphs glyphs = CellOf(header, cell.style, cell.code);
        const int32_t ascent = Ascent(header, cell.style);
        const int32_t descent = Descent(header, cell.style);
        // Rows counted from the bottom of the line: the glyph's top row goes to row start - 1.
        int64_t start;
        if (glyphs.originY == glyphs.height || glyphs.originY < 0)
            start = int64_t(descent) + glyphs.height;
        else if (glyphs.originY < glyphs.height || int64_t(glyphs.originY) + glyphs.height < ascent)
            start = int64_t(descent) + glyphs.originY;
        else
            start = height - 1;
        if (start > height)
            start = height;
        const int32_t top = static_cast<int32_t>(height - start);
        DrawGlyph(target, layout, glyphs.upper, bitmapOf(cell.style, glyphs.upperCode),
                  int32_t(left) + glyphs.upperShift, top, foreground, lastInk);
        if (glyphs.composite)
            DrawGlyph(target, layout, glyphs.lower, bitmapOf(cell.style, glyphs.lowerCode),
                      int32_t(left) + glyphs.lowerShift, top + int32_t(glyphs.upper.height), foreground, lastInk);
    }
    int32_t keep = 0;
    for (int32_t y = 0; y < height; ++y)
        keep = std::max(keep, lastInk[y] + 1 + layout.trailingWidth);
    if (keep >= layout.lineWidth)
        return layout.lineWidth;
    return std::min(int32_t(RoundUp4(uint32_t(keep))), layout.lineWidth);
}

} // namespace glyphfile
