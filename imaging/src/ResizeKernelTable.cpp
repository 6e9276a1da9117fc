// ResizeKernelTable: the 96 slots in their fixed layout, the vector set in 0-47 and the plain set
// in 48-95, and CallResizeKernel, the checked way to run one slot.
#include "ResizeKernels.h"

#include <cstddef>

namespace imaging {
namespace {

constexpr std::array<ResizeKernel, kResizeKernelSlots> BuildTable()
{
    std::array<ResizeKernel, kResizeKernelSlots> table{};
    const ResizeKernel nearest[12] = {
        ResizeNearestRows8u_C3, ResizeNearestRows16u_C3, ResizeNearestRows32f_C3,
        ResizeNearestRows16u_C3, ResizeNearestRows8u_C1, ResizeNearestRows16u_C1,
        ResizeNearestRows32f_C1, ResizeNearestRows16u_C1, ResizeNearestRows8u_C4,
        ResizeNearestRows16u_C4, ResizeNearestRows32f_C4, ResizeNearestRows16u_C4,
    };
    const ResizeKernel linear[8] = {
        ResizeLinearRows8u_MC, ResizeLinearRows16u_MC, ResizeLinearRows32f_MC,
        ResizeLinearRows16s_MC, ResizeLinearRows8u_C1, ResizeLinearRows16u_C1,
        ResizeLinearRows32f_C1, ResizeLinearRows16s_C1,
    };
    const ResizeKernel cubic[6] = {
        ResizeCubicRows8u_MC, ResizeCubicRows16u_MC, ResizeCubicRows32f_MC,
        ResizeCubicRows8u_C1, ResizeCubicRows16u_C1, ResizeCubicRows32f_C1,
    };
    const ResizeKernel taps4[8] = {
        ResizeTaps4Rows8u_MC, ResizeTaps4Rows16u_MC, ResizeTaps4Rows32f_MC, ResizeTaps4Rows16s_MC,
        ResizeTaps4Rows8u_C1, ResizeTaps4Rows16u_C1, ResizeTaps4Rows32f_C1, ResizeTaps4Rows16s_C1,
    };
    const ResizeKernel lanczos[6] = {
        ResizeLanczosRows8u_MC, ResizeLanczosRows16u_MC, ResizeLanczosRows32f_MC,
        ResizeLanczosRows8u_C1, ResizeLanczosRows16u_C1, ResizeLanczosRows32f_C1,
    };
    const ResizeKernel lanczosInner[8] = {
        ResizeLanczosInnerRows8u_MC,  ResizeLanczosInnerRows16u_MC, ResizeLanczosInnerRows32f_MC,
        ResizeLanczosInnerRows16s_MC, ResizeLanczosInnerRows8u_C1,  ResizeLanczosInnerRows16u_C1,
        ResizeLanczosInnerRows32f_C1, ResizeLanczosInnerRows16s_C1,
    };
    for (int i = 0; i < 12; ++i)
        table[std::size_t(kSlotNearestC3 + i)] = nearest[i];
    for (int i = 0; i < 8; ++i)
        table[std::size_t(kSlotLinearMC + i)] = linear[i];
    for (int i = 0; i < 6; ++i)
        table[std::size_t(kSlotCubicMC + i)] = cubic[i];
    for (int i = 0; i < 8; ++i)
        table[std::size_t(kSlotTaps4MC + i)] = taps4[i];
    for (int i = 0; i < 6; ++i)
        table[std::size_t(kSlotLanczosMC + i)] = lanczos[i];
    for (int i = 0; i < 8; ++i)
        table[std::size_t(kSlotLanczosInnerMC + i)] = lanczosInner[i];

    // The plain set, in the same grouping 48 slots on.
    const ResizeKernel plain[48] = {
        PlainNearestRows8u_C3,          PlainNearestRows16u_C3,         PlainNearestRows32f_C3,
        PlainNearestRows16u_C3,         PlainNearestRows8u_C1,          PlainNearestRows16u_C1,
        PlainNearestRows32f_C1,         PlainNearestRows16u_C1,         PlainNearestRows8u_C4,
        PlainNearestRows16u_C4,         PlainNearestRows32f_C4,         PlainNearestRows16u_C4,
        PlainLinearRows8u_MC,           PlainLinearRows16u_MC,          PlainLinearRows32f_MC,
        PlainLinearRows16s_MC,          PlainLinearRows8u_C1,           PlainLinearRows16u_C1,
        PlainLinearRows32f_C1,          PlainLinearRows16s_C1,          PlainCubicRows8u_MC,
        PlainCubicRows16u_MC,           PlainCubicRows32f_MC,           PlainCubicRows8u_C1,
        PlainCubicRows16u_C1,           PlainCubicRows32f_C1,           PlainFourTapRows8u_MC,
        PlainFourTapRows16u_MC,         PlainFourTapRows32f_MC,         PlainFourTapRows16s_MC,
        PlainFourTapRows8u_C1,          PlainFourTapRows16u_C1,         PlainFourTapRows32f_C1,
        PlainFourTapRows16s_C1,         PlainLanczosRows8u_MC,          PlainLanczosRows16u_MC,
        PlainLanczosRows32f_MC,         PlainLanczosRows8u_C1,          PlainLanczosRows16u_C1,
        PlainLanczosRows32f_C1,         PlainLanczosInteriorRows8u_MC,  PlainLanczosInteriorRows16u_MC,
        PlainLanczosInteriorRows32f_MC, PlainLanczosInteriorRows16s_MC, PlainLanczosInteriorRows8u_C1,
        PlainLanczosInteriorRows16u_C1, PlainLanczosInteriorRows32f_C1, PlainLanczosInteriorRows16s_C1,
    };
    for (int i = 0; i < 48; ++i)
        table[std::size_t(kPlainKernelSet + i)] = plain[i];
    return table;
}

} // namespace

constinit const std::array<ResizeKernel, kResizeKernelSlots> ResizeKernelTable = BuildTable();

ImagingStatus CallResizeKernel(int32_t slot, const ResizeKernelArgs& args)
{
    if (slot < 0 || slot >= kResizeKernelSlots)
        return StatusInterpolationError;
    if (!args.src || !args.dst)
        return StatusNullPointer;
    ResizeKernelTable[std::size_t(slot)](args);
    return StatusOk;
}

} // namespace imaging
