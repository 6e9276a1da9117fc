// ResizeKernelTable: the 96 slots in their fixed layout. Slots whose kernels are not built yet
// (the plain set, 48-95) hold a trap: running one is a programming error that must not pass as a
// resize that wrote nothing, so it names the slot on the standard error stream and aborts.
#include "ResizeKernels.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace imaging {
namespace {

template <int Slot>
[[noreturn]] void KernelNotBuilt(const ResizeKernelArgs&)
{
    std::fprintf(stderr, "imaging: resize kernel slot %d is not built\n", Slot);
    std::fflush(stderr);
    std::abort();
}

template <size_t... Slots>
constexpr std::array<ResizeKernel, kResizeKernelSlots> AllTraps(std::index_sequence<Slots...>)
{
    return {KernelNotBuilt<int(Slots)>...};
}

constexpr std::array<ResizeKernel, kResizeKernelSlots> BuildTable()
{
    auto table = AllTraps(std::make_index_sequence<kResizeKernelSlots>());
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
        table[size_t(kSlotNearestC3 + i)] = nearest[i];
    for (int i = 0; i < 8; ++i)
        table[size_t(kSlotLinearMC + i)] = linear[i];
    for (int i = 0; i < 6; ++i)
        table[size_t(kSlotCubicMC + i)] = cubic[i];
    for (int i = 0; i < 8; ++i)
        table[size_t(kSlotTaps4MC + i)] = taps4[i];
    for (int i = 0; i < 6; ++i)
        table[size_t(kSlotLanczosMC + i)] = lanczos[i];
    for (int i = 0; i < 8; ++i)
        table[size_t(kSlotLanczosInnerMC + i)] = lanczosInner[i];
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
    ResizeKernelTable[size_t(slot)](args);
    return StatusOk;
}

} // namespace imaging
