// Pixel memory of every format the GDI draws into: device-dependent bitmaps (top-down; 32-bit
// BGRX, 16-bit 5-6-5, monochrome; rows rounded to even bytes), device-independent sections (1, 4
// and 8 bits with a colour table, 16 and 32 with bit fields, 24; rows of whole DWORDs; bottom-up
// or top-down) and the windows' 32-bit surfaces.
#pragma once
#include "um/wingdi.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace user {

struct PixelBuffer {
    LONG width = 0;
    LONG height = 0;
    WORD bitsPixel = 32;
    LONG rowBytes = 0;
    bool bottomUp = false;
    // A monochrome device-dependent bitmap: its bits meet colours through the text and background
    // colours of the device contexts.
    bool mono = false;
    std::vector<RGBQUAD> palette;    // 1, 4 and 8 bits
    DWORD masks[3] = {0, 0, 0};      // 16 and 32 bits: red, green, blue
    std::vector<BYTE> storage;       // never resized once made: sections hand out its address

    BYTE* Row(LONG y) { return storage.data() + static_cast<size_t>(bottomUp ? height - 1 - y : y) * rowBytes; }
    const BYTE* Row(LONG y) const
    {
        return storage.data() + static_cast<size_t>(bottomUp ? height - 1 - y : y) * rowBytes;
    }
    // A pixel's value as the format stores it (an index, a bit, packed fields).
    uint32_t Get(LONG x, LONG y) const;
    void Set(LONG x, LONG y, uint32_t value);
    uint32_t ValueMask() const { return bitsPixel >= 32 ? 0xFFFFFFFFu : ((1u << bitsPixel) - 1); }
    // The colour of a value (0x00BBGGRR) and the value nearest a colour.
    COLORREF ColorOf(uint32_t value) const;
    uint32_t ValueOf(COLORREF color) const;
};

// A buffer of the given format, zeroed. `dibRows` rounds rows to DWORDs, else to even bytes.
// Null when the size is negative or too large.
std::shared_ptr<PixelBuffer> MakePixels(LONG width, LONG height, WORD bitsPixel, bool dibRows, bool bottomUp);
// Device-dependent formats: 32 (BGRX), 16 (5-6-5), 1 (monochrome), 24, 8 and 4 (grey scale tables).
std::shared_ptr<PixelBuffer> MakeDeviceBitmap(LONG width, LONG height, WORD bitsPixel);
// The standard masks of a bit count without bit fields (5-5-5 at 16, 8-8-8 at 32).
void SetDefaultMasks(PixelBuffer& pixels);

// The layout a BITMAPINFO describes and its colour table, or nothing when it is not one this GDI
// reads (`available` bytes of header and table at most). Rows of the bits are not checked.
struct DibLayout {
    LONG width = 0;
    LONG height = 0; // positive
    bool bottomUp = true;
    WORD bitsPixel = 0;
    LONG rowBytes = 0;
    std::vector<RGBQUAD> palette;
    DWORD masks[3] = {0, 0, 0};
    size_t headerBytes = 0; // header and colour table
};
std::optional<DibLayout> ReadDibLayout(const BYTE* info, size_t available);

// A packed BMP (BITMAPFILEHEADER then the rest, when `fileHeader`), or a resource's DIB (header,
// table and bits), into pixels of its own format; nothing for anything malformed or truncated.
std::shared_ptr<PixelBuffer> ReadBmp(const BYTE* data, size_t size, bool fileHeader);

} // namespace user
