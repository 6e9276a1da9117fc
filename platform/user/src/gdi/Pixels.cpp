// Pixel formats: reading and writing values, colours and their nearest values, DIB headers and
// BMP files.
#include "gdi/Pixels.h"

#include <climits>
#include <cstring>

namespace user {
namespace {

constexpr int64_t kMaxPixels = int64_t{1} << 26;

int Shift(DWORD mask)
{
    int shift = 0;
    while (mask && !(mask & 1)) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

int Width(DWORD mask)
{
    mask >>= Shift(mask);
    int bits = 0;
    while (mask & 1) {
        mask >>= 1;
        ++bits;
    }
    return bits;
}

// A field's value scaled to 8 bits, low bits repeating the high ones (31 of 5 bits is 255).
BYTE Expand(uint32_t value, DWORD mask)
{
    const int bits = Width(mask);
    if (bits == 0)
        return 0;
    uint32_t field = (value & mask) >> Shift(mask);
    if (bits >= 8)
        return static_cast<BYTE>(field >> (bits - 8));
    uint32_t out = 0;
    int filled = 0;
    while (filled < 8) {
        out = (out << bits) | field;
        filled += bits;
    }
    return static_cast<BYTE>(out >> (filled - 8));
}

uint32_t Compress(BYTE channel, DWORD mask)
{
    const int bits = Width(mask);
    if (bits == 0)
        return 0;
    const uint32_t max = (bits >= 32) ? 0xFFFFFFFFu : ((1u << bits) - 1);
    const uint32_t field = bits >= 8 ? (static_cast<uint32_t>(channel) << (bits - 8))
                                     : (static_cast<uint32_t>(channel) * max + 127) / 255;
    return (field << Shift(mask)) & mask;
}

bool ValidMasks(const DWORD masks[3], WORD bitsPixel)
{
    for (int i = 0; i < 3; ++i) {
        const DWORD m = masks[i];
        if (m == 0)
            return false;
        if (bitsPixel == 16 && (m >> 16))
            return false;
        // Contiguous bits only.
        const DWORD shifted = m >> Shift(m);
        if (shifted & (shifted + 1))
            return false;
    }
    return true;
}

uint32_t Le32(const BYTE* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

uint16_t Le16(const BYTE* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

} // namespace

uint32_t PixelBuffer::Get(LONG x, LONG y) const
{
    const BYTE* row = Row(y);
    switch (bitsPixel) {
    case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4: return (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xF;
    case 8: return row[x];
    case 16: return Le16(row + 2 * x);
    case 24: return static_cast<uint32_t>(row[3 * x]) | (static_cast<uint32_t>(row[3 * x + 1]) << 8) |
                    (static_cast<uint32_t>(row[3 * x + 2]) << 16);
    default: return Le32(row + 4 * x);
    }
}

void PixelBuffer::Set(LONG x, LONG y, uint32_t value)
{
    BYTE* row = Row(y);
    switch (bitsPixel) {
    case 1: {
        const BYTE bit = static_cast<BYTE>(0x80 >> (x & 7));
        row[x >> 3] = static_cast<BYTE>((value & 1) ? (row[x >> 3] | bit) : (row[x >> 3] & ~bit));
        break;
    }
    case 4: {
        BYTE& b = row[x >> 1];
        b = (x & 1) ? static_cast<BYTE>((b & 0xF0) | (value & 0xF)) : static_cast<BYTE>((b & 0x0F) | ((value & 0xF) << 4));
        break;
    }
    case 8: row[x] = static_cast<BYTE>(value); break;
    case 16:
        row[2 * x] = static_cast<BYTE>(value);
        row[2 * x + 1] = static_cast<BYTE>(value >> 8);
        break;
    case 24:
        row[3 * x] = static_cast<BYTE>(value);
        row[3 * x + 1] = static_cast<BYTE>(value >> 8);
        row[3 * x + 2] = static_cast<BYTE>(value >> 16);
        break;
    default:
        for (int i = 0; i < 4; ++i)
            row[4 * x + i] = static_cast<BYTE>(value >> (8 * i));
    }
}

COLORREF PixelBuffer::ColorOf(uint32_t value) const
{
    if (bitsPixel <= 8) {
        if (value < palette.size()) {
            const RGBQUAD& q = palette[value];
            return RGB(q.rgbRed, q.rgbGreen, q.rgbBlue);
        }
        return 0;
    }
    if (bitsPixel == 24)
        return RGB((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF);
    return RGB(Expand(value, masks[0]), Expand(value, masks[1]), Expand(value, masks[2]));
}

uint32_t PixelBuffer::ValueOf(COLORREF color) const
{
    const BYTE r = GetRValue(color), g = GetGValue(color), b = GetBValue(color);
    if (bitsPixel <= 8) {
        uint32_t best = 0;
        int64_t bestDistance = INT64_MAX;
        for (size_t i = 0; i < palette.size(); ++i) {
            const int dr = palette[i].rgbRed - r, dg = palette[i].rgbGreen - g, db = palette[i].rgbBlue - b;
            const int64_t d = dr * dr + dg * dg + db * db;
            if (d < bestDistance) {
                bestDistance = d;
                best = static_cast<uint32_t>(i);
            }
        }
        return best;
    }
    if (bitsPixel == 24)
        return b | (static_cast<uint32_t>(g) << 8) | (static_cast<uint32_t>(r) << 16);
    return Compress(r, masks[0]) | Compress(g, masks[1]) | Compress(b, masks[2]);
}

void SetDefaultMasks(PixelBuffer& pixels)
{
    if (pixels.bitsPixel == 16) {
        pixels.masks[0] = 0x7C00;
        pixels.masks[1] = 0x03E0;
        pixels.masks[2] = 0x001F;
    } else if (pixels.bitsPixel == 32) {
        pixels.masks[0] = 0xFF0000;
        pixels.masks[1] = 0x00FF00;
        pixels.masks[2] = 0x0000FF;
    }
}

std::shared_ptr<PixelBuffer> MakePixels(LONG width, LONG height, WORD bitsPixel, bool dibRows, bool bottomUp)
{
    if (width < 0 || height < 0 || static_cast<int64_t>(width) * height > kMaxPixels || width > 0x10000 ||
        height > 0x10000)
        return nullptr;
    auto pixels = std::make_shared<PixelBuffer>();
    pixels->width = width;
    pixels->height = height;
    pixels->bitsPixel = bitsPixel;
    const LONG bytes = static_cast<LONG>((static_cast<int64_t>(width) * bitsPixel + 7) / 8);
    pixels->rowBytes = dibRows ? ((bytes + 3) & ~3) : ((bytes + 1) & ~1);
    pixels->bottomUp = bottomUp;
    pixels->storage.assign(static_cast<size_t>(pixels->rowBytes) * static_cast<size_t>(height), 0);
    SetDefaultMasks(*pixels);
    return pixels;
}

std::shared_ptr<PixelBuffer> MakeDeviceBitmap(LONG width, LONG height, WORD bitsPixel)
{
    auto pixels = MakePixels(width, height, bitsPixel, false, false);
    if (!pixels)
        return nullptr;
    if (bitsPixel == 16) {
        pixels->masks[0] = 0xF800;
        pixels->masks[1] = 0x07E0;
        pixels->masks[2] = 0x001F;
    } else if (bitsPixel == 1) {
        pixels->mono = true;
        pixels->palette = {RGBQUAD{0, 0, 0, 0}, RGBQUAD{255, 255, 255, 0}};
    } else if (bitsPixel <= 8) {
        const int entries = 1 << bitsPixel;
        for (int i = 0; i < entries; ++i) {
            const auto grey = static_cast<BYTE>(i * 255 / (entries - 1));
            pixels->palette.push_back(RGBQUAD{grey, grey, grey, 0});
        }
    }
    return pixels;
}

std::optional<DibLayout> ReadDibLayout(const BYTE* info, size_t available)
{
    if (!info || available < 12)
        return std::nullopt;
    const uint32_t headerSize = Le32(info);
    DibLayout layout;
    DWORD compression = BI_RGB;
    uint32_t colorsUsed = 0;
    bool core = false;
    int64_t height = 0;
    if (headerSize == 12) {
        core = true;
        layout.width = Le16(info + 4);
        height = static_cast<int16_t>(Le16(info + 6));
        if (Le16(info + 8) != 1)
            return std::nullopt;
        layout.bitsPixel = Le16(info + 10);
    } else if (headerSize == 40 || headerSize == 52 || headerSize == 56 || headerSize == 108 || headerSize == 124) {
        if (available < headerSize)
            return std::nullopt;
        layout.width = static_cast<LONG>(Le32(info + 4));
        height = static_cast<int32_t>(Le32(info + 8));
        if (Le16(info + 12) != 1)
            return std::nullopt;
        layout.bitsPixel = Le16(info + 14);
        compression = Le32(info + 16);
        colorsUsed = Le32(info + 32);
    } else {
        return std::nullopt;
    }
    const WORD bpp = layout.bitsPixel;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
        return std::nullopt;
    if (compression != BI_RGB && !(compression == BI_BITFIELDS && (bpp == 16 || bpp == 32)))
        return std::nullopt;
    if (height == INT32_MIN || layout.width <= 0 || height == 0)
        return std::nullopt;
    layout.bottomUp = height > 0;
    layout.height = static_cast<LONG>(height > 0 ? height : -height);
    if (static_cast<int64_t>(layout.width) * layout.height > kMaxPixels || layout.width > 0x10000 ||
        layout.height > 0x10000)
        return std::nullopt;
    layout.rowBytes = static_cast<LONG>(((static_cast<int64_t>(layout.width) * bpp + 31) / 32) * 4);
    size_t offset = headerSize;
    if (compression == BI_BITFIELDS) {
        if (headerSize == 40) {
            if (available < offset + 12)
                return std::nullopt;
            for (int i = 0; i < 3; ++i)
                layout.masks[i] = Le32(info + offset + 4 * i);
            offset += 12;
        } else {
            for (int i = 0; i < 3; ++i)
                layout.masks[i] = Le32(info + 40 + 4 * i);
        }
        if (!ValidMasks(layout.masks, bpp))
            return std::nullopt;
    } else if (bpp == 16) {
        layout.masks[0] = 0x7C00;
        layout.masks[1] = 0x03E0;
        layout.masks[2] = 0x001F;
    } else if (bpp >= 24) {
        layout.masks[0] = 0xFF0000;
        layout.masks[1] = 0x00FF00;
        layout.masks[2] = 0x0000FF;
    }
    const size_t entrySize = core ? 3 : 4;
    size_t entries = 0;
    if (bpp <= 8) {
        const size_t most = size_t{1} << bpp;
        entries = colorsUsed ? colorsUsed : most;
        if (entries > most)
            return std::nullopt;
    } else if (colorsUsed) {
        // A table that only hints at a palette: skipped.
        if (colorsUsed > 256)
            return std::nullopt;
        entries = colorsUsed;
    }
    if (available < offset + entries * entrySize)
        return std::nullopt;
    if (bpp <= 8) {
        for (size_t i = 0; i < entries; ++i) {
            const BYTE* e = info + offset + i * entrySize;
            layout.palette.push_back(RGBQUAD{e[0], e[1], e[2], 0});
        }
    }
    layout.headerBytes = offset + entries * entrySize;
    return layout;
}

std::shared_ptr<PixelBuffer> ReadBmp(const BYTE* data, size_t size, bool fileHeader)
{
    size_t infoAt = 0;
    uint32_t bitsAt = 0;
    if (fileHeader) {
        if (!data || size < 14 || data[0] != 'B' || data[1] != 'M')
            return nullptr;
        bitsAt = Le32(data + 10);
        infoAt = 14;
    }
    const auto layout = ReadDibLayout(data + infoAt, size - infoAt);
    if (!layout)
        return nullptr;
    size_t bits = infoAt + layout->headerBytes;
    if (fileHeader) {
        if (bitsAt < bits || bitsAt > size)
            return nullptr;
        bits = bitsAt;
    }
    const size_t needed = static_cast<size_t>(layout->rowBytes) * static_cast<size_t>(layout->height);
    if (size - bits < needed)
        return nullptr;
    auto pixels = MakePixels(layout->width, layout->height, layout->bitsPixel, true, layout->bottomUp);
    if (!pixels)
        return nullptr;
    pixels->palette = layout->palette;
    std::memcpy(pixels->masks, layout->masks, sizeof pixels->masks);
    std::memcpy(pixels->storage.data(), data + bits, needed);
    return pixels;
}

} // namespace user
