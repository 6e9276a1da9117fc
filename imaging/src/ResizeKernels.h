// The resize kernel table: 96 row kernels behind ResizeGeneral, one argument record for all of
// them, and the kernels of the vector set (nearest, linear, cubic, four-tap and Lanczos-3, every
// sample type and layout).
//
// Slots 0-47 hold the vector set, 48-95 the plain set in the same grouping (slot n + 48 has the
// role of slot n):
//   0-3 nearest C3, 4-7 nearest C1, 8-11 nearest C4 (the 16u kernel also serves 16s at 3, 7, 11)
//   12-15 linear C3/C4, 16-19 linear C1
//   20-22 cubic C3/C4, 23-25 cubic C1 (fractions); 26-29 and 30-33 the same with four weights
//   34-36 Lanczos-3 C3/C4, 37-39 Lanczos-3 C1 (border folding); 40-43, 44-47 without folding
// Within a group the sample type adds 0 (8u), 1 (16u), 2 (32f) or 3 (16s); the cubic and folding
// Lanczos groups have no 16s member. No engine selects the plain set: only the internal entries
// (a kernel set of 48) and CallResizeKernel reach it.
#pragma once

#include "imaging/imaging.h"

#include <array>
#include <cstdint>

namespace imaging {

// Everything a row kernel reads. Counts, steps and offsets are in samples of the kernel's type;
// src points at the first sample of the source region. Each kernel reads the fields of its group
// and ignores the rest.
struct ResizeKernelArgs {
    const void* src = nullptr;
    void* dst = nullptr;
    int32_t srcStep = 0;
    int32_t dstStep = 0;
    int32_t dstWidth = 0;
    int32_t dstHeight = 0;
    // One entry per destination row: the offset of the source row the row is taken from (nearest)
    // or of the upper of its two rows (linear), the second of four (cubic), the third of six
    // (Lanczos). Entries never move against the direction of srcStep.
    const int32_t* rowOffsets = nullptr;
    // One entry per destination column: the offset of the column's (base) pixel within a source
    // row, already multiplied by the pixel stride for multi-channel layouts.
    const int32_t* colOffsets = nullptr;
    // Linear: integer types one uint16_t Q14 weight per row (the lower row's share) and an int16_t
    // pair per column; float one fraction per row and per column. Cubic: one float fraction each
    // (first set) or four floats each (second set). Lanczos: six floats each.
    const void* rowWeights = nullptr;
    const void* colWeights = nullptr;
    // Filtered rows: 2 (linear), 4 (cubic) or 6 (Lanczos), each of at least dstWidth x channels
    // elements; int16_t for integer linear kernels, float otherwise.
    void* rowBuffers[6] = {};
    // Lanczos with border folding: source columns left of the region, rows above it, columns and
    // rows from the region's origin to the source's end, and whether destination rows advance by
    // at most one source row.
    int32_t colsLeft = 0;
    int32_t rowsAbove = 0;
    int32_t colsFromOrigin = 0;
    int32_t rowsFromOrigin = 0;
    int32_t oneRowAdvance = 0;
    // Multi-channel kernels: samples from one pixel to the next, and channels (3 or 4). With three
    // channels the destination pixels are pixelStride samples apart and a fourth sample is kept.
    int32_t pixelStride = 0;
    int32_t channelCount = 0;
};

using ResizeKernel = void (*)(const ResizeKernelArgs&);

inline constexpr int kResizeKernelSlots = 96;
inline constexpr int kPlainKernelSet = 48;

// Group bases within one kernel set.
inline constexpr int kSlotNearestC3 = 0;
inline constexpr int kSlotNearestC1 = 4;
inline constexpr int kSlotNearestC4 = 8;
inline constexpr int kSlotLinearMC = 12;
inline constexpr int kSlotLinearC1 = 16;
inline constexpr int kSlotCubicMC = 20;
inline constexpr int kSlotCubicC1 = 23;
inline constexpr int kSlotTaps4MC = 26;
inline constexpr int kSlotTaps4C1 = 30;
inline constexpr int kSlotLanczosMC = 34;
inline constexpr int kSlotLanczosC1 = 37;
inline constexpr int kSlotLanczosInnerMC = 40;
inline constexpr int kSlotLanczosInnerC1 = 44;

extern const std::array<ResizeKernel, kResizeKernelSlots> ResizeKernelTable;

// Runs one slot with a caller-built record, for the slots no engine selects (the signed 16-bit
// cubic and Lanczos members, the second sets, the plain set). A slot outside 0-95 fails with -22,
// a null source or destination with -8; the kernel itself trusts the record.
ImagingStatus CallResizeKernel(int32_t slot, const ResizeKernelArgs& args);

// Nearest: dst[y][x] = src[rowOffsets[y] + colOffsets[x]], per channel. Floats are copied as
// 32-bit words, so every bit pattern passes unchanged; the 16u kernels serve 16s as well.
void ResizeNearestRows8u_C1(const ResizeKernelArgs& args);
void ResizeNearestRows8u_C3(const ResizeKernelArgs& args);
void ResizeNearestRows8u_C4(const ResizeKernelArgs& args);
void ResizeNearestRows16u_C1(const ResizeKernelArgs& args);
void ResizeNearestRows16u_C3(const ResizeKernelArgs& args);
void ResizeNearestRows16u_C4(const ResizeKernelArgs& args);
void ResizeNearestRows32f_C1(const ResizeKernelArgs& args);
void ResizeNearestRows32f_C3(const ResizeKernelArgs& args);
void ResizeNearestRows32f_C4(const ResizeKernelArgs& args);

// Linear: the two-row cache over the linear passes of each type; MC kernels take three or four
// channels (channelCount) at pixelStride.
void ResizeLinearRows8u_C1(const ResizeKernelArgs& args);
void ResizeLinearRows8u_MC(const ResizeKernelArgs& args);
void ResizeLinearRows16u_C1(const ResizeKernelArgs& args);
void ResizeLinearRows16u_MC(const ResizeKernelArgs& args);
void ResizeLinearRows32f_C1(const ResizeKernelArgs& args);
void ResizeLinearRows32f_MC(const ResizeKernelArgs& args);
void ResizeLinearRows16s_C1(const ResizeKernelArgs& args);
void ResizeLinearRows16s_MC(const ResizeKernelArgs& args);

// Cubic (first set): the four-row ring over the cubic passes of each type, one fraction t per
// row and column; MC kernels take three or four channels (channelCount) at pixelStride.
void ResizeCubicRows8u_C1(const ResizeKernelArgs& args);
void ResizeCubicRows8u_MC(const ResizeKernelArgs& args);
void ResizeCubicRows16u_C1(const ResizeKernelArgs& args);
void ResizeCubicRows16u_MC(const ResizeKernelArgs& args);
void ResizeCubicRows32f_C1(const ResizeKernelArgs& args);
void ResizeCubicRows32f_MC(const ResizeKernelArgs& args);

// Four-tap (second cubic set): the same ring, four weights per row and column.
void ResizeTaps4Rows8u_C1(const ResizeKernelArgs& args);
void ResizeTaps4Rows8u_MC(const ResizeKernelArgs& args);
void ResizeTaps4Rows16u_C1(const ResizeKernelArgs& args);
void ResizeTaps4Rows16u_MC(const ResizeKernelArgs& args);
void ResizeTaps4Rows32f_C1(const ResizeKernelArgs& args);
void ResizeTaps4Rows32f_MC(const ResizeKernelArgs& args);
void ResizeTaps4Rows16s_C1(const ResizeKernelArgs& args);
void ResizeTaps4Rows16s_MC(const ResizeKernelArgs& args);

// Lanczos-3 with border folding (first set): the six-row ring, six weights per row and column,
// rows and columns outside the source replaced by its edge (colsLeft, rowsAbove, colsFromOrigin,
// rowsFromOrigin).
void ResizeLanczosRows8u_C1(const ResizeKernelArgs& args);
void ResizeLanczosRows8u_MC(const ResizeKernelArgs& args);
void ResizeLanczosRows16u_C1(const ResizeKernelArgs& args);
void ResizeLanczosRows16u_MC(const ResizeKernelArgs& args);
void ResizeLanczosRows32f_C1(const ResizeKernelArgs& args);
void ResizeLanczosRows32f_MC(const ResizeKernelArgs& args);

// Lanczos-3 without folding (second set): every row and column the tables name is read as it is.
void ResizeLanczosInnerRows8u_C1(const ResizeKernelArgs& args);
void ResizeLanczosInnerRows8u_MC(const ResizeKernelArgs& args);
void ResizeLanczosInnerRows16u_C1(const ResizeKernelArgs& args);
void ResizeLanczosInnerRows16u_MC(const ResizeKernelArgs& args);
void ResizeLanczosInnerRows32f_C1(const ResizeKernelArgs& args);
void ResizeLanczosInnerRows32f_MC(const ResizeKernelArgs& args);
void ResizeLanczosInnerRows16s_C1(const ResizeKernelArgs& args);
void ResizeLanczosInnerRows16s_MC(const ResizeKernelArgs& args);

// The scalar equivalents of the 8-bit vector kernels: the same arguments and the same bytes.
void ResizeNearestRows8u_C1ScalarEquivalent(const ResizeKernelArgs& args);
void ResizeNearestRows8u_C3ScalarEquivalent(const ResizeKernelArgs& args);
void ResizeNearestRows8u_C4ScalarEquivalent(const ResizeKernelArgs& args);
void ResizeLinearRows8u_C1ScalarEquivalent(const ResizeKernelArgs& args);
void ResizeLinearRows8u_MCScalarEquivalent(const ResizeKernelArgs& args);
void ResizeCubicRows8u_C1ScalarEquivalent(const ResizeKernelArgs& args);
void ResizeCubicRows8u_MCScalarEquivalent(const ResizeKernelArgs& args);
void ResizeTaps4Rows8u_C1ScalarEquivalent(const ResizeKernelArgs& args);
void ResizeTaps4Rows8u_MCScalarEquivalent(const ResizeKernelArgs& args);
void ResizeLanczosRows8u_C1ScalarEquivalent(const ResizeKernelArgs& args);
void ResizeLanczosRows8u_MCScalarEquivalent(const ResizeKernelArgs& args);
void ResizeLanczosInnerRows8u_C1ScalarEquivalent(const ResizeKernelArgs& args);
void ResizeLanczosInnerRows8u_MCScalarEquivalent(const ResizeKernelArgs& args);

// The plain set (slots 48-95): scalar code only, built without auto-vectorisation. Integer linear
// kernels work in Q14 fixed point and saturate; the cubic, four-tap and Lanczos kernels and the
// float linear ones compute in double precision in fixed orders of summation, and integer results
// are the sum plus 0.5000001, truncated toward zero and saturated to the type's range. Every
// kernel returns before reading a table when the destination has no rows or no columns.
void PlainNearestRows8u_C3(const ResizeKernelArgs& args);
void PlainNearestRows16u_C3(const ResizeKernelArgs& args);
void PlainNearestRows32f_C3(const ResizeKernelArgs& args);
void PlainNearestRows8u_C1(const ResizeKernelArgs& args);
void PlainNearestRows16u_C1(const ResizeKernelArgs& args);
void PlainNearestRows32f_C1(const ResizeKernelArgs& args);
void PlainNearestRows8u_C4(const ResizeKernelArgs& args);
void PlainNearestRows16u_C4(const ResizeKernelArgs& args);
void PlainNearestRows32f_C4(const ResizeKernelArgs& args);

void PlainLinearRows8u_MC(const ResizeKernelArgs& args);
void PlainLinearRows16u_MC(const ResizeKernelArgs& args);
void PlainLinearRows32f_MC(const ResizeKernelArgs& args);
void PlainLinearRows16s_MC(const ResizeKernelArgs& args);
void PlainLinearRows8u_C1(const ResizeKernelArgs& args);
void PlainLinearRows16u_C1(const ResizeKernelArgs& args);
void PlainLinearRows32f_C1(const ResizeKernelArgs& args);
void PlainLinearRows16s_C1(const ResizeKernelArgs& args);

void PlainCubicRows8u_MC(const ResizeKernelArgs& args);
void PlainCubicRows16u_MC(const ResizeKernelArgs& args);
void PlainCubicRows32f_MC(const ResizeKernelArgs& args);
void PlainCubicRows8u_C1(const ResizeKernelArgs& args);
void PlainCubicRows16u_C1(const ResizeKernelArgs& args);
void PlainCubicRows32f_C1(const ResizeKernelArgs& args);

void PlainFourTapRows8u_MC(const ResizeKernelArgs& args);
void PlainFourTapRows16u_MC(const ResizeKernelArgs& args);
void PlainFourTapRows32f_MC(const ResizeKernelArgs& args);
void PlainFourTapRows16s_MC(const ResizeKernelArgs& args);
void PlainFourTapRows8u_C1(const ResizeKernelArgs& args);
void PlainFourTapRows16u_C1(const ResizeKernelArgs& args);
void PlainFourTapRows32f_C1(const ResizeKernelArgs& args);
void PlainFourTapRows16s_C1(const ResizeKernelArgs& args);

// Lanczos-3 with border handling: taps outside the source repeat its edge pixel or row.
void PlainLanczosRows8u_MC(const ResizeKernelArgs& args);
void PlainLanczosRows16u_MC(const ResizeKernelArgs& args);
void PlainLanczosRows32f_MC(const ResizeKernelArgs& args);
void PlainLanczosRows8u_C1(const ResizeKernelArgs& args);
void PlainLanczosRows16u_C1(const ResizeKernelArgs& args);
void PlainLanczosRows32f_C1(const ResizeKernelArgs& args);

// Lanczos-3 without border handling: every tap is read from the source.
void PlainLanczosInteriorRows8u_MC(const ResizeKernelArgs& args);
void PlainLanczosInteriorRows16u_MC(const ResizeKernelArgs& args);
void PlainLanczosInteriorRows32f_MC(const ResizeKernelArgs& args);
void PlainLanczosInteriorRows16s_MC(const ResizeKernelArgs& args);
void PlainLanczosInteriorRows8u_C1(const ResizeKernelArgs& args);
void PlainLanczosInteriorRows16u_C1(const ResizeKernelArgs& args);
void PlainLanczosInteriorRows32f_C1(const ResizeKernelArgs& args);
void PlainLanczosInteriorRows16s_C1(const ResizeKernelArgs& args);

} // namespace imaging
