// The checked plane copies: CopyPlane and CopyPlaneMasked.
#include "imaging/imaging.h"

#include "RowKernels.h"

using namespace imaging;

namespace {

// Planes above this many bytes are copied with non-temporal stores.
constexpr int64_t kStreamingPlaneBytes = 1048576;

} // namespace

ImagingStatus CopyPlane(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep,
                        int32_t width, int32_t height)
{
    if (!src || !dst)
        return StatusNullPointer;
    if (width < 1 || height < 1)
        return StatusSizeError;
    // The product is taken in 64 bits; only the choice of stores depends on it.
    const int64_t bytes = int64_t(width) * height;
    const bool streaming = bytes > kStreamingPlaneBytes;
    if (srcStep == dstStep && srcStep == width) {
        CopyRowFast(src, dst, bytes, streaming);
        return StatusOk;
    }
    CopyRowsFast(src, srcStep, dst, dstStep, width, height, streaming);
    return StatusOk;
}

ImagingStatus CopyPlaneMasked(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep,
                              int32_t width, int32_t height, const uint8_t* mask, int32_t maskStep)
{
    if (!src || !dst || !mask)
        return StatusNullPointer;
    if (width < 1 || height < 1)
        return StatusSizeError;
    for (int32_t row = 0; row < height; ++row) {
        CopyRowMasked(src, dst, width, mask);
        src += srcStep;
        dst += dstStep;
        mask += maskStep;
    }
    return StatusOk;
}
