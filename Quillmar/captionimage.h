// CaptionImage: a line of text rendered by a glyph file, as the caption and loss-of-signal
// overlays draw it: planar 4:2:2 (Y full width, U and V half width) with a mask plane of each
// (non-zero where a pixel is not the background colour; a chroma pair is marked when either of
// its pixels is), scaled by nearest neighbour to a chosen height keeping the aspect, or to a
// chosen size, and cut to a maximum width. One pool block holds the planes.
#pragma once
#include "cglyphfile.h"
#include "km/types.h"

struct CaptionImage {
    LONG width = 0; // even
    LONG height = 0;
    PUCHAR block = nullptr;
    PUCHAR y = nullptr, u = nullptr, v = nullptr;
    PUCHAR maskY = nullptr, maskC = nullptr;

    CaptionImage() = default;
    ~CaptionImage() { Release(); }
    CaptionImage(const CaptionImage&) = delete;
    CaptionImage& operator=(const CaptionImage&) = delete;

    void Release();
    bool Empty() const { return block == nullptr; }
    // From a rendered line: to `height` rows keeping the aspect (height 0: the line's own), at
    // most `maxWidth` columns (the rest cut); or to exactly width x height with BuildSized.
    bool Build(const GlyphBitmap& line, LONG height, LONG maxWidth, ULONG background);
    bool BuildSized(const GlyphBitmap& line, LONG width, LONG height, ULONG background);
    // Copies the image into `frame` planes at (top, left), clipped to the frame; masked when
    // `transparent`. Each plane copy runs under the plane-work guard with its description.
    void Draw(const void* object, const char* functionName, class VideoFrame* frame, LONG top, LONG left,
              bool transparent, const char* const plainTexts[3], const char* const maskedTexts[3]) const;
};
