// Whole rows of the colour conversions: the vector kernel over the leading pixels and the plain
// pixels after them. Where the two use different arithmetic (RGB24 and RGB32 output) the split by
// pixel position is part of the result.
#include "RowKernels.h"

namespace imaging {

void RGB24ToPlanarYUVRow(const uint8_t* rgb, uint8_t* y, uint8_t* u, uint8_t* v, int32_t width)
{
    const int32_t paired = width & ~1;
    const int32_t vector = paired & ~15;
    RGB24ToYUVPairsSse2(rgb, y, u, v, vector);
    RGB24ToYUVPairsPlain(rgb + 3 * int64_t(vector), y + vector, u + vector / 2, v + vector / 2,
                         paired - vector);
    if (width & 1)
        RGB24ToYUVLastPixelPlain(rgb + 3 * int64_t(paired), y + paired, u + paired / 2,
                                 v + paired / 2);
}

void Planar422ToRGB555Row(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst,
                          int32_t width, bool swapRB)
{
    const int32_t vector = width & ~3;
    YUVToRGB555Q4Sse2(y, u, v, dst, vector, swapRB);
    // The last width mod 4 pixels: a pair and/or a single pixel with the next chroma sample.
    YUVToRGB555Q4Plain(y + vector, u + vector / 2, v + vector / 2, dst + 2 * int64_t(vector),
                       width - vector, swapRB);
}

void Planar422ToRGB24Row(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst,
                         int32_t width)
{
    const int32_t vector = width & ~7;
    YUVToRGB24Q4Sse2(y, u, v, dst, vector);
    YUVToRGB24Q16Plain(y + vector, u + vector / 2, v + vector / 2, dst + 3 * int64_t(vector),
                       width - vector);
}

void Planar422ToRGB32Row(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst,
                         int32_t width)
{
    const int32_t vector = width & ~3;
    YUVToRGB32Q4Sse2(y, u, v, dst, vector);
    YUVToRGB32Q16Plain(y + vector, u + vector / 2, v + vector / 2, dst + 4 * int64_t(vector),
                       width - vector);
}

} // namespace imaging
