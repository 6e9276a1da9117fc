// The row kernels of the vector set (table slots 0-47), as instantiations of the row walks over
// each type's passes. The 8-bit nearest kernels are vector code of their own
// (ResizeNearestSse2.cpp).
#include "ResizeKernels.h"
#include "ResizeLinearArithmetic.h"
#include "ResizePasses.h"
#include "ResizeRowDrivers.h"

namespace imaging {
namespace {

using LinearPasses8u =
    LinearPassSet<LinearArithmetic8u, LinearHorz8u_C1, LinearHorz8u_C3,
                  LinearHorz8u_C4, LinearVert8u, LinearVert8u_AC4>;
using LinearPasses16u = LinearPassSet<LinearArithmetic16u, LinearHorz16u_C1, LinearHorz16u_C3,
                                      LinearHorz16u_C4, LinearVert16u, LinearVert16u_AC4>;
using LinearPasses16s = LinearPassSet<LinearArithmetic16s, LinearHorz16s_C1, LinearHorz16s_C3,
                                      LinearHorz16s_C4, LinearVert16s, LinearVert16s_AC4>;
using LinearPasses32f = LinearPassSet<LinearArithmetic32f, LinearHorz32f_C1, LinearHorz32f_C3,
                                      LinearHorz32f_C4, LinearVert32f, LinearVert32f_AC4>;

using CubicPasses8u = CubicPassSet<uint8_t, CubicHorz8u_C1, CubicHorz8u_C3,
                                   CubicHorz8u_C4, CubicVert8u, CubicVert8u_AC4, 1>;
using CubicPasses16u = CubicPassSet<uint16_t, CubicHorz16u_C1, CubicHorz16u_C3, CubicHorz16u_C4,
                                    CubicVert16u, CubicVert16u_AC4, 1>;
using CubicPasses32f = CubicPassSet<float, CubicHorz32f_C1, CubicHorz32f_C3, CubicHorz32f_C4,
                                    CubicVert32f, CubicVert32f_AC4, 1>;

using Taps4Passes8u = CubicPassSet<uint8_t, Taps4Horz8u_C1, Taps4Horz8u_C3,
                                   Taps4Horz8u_C4, Taps4Vert8u, Taps4Vert8u_AC4, 4>;
using Taps4Passes16u = CubicPassSet<uint16_t, Taps4Horz16u_C1, Taps4Horz16u_C3, Taps4Horz16u_C4,
                                    Taps4Vert16u, Taps4Vert16u_AC4, 4>;
using Taps4Passes32f = CubicPassSet<float, Taps4Horz32f_C1, Taps4Horz32f_C3, Taps4Horz32f_C4,
                                    Taps4Vert32f, Taps4Vert32f_AC4, 4>;
using Taps4Passes16s = CubicPassSet<int16_t, Taps4Horz16s_C1, Taps4Horz16s_C3, Taps4Horz16s_C4,
                                    Taps4Vert16s, Taps4Vert16s_AC4, 4>;

using LanczosPasses8u =
    LanczosPassSet<uint8_t, LanczosHorz8u_C1, LanczosHorz8u_C3, LanczosHorz8u_C4,
                   LanczosHorzInner8u_C1, LanczosHorzInner8u_C3, LanczosHorzInner8u_C4,
                   LanczosVert8u, LanczosVert8u_AC4, &CopyFloats, true>;
using LanczosPasses16u =
    LanczosPassSet<uint16_t, LanczosHorz16u_C1, LanczosHorz16u_C3, LanczosHorz16u_C4,
                   LanczosHorzInner16u_C1, LanczosHorzInner16u_C3, LanczosHorzInner16u_C4,
                   LanczosVert16u, LanczosVert16u_AC4, &CopyFloats, true>;
using LanczosPasses32f =
    LanczosPassSet<float, LanczosHorz32f_C1, LanczosHorz32f_C3, LanczosHorz32f_C4,
                   LanczosHorzInner32f_C1, LanczosHorzInner32f_C3, LanczosHorzInner32f_C4,
                   LanczosVert32f, LanczosVert32f_AC4, &CopyFloats, true>;
// Signed 16-bit samples have no folding passes: the kernels with border handling do not take them.
using LanczosPasses16s =
    LanczosPassSet<int16_t, nullptr, nullptr, nullptr, LanczosHorzInner16s_C1,
                   LanczosHorzInner16s_C3, LanczosHorzInner16s_C4, LanczosVert16s,
                   LanczosVert16s_AC4>;

} // namespace

void ResizeNearestRows16u_C1(const ResizeKernelArgs& args)
{
    NearestRows<uint16_t, 1>(args);
}

void ResizeNearestRows16u_C3(const ResizeKernelArgs& args)
{
    NearestRows<uint16_t, 3>(args);
}

void ResizeNearestRows16u_C4(const ResizeKernelArgs& args)
{
    NearestRows<uint16_t, 4>(args);
}

void ResizeNearestRows32f_C1(const ResizeKernelArgs& args)
{
    NearestRows<uint32_t, 1>(args);
}

void ResizeNearestRows32f_C3(const ResizeKernelArgs& args)
{
    NearestRows<uint32_t, 3>(args);
}

void ResizeNearestRows32f_C4(const ResizeKernelArgs& args)
{
    NearestRows<uint32_t, 4>(args);
}

void ResizeLinearRows8u_C1(const ResizeKernelArgs& args)
{
    LinearRows<LinearPasses8u, false>(args);
}

void ResizeLinearRows8u_MC(const ResizeKernelArgs& args)
{
    LinearRows<LinearPasses8u, true>(args);
}

void ResizeLinearRows16u_C1(const ResizeKernelArgs& args)
{
    LinearRows<LinearPasses16u, false>(args);
}

void ResizeLinearRows16u_MC(const ResizeKernelArgs& args)
{
    LinearRows<LinearPasses16u, true>(args);
}

void ResizeLinearRows32f_C1(const ResizeKernelArgs& args)
{
    LinearRows<LinearPasses32f, false>(args);
}

void ResizeLinearRows32f_MC(const ResizeKernelArgs& args)
{
    LinearRows<LinearPasses32f, true>(args);
}

void ResizeLinearRows16s_C1(const ResizeKernelArgs& args)
{
    LinearRows<LinearPasses16s, false>(args);
}

void ResizeLinearRows16s_MC(const ResizeKernelArgs& args)
{
    LinearRows<LinearPasses16s, true>(args);
}

void ResizeCubicRows8u_C1(const ResizeKernelArgs& args)
{
    CubicRows<CubicPasses8u, false>(args);
}

void ResizeCubicRows8u_MC(const ResizeKernelArgs& args)
{
    CubicRows<CubicPasses8u, true>(args);
}

void ResizeCubicRows16u_C1(const ResizeKernelArgs& args)
{
    CubicRows<CubicPasses16u, false>(args);
}

void ResizeCubicRows16u_MC(const ResizeKernelArgs& args)
{
    CubicRows<CubicPasses16u, true>(args);
}

void ResizeCubicRows32f_C1(const ResizeKernelArgs& args)
{
    CubicRows<CubicPasses32f, false>(args);
}

void ResizeCubicRows32f_MC(const ResizeKernelArgs& args)
{
    CubicRows<CubicPasses32f, true>(args);
}

void ResizeTaps4Rows8u_C1(const ResizeKernelArgs& args)
{
    CubicRows<Taps4Passes8u, false>(args);
}

void ResizeTaps4Rows8u_MC(const ResizeKernelArgs& args)
{
    CubicRows<Taps4Passes8u, true>(args);
}

void ResizeTaps4Rows16u_C1(const ResizeKernelArgs& args)
{
    CubicRows<Taps4Passes16u, false>(args);
}

void ResizeTaps4Rows16u_MC(const ResizeKernelArgs& args)
{
    CubicRows<Taps4Passes16u, true>(args);
}

void ResizeTaps4Rows32f_C1(const ResizeKernelArgs& args)
{
    CubicRows<Taps4Passes32f, false>(args);
}

void ResizeTaps4Rows32f_MC(const ResizeKernelArgs& args)
{
    CubicRows<Taps4Passes32f, true>(args);
}

void ResizeTaps4Rows16s_C1(const ResizeKernelArgs& args)
{
    CubicRows<Taps4Passes16s, false>(args);
}

void ResizeTaps4Rows16s_MC(const ResizeKernelArgs& args)
{
    CubicRows<Taps4Passes16s, true>(args);
}

void ResizeLanczosRows8u_C1(const ResizeKernelArgs& args)
{
    LanczosRows<LanczosPasses8u, false, true>(args);
}

void ResizeLanczosRows8u_MC(const ResizeKernelArgs& args)
{
    LanczosRows<LanczosPasses8u, true, true>(args);
}

void ResizeLanczosRows16u_C1(const ResizeKernelArgs& args)
{
    LanczosRows<LanczosPasses16u, false, true>(args);
}

void ResizeLanczosRows16u_MC(const ResizeKernelArgs& args)
{
    LanczosRows<LanczosPasses16u, true, true>(args);
}

void ResizeLanczosRows32f_C1(const ResizeKernelArgs& args)
{
    LanczosRows<LanczosPasses32f, false, true>(args);
}

void ResizeLanczosRows32f_MC(const ResizeKernelArgs& args)
{
    LanczosRows<LanczosPasses32f, true, true>(args);
}

void ResizeLanczosInnerRows8u_C1(const ResizeKernelArgs& args)
{
    LanczosRows<LanczosPasses8u, false, false>(args);
}

void ResizeLanczosInnerRows8u_MC(const ResizeKernelArgs& args)
{
    LanczosRows<LanczosPasses8u, true, false>(args);
}

void ResizeLanczosInnerRows16u_C1(const ResizeKernelArgs& args)
{
    LanczosRows<LanczosPasses16u, false, false>(args);
}

void ResizeLanczosInnerRows16u_MC(const ResizeKernelArgs& args)
{
    LanczosRows<LanczosPasses16u, true, false>(args);
}

void ResizeLanczosInnerRows32f_C1(const ResizeKernelArgs& args)
{
    LanczosRows<LanczosPasses32f, false, false>(args);
}

void ResizeLanczosInnerRows32f_MC(const ResizeKernelArgs& args)
{
    LanczosRows<LanczosPasses32f, true, false>(args);
}

void ResizeLanczosInnerRows16s_C1(const ResizeKernelArgs& args)
{
    LanczosRows<LanczosPasses16s, false, false>(args);
}

void ResizeLanczosInnerRows16s_MC(const ResizeKernelArgs& args)
{
    LanczosRows<LanczosPasses16s, true, false>(args);
}

} // namespace imaging
