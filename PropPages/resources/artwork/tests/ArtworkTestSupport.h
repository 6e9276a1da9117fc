// Helpers of the artwork's tests: the test program's own resources and a loaded bitmap's pixels.
#pragma once
#include <set>
#include <vector>

#include "um/windows.h"

namespace artworktest {

// The test program is the module whose resource table holds the bitmaps.
inline HINSTANCE Module() { return GetModuleHandleA(nullptr); }

// The BITMAPINFOHEADER a bitmap resource starts with; null when there is no such resource.
inline const BITMAPINFOHEADER* ResourceHeader(int id)
{
    HRSRC found = FindResourceA(Module(), MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(2));
    if (!found || SizeofResource(Module(), found) < sizeof(BITMAPINFOHEADER))
        return nullptr;
    return static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(Module(), found)));
}

// A bitmap's pixels as the screen holds them, rows top first, each a COLORREF (red low).
struct Picture {
    LONG width = 0;
    LONG height = 0;
    std::vector<COLORREF> pixels;
    COLORREF At(LONG x, LONG y) const
    {
        if (x < 0 || y < 0 || x >= width || y >= height)
            return 0xFFFFFFFF; // off the picture: no colour a pixel has
        return pixels[static_cast<size_t>(y) * width + x];
    }
    std::set<COLORREF> Colours() const { return std::set<COLORREF>(pixels.begin(), pixels.end()); }
};

inline Picture PictureOf(HBITMAP bitmap)
{
    Picture picture;
    BITMAP bm{};
    if (!bitmap || GetObjectA(bitmap, sizeof bm, &bm) != static_cast<int>(sizeof bm) || bm.bmBitsPixel != 32)
        return picture;
    std::vector<BYTE> bits(static_cast<size_t>(bm.bmWidthBytes) * bm.bmHeight);
    if (GetBitmapBits(bitmap, static_cast<LONG>(bits.size()), bits.data()) != static_cast<LONG>(bits.size()))
        return picture;
    picture.width = bm.bmWidth;
    picture.height = bm.bmHeight;
    for (LONG y = 0; y < bm.bmHeight; ++y)
        for (LONG x = 0; x < bm.bmWidth; ++x) {
            const BYTE* p = bits.data() + static_cast<size_t>(y) * bm.bmWidthBytes + 4 * x;
            picture.pixels.push_back(RGB(p[2], p[1], p[0]));
        }
    return picture;
}

// Loaded as a page loads it (LoadBitmapA: a bitmap of the screen's format).
inline Picture Load(int id)
{
    HBITMAP bitmap = LoadBitmapA(Module(), MAKEINTRESOURCEA(id));
    Picture picture = PictureOf(bitmap);
    if (bitmap)
        DeleteObject(bitmap);
    return picture;
}

} // namespace artworktest
