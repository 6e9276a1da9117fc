// CGlyphFile: the driver's reader and renderer of glyph files (".gph", bitmap fonts written by the
// property pages), used by the caption and loss-of-signal overlays. The file's format, checks and
// rasteriser are the shared core of common/glyphfileformat.h; this side opens the file through
// the kernel's file functions, keeps the header image and the bitmaps in pool memory and renders
// a line of glyph codes into 24-bit red, green, blue rows, top row first.
//
// A file loads only whole: format 1, header size 32,928, every glyph of codes 0..176 at most
// 1,024 x 1,024 with a byte count of 0 or height x its row bytes, and all its bitmaps present.
// Anything else loads nothing and allocates no more than the file's own size.
#pragma once
#include "kernel/driverheap.h"
#include "km/types.h"
#include "glyphfileformat.h"

// A rendered line: width x height pixels of 3 bytes (red, green, blue), `pitch` bytes a row, top
// row first. The pixels come from pool memory and belong to the caller (FreePool).
struct GlyphBitmap {
    LONG width;
    LONG height;
    LONG pitch;
    PUCHAR pixels;
};

class CGlyphFile : public DriverAllocated {
public:
    CGlyphFile();
    ~CGlyphFile();
    CGlyphFile(const CGlyphFile&) = delete;
    CGlyphFile& operator=(const CGlyphFile&) = delete;

    // Loads "\DosDevices\" + `name` (trace "Glyph File name is [%ls]"): 1 when the whole file
    // loaded, 0 otherwise (empty or null name, open or read failure, a file that fails the
    // checks), the object then cleared.
    ULONG LoadGlyphFile(PCWSTR name);
    // Frees the bitmaps and clears the header image.
    void Clear();
    bool IsLoaded() const { return glyphfile::IsLoaded(m_header); }

    // Renders `count` glyph codes with their style words (null: the font's default style) after
    // `leading` blank cells, in `foreground` on `background` (0x00BBGGRR), into *out. False (and
    // *out zeroed) when nothing is loaded, the line is empty or memory is short. At most 177
    // cells render.
    bool RenderText(const USHORT* codes, ULONG count, const ULONG* styles, ULONG background, ULONG foreground,
                    ULONG leading, GlyphBitmap* out);
    // Width of "W" in the style the word selects, raised to a multiple of 4; 0 when not loaded.
    ULONG GetCellWidth(ULONG styleWord) const;

    const UCHAR* Header() const { return m_header; }
    // The bitmap of a glyph (null when it has none), as loaded.
    const UCHAR* Bitmap(ULONG style, ULONG code) const;

private:
    UCHAR m_header[glyphfile::kHeaderSize];
    PUCHAR m_bitmapArea = nullptr;
    const UCHAR* m_bitmaps[glyphfile::kGlyphSlots] = {};
    glyphfile::TextLayout* m_layout = nullptr;
};
