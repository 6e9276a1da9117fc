// The walks over destination rows that the resize kernels share: the nearest copy and the linear
// two-row cache, each a template over the sample type or the set of passes, so that a vector
// kernel and its plain equivalent differ only in the passes they are given.
#pragma once

#include "ResizeKernels.h"

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
// 32-bit words).
template <typename Element, int Channels>
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

template <typename Element, int Channels>
void NearestRows(const ResizeKernelArgs& args)
{
    for (int32_t y = 0; y < args.dstHeight; ++y)
        NearestRow<Element, Channels>(args, y, 0);
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

} // namespace imaging
