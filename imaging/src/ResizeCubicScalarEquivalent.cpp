// The scalar equivalents of the 8-bit cubic and four-tap vector passes and kernels: the same
// arguments and the same bytes in scalar code, for the tests and the benchmark to hold the vector
// code against. The instruction audit keeps this object to scalar instructions.
#include "ResizeCubicArithmetic.h"
#include "ResizeKernels.h"
#include "ResizePasses.h"
#include "ResizeRowDrivers.h"

namespace imaging {
namespace {

using CubicPasses8uScalarEquivalent =
    CubicPassSet<uint8_t, CubicHorz8u_C1ScalarEquivalent, CubicHorz8u_C3ScalarEquivalent,
                 CubicHorz8u_C4ScalarEquivalent, CubicVert8uScalarEquivalent, CubicVert8u_AC4ScalarEquivalent,
                 1>;
using Taps4Passes8uScalarEquivalent =
    CubicPassSet<uint8_t, Taps4Horz8u_C1ScalarEquivalent, Taps4Horz8u_C3ScalarEquivalent,
                 Taps4Horz8u_C4ScalarEquivalent, Taps4Vert8uScalarEquivalent, Taps4Vert8u_AC4ScalarEquivalent,
                 4>;

} // namespace

void CubicHorzQuad8u_C1ScalarEquivalent(const uint8_t* src, int32_t width, const int32_t* index,
                                        const float* fractions, float* out)
{
    CubicHorizontalQuadC1<uint8_t>(src, width, index, fractions, out);
}

void CubicHorz8u_C1ScalarEquivalent(const uint8_t* src, int32_t width, const int32_t* index,
                                    const float* fractions, float* out)
{
    CubicHorizontalC1<uint8_t, CubicHorzQuad8u_C1ScalarEquivalent>(src, width, index, fractions, out);
}

void CubicHorz8u_C3ScalarEquivalent(const uint8_t* src, int32_t width, const int32_t* index,
                                    const float* fractions, float* out, int32_t pixelStride)
{
    CubicHorizontalMC<uint8_t, 3>(src, width, index, fractions, out, pixelStride);
}

void CubicHorz8u_C4ScalarEquivalent(const uint8_t* src, int32_t width, const int32_t* index,
                                    const float* fractions, float* out)
{
    CubicHorizontalMC<uint8_t, 4>(src, width, index, fractions, out, 4);
}

void CubicVertQuad8uScalarEquivalent(uint8_t* dst, int32_t count, float t, const float* const rows[4])
{
    CubicVerticalQuad<uint8_t>(dst, count, t, rows);
}

void CubicVert8uScalarEquivalent(uint8_t* dst, int32_t count, float t, const float* const rows[4])
{
    CubicVerticalPacked<uint8_t, CubicVertQuad8uScalarEquivalent>(dst, count, t, rows);
}

void CubicVertQuad8u_AC4ScalarEquivalent(uint8_t* dst, int32_t samples, float t, const float* const rows[4])
{
    CubicVerticalQuadAC4<uint8_t>(dst, samples, t, rows);
}

void CubicVert8u_AC4ScalarEquivalent(uint8_t* dst, int32_t pixels, float t, const float* const rows[4])
{
    CubicVerticalAC4<uint8_t, CubicVertQuad8u_AC4ScalarEquivalent>(dst, pixels, t, rows);
}

void Taps4Horz8u_C1ScalarEquivalent(const uint8_t* src, int32_t width, const int32_t* index,
                                    const float* weights, float* out)
{
    Taps4HorizontalC1<uint8_t>(src, width, index, weights, out);
}

void Taps4Horz8u_C3ScalarEquivalent(const uint8_t* src, int32_t width, const int32_t* index,
                                    const float* weights, float* out, int32_t pixelStride)
{
    Taps4HorizontalMC<uint8_t, 3>(src, width, index, weights, out, pixelStride);
}

void Taps4Horz8u_C4ScalarEquivalent(const uint8_t* src, int32_t width, const int32_t* index,
                                    const float* weights, float* out)
{
    Taps4HorizontalMC<uint8_t, 4>(src, width, index, weights, out, 4);
}

void Taps4Vert8uScalarEquivalent(uint8_t* dst, int32_t count, const float* weights,
                                 const float* const rows[4])
{
    Taps4VerticalPacked<uint8_t>(dst, count, weights, rows);
}

void Taps4Vert8u_AC4ScalarEquivalent(uint8_t* dst, int32_t pixels, const float* weights,
                                     const float* const rows[4])
{
    Taps4VerticalAC4<uint8_t>(dst, pixels, weights, rows);
}

void ResizeCubicRows8u_C1ScalarEquivalent(const ResizeKernelArgs& args)
{
    CubicRows<CubicPasses8uScalarEquivalent, false>(args);
}

void ResizeCubicRows8u_MCScalarEquivalent(const ResizeKernelArgs& args)
{
    CubicRows<CubicPasses8uScalarEquivalent, true>(args);
}

void ResizeTaps4Rows8u_C1ScalarEquivalent(const ResizeKernelArgs& args)
{
    CubicRows<Taps4Passes8uScalarEquivalent, false>(args);
}

void ResizeTaps4Rows8u_MCScalarEquivalent(const ResizeKernelArgs& args)
{
    CubicRows<Taps4Passes8uScalarEquivalent, true>(args);
}

} // namespace imaging
