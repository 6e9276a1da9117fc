// The scalar equivalents of the 8-bit vector resize kernels and passes: the same arguments and the
// same bytes in scalar code, for the tests and the benchmark to hold the vector code against. The
// instruction audit keeps this object to scalar instructions.
#include "ResizeKernels.h"
#include "ResizeLinearArithmetic.h"
#include "ResizePasses.h"
#include "ResizeRowDrivers.h"

namespace imaging {
namespace {

using LinearPasses8uScalarEquivalent =
    LinearPassSet<LinearArithmetic8u, LinearHorz8u_C1ScalarEquivalent, LinearHorz8u_C3ScalarEquivalent,
                  LinearHorz8u_C4ScalarEquivalent, LinearVert8uScalarEquivalent,
                  LinearVert8u_AC4ScalarEquivalent>;

} // namespace

void LinearHorz8u_C1ScalarEquivalent(const uint8_t* src, int32_t width, const int32_t* index,
                                     const int16_t* weights, int16_t* out)
{
    LinearHorizontalC1<LinearArithmetic8u>(src, width, index, weights, out);
}

void LinearHorz8u_C3ScalarEquivalent(const uint8_t* src, int32_t width, const int32_t* index,
                                     const int16_t* weights, int16_t* out, int32_t pixelStride)
{
    LinearHorizontalC3<LinearArithmetic8u>(src, width, index, weights, out, pixelStride);
}

void LinearHorz8u_C4ScalarEquivalent(const uint8_t* src, int32_t width, const int32_t* index,
                                     const int16_t* weights, int16_t* out)
{
    LinearHorizontalC4<LinearArithmetic8u>(src, width, index, weights, out);
}

void LinearVert8uScalarEquivalent(uint8_t* dst, int32_t count, uint16_t weight, const int16_t* upper,
                                  const int16_t* lower)
{
    LinearVerticalPacked<LinearArithmetic8u>(dst, count, weight, upper, lower);
}

void LinearVert8u_AC4ScalarEquivalent(uint8_t* dst, int32_t pixels, uint16_t weight, const int16_t* upper,
                                      const int16_t* lower)
{
    LinearVerticalAC4<LinearArithmetic8u>(dst, pixels, weight, upper, lower);
}

void ResizeNearestRows8u_C1ScalarEquivalent(const ResizeKernelArgs& args)
{
    NearestRows<uint8_t, 1>(args);
}

void ResizeNearestRows8u_C3ScalarEquivalent(const ResizeKernelArgs& args)
{
    NearestRows<uint8_t, 3>(args);
}

void ResizeNearestRows8u_C4ScalarEquivalent(const ResizeKernelArgs& args)
{
    NearestRows<uint8_t, 4>(args);
}

void ResizeLinearRows8u_C1ScalarEquivalent(const ResizeKernelArgs& args)
{
    LinearRows<LinearPasses8uScalarEquivalent, false>(args);
}

void ResizeLinearRows8u_MCScalarEquivalent(const ResizeKernelArgs& args)
{
    LinearRows<LinearPasses8uScalarEquivalent, true>(args);
}

} // namespace imaging
