// Where ResizeGeneral samples along one axis, and what each method makes of a position: the base
// pixel, the fraction or cubic t, Q14 weights and four-tap weights; also the method downgrade and
// the slot arithmetic.
#include "ScalarRounding.h"
#include "ResizeEngine.h"
#include "ResizeKernels.h"

#include <algorithm>
#include <cmath>

namespace imaging {

AxisWalker::AxisWalker(const ResizeAxis& axis) : axis_(axis)
{
    const double length = axis.regionLength;
    if (!axis.edgeAligned) {
        step_ = axis.factor;
        position_ = axis.shift + (axis.method == kResizeNearest ? 0.5 * axis.factor : 0.0);
    } else if (axis.method == kResizeNearest) {
        // Destination pixel centres.
        step_ = 1.0 / axis.factor;
        position_ = 0.5 / axis.factor + axis.shift;
    } else {
        // First and last destination pixels on the region's first and last pixels.
        const double scaled = length * axis.factor;
        step_ = scaled > 1.0 ? (length - 1.0) / (scaled - 1.0) : 0.0;
        position_ = axis.shift;
    }
}

AxisSample AxisWalker::Next()
{
    // The kernels read only what the tables name, so a position never leaves the region.
    const double p = std::clamp(position_, 0.0, double(axis_.regionLength) - 1.0);
    position_ += step_;
    const auto i = int32_t(p + kPositionEpsilon);
    const double f = p - i;
    const int32_t absolute = axis_.origin + i;
    switch (axis_.method) {
    case kResizeLinear:
        // On the source's last pixel the pair moves back one, all weight on the second.
        if (absolute == axis_.sourceLength - 1)
            return {i - 1, 1.0};
        return {i, f};
    case kResizeCubic:
        // The four taps base - 1 .. base + 2 stay inside the source; t follows the base.
        if (absolute == 0)
            return {i + 1, f - 1.0};
        if (absolute == axis_.sourceLength - 2)
            return {i - 1, f + 1.0};
        if (absolute == axis_.sourceLength - 1)
            return {i - 2, 2.0};
        return {i, f};
    case kResizeLanczos:
        return {i, f};
    default:
        return {i, 0.0};
    }
}

uint16_t LinearWeightQ14(double fraction)
{
    const double w = TruncateDouble(fraction * 16384.0 + kPositionEpsilon);
    return uint16_t(std::clamp(w, 0.0, 16384.0));
}

void CubicTapWeights(float t, float weights[4])
{
    const double x = t;
    weights[0] = float(-x * (x - 1.0) * (x - 2.0) / 6.0);
    weights[1] = float((x + 1.0) * (x - 1.0) * (x - 2.0) / 2.0);
    weights[2] = float(-(x + 1.0) * x * (x - 2.0) / 2.0);
    weights[3] = float((x + 1.0) * x * (x - 1.0) / 6.0);
}

int32_t EffectiveResizeMethod(int32_t interpolation, int32_t srcWidth, int32_t srcHeight)
{
    const int32_t smaller = std::min(srcWidth, srcHeight);
    int32_t method = interpolation;
    if (smaller < 8 && method == kResizeLanczos)
        method = kResizeCubic;
    if (smaller < 4 && method == kResizeCubic)
        method = kResizeLinear;
    if (smaller < 2)
        method = kResizeNearest;
    return method;
}

int32_t ResizeKernelSlot(int32_t method, int32_t sampleType, int32_t channelCount, bool planar)
{
    const bool one = planar || channelCount == 1;
    switch (method) {
    case kResizeNearest:
        return (one ? kSlotNearestC1 : (channelCount == 4 ? kSlotNearestC4 : kSlotNearestC3)) +
               sampleType;
    case kResizeLinear:
        return (one ? kSlotLinearC1 : kSlotLinearMC) + sampleType;
    case kResizeCubic:
        return (one ? kSlotCubicC1 : kSlotCubicMC) + sampleType;
    default:
        return (one ? kSlotLanczosC1 : kSlotLanczosMC) + sampleType;
    }
}

} // namespace imaging
