// The nearest and linear row kernels of the vector set (table slots 0-19), as instantiations of
// the row walks over each type's passes. The 8-bit nearest kernels are vector code of their own
// (ResizeNearestSse2.cpp).
#include "ResizeKernels.h"
#include "ResizeLinearArithmetic.h"
#include "ResizePasses.h"
#include "ResizeRowDrivers.h"

namespace imaging {
namespace {

using LinearPasses8u =
    LinearPassSet<LinearArithmetic8u, LinearHorz8u_C1Sse2, LinearHorz8u_C3Sse2,
                  LinearHorz8u_C4Sse2, LinearVert8uSse2, LinearVert8u_AC4Sse2>;
using LinearPasses16u = LinearPassSet<LinearArithmetic16u, LinearHorz16u_C1, LinearHorz16u_C3,
                                      LinearHorz16u_C4, LinearVert16u, LinearVert16u_AC4>;
using LinearPasses16s = LinearPassSet<LinearArithmetic16s, LinearHorz16s_C1, LinearHorz16s_C3,
                                      LinearHorz16s_C4, LinearVert16s, LinearVert16s_AC4>;
using LinearPasses32f = LinearPassSet<LinearArithmetic32f, LinearHorz32f_C1, LinearHorz32f_C3,
                                      LinearHorz32f_C4, LinearVert32f, LinearVert32f_AC4>;

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

} // namespace imaging
