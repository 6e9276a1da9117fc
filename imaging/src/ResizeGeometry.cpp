// What both resize engines decide before any table is built: their shared checks in order, the
// region clipped to the source, the destination size produced, and where the region starts.
#include "ScalarRounding.h"
#include "ResizeEngine.h"

#include <algorithm>
#include <cmath>

namespace imaging {
namespace {

bool AnyNull(const void* pointer, const ResizeRequest& request)
{
    if (!pointer)
        return true;
    if (!request.planar)
        return false;
    const auto* planes = static_cast<const void* const*>(pointer);
    for (int32_t p = 0; p < PlaneCount(request); ++p)
        if (!planes[p])
            return true;
    return false;
}

// Destination length produced along one axis, or 0 for "less than half a pixel".
int32_t ProducedLength(int32_t regionLength, double factor, int32_t dstLength, bool edgeAligned,
                       bool nearest)
{
    if (edgeAligned) {
        const double covered = double(regionLength) * factor + kPositionEpsilon;
        const double whole = TruncateDouble(covered);
        if (whole < 1.0)
            return covered >= 0.5 ? 1 : 0;
        return whole >= double(dstLength) ? dstLength : int32_t(whole);
    }
    // The factor is the source step: count the steps the region holds.
    const double span = nearest ? double(regionLength) : double(regionLength - 1);
    const double steps = TruncateDouble(span / factor + kPositionEpsilon);
    if (steps >= double(dstLength) - 1.0)
        return dstLength;
    const int32_t n = int32_t(steps);
    return nearest ? (n > 1 ? n : 1) : n + 1;
}

} // namespace

ImagingStatus CheckResizeCommon(const ResizeRequest& r)
{
    if (AnyNull(r.src, r) || AnyNull(r.dst, r))
        return StatusNullPointer;
    if (r.srcWidth <= 0 || r.srcHeight <= 0 || r.roi.x < 0 || r.roi.y < 0 || r.roi.width <= 0 ||
        r.roi.height <= 0)
        return StatusSizeError;
    if (r.roi.x >= r.srcWidth || r.roi.y >= r.srcHeight)
        return StatusNoOverlap;
    if (r.dstWidth <= 0 || r.dstHeight <= 0)
        return StatusSizeError;
    // Written so that a NaN fails too: no position or size can be derived from one.
    if (!(r.xFactor > 0.0) || !(r.yFactor > 0.0) || !std::isfinite(r.xFactor) ||
        !std::isfinite(r.yFactor) || !std::isfinite(r.xShift) || !std::isfinite(r.yShift))
        return StatusResizeFactorError;
    return StatusOk;
}

ImagingStatus ResizeProducedExtent(const ResizeRequest& r, bool nearest, ResizeExtent* extent)
{
    // Widened: roi.width may reach past the source by any amount.
    extent->regionWidth = int32_t(std::min<int64_t>(r.roi.width, int64_t(r.srcWidth) - r.roi.x));
    extent->regionHeight =
        int32_t(std::min<int64_t>(r.roi.height, int64_t(r.srcHeight) - r.roi.y));
    extent->dstWidth =
        ProducedLength(extent->regionWidth, r.xFactor, r.dstWidth, r.edgeAligned != 0, nearest);
    if (extent->dstWidth == 0)
        return StatusEmptyDestination;
    extent->dstHeight =
        ProducedLength(extent->regionHeight, r.yFactor, r.dstHeight, r.edgeAligned != 0, nearest);
    if (extent->dstHeight == 0)
        return StatusEmptyDestination;
    return StatusOk;
}

const uint8_t* RegionStart(const void* plane, const ResizeRequest& r, int32_t bytesPerSample)
{
    const int64_t stride = r.planar ? 1 : r.pixelStride;
    return static_cast<const uint8_t*>(plane) + int64_t(r.roi.y) * r.srcStep +
           int64_t(r.roi.x) * stride * bytesPerSample;
}

} // namespace imaging
