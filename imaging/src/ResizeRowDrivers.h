// The walks over destination rows that the resize kernels share: the nearest copy, the linear
// two-row cache, the four-row ring of the cubic and four-tap kernels and the six-row ring of the
// Lanczos kernels, each a template over the sample type or the set of passes, so that a vector
// kernel and its plain equivalent differ only in the passes they are given.
#pragma once

#include "ResizeKernels.h"
#include "ResizeLanczosArithmetic.h"
#include "ScratchSupport.h"

#include <algorithm>
#include <cstdint>

namespace imaging {

template <typename T>
inline const T* SourceRow(const ResizeKernelArgs& args, int64_t offset)
{
    return static_cast<const T*>(args.src) + offset;
}

template <typename T>
inline T* DestinationRow(const ResizeKernelArgs& args, int32_t row)
{
    return static_cast<T*>(args.dst) + int64_t(args.dstStep) * row;
}

// Columns of the destination row y taken from its source row; Channels is 1, 3 or 4. Three
// channels are copied out of pixels pixelStride samples apart into destination pixels as far
// apart; four channels sit at a stride of four. Element is the sample's storage (floats move as
// 32-bit words). Tag keeps the plain set's instantiations apart from the vector set's, which are
// compiled with auto-vectorisation.
template <typename Element, int Channels, class Tag = void>
void NearestRow(const ResizeKernelArgs& args, int32_t y, int32_t firstColumn)
{
    const Element* from = SourceRow<Element>(args, args.rowOffsets[y]);
    Element* to = DestinationRow<Element>(args, y);
    const int64_t stride = Channels == 1 ? 1 : (Channels == 4 ? 4 : args.pixelStride);
    for (int32_t x = firstColumn; x < args.dstWidth; ++x) {
        const Element* p = from + args.colOffsets[x];
        Element* q = to + stride * x;
        for (int c = 0; c < Channels; ++c)
            q[c] = p[c];
    }
}

template <typename Element, int Channels, class Tag = void>
void NearestRows(const ResizeKernelArgs& args)
{
    for (int32_t y = 0; y < args.dstHeight; ++y)
        NearestRow<Element, Channels, Tag>(args, y, 0);
}

// A set of linear passes for LinearRows: the arithmetic's types, the horizontal passes by layout
// (one, three at a pixel stride, four channels) and the packed and AC4 vertical passes.
template <class A, auto HorizontalOne, auto HorizontalThree, auto HorizontalFour, auto Packed,
          auto ThreeOfFour>
struct LinearPassSet {
    using Arithmetic = A;
    static constexpr auto HorizontalC1 = HorizontalOne;
    static constexpr auto HorizontalC3 = HorizontalThree;
    static constexpr auto HorizontalC4 = HorizontalFour;
    static constexpr auto VerticalPacked = Packed;
    static constexpr auto VerticalAC4 = ThreeOfFour;
};

// Two filtered rows, upper and lower, and the offset `last` of the source row the upper one
// holds. A destination row whose source row equals the last reuses both; an advance by one row
// keeps the old lower row as the new upper one and filters only the new lower row; a longer jump
// filters both. Offsets are compared in the direction of the source step, so a bottom-up source
// walks the same way. Passes supplies the arithmetic (A), the horizontal passes by layout and
// the packed and AC4 vertical passes; MultiChannel picks the layout from the record.
template <class Passes, bool MultiChannel>
void LinearRows(const ResizeKernelArgs& args)
{
    using A = typename Passes::Arithmetic;
    using Sample = typename A::Sample;
    using Filtered = typename A::Filtered;
    if (args.dstWidth < 1 || args.dstHeight < 1)
        return;

    const int64_t step = args.srcStep;
    const auto* columnWeights = static_cast<const typename A::ColumnWeight*>(args.colWeights);
    const auto* rowWeights = static_cast<const typename A::RowWeight*>(args.rowWeights);
    const int32_t channels = MultiChannel ? args.channelCount : 1;
    const bool packed = !MultiChannel || args.pixelStride == args.channelCount;

    const auto filter = [&](int64_t offset, Filtered* out) {
        const Sample* row = SourceRow<Sample>(args, offset);
        if (!MultiChannel)
            Passes::HorizontalC1(row, args.dstWidth, args.colOffsets, columnWeights, out);
        else if (channels == 4)
            Passes::HorizontalC4(row, args.dstWidth, args.colOffsets, columnWeights, out);
        else
            Passes::HorizontalC3(row, args.dstWidth, args.colOffsets, columnWeights, out,
                                 args.pixelStride);
    };
    // "Beyond" and "more than one row beyond" in the direction of the step.
    const auto beyond = [&](int64_t r, int64_t last) { return step < 0 ? r < last : r > last; };
    const auto jumps = [&](int64_t r, int64_t last) {
        return step < 0 ? r < last + step : r > last + step;
    };

    auto* upper = static_cast<Filtered*>(args.rowBuffers[0]);
    auto* lower = static_cast<Filtered*>(args.rowBuffers[1]);
    // The first row sits in the lower buffer with `last` just short of it, so that the first
    // destination row is an advance by one row.
    filter(args.rowOffsets[0], lower);
    int64_t last = int64_t(args.rowOffsets[0]) + (step < 0 ? 1 : -1);

    for (int32_t y = 0; y < args.dstHeight; ++y) {
        const int64_t r = args.rowOffsets[y];
        if (beyond(r, last)) {
            Filtered* freed = upper;
            filter(r + step, freed);
            if (jumps(r, last))
                filter(r, lower);
            upper = lower;
            lower = freed;
            last = r;
        }
        Sample* to = DestinationRow<Sample>(args, y);
        if (packed)
            Passes::VerticalPacked(to, args.dstWidth * channels, rowWeights[y], upper, lower);
        else
            Passes::VerticalAC4(to, args.dstWidth, rowWeights[y], upper, lower);
    }
}

// Whole source rows from `last` to r in the direction of the step once r lies beyond `last`: at
// least one (the first destination row starts one sample short of its row), else 0.
inline int64_t RowsAdvanced(int64_t r, int64_t last, int64_t step)
{
    const int64_t distance = step < 0 ? last - r : r - last;
    if (distance <= 0)
        return 0;
    const int64_t rows = step == 0 ? 1 : distance / (step < 0 ? -step : step);
    return std::max<int64_t>(rows, 1);
}

// Moves the first n entries of a ring of buffers to its end, entry by entry (a library rotate
// would call memmove).
template <typename T, int N>
inline void RotateRing(T (&ring)[N], int n)
{
    T moved[N];
    for (int k = 0; k < N; ++k)
        moved[k] = ring[(k + n) % N];
    for (int k = 0; k < N; ++k)
        ring[k] = moved[k];
}

// Filters one source row with the cubic or four-tap horizontal pass of the record's layout: one
// channel, four, or three at the record's pixel stride.
template <class Passes, bool MultiChannel>
void FilterRowCubic(const ResizeKernelArgs& args, int64_t offset, float* out)
{
    using Sample = typename Passes::Sample;
    const Sample* row = SourceRow<Sample>(args, offset);
    const auto* weights = static_cast<const float*>(args.colWeights);
    if (!MultiChannel)
        Passes::HorizontalC1(row, args.dstWidth, args.colOffsets, weights, out);
    else if (args.channelCount == 4)
        Passes::HorizontalC4(row, args.dstWidth, args.colOffsets, weights, out);
    else
        Passes::HorizontalC3(row, args.dstWidth, args.colOffsets, weights, out, args.pixelStride);
}

// A set of cubic passes for CubicRows: the sample type, the horizontal passes by layout, the
// packed and AC4 vertical passes, and the floats a row carries (1: the fraction t, handed to the
// vertical pass by value; 4: four weights, handed by pointer).
template <typename S, auto HorizontalOne, auto HorizontalThree, auto HorizontalFour, auto Packed,
          auto ThreeOfFour, int RowFloats>
struct CubicPassSet {
    using Sample = S;
    static constexpr auto HorizontalC1 = HorizontalOne;
    static constexpr auto HorizontalC3 = HorizontalThree;
    static constexpr auto HorizontalC4 = HorizontalFour;
    static constexpr auto VerticalPacked = Packed;
    static constexpr auto VerticalAC4 = ThreeOfFour;
    static constexpr int kRowFloats = RowFloats;
};

// Four filtered rows in a ring, holding source rows r - 1, r, r + 1 and r + 2 for r = `last`.
// Before the first destination row the ring takes rows r0 - 1, r0 and r0 + 1 and `last` sits one
// sample short of r0, so that the first row is an advance by one. An advance by k rows moves the
// ring on by min(k, 4) and filters the rows that came in, from the bottom up: r + 2, then r + 1,
// r and r - 1 as the advance reaches 2, 3 and 4 rows. A row whose source row equals the last
// reuses all four. Offsets are compared in the direction of the source step.
template <class Passes, bool MultiChannel>
void CubicRows(const ResizeKernelArgs& args)
{
    using Sample = typename Passes::Sample;
    if (args.dstWidth < 1 || args.dstHeight < 1)
        return;

    const int64_t step = args.srcStep;
    const auto* rowWeights = static_cast<const float*>(args.rowWeights);
    const int32_t channels = MultiChannel ? args.channelCount : 1;
    const bool packed = !MultiChannel || args.pixelStride == args.channelCount;
    const auto filter = [&](int64_t offset, float* out) {
        FilterRowCubic<Passes, MultiChannel>(args, offset, out);
    };

    float* ring[4];
    for (int k = 0; k < 4; ++k)
        ring[k] = static_cast<float*>(args.rowBuffers[k]);
    const int64_t r0 = args.rowOffsets[0];
    filter(r0 - step, ring[1]);
    filter(r0, ring[2]);
    filter(r0 + step, ring[3]);
    int64_t last = r0 + (step < 0 ? 1 : -1);

    for (int32_t y = 0; y < args.dstHeight; ++y) {
        const int64_t r = args.rowOffsets[y];
        if (const int64_t advance = RowsAdvanced(r, last, step); advance > 0) {
            const int incoming = int(std::min<int64_t>(advance, 4));
            RotateRing(ring, incoming);
            for (int k = 0; k < incoming; ++k)
                filter(r + (2 - k) * step, ring[3 - k]);
            last = r;
        }
        const float* const rows[4] = {ring[0], ring[1], ring[2], ring[3]};
        Sample* to = DestinationRow<Sample>(args, y);
        const auto weight = [&] {
            if constexpr (Passes::kRowFloats == 1)
                return rowWeights[y];
            else
                return rowWeights + 4 * int64_t(y);
        }();
        if (packed)
            Passes::VerticalPacked(to, args.dstWidth * channels, weight, rows);
        else
            Passes::VerticalAC4(to, args.dstWidth, weight, rows);
    }
}

// A set of Lanczos passes for LanczosRows: the sample type, the folding horizontal passes by
// layout (null where a type has none), the interior ones, the packed and AC4 vertical passes, and
// the copy that repeats a border row (the plain set keeps to CopyFloatsAlt's scalar moves).
// `SplitsInterior`: the folding passes hand every run of interior columns to the interior pass
// (LanczosFoldingC1 and LanczosFoldingMC), so that the row walk may do that itself.
template <typename S, auto FoldingOne, auto FoldingThree, auto FoldingFour, auto InnerOne,
          auto InnerThree, auto InnerFour, auto Packed, auto ThreeOfFour,
          auto RowCopy = &CopyFloats, bool SplitsInterior = false>
struct LanczosPassSet {
    static constexpr bool FoldingSplitsInterior = SplitsInterior;
    using Sample = S;
    static constexpr auto FoldingC1 = FoldingOne;
    static constexpr auto FoldingC3 = FoldingThree;
    static constexpr auto FoldingC4 = FoldingFour;
    static constexpr auto InnerC1 = InnerOne;
    static constexpr auto InnerC3 = InnerThree;
    static constexpr auto InnerC4 = InnerFour;
    static constexpr auto VerticalPacked = Packed;
    static constexpr auto VerticalAC4 = ThreeOfFour;
    static constexpr auto CopyRow = RowCopy;
};

// Six filtered rows in a ring, holding source rows r - 2 .. r + 3 for r = `last`; it starts with
// rows r0 - 2 .. r0 + 2 and `last` one sample short of r0, and an advance by k rows moves it on
// by min(k, 6) and fills the rows that came in from the bottom up, as CubicRows does.
//
// With border folding (the first Lanczos set) rows are counted from the region's origin and
// every row outside the readable ones (rowsAbove above the origin, counted up to 2, and
// rowsFromOrigin from it) is replaced by the nearest readable row: the top or bottom row of the
// source. Whether a row lies outside follows its index, wherever the first destination row
// falls. A row already held in the ring (a replacement, or the bottom row repeated) is copied
// from its buffer rather than filtered again. The one-row-advance flag tells that the rows advance
// by at most one at a time; the walk does not rely on it, so that a longer advance still gets
// its own rows. The horizontal pass folds columns the same way (the margin and limit of the
// record).
//
// Without folding (the second set) rows and columns are read as the tables name them, and every
// column goes through the interior pass.
template <class Passes, bool MultiChannel, bool Folding>
void LanczosRows(const ResizeKernelArgs& args)
{
    using Sample = typename Passes::Sample;
    if (args.dstWidth < 1 || args.dstHeight < 1)
        return;

    const int64_t step = args.srcStep;
    const auto* rowWeights = static_cast<const float*>(args.rowWeights);
    const auto* columnWeights = static_cast<const float*>(args.colWeights);
    const int32_t channels = MultiChannel ? args.channelCount : 1;
    const bool packed = !MultiChannel || args.pixelStride == args.channelCount;
    const int32_t rowFloats = args.dstWidth * (MultiChannel ? (channels == 4 ? 4 : 3) : 1);

    // The interior columns, found once for every row: where they form one run, each row goes
    // through the folding pass only for the columns before and after it.
    const int32_t pixelStep = !MultiChannel ? 1 : (channels == 4 ? 4 : args.pixelStride);
    const int32_t valuesPerColumn = !MultiChannel ? 1 : (channels == 4 ? 4 : 3);
    LanczosInteriorRun interior{0, 0, false};
    if constexpr (Folding && Passes::FoldingSplitsInterior)
        interior = FindLanczosInteriorRun(args.colOffsets, args.dstWidth, pixelStep,
                                          {LanczosMargin(args.colsLeft), args.colsFromOrigin});
    const auto fold = [&](const Sample* row, int32_t from, int32_t count, float* out) {
        const int32_t* index = args.colOffsets + from;
        const float* weights = columnWeights + 6 * int64_t(from);
        float* at = out + int64_t(valuesPerColumn) * from;
        if constexpr (Folding) {
            if (!MultiChannel)
                Passes::FoldingC1(row, index, weights, at, count, args.colsLeft,
                                  args.colsFromOrigin);
            else if (channels == 4)
                Passes::FoldingC4(row, index, weights, at, count, args.colsLeft,
                                  args.colsFromOrigin);
            else
                Passes::FoldingC3(row, index, weights, at, count, args.colsLeft,
                                  args.colsFromOrigin, args.pixelStride);
        }
    };
    const auto inner = [&](const Sample* row, int32_t from, int32_t count, float* out) {
        const int32_t* index = args.colOffsets + from;
        const float* weights = columnWeights + 6 * int64_t(from);
        float* at = out + int64_t(valuesPerColumn) * from;
        if (!MultiChannel)
            Passes::InnerC1(row, index, weights, at, count);
        else if (channels == 4)
            Passes::InnerC4(row, index, weights, at, count);
        else
            Passes::InnerC3(row, index, weights, at, count, args.pixelStride);
    };

    const auto filter = [&](int64_t offset, float* out) {
        const Sample* row = SourceRow<Sample>(args, offset);
        const int32_t w = args.dstWidth;
        const int32_t* index = args.colOffsets;
        if constexpr (Folding) {
            if (interior.single) {
                if (interior.begin > 0)
                    fold(row, 0, interior.begin, out);
                inner(row, interior.begin, interior.end - interior.begin, out);
                if (interior.end < w)
                    fold(row, interior.end, w - interior.end, out);
            } else {
                fold(row, 0, w, out);
            }
        } else {
            if (!MultiChannel)
                Passes::InnerC1(row, index, columnWeights, out, w);
            else if (channels == 4)
                Passes::InnerC4(row, index, columnWeights, out, w);
            else
                Passes::InnerC3(row, index, columnWeights, out, w, args.pixelStride);
        }
    };

    // Rows as indices from the region's origin; the readable ones, for folding.
    const auto indexOf = [step](int64_t offset) { return step == 0 ? 0 : offset / step; };
    const int64_t top = Folding ? -int64_t(std::clamp(args.rowsAbove, 0, 2)) : INT64_MIN / 4;
    const int64_t bottom = Folding ? int64_t(std::max(args.rowsFromOrigin, 1)) - 1 : INT64_MAX / 4;

    float* ring[6];
    int64_t held[6]; // the source row each buffer holds, or kNone
    constexpr int64_t kNone = INT64_MIN;
    for (int k = 0; k < 6; ++k) {
        ring[k] = static_cast<float*>(args.rowBuffers[k]);
        held[k] = kNone;
    }
    // Buffer `slot` receives row r + m (r at row index rIndex), or its replacement.
    const auto fill = [&](int slot, int64_t r, int64_t rIndex, int64_t m) {
        const int64_t row = std::clamp(rIndex + m, top, bottom);
        held[slot] = kNone;
        for (int k = 0; k < 6; ++k) {
            if (held[k] == row) {
                (void)Passes::CopyRow(ring[k], ring[slot], rowFloats);
                held[slot] = row;
                return;
            }
        }
        filter(r + (row - rIndex) * step, ring[slot]);
        held[slot] = row;
    };

    const int64_t r0 = args.rowOffsets[0];
    const int64_t r0Index = indexOf(r0);
    // The region's rows first, then the rows above: replacements come from rows below.
    for (const int64_t m : {0, 1, 2, -1, -2})
        fill(int(m + 3), r0, r0Index, m);
    int64_t last = r0 + (step < 0 ? 1 : -1);

    for (int32_t y = 0; y < args.dstHeight; ++y) {
        const int64_t r = args.rowOffsets[y];
        if (const int64_t advance = RowsAdvanced(r, last, step); advance > 0) {
            const int incoming = int(std::min<int64_t>(advance, 6));
            RotateRing(ring, incoming);
            RotateRing(held, incoming);
            for (int k = 0; k < incoming; ++k)
                held[5 - k] = kNone;
            const int64_t rIndex = indexOf(r);
            for (int k = 0; k < incoming; ++k)
                fill(5 - k, r, rIndex, 3 - k);
            last = r;
        }
        const float* const rows[6] = {ring[0], ring[1], ring[2], ring[3], ring[4], ring[5]};
        Sample* to = DestinationRow<Sample>(args, y);
        const float* weights = rowWeights + 6 * int64_t(y);
        if (packed)
            Passes::VerticalPacked(to, args.dstWidth * channels, weights, rows);
        else
            Passes::VerticalAC4(to, args.dstWidth, weights, rows);
    }
}

} // namespace imaging
