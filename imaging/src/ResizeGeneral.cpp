// ResizeGeneral: nearest, linear, cubic and Lanczos-3 resizing of any sample type and layout.
// The engine checks its arguments, works out the geometry once, builds the row and column tables
// in aligned scratch and hands the whole destination to one row kernel of ResizeKernelTable; the
// internal entries run the same steps with another kernel set or stop after the tables.
#include "imaging/imaging.h"

#include "LanczosWeights.h"
#include "ResizeEngine.h"
#include "ResizeKernels.h"
#include "ScratchSupport.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace imaging {
namespace {

constexpr int64_t kInt32Max = std::numeric_limits<int32_t>::max();

// Everything decided before the first allocation.
struct ResizePlan {
    int32_t method = 0;
    int32_t slot = 0;
    int32_t bytesPerSample = 1;
    ResizeExtent extent;
    int32_t srcStep = 0; // samples
    int32_t dstStep = 0; // samples
    bool integerLinear = false; // Q14 weights and 16-bit filtered rows
    int32_t columnScale = 1;    // samples per step of a column index
    ResizeAxis rows;
    ResizeAxis columns;
    int32_t buffers = 0;
    int64_t bufferElements = 0;
};

bool IsMethod(int32_t code)
{
    return code == kResizeNearest || code == kResizeLinear || code == kResizeCubic ||
           code == kResizeLanczos;
}

// Layouts the kernels can resize: 1, 3 or 4 channels; one channel at any stride, four at a
// stride of four, three at a stride of 3 or 4 (nearest also more).
bool LayoutFits(const ResizeRequest& r, int32_t method)
{
    const int32_t channels = r.channelCount;
    if (channels != 1 && channels != 3 && channels != 4)
        return false;
    if (r.planar)
        return true;
    if (channels == 1)
        return r.pixelStride >= 1;
    if (channels == 4)
        return r.pixelStride == 4;
    return method == kResizeNearest ? r.pixelStride >= 3
                                    : (r.pixelStride == 3 || r.pixelStride == 4);
}

int32_t BuffersFor(int32_t method)
{
    switch (method) {
    case kResizeLinear:
        return 2;
    case kResizeCubic:
        return 4;
    case kResizeLanczos:
        return 6;
    default:
        return 0;
    }
}

// Checks in order, then the geometry. Type 3 (signed 16-bit) only when the caller allows it, and
// then for nearest and linear only.
ImagingStatus MakePlan(const ResizeRequest& r, int32_t kernelSet, bool allowSigned16,
                       ResizePlan* plan)
{
    if (const ImagingStatus status = CheckResizeCommon(r); status != StatusOk)
        return status;
    if (!IsMethod(r.interpolation) || (kernelSet != 0 && kernelSet != kPlainKernelSet))
        return StatusInterpolationError;
    const bool signed16 = r.sampleType == kSample16s && allowSigned16 &&
                          (r.interpolation == kResizeNearest || r.interpolation == kResizeLinear);
    if ((r.sampleType < kSample8u || r.sampleType > kSample32f) && !signed16)
        return StatusDataTypeError;

    const int32_t method = EffectiveResizeMethod(r.interpolation, r.srcWidth, r.srcHeight);
    if (!LayoutFits(r, method))
        return StatusSizeError;
    const int32_t bytes = BytesPerSample(r.sampleType);
    if (r.srcStep % bytes != 0 || r.dstStep % bytes != 0)
        return StatusStepError;
    if (const ImagingStatus status =
            ResizeProducedExtent(r, method == kResizeNearest, &plan->extent);
        status != StatusOk)
        return status;

    const ResizeExtent& e = plan->extent;
    const bool oneChannel = r.planar || r.channelCount == 1;
    plan->method = method;
    plan->bytesPerSample = bytes;
    plan->srcStep = r.srcStep / bytes;
    plan->dstStep = r.dstStep / bytes;
    plan->columnScale = oneChannel ? 1 : r.pixelStride;
    // Table entries are 32-bit: the furthest row and column a table can name must fit.
    if (int64_t(std::max(e.regionHeight - 1, 2)) * std::abs(int64_t(plan->srcStep)) > kInt32Max ||
        int64_t(std::max(e.regionWidth - 1, 2)) * plan->columnScale > kInt32Max)
        return StatusSizeError;

    plan->slot = kernelSet + ResizeKernelSlot(method, r.sampleType, r.channelCount, r.planar != 0);
    plan->integerLinear = method == kResizeLinear && r.sampleType != kSample32f;
    plan->rows = {method, r.srcHeight, r.roi.y, e.regionHeight, e.dstHeight,
                  r.yFactor, r.yShift, r.edgeAligned != 0};
    plan->columns = {method, r.srcWidth, r.roi.x, e.regionWidth, e.dstWidth,
                     r.xFactor, r.xShift, r.edgeAligned != 0};
    plan->buffers = BuffersFor(method);
    const int64_t w = e.dstWidth;
    plan->bufferElements = oneChannel ? w + 4 : (r.channelCount == 3 ? 3 * w + 12 : 4 * w + 16);
    return StatusOk;
}

void FillTables(const ResizePlan& plan, const ResizeTableOutput& t)
{
    const auto fill = [&](const ResizeAxis& axis, int32_t scale, int32_t* offsets, uint16_t* q14,
                          int16_t* pairs, float* fractions, float* taps) {
        AxisWalker walker(axis);
        for (int32_t n = 0; n < axis.outputLength; ++n) {
            const AxisSample s = walker.Next();
            if (offsets)
                offsets[n] = s.base * scale;
            if (plan.method == kResizeNearest)
                continue;
            if (plan.integerLinear) {
                const uint16_t weight = LinearWeightQ14(s.fraction);
                if (q14)
                    q14[n] = weight;
                if (pairs) {
                    pairs[2 * int64_t(n)] = int16_t(16384 - weight);
                    pairs[2 * int64_t(n) + 1] = int16_t(weight);
                }
                continue;
            }
            const auto fraction = float(s.fraction);
            if (fractions)
                fractions[n] = fraction;
            if (plan.method == kResizeCubic && taps)
                CubicTapWeights(fraction, taps + 4 * int64_t(n));
        }
        if (plan.method == kResizeLanczos && taps && fractions)
            LanczosWeights6(fractions, axis.outputLength, taps, LanczosKernelTable);
    };
    fill(plan.rows, plan.srcStep, t.rowOffsets, t.rowQ14, nullptr, t.rowFractions, t.rowTaps);
    fill(plan.columns, plan.columnScale, t.colOffsets, nullptr, t.colQ14, t.colFractions,
         t.colTaps);
}

// The scratch blocks of one call, released together on every path.
class ScratchBlocks {
public:
    ScratchBlocks() = default;
    ScratchBlocks(const ScratchBlocks&) = delete;
    ScratchBlocks& operator=(const ScratchBlocks&) = delete;
    ~ScratchBlocks()
    {
        for (int i = count_; i-- > 0;)
            FreeAligned(blocks_[i]);
    }

    // 32-byte aligned room for `elements` of T, or null.
    template <typename T>
    T* Take(int64_t elements)
    {
        const int64_t bytes = elements * int64_t(sizeof(T));
        if (bytes < 1 || bytes > kInt32Max || count_ == kMaxBlocks)
            return nullptr;
        void* block = AllocAlignedBytes(int32_t(bytes));
        if (block)
            blocks_[count_++] = block;
        return static_cast<T*>(block);
    }

private:
    static constexpr int kMaxBlocks = 12;
    void* blocks_[kMaxBlocks] = {};
    int count_ = 0;
};

ImagingStatus RunResize(const ResizeRequest& r, int32_t kernelSet, bool allowSigned16)
{
    ResizePlan plan;
    if (const ImagingStatus status = MakePlan(r, kernelSet, allowSigned16, &plan);
        status != StatusOk)
        return status;
    const int32_t dW = plan.extent.dstWidth;
    const int32_t dH = plan.extent.dstHeight;

    // Allocation order: row and column tables, weights, Lanczos weights, row buffers.
    ScratchBlocks scratch;
    ResizeTableOutput t;
    if (!(t.rowOffsets = scratch.Take<int32_t>(dH)) || !(t.colOffsets = scratch.Take<int32_t>(dW)))
        return StatusNoMemory;
    if (plan.integerLinear) {
        if (!(t.rowQ14 = scratch.Take<uint16_t>(dH)) || !(t.colQ14 = scratch.Take<int16_t>(2 * int64_t(dW))))
            return StatusNoMemory;
    } else if (plan.method != kResizeNearest) {
        if (!(t.rowFractions = scratch.Take<float>(dH)) || !(t.colFractions = scratch.Take<float>(dW)))
            return StatusNoMemory;
    }
    if (plan.method == kResizeLanczos) {
        if (!(t.colTaps = scratch.Take<float>(6 * int64_t(dW))) ||
            !(t.rowTaps = scratch.Take<float>(6 * int64_t(dH))))
            return StatusNoMemory;
    }
    ResizeKernelArgs args;
    for (int32_t b = 0; b < plan.buffers; ++b) {
        args.rowBuffers[b] = plan.integerLinear
                                 ? static_cast<void*>(scratch.Take<int16_t>(plan.bufferElements))
                                 : static_cast<void*>(scratch.Take<float>(plan.bufferElements));
        if (!args.rowBuffers[b])
            return StatusNoMemory;
    }
    FillTables(plan, t);

    args.srcStep = plan.srcStep;
    args.dstStep = plan.dstStep;
    args.dstWidth = dW;
    args.dstHeight = dH;
    args.rowOffsets = t.rowOffsets;
    args.colOffsets = t.colOffsets;
    if (plan.integerLinear) {
        args.rowWeights = t.rowQ14;
        args.colWeights = t.colQ14;
    } else if (plan.method == kResizeLanczos) {
        args.rowWeights = t.rowTaps;
        args.colWeights = t.colTaps;
    } else {
        args.rowWeights = t.rowFractions;
        args.colWeights = t.colFractions;
    }
    args.colsLeft = r.roi.x;
    args.rowsAbove = r.roi.y;
    args.colsFromOrigin = r.srcWidth - r.roi.x;
    args.rowsFromOrigin = r.srcHeight - r.roi.y;
    args.oneRowAdvance = r.edgeAligned ? r.yFactor >= 1.0 : r.yFactor < 1.0;

    const ResizeKernel kernel = ResizeKernelTable[size_t(plan.slot)];
    if (r.planar) {
        const auto* srcPlanes = static_cast<const void* const*>(r.src);
        auto* const* dstPlanes = static_cast<void* const*>(r.dst);
        for (int32_t p = 0; p < PlaneCount(r); ++p) {
            args.src = RegionStart(srcPlanes[p], r, plan.bytesPerSample);
            args.dst = dstPlanes[p];
            kernel(args);
        }
    } else {
        args.src = RegionStart(r.src, r, plan.bytesPerSample);
        args.dst = r.dst;
        args.pixelStride = r.pixelStride;
        args.channelCount = r.channelCount;
        kernel(args);
    }
    return StatusOk;
}

} // namespace

ImagingStatus ResizeGeneralWithKernelSet(const ResizeRequest& request, int32_t kernelSet)
{
    return RunResize(request, kernelSet, true);
}

ResizeTableLayout PlanResizeTables(const ResizeRequest& request, int32_t kernelSet)
{
    ResizeTableLayout layout;
    ResizePlan plan;
    layout.status = MakePlan(request, kernelSet, true, &plan);
    if (layout.status != StatusOk)
        return layout;
    layout.method = plan.method;
    layout.slot = plan.slot;
    layout.dstWidth = plan.extent.dstWidth;
    layout.dstHeight = plan.extent.dstHeight;
    layout.integerLinear = plan.integerLinear;
    layout.taps = plan.method == kResizeCubic ? 4 : (plan.method == kResizeLanczos ? 6 : 0);
    return layout;
}

void FillResizeTables(const ResizeRequest& request, int32_t kernelSet, const ResizeTableOutput& out)
{
    ResizePlan plan;
    if (MakePlan(request, kernelSet, true, &plan) == StatusOk)
        FillTables(plan, out);
}

} // namespace imaging

using namespace imaging;

ImagingStatus ResizeGeneral(const void* src, int32_t srcWidth, int32_t srcHeight, int32_t srcStep,
                            ImagingRegion roi, void* dst, int32_t dstStep, int32_t dstWidth,
                            int32_t dstHeight, double xFactor, double yFactor, double xShift,
                            double yShift, int32_t pixelStride, int32_t channelCount,
                            int32_t sampleType, int32_t planar, int32_t interpolation,
                            int32_t edgeAligned)
{
    const ResizeRequest request{src,      srcWidth,   srcHeight,    srcStep,    roi,
                                dst,      dstStep,    dstWidth,     dstHeight,  xFactor,
                                yFactor,  xShift,     yShift,       pixelStride, channelCount,
                                sampleType, planar,   interpolation, edgeAligned};
    return RunResize(request, 0, false);
}
