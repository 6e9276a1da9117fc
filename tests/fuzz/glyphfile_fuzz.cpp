// Fuzz harness of the glyph file core: any bytes as a glyph file. A file the checks accept must
// hold every bitmap its records count; its text then lays out and draws within the line buffer
// (the buffer's guard bytes stay untouched) whatever the records' metrics say.
#include "glyphfileformat.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

using namespace glyphfile;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < kHeaderSize)
        return 0;
    std::vector<uint8_t> header(data, data + kHeaderSize);
    uint64_t bitmapBytes = 0;
    if (CheckHeader(header.data(), &bitmapBytes) != HeaderCheck::Valid || bitmapBytes > size - kHeaderSize)
        return 0;
    std::vector<const uint8_t*> bitmaps(kGlyphSlots, nullptr);
    uint64_t offset = kHeaderSize;
    for (uint32_t s = 0; s < kStyleCount; ++s)
        for (uint32_t c = 0; c < kGlyphCodes; ++c) {
            const GlyphEntry e = ReadEntry(header.data(), s, c);
            if (e.bitmapBytes)
                bitmaps[GlyphSlot(s, c)] = data + offset;
            offset += e.bitmapBytes;
        }
    if (offset > size)
        std::abort();
    // Text from the bytes after the bitmaps (or a fixed line), in every style.
    std::vector<uint16_t> codes;
    std::vector<uint32_t> styles;
    for (size_t i = size_t(offset); i < size && codes.size() < 200; ++i) {
        codes.push_back(data[i]);
        styles.push_back(uint32_t(data[i] & 3) << 8);
    }
    if (codes.empty())
        for (uint16_t c : {72, 146, 20, 87, 176})
            codes.push_back(c), styles.push_back(0x300);
    TextLayout* layout = new TextLayout;
    if (LayOutText(header.data(), codes.data(), styles.data(), uint32_t(codes.size()), 2, 1, layout)) {
        if (layout->cellCount > kMaxCells || layout->lineWidth % 4 != 0 || layout->lineHeight > int32_t(kMaxDimension))
            std::abort();
        const size_t stride = size_t(layout->lineWidth) * 3;
        std::vector<uint8_t> line(stride * size_t(layout->lineHeight) + 64, 0xA5);
        const int32_t kept = DrawText(header.data(), bitmaps.data(), *layout, 0x102030, 0xF0F0F0,
                                      {line.data(), stride, (size & 1) != 0, PixelOrder::BlueFirst});
        if (kept < 0 || kept > layout->lineWidth)
            std::abort();
        for (size_t i = line.size() - 64; i < line.size(); ++i)
            if (line[i] != 0xA5)
                std::abort();
    }
    delete layout;
    return 0;
}
