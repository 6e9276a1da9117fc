// The scalar equivalents of the 8-bit Lanczos vector passes and kernels: the same arguments and
// the same bytes in scalar code, for the tests and the benchmark to hold the vector code against.
// The instruction audit keeps this object to scalar instructions.
#include "ResizeKernels.h"
#include "ResizeLanczosArithmetic.h"
#include "ResizePasses.h"
#include "ResizeRowDrivers.h"

namespace imaging {
namespace {

using LanczosPasses8uScalarEquivalent =
    LanczosPassSet<uint8_t, LanczosHorz8u_C1ScalarEquivalent, LanczosHorz8u_C3ScalarEquivalent,
                   LanczosHorz8u_C4ScalarEquivalent, LanczosHorzInner8u_C1ScalarEquivalent,
                   LanczosHorzInner8u_C3ScalarEquivalent, LanczosHorzInner8u_C4ScalarEquivalent,
                   LanczosVert8uScalarEquivalent, LanczosVert8u_AC4ScalarEquivalent, &CopyFloats, true>;

} // namespace

void LanczosHorzInner8u_C1ScalarEquivalent(const uint8_t* src, const int32_t* index, const float* weights,
                                           float* out, int32_t count)
{
    LanczosInnerC1<uint8_t>(src, index, weights, out, count);
}

void LanczosHorzInner8u_C3ScalarEquivalent(const uint8_t* src, const int32_t* index, const float* weights,
                                           float* out, int32_t count, int32_t pixelStride)
{
    LanczosInnerMC<uint8_t, 3>(src, index, weights, out, count, pixelStride);
}

void LanczosHorzInner8u_C4ScalarEquivalent(const uint8_t* src, const int32_t* index, const float* weights,
                                           float* out, int32_t count)
{
    LanczosInnerMC<uint8_t, 4>(src, index, weights, out, count, 4);
}

void LanczosHorz8u_C1ScalarEquivalent(const uint8_t* src, const int32_t* index, const float* weights,
                                      float* out, int32_t width, int32_t leftMargin, int32_t limit)
{
    LanczosFoldingC1<uint8_t, LanczosHorzInner8u_C1ScalarEquivalent>(src, index, weights, out, width,
                                                                     leftMargin, limit);
}

void LanczosHorz8u_C3ScalarEquivalent(const uint8_t* src, const int32_t* index, const float* weights,
                                      float* out, int32_t width, int32_t leftMargin, int32_t limit,
                                      int32_t pixelStride)
{
    LanczosFoldingMC<uint8_t, 3, LanczosHorzInner8u_C3ScalarEquivalent>(src, index, weights, out, width,
                                                                        leftMargin, limit, pixelStride);
}

void LanczosHorz8u_C4ScalarEquivalent(const uint8_t* src, const int32_t* index, const float* weights,
                                      float* out, int32_t width, int32_t leftMargin, int32_t limit)
{
    LanczosFoldingMC<uint8_t, 4, LanczosHorzInner8u_C4ScalarEquivalent>(src, index, weights, out, width,
                                                                        leftMargin, limit, 4);
}

void LanczosVert8uScalarEquivalent(uint8_t* dst, int32_t count, const float* weights,
                                   const float* const rows[6])
{
    LanczosVerticalPacked<uint8_t>(dst, count, weights, rows);
}

void LanczosVert8u_AC4ScalarEquivalent(uint8_t* dst, int32_t pixels, const float* weights,
                                       const float* const rows[6])
{
    LanczosVerticalAC4<uint8_t>(dst, pixels, weights, rows);
}

void ResizeLanczosRows8u_C1ScalarEquivalent(const ResizeKernelArgs& args)
{
    LanczosRows<LanczosPasses8uScalarEquivalent, false, true>(args);
}

void ResizeLanczosRows8u_MCScalarEquivalent(const ResizeKernelArgs& args)
{
    LanczosRows<LanczosPasses8uScalarEquivalent, true, true>(args);
}

void ResizeLanczosInnerRows8u_C1ScalarEquivalent(const ResizeKernelArgs& args)
{
    LanczosRows<LanczosPasses8uScalarEquivalent, false, false>(args);
}

void ResizeLanczosInnerRows8u_MCScalarEquivalent(const ResizeKernelArgs& args)
{
    LanczosRows<LanczosPasses8uScalarEquivalent, true, false>(args);
}

} // namespace imaging
