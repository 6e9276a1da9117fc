// The six checked colour conversion entry points and their row loops.
#include "imaging/imaging.h"

#include "ColourConversions.h"
#include "RowKernels.h"

using namespace imaging;

namespace imaging {
namespace {

// Luma planes of 4:2:2-to-4:2:0 conversions above this many pixels are copied with non-temporal
// stores; chroma copies never are.
constexpr int64_t kStreamingLumaPixels = 348602;

inline const uint8_t* Row(const uint8_t* plane, int32_t step, int32_t row)
{
    return plane + int64_t(step) * row;
}

inline uint8_t* Row(uint8_t* plane, int32_t step, int32_t row)
{
    return plane + int64_t(step) * row;
}

} // namespace

void RGB24ToPlanar422Rows(const uint8_t* src, int32_t srcStep, uint8_t* const dst[3],
                          const int32_t dstStep[3], int32_t width, int32_t height)
{
    for (int32_t r = 0; r < height; ++r)
        RGB24ToPlanarYUVRow(Row(src, srcStep, r), Row(dst[0], dstStep[0], r),
                            Row(dst[1], dstStep[1], r), Row(dst[2], dstStep[2], r), width);
}

void Planar422ToRGB555(const uint8_t* const src[3], const int32_t srcStep[3], uint8_t* dst,
                       int32_t dstStepWords, int32_t width, int32_t height, bool swapRB)
{
    for (int32_t r = 0; r < height; ++r)
        Planar422ToRGB555Row(Row(src[0], srcStep[0], r), Row(src[1], srcStep[1], r),
                             Row(src[2], srcStep[2], r), Row(dst, 2 * dstStepWords, r), width,
                             swapRB);
}

void Planar422ToRGB24(const uint8_t* const src[3], const int32_t srcStep[3], uint8_t* dst,
                      int32_t dstStep, int32_t width, int32_t height)
{
    for (int32_t r = 0; r < height; ++r)
        Planar422ToRGB24Row(Row(src[0], srcStep[0], r), Row(src[1], srcStep[1], r),
                            Row(src[2], srcStep[2], r), Row(dst, dstStep, r), width);
}

void Planar422ToRGB32(const uint8_t* const src[3], const int32_t srcStep[3], uint8_t* dst,
                      int32_t dstStep, int32_t width, int32_t height)
{
    for (int32_t r = 0; r < height; ++r)
        Planar422ToRGB32Row(Row(src[0], srcStep[0], r), Row(src[1], srcStep[1], r),
                            Row(src[2], srcStep[2], r), Row(dst, dstStep, r), width);
}

void I420ToPlanar422(const uint8_t* const src[3], const int32_t srcStep[3], uint8_t* const dst[3],
                     const int32_t dstStep[3], int32_t width, int32_t height, bool swapChroma)
{
    const int first = swapChroma ? 2 : 1;
    const int second = swapChroma ? 1 : 2;
    const uint8_t* const planes[3] = {src[0], src[first], src[second]};
    const int32_t steps[3] = {srcStep[0], srcStep[first], srcStep[second]};

    CopyRowsSimd(planes[0], steps[0], dst[0], dstStep[0], width, height, false);
    // Each 4:2:0 chroma row serves two 4:2:2 rows: repeated, not interpolated.
    for (int32_t r = 0; r < height / 2; ++r) {
        for (int p = 1; p <= 2; ++p) {
            const uint8_t* from = Row(planes[p], steps[p], r);
            CopyRowSimd(from, Row(dst[p], dstStep[p], 2 * r), width / 2, false);
            CopyRowSimd(from, Row(dst[p], dstStep[p], 2 * r + 1), width / 2, false);
        }
    }
}

void Planar422ToI420(const uint8_t* const src[3], const int32_t srcStep[3], uint8_t* const dst[3],
                     const int32_t dstStep[3], int32_t width, int32_t height)
{
    // Taken in 64 bits; only the choice of stores depends on it.
    const bool streaming = int64_t(width) * height > kStreamingLumaPixels;
    CopyRowsSimd(src[0], srcStep[0], dst[0], dstStep[0], width, height, streaming);
    // Even 4:2:2 chroma rows are kept, odd ones dropped.
    for (int32_t r = 0; r < height / 2; ++r) {
        for (int p = 1; p <= 2; ++p)
            CopyRowSimd(Row(src[p], srcStep[p], 2 * r), Row(dst[p], dstStep[p], r), width / 2,
                        false);
    }
}

} // namespace imaging

namespace {

// Checks shared by the conversions out of planar 4:2:2 into a packed picture.
ImagingStatus CheckPlanarToPacked(const uint8_t* const src[3], const int32_t srcStep[3],
                                  const uint8_t* dst, int32_t width, int32_t height)
{
    if (!src || !srcStep || !dst)
        return StatusNullPointer;
    if (width < 1 || height < 1)
        return StatusSizeError;
    if (!src[0] || !src[1] || !src[2])
        return StatusNullPointer;
    return StatusOk;
}

// Checks shared by the two 4:2:0 conversions.
ImagingStatus CheckPlanarToPlanar(const uint8_t* const src[3], const int32_t srcStep[3],
                                  uint8_t* const dst[3], const int32_t dstStep[3], int32_t width,
                                  int32_t height)
{
    if (!src || !srcStep || !dst || !dstStep)
        return StatusNullPointer;
    if (!src[0] || !src[1] || !src[2] || !dst[0] || !dst[1] || !dst[2])
        return StatusNullPointer;
    if (width < 2 || height < 2)
        return StatusSizeError;
    return StatusOk;
}

} // namespace

ImagingStatus ConvertRGB24ToPlanar422(const uint8_t* src, int32_t srcStep, uint8_t* const dst[3],
                                      const int32_t dstStep[3], int32_t width, int32_t height)
{
    if (!src || !dst || !dstStep)
        return StatusNullPointer;
    if (width < 1 || height < 1)
        return StatusSizeError;
    if (!dst[0] || !dst[1] || !dst[2])
        return StatusNullPointer;
    RGB24ToPlanar422Rows(src, srcStep, dst, dstStep, width, height);
    return StatusOk;
}

ImagingStatus ConvertI420ToPlanar422(const uint8_t* const src[3], const int32_t srcStep[3],
                                     uint8_t* const dst[3], const int32_t dstStep[3], int32_t width,
                                     int32_t height)
{
    if (const ImagingStatus s = CheckPlanarToPlanar(src, srcStep, dst, dstStep, width, height))
        return s;
    I420ToPlanar422(src, srcStep, dst, dstStep, width & ~1, height & ~1, false);
    return StatusOk;
}

ImagingStatus ConvertPlanar422ToRGB555(const uint8_t* const src[3], const int32_t srcStep[3],
                                       uint8_t* dst, int32_t dstStep, int32_t width, int32_t height)
{
    if (const ImagingStatus s = CheckPlanarToPacked(src, srcStep, dst, width, height))
        return s;
    // The stride is taken in whole 16-bit words: an odd byte stride loses its last byte.
    Planar422ToRGB555(src, srcStep, dst, dstStep >> 1, width, height, false);
    return StatusOk;
}

ImagingStatus ConvertPlanar422ToRGB24(const uint8_t* const src[3], const int32_t srcStep[3],
                                      uint8_t* dst, int32_t dstStep, int32_t width, int32_t height)
{
    if (const ImagingStatus s = CheckPlanarToPacked(src, srcStep, dst, width, height))
        return s;
    Planar422ToRGB24(src, srcStep, dst, dstStep, width, height);
    return StatusOk;
}

ImagingStatus ConvertPlanar422ToRGB32(const uint8_t* const src[3], const int32_t srcStep[3],
                                      uint8_t* dst, int32_t dstStep, int32_t width, int32_t height)
{
    if (const ImagingStatus s = CheckPlanarToPacked(src, srcStep, dst, width, height))
        return s;
    Planar422ToRGB32(src, srcStep, dst, dstStep, width, height);
    return StatusOk;
}

ImagingStatus ConvertPlanar422ToI420(const uint8_t* const src[3], const int32_t srcStep[3],
                                     uint8_t* const dst[3], const int32_t dstStep[3], int32_t width,
                                     int32_t height)
{
    if (const ImagingStatus s = CheckPlanarToPlanar(src, srcStep, dst, dstStep, width, height))
        return s;
    Planar422ToI420(src, srcStep, dst, dstStep, width & ~1, height & ~1);
    return StatusOk;
}
