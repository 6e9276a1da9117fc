// ColorBarGenerator: eight vertical colour bars (white, yellow, cyan, green, magenta, red, blue,
// black) as a planar 4:2:2 picture: Y from the start of the buffer, U (Cb) at image size / 2, V (Cr)
// at image size x 3 / 4. With animate the bars brighten by one Y step a picture (wrapping at 256),
// a motion cue for whoever looks at the output.
//
// The picture is described by a 40-byte bitmap information header: its width, height (a negative
// one counts as its size), bit count and image size. Rows are laid at the stride of the driver's
// frames (the width rounded up to 16), so a render fills a VideoFrame laid at the same size; the
// row count is cut so that the three planes stay inside the image size.
#pragma once
#include "shared/bitmapfile.h"
#include "testimagegenerator.h"

class ColorBarGenerator : public TestImageGenerator {
public:
    static constexpr ULONG kBarCount = 8;
    // The largest picture drawn; a larger or empty description renders nothing.
    static constexpr LONG kMaximumWidth = 1920;
    static constexpr LONG kMaximumHeight = 1125;

    // The bar values, left to right.
    static constexpr UCHAR kBarY[kBarCount] = {235, 161, 131, 112, 83, 65, 34, 16};
    static constexpr UCHAR kBarU[kBarCount] = {128, 43, 157, 74, 181, 98, 212, 128};
    static constexpr UCHAR kBarV[kBarCount] = {128, 139, 44, 57, 198, 211, 116, 128};

    // Image size: biSizeImage, or when it is 0 the planar picture's (stride x height x 2).
    ColorBarGenerator(const BITMAPINFOHEADER& header, bool animate);

    // Sets the image size to 0xFF, draws row 0 pair by pair (pair k of width / 2 takes bar
    // 8k / (width / 2)), copies it to every further row of each plane and, when animated, raises
    // every Y value by one for the next picture. Result: the image size (0 for a picture it does
    // not draw or a null buffer).
    ULONG Render(PUCHAR buffer) override;

    LONG GetWidth() const { return m_width; }
    LONG GetHeight() const { return m_height; }
    ULONG GetImageSize() const { return m_imageSize; }
    // The bitmap row size: (bit count x width + 31) / 8, rounded down to a multiple of 4.
    ULONG GetRowSize() const { return m_rowSize; }
    ULONG GetStride() const { return m_stride; }
    bool IsAnimated() const { return m_animate; }
    // The Y value bar `bar` gets in the next render.
    UCHAR GetBarY(ULONG bar) const { return bar < kBarCount ? m_y[bar] : 0; }

private:
    LONG m_width = 0;
    LONG m_height = 0;
    ULONG m_imageSize = 0;
    ULONG m_rowSize = 0;
    ULONG m_stride = 0;
    bool m_animate = false;
    UCHAR m_y[kBarCount];
    UCHAR m_u[kBarCount];
    UCHAR m_v[kBarCount];
};
