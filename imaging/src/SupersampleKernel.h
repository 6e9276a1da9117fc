// The supersampling kernels: their argument record, the nine kernels by sample type and layout,
// the row routines they are built on, and the kernel template itself, which the plain
// equivalents of the 8-bit kernels share.
//
// Every destination pixel (i, j) is the mean of the source area [i rx, (i + 1) rx) x
// [j ry, (j + 1) ry), with partly covered source pixels weighted by the covered part. Whole
// ratios (mode 0) sum samples exactly in integers; fractional ratios walk a cursor across the
// rows (modes 1 and 3) and columns (modes 2 and 3) and sum in single precision: a partial sample
// is weighted in double, converted to float and added. Rows and columns are always added in
// order, so the float results do not depend on where the buffers sit.
#pragma once

#include "ScalarRounding.h"
#include "ScratchSupport.h"
#include "imaging/imaging.h"

#include <algorithm>
#include <concepts>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>

namespace imaging {

struct SupersampleArgs {
    const void* src = nullptr; // the region's first sample
    void* dst = nullptr;
    int32_t srcStep = 0; // bytes
    int32_t dstStep = 0; // bytes
    int32_t srcColumns = 0; // source columns that may be read
    int32_t srcRows = 0;    // source rows that may be read
    int32_t dstWidth = 0;
    int32_t dstHeight = 0;
    double xRatio = 1.0;     // source pixels per destination pixel, at least 1
    double yRatio = 1.0;
    double normaliser = 1.0; // xFactor x yFactor
    int32_t pixelStride = 3; // three-channel kernels: samples from one pixel to the next
    int32_t mode = 0;        // bit 0: yRatio fractional, bit 1: xRatio fractional
    // A scratch block of SupersampleScratchBytes bytes, 32-byte aligned, that the caller lends;
    // null for the kernel to allocate (and release) its own.
    void* scratch = nullptr;
};

// 0, or -9 when the kernel's scratch block cannot be allocated (nothing written then).
using SupersampleKernel = ImagingStatus (*)(const SupersampleArgs&);

ImagingStatus SupersampleResize8u_C1(const SupersampleArgs& args);
ImagingStatus SupersampleResize8u_C3(const SupersampleArgs& args);
ImagingStatus SupersampleResize8u_C4(const SupersampleArgs& args);
ImagingStatus SupersampleResize16u_C1(const SupersampleArgs& args);
ImagingStatus SupersampleResize16u_C3(const SupersampleArgs& args);
ImagingStatus SupersampleResize16u_C4(const SupersampleArgs& args);
ImagingStatus SupersampleResize32f_C1(const SupersampleArgs& args);
ImagingStatus SupersampleResize32f_C3(const SupersampleArgs& args);
ImagingStatus SupersampleResize32f_C4(const SupersampleArgs& args);

// The 8-bit kernels over the plain row routines.
ImagingStatus SupersampleResize8u_C1Plain(const SupersampleArgs& args);
ImagingStatus SupersampleResize8u_C3Plain(const SupersampleArgs& args);
ImagingStatus SupersampleResize8u_C4Plain(const SupersampleArgs& args);

// Samples of a source row a kernel reads (the three-channel kernels read the span from the first
// pixel's first sample to the last pixel's third) and scratch entries per source column.
inline int64_t SupersampleSpan(int32_t channels, int32_t pixelStride, int32_t srcColumns)
{
    const int64_t stride = channels == 1 ? 1 : (channels == 4 ? 4 : pixelStride);
    return (int64_t(srcColumns) - 1) * stride + channels;
}

// One destination column's source window, worked out once per call: a partly covered head
// column, a run of whole columns, a partly covered tail column (each index -1 when absent), and
// the horizontal extent the mean divides by when the window was clipped (else 0).
struct SupersampleColumnWindow {
    double headWeight;
    double tailWeight;
    double clippedCover;
    int32_t head;
    int32_t wholeFirst;
    int32_t wholeCount;
    int32_t tail;
    // The same window as consecutive columns from `start`: `terms` of them (0 when more than
    // kSupersampleTerms), each added as float(weight x column), whole columns with weight 1.
    int32_t start;
    int32_t terms;
    double weights[4];
};

inline constexpr int32_t kSupersampleTerms = 4;

// Bytes of the scratch block: the row (64-bit sums for the integer kernels in mode 0, floats
// otherwise) followed by the column windows.
inline int64_t SupersampleScratchRowBytes(bool floatSamples, int32_t channels, int32_t pixelStride,
                                          int32_t srcColumns, int32_t mode)
{
    const int64_t entry = (!floatSamples && mode == 0) ? 8 : 4;
    const int64_t bytes = entry * SupersampleSpan(channels, pixelStride, srcColumns);
    return (bytes + 7) / 8 * 8;
}

inline int64_t SupersampleScratchBytes(bool floatSamples, int32_t channels, int32_t pixelStride,
                                       int32_t srcColumns, int32_t mode, int32_t dstWidth)
{
    return SupersampleScratchRowBytes(floatSamples, channels, pixelStride, srcColumns, mode) +
           int64_t(sizeof(SupersampleColumnWindow)) * std::max(dstWidth, 0);
}

// Row routines over `count` consecutive samples. ColumnSums overwrites out[i] with the sum of
// sample i down `rows` rows; AddRow adds each sample to acc[i]; AddRowWeighted adds
// float(weight x sample) computed in double.
void SupersampleColumnSums8uSse2(const uint8_t* row, int32_t step, int64_t count, int32_t rows,
                                 uint64_t* out);
void SupersampleAddRow8uSse2(const uint8_t* row, int64_t count, float* acc);
void SupersampleAddRowWeighted8uSse2(const uint8_t* row, int64_t count, double weight, float* acc);
void SupersampleColumnSums8uPlain(const uint8_t* row, int32_t step, int64_t count, int32_t rows,
                                  uint64_t* out);
void SupersampleAddRow8uPlain(const uint8_t* row, int64_t count, float* acc);
void SupersampleAddRowWeighted8uPlain(const uint8_t* row, int64_t count, double weight, float* acc);

// The output stage of one-channel 8-bit rows, four outputs a step while their windows are
// unclipped: mode 0 from the 64-bit column sums (whose window totals the caller guarantees below
// 2^31), the fractional modes from the float row, where window i adds its consecutive columns
// from `start` on in order, each as float(weight x column). Returns the outputs written, from
// the first; the rest go through the template's scalar stage. Bytes equal the scalar stage's.
struct SupersampleColumnWindow;
int32_t SupersampleWholeOutputs8uSse2(const uint64_t* sums, const SupersampleColumnWindow* windows,
                                      int32_t count, double normaliser, uint8_t* out);
int32_t SupersamplePartOutputs8uSse2(const float* acc, const SupersampleColumnWindow* windows,
                                     int32_t count, double normaliser, uint8_t* out);

// The scalar row routines of any sample type.
template <typename T>
struct SupersampleRowsScalar {
    static void ColumnSums(const uint8_t* row, int32_t step, int64_t count, int32_t rows,
                           uint64_t* out)
    {
        for (int64_t i = 0; i < count; ++i)
            out[i] = 0;
        for (int32_t r = 0; r < rows; ++r) {
            const auto* p = reinterpret_cast<const T*>(row + int64_t(r) * step);
            for (int64_t i = 0; i < count; ++i)
                out[i] += uint64_t(p[i]);
        }
    }
    static void AddRow(const uint8_t* row, int64_t count, float* acc)
    {
        const auto* p = reinterpret_cast<const T*>(row);
        for (int64_t i = 0; i < count; ++i)
            acc[i] += float(p[i]);
    }
    static void AddRowWeighted(const uint8_t* row, int64_t count, double weight, float* acc)
    {
        const auto* p = reinterpret_cast<const T*>(row);
        for (int64_t i = 0; i < count; ++i)
            acc[i] += float(weight * double(p[i]));
    }
};

// The area one destination pixel covers along one axis, as taps (index, weight, whole) in order.
// Whole ratios give blocks of n; fractional ones the cursor walk: after the first window each
// takes the rest of the boundary pixel (1 - c), the whole pixels that follow and, when more than
// 1e-07, the covered part c' of the next one. A boundary pixel used up to within 1e-07 counts as
// consumed rather than entering the next window a second time. Taps at or past `limit` are not
// visited: the window is clipped and the pixel averaged over what it covers.
class SupersampleAxis {
public:
    SupersampleAxis(double ratio, bool fractional, int32_t limit)
        : ratio_(ratio), fractional_(fractional), limit_(limit)
    {
        whole_ = int64_t(FloorDouble(ratio));
        fraction_ = ratio - whole_;
    }

    struct Window {
        double covered; // sum of the weights visited
        bool clipped;   // a tap past the limit was left out
    };

    // Visits the next output's taps: tap(index, weight, whole).
    template <class Tap>
    Window Next(Tap&& tap)
    {
        Window window{0.0, false};
        const auto visit = [&](int64_t index, double weight, bool whole) {
            if (index < 0 || index >= limit_) {
                window.clipped = true;
                return;
            }
            window.covered += weight;
            tap(int32_t(index), weight, whole);
        };
        // A run of whole pixels stops at the limit: whatever lies past it is clipped.
        const auto visitRun = [&](int64_t first, int64_t count) {
            const int64_t inside = std::min(count, limit_ - first);
            for (int64_t k = 0; k < inside; ++k)
                visit(first + k, 1.0, true);
            if (inside < count)
                window.clipped = true;
        };
        if (!fractional_) {
            visitRun(int64_t(output_) * whole_, whole_);
        } else if (output_ == 0) {
            visitRun(0, whole_);
            boundary_ = whole_;
            used_ = fraction_;
            if (fraction_ != 0.0)
                visit(boundary_, fraction_, false);
        } else {
            const double rest = 1.0 - used_;
            const double need = ratio_ - rest;
            const auto n = int64_t(FloorDouble(need + 1e-07));
            const double part = need - double(n);
            if (rest > 1e-07)
                visit(boundary_, rest, false);
            ++boundary_;
            visitRun(boundary_, n);
            boundary_ += n;
            if (part > 1e-07)
                visit(boundary_, part, false);
            used_ = part;
        }
        ++output_;
        return window;
    }

private:
    double ratio_;
    bool fractional_;
    int64_t limit_;
    int64_t whole_ = 0;
    double fraction_ = 0.0;
    int32_t output_ = 0;
    int64_t boundary_ = 0;
    double used_ = 0.0;
};

// The windows of every destination column, in the order their taps are added.
inline void SupersampleColumnWindows(double ratio, bool fractional, int32_t limit, int32_t count,
                                     SupersampleColumnWindow* windows)
{
    SupersampleAxis axis(ratio, fractional, limit);
    for (int32_t i = 0; i < count; ++i) {
        // Filled field by field in place: a copy of the whole record would be a vector move in
        // the plain kernels.
        SupersampleColumnWindow& w = windows[i];
        w.headWeight = w.tailWeight = 0.0;
        w.head = w.tail = -1;
        w.wholeFirst = w.wholeCount = 0;
        const SupersampleAxis::Window covered = axis.Next([&](int32_t x, double weight, bool whole) {
            if (whole) {
                if (w.wholeCount++ == 0)
                    w.wholeFirst = x;
            } else if (w.wholeCount == 0 && w.head < 0) {
                w.head = x;
                w.headWeight = weight;
            } else {
                w.tail = x;
                w.tailWeight = weight;
            }
        });
        w.clippedCover = covered.clipped ? covered.covered : 0.0;
        // The terms as consecutive columns, when they are (head, whole run, tail in a row) and
        // few enough for the vector output stage.
        const int32_t first = w.head >= 0 ? w.head : (w.wholeCount > 0 ? w.wholeFirst : w.tail);
        int32_t terms = 0;
        bool consecutive = first >= 0;
        const auto term = [&](int32_t column, double weight) {
            if (column != first + terms || terms == kSupersampleTerms)
                consecutive = false;
            else
                w.weights[terms++] = weight;
        };
        if (w.head >= 0)
            term(w.head, w.headWeight);
        for (int32_t k = 0; k < w.wholeCount && consecutive; ++k)
            term(w.wholeFirst + k, 1.0);
        if (w.tail >= 0 && consecutive)
            term(w.tail, w.tailWeight);
        w.start = consecutive ? first : 0;
        w.terms = consecutive ? terms : 0;
        for (int32_t k = w.terms; k < kSupersampleTerms; ++k)
            w.weights[k] = 0.0;
    }
}

template <class Rows>
concept SupersampleVectorOutputs = requires(const uint64_t* sums, const float* acc,
                                            const SupersampleColumnWindow* w, uint8_t* out) {
    { Rows::WholeOutputs(sums, w, int32_t(0), 0.0, out) } -> std::same_as<int32_t>;
    { Rows::PartOutputs(acc, w, int32_t(0), 0.0, out) } -> std::same_as<int32_t>;
};

// The kernel: Sample the storage type, Channels 1, 3 (at pixelStride) or 4, Rows the row
// routines.
template <typename Sample, int Channels, class Rows>
ImagingStatus SupersampleRows(const SupersampleArgs& a)
{
    constexpr bool kFloat = std::is_floating_point_v<Sample>;
    if (a.mode < 0 || a.mode > 3)
        return StatusOk;
    const bool integerSums = !kFloat && a.mode == 0;
    void* scratch = a.scratch;
    if (!scratch) {
        const int64_t bytes = SupersampleScratchBytes(kFloat, Channels, a.pixelStride,
                                                      a.srcColumns, a.mode, a.dstWidth);
        if (bytes > std::numeric_limits<int32_t>::max())
            return StatusNoMemory;
        scratch = AllocAlignedBytes(int32_t(bytes));
        if (!scratch)
            return StatusNoMemory;
    }
    auto* sums = static_cast<uint64_t*>(scratch);
    auto* acc = static_cast<float*>(scratch);
    auto* windows = reinterpret_cast<SupersampleColumnWindow*>(
        static_cast<uint8_t*>(scratch) +
        SupersampleScratchRowBytes(kFloat, Channels, a.pixelStride, a.srcColumns, a.mode));

    const int64_t stride = Channels == 1 ? 1 : (Channels == 4 ? 4 : a.pixelStride);
    const int64_t span = SupersampleSpan(Channels, a.pixelStride, a.srcColumns);
    const auto* src = static_cast<const uint8_t*>(a.src);
    const auto row = [&](int32_t r) { return src + int64_t(r) * a.srcStep; };
    SupersampleColumnWindows(a.xRatio, (a.mode & 2) != 0, a.srcColumns, a.dstWidth, windows);

    SupersampleAxis rows(a.yRatio, (a.mode & 1) != 0, a.srcRows);
    for (int32_t j = 0; j < a.dstHeight; ++j) {
        SupersampleAxis::Window down;
        if (integerSums) {
            int32_t first = -1;
            int32_t count = 0;
            down = rows.Next([&](int32_t r, double, bool) {
                if (first < 0)
                    first = r;
                ++count;
            });
            if (count > 0)
                Rows::ColumnSums(row(first), a.srcStep, span, count, sums);
            else
                ZeroBytes(static_cast<uint8_t*>(scratch), uint64_t(span) * 8, QueryLargestCacheSize);
        } else {
            ZeroBytes(static_cast<uint8_t*>(scratch), uint64_t(span) * 4, QueryLargestCacheSize);
            down = rows.Next([&](int32_t r, double weight, bool whole) {
                if (whole)
                    Rows::AddRow(row(r), span, acc);
                else
                    Rows::AddRowWeighted(row(r), span, weight, acc);
            });
        }

        auto* out = reinterpret_cast<Sample*>(static_cast<uint8_t*>(a.dst) + int64_t(j) * a.dstStep);
        int32_t i = 0;
        if constexpr (Channels == 1 && std::is_same_v<Sample, uint8_t> &&
                      SupersampleVectorOutputs<Rows>) {
            if (!down.clipped) {
                // Window totals of whole ratios stay below 2^31 when the block holds fewer than
                // 2^31 / 255 samples.
                if (!integerSums)
                    i = Rows::PartOutputs(acc, windows, a.dstWidth, a.normaliser, out);
                else if (a.xRatio * a.yRatio < 2147483647.0 / 255.0)
                    i = Rows::WholeOutputs(sums, windows, a.dstWidth, a.normaliser, out);
            }
        }
        for (; i < a.dstWidth; ++i) {
            const SupersampleColumnWindow& w = windows[i];
            // The caller's normaliser unless the window was clipped: then the area covered.
            double norm = a.normaliser;
            if (w.clippedCover > 0.0 || down.clipped)
                norm = 1.0 / ((w.clippedCover > 0.0 ? w.clippedCover : a.xRatio) *
                              (down.clipped ? down.covered : a.yRatio));
            Sample* pixel = out + int64_t(i) * stride;
            for (int c = 0; c < Channels; ++c) {
                double total;
                if (integerSums) {
                    uint64_t whole = 0;
                    for (int32_t k = 0; k < w.wholeCount; ++k)
                        whole += sums[(w.wholeFirst + k) * stride + c];
                    total = double(whole);
                } else {
                    // Head, whole columns, tail: the order of the walk, independent of addresses.
                    float sum = 0.0f;
                    if (w.head >= 0)
                        sum += float(w.headWeight * double(acc[w.head * stride + c]));
                    for (int32_t k = 0; k < w.wholeCount; ++k)
                        sum += acc[(w.wholeFirst + k) * stride + c];
                    if (w.tail >= 0)
                        sum += float(w.tailWeight * double(acc[w.tail * stride + c]));
                    total = double(sum);
                }
                if constexpr (kFloat) {
                    pixel[c] = float(total * norm);
                } else {
                    // Non-negative and far below 2^63: the conversion truncates exactly.
                    const auto v = int64_t(total * norm + 0.5);
                    pixel[c] = Sample(std::min<int64_t>(v, std::numeric_limits<Sample>::max()));
                }
            }
        }
    }
    if (!a.scratch)
        FreeAligned(scratch);
    return StatusOk;
}

} // namespace imaging
