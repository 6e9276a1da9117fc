// The inside of the resize engines: the checks and produced sizes both engines share, the
// per-axis sampling tables of ResizeGeneral, and the internal entries that tests and the plain
// kernel set use (none of them is part of imaging/imaging.h).
#pragma once

#include "imaging/imaging.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace imaging {

inline constexpr int32_t kResizeNearest = 1;
inline constexpr int32_t kResizeLinear = 2;
inline constexpr int32_t kResizeCubic = 4;
inline constexpr int32_t kResizeSupersample = 8;
inline constexpr int32_t kResizeLanczos = 16;

// Sample type codes; 16s is reached only through the internal entries.
inline constexpr int32_t kSample8u = 0;
inline constexpr int32_t kSample16u = 1;
inline constexpr int32_t kSample32f = 2;
inline constexpr int32_t kSample16s = 3;

// Added before every truncation of a position or size to an integer.
inline constexpr double kPositionEpsilon = 1e-07;

// One call's arguments as ResizeGeneral takes them (ResizeSupersample uses the same record with
// no shifts, interpolation 8 and edge alignment).
struct ResizeRequest {
    const void* src = nullptr;
    int32_t srcWidth = 0;
    int32_t srcHeight = 0;
    int32_t srcStep = 0;
    ImagingRegion roi = {};
    void* dst = nullptr;
    int32_t dstStep = 0;
    int32_t dstWidth = 0;
    int32_t dstHeight = 0;
    double xFactor = 0.0;
    double yFactor = 0.0;
    double xShift = 0.0;
    double yShift = 0.0;
    int32_t pixelStride = 1;
    int32_t channelCount = 1;
    int32_t sampleType = 0;
    int32_t planar = 0;
    int32_t interpolation = kResizeNearest;
    int32_t edgeAligned = 1;
};

// The checks both engines make first, in their order: null pointers (-8, plane pointers
// included), source and region sizes (-6), a region starting outside the source (+29),
// destination sizes (-6), factors not positive or not finite, or shifts not finite (-23).
ImagingStatus CheckResizeCommon(const ResizeRequest& request);

// Planes a planar request carries.
inline int32_t PlaneCount(const ResizeRequest& request)
{
    return request.channelCount == 4 ? 4 : 3;
}

inline int32_t BytesPerSample(int32_t sampleType)
{
    return sampleType == kSample8u ? 1 : (sampleType == kSample32f ? 4 : 2);
}

// The region clipped to the source and the destination size produced.
struct ResizeExtent {
    int32_t regionWidth = 0;
    int32_t regionHeight = 0;
    int32_t dstWidth = 0;
    int32_t dstHeight = 0;
};

// Clips the region and works out the produced size; -201 when less than half a destination pixel
// would be covered (edge-aligned only). Nearest with edgeAligned 0 counts whole steps.
ImagingStatus ResizeProducedExtent(const ResizeRequest& request, bool nearest,
                                   ResizeExtent* extent);

// The first byte of the region in a plane (interleaved: the source itself).
const uint8_t* RegionStart(const void* plane, const ResizeRequest& request, int32_t bytesPerSample);

// One axis of ResizeGeneral's geometry.
struct ResizeAxis {
    int32_t method = kResizeNearest; // after the downgrade by source size
    int32_t sourceLength = 0;        // the whole source's width or height
    int32_t origin = 0;              // the region's first column or row
    int32_t regionLength = 0;        // clipped
    int32_t outputLength = 0;        // produced
    double factor = 1.0;
    double shift = 0.0;
    bool edgeAligned = true;
};

// Where one destination position samples: the base pixel relative to the region origin (the
// upper of two for linear, the second of four for cubic) and the fraction or cubic t there.
struct AxisSample {
    int32_t base;
    double fraction;
};

// The destination positions of an axis in order, accumulated from the first by repeated
// addition of the step in double precision. Positions outside the region (a shift, or a pixel
// centre rounding onto the pixel past the end) sample the region's edge pixel.
class AxisWalker {
public:
    explicit AxisWalker(const ResizeAxis& axis);
    AxisSample Next();

private:
    ResizeAxis axis_;
    double position_;
    double step_;
};

// Q14 weight of a linear fraction: trunc(f x 16384 + 1e-07).
uint16_t LinearWeightQ14(double fraction);

// The four Lagrange weights of the cubic through positions -1, 0, 1, 2, evaluated at t.
void CubicTapWeights(float t, float weights[4]);

// The method after the downgrade by whole-source size: under 8 columns or rows Lanczos becomes
// cubic, under 4 cubic becomes linear, under 2 anything becomes nearest.
int32_t EffectiveResizeMethod(int32_t interpolation, int32_t srcWidth, int32_t srcHeight);

// The table slot of a method, sample type and layout within one kernel set.
int32_t ResizeKernelSlot(int32_t method, int32_t sampleType, int32_t channelCount, bool planar);

// ResizeGeneral with a chosen kernel set: 0 (the vector kernels) or 48 (the plain ones; any other
// value fails with -22). Sample types 0 to 2 as ResizeGeneral; type 3 (signed 16-bit) with
// nearest and linear only, -12 for the other methods.
ImagingStatus ResizeGeneralWithKernelSet(const ResizeRequest& request, int32_t kernelSet);

// What ResizeGeneralWithKernelSet would hand the kernel, without allocating or touching the
// destination: the status of its checks, the method after the downgrade, the slot and the
// produced size. Tables then come from FillResizeTables.
struct ResizeTableLayout {
    ImagingStatus status = StatusOk;
    int32_t method = 0;
    int32_t slot = -1;
    int32_t dstWidth = 0;
    int32_t dstHeight = 0;
    bool integerLinear = false; // Q14 weights (else float fractions, but none for nearest)
    int32_t taps = 0;           // weights per position: 4 for cubic, 6 for Lanczos, else 0
};
ResizeTableLayout PlanResizeTables(const ResizeRequest& request, int32_t kernelSet = 0);

// Where the tables go, sized from the layout: offsets dstHeight and dstWidth entries (in samples,
// as the kernel gets them); integer linear: Q14 weights, one per row and a pair per column;
// otherwise fractions (linear with float samples, cubic t, Lanczos) one per row and column; taps
// weights per row and column (cubic: the four Lagrange weights of each t, which the second cubic
// set takes; Lanczos: the six weights). A null pointer skips that table.
struct ResizeTableOutput {
    int32_t* rowOffsets = nullptr;
    int32_t* colOffsets = nullptr;
    uint16_t* rowQ14 = nullptr;
    int16_t* colQ14 = nullptr;
    float* rowFractions = nullptr;
    float* colFractions = nullptr;
    float* rowTaps = nullptr;
    float* colTaps = nullptr;
};
// Fills the tables of a request whose layout status is 0; Lanczos taps need the fractions.
void FillResizeTables(const ResizeRequest& request, int32_t kernelSet,
                      const ResizeTableOutput& out);

// The layout and all its tables in vectors (built in the caller's code, so that the library
// itself allocates only through its hooks).
struct ResizeTables : ResizeTableLayout {
    std::vector<int32_t> rowOffsets;
    std::vector<int32_t> colOffsets;
    std::vector<uint16_t> rowWeightsQ14;
    std::vector<int16_t> colWeightsQ14;
    std::vector<float> rowFractions;
    std::vector<float> colFractions;
    std::vector<float> rowTaps;
    std::vector<float> colTaps;
};

inline ResizeTables BuildResizeTables(const ResizeRequest& request, int32_t kernelSet = 0)
{
    ResizeTables t;
    static_cast<ResizeTableLayout&>(t) = PlanResizeTables(request, kernelSet);
    if (t.status != StatusOk)
        return t;
    const std::size_t w = std::size_t(t.dstWidth), h = std::size_t(t.dstHeight);
    t.rowOffsets.resize(h);
    t.colOffsets.resize(w);
    if (t.integerLinear) {
        t.rowWeightsQ14.resize(h);
        t.colWeightsQ14.resize(2 * w);
    } else if (t.method != kResizeNearest) {
        t.rowFractions.resize(h);
        t.colFractions.resize(w);
    }
    t.rowTaps.resize(std::size_t(t.taps) * h);
    t.colTaps.resize(std::size_t(t.taps) * w);
    ResizeTableOutput out;
    out.rowOffsets = t.rowOffsets.data();
    out.colOffsets = t.colOffsets.data();
    out.rowQ14 = t.rowWeightsQ14.empty() ? nullptr : t.rowWeightsQ14.data();
    out.colQ14 = t.colWeightsQ14.empty() ? nullptr : t.colWeightsQ14.data();
    out.rowFractions = t.rowFractions.empty() ? nullptr : t.rowFractions.data();
    out.colFractions = t.colFractions.empty() ? nullptr : t.colFractions.data();
    out.rowTaps = t.rowTaps.empty() ? nullptr : t.rowTaps.data();
    out.colTaps = t.colTaps.empty() ? nullptr : t.colTaps.data();
    FillResizeTables(request, kernelSet, out);
    return t;
}

} // namespace imaging
