// ResizeSupersample: area-averaging shrink of any sample type and layout, through one of the nine
// supersampling kernels.
#include "ScalarRounding.h"
#include "imaging/imaging.h"

#include "ResizeEngine.h"
#include "ScratchSupport.h"
#include "SupersampleKernel.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace imaging {
namespace {

bool LayoutFits(const ResizeRequest& r)
{
    const int32_t channels = r.channelCount;
    if (channels != 1 && channels != 3 && channels != 4)
        return false;
    if (r.planar || channels == 1)
        return r.planar || r.pixelStride >= 1;
    return channels == 4 ? r.pixelStride == 4 : r.pixelStride >= 3;
}

SupersampleKernel KernelFor(int32_t sampleType, int32_t channels)
{
    static constexpr SupersampleKernel kernels[3][3] = {
        {SupersampleResize8u_C1, SupersampleResize8u_C3, SupersampleResize8u_C4},
        {SupersampleResize16u_C1, SupersampleResize16u_C3, SupersampleResize16u_C4},
        {SupersampleResize32f_C1, SupersampleResize32f_C3, SupersampleResize32f_C4},
    };
    return kernels[sampleType][channels == 1 ? 0 : (channels == 3 ? 1 : 2)];
}

bool HasFraction(double v)
{
    return v - FloorDouble(v) != 0.0;
}

} // namespace
} // namespace imaging

using namespace imaging;

ImagingStatus ResizeSupersample(const void* src, int32_t srcWidth, int32_t srcHeight,
                                int32_t srcStep, ImagingRegion roi, void* dst, int32_t dstStep,
                                int32_t dstWidth, int32_t dstHeight, double xFactor,
                                double yFactor, int32_t pixelStride, int32_t channelCount,
                                int32_t sampleType, int32_t planar)
{
    ResizeRequest r;
    r.src = src;
    r.srcWidth = srcWidth;
    r.srcHeight = srcHeight;
    r.srcStep = srcStep;
    r.roi = roi;
    r.dst = dst;
    r.dstStep = dstStep;
    r.dstWidth = dstWidth;
    r.dstHeight = dstHeight;
    r.xFactor = xFactor;
    r.yFactor = yFactor;
    r.pixelStride = pixelStride;
    r.channelCount = channelCount;
    r.sampleType = sampleType;
    r.planar = planar;
    r.interpolation = kResizeSupersample;
    r.edgeAligned = 1;

    if (const ImagingStatus status = CheckResizeCommon(r); status != StatusOk)
        return status;
    // The kernels average areas of at least one source pixel: they shrink only.
    if (xFactor > 1.0 || yFactor > 1.0)
        return StatusResizeFactorError;
    if (sampleType < kSample8u || sampleType > kSample32f)
        return StatusDataTypeError;
    if (!LayoutFits(r))
        return StatusSizeError;
    ResizeExtent e;
    if (const ImagingStatus status = ResizeProducedExtent(r, false, &e); status != StatusOk)
        return status;

    SupersampleArgs args;
    args.srcStep = srcStep;
    args.dstStep = dstStep;
    // Source columns read: enough for one destination column more than produced, within the
    // region; rows are bounded by the region as well.
    const double columns = TruncateDouble((double(e.dstWidth) + 1.0) / xFactor) + 1.0;
    args.srcColumns = columns >= double(e.regionWidth) ? e.regionWidth : int32_t(columns);
    args.srcRows = e.regionHeight;
    args.dstWidth = e.dstWidth;
    args.dstHeight = e.dstHeight;
    args.xRatio = 1.0 / xFactor;
    args.yRatio = 1.0 / yFactor;
    args.normaliser = xFactor * yFactor;
    args.pixelStride = pixelStride;
    args.mode = (HasFraction(args.yRatio) ? 1 : 0) | (HasFraction(args.xRatio) ? 2 : 0);

    const int32_t bytes = BytesPerSample(sampleType);
    if (!planar) {
        const SupersampleKernel kernel = KernelFor(sampleType, channelCount);
        args.src = RegionStart(src, r, bytes);
        args.dst = dst;
        return kernel(args);
    }
    // Planes share one scratch block, taken before any plane is written, so that a shortage leaves
    // the destination untouched.
    args.pixelStride = 1;
    const int64_t scratchBytes =
        SupersampleScratchBytes(sampleType == kSample32f, 1, 1, args.srcColumns, args.mode,
                                args.dstWidth);
    if (scratchBytes > std::numeric_limits<int32_t>::max())
        return StatusNoMemory;
    args.scratch = AllocAlignedBytes(int32_t(scratchBytes));
    if (!args.scratch)
        return StatusNoMemory;
    const SupersampleKernel kernel = KernelFor(sampleType, 1);
    const auto* srcPlanes = static_cast<const void* const*>(src);
    auto* const* dstPlanes = static_cast<void* const*>(dst);
    for (int32_t p = 0; p < PlaneCount(r); ++p) {
        args.src = RegionStart(srcPlanes[p], r, bytes);
        args.dst = dstPlanes[p];
        kernel(args);
    }
    FreeAligned(args.scratch);
    return StatusOk;
}
