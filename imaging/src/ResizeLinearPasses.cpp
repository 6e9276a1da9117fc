// The linear passes of the 16u, 16s and 32f kernels: the scalar loops of
// ResizeLinearArithmetic.h, compiled with the library's instruction set.
#include "ResizeLinearArithmetic.h"
#include "ResizePasses.h"

namespace imaging {

void LinearHorz16u_C1(const uint16_t* src, int32_t width, const int32_t* index,
                      const int16_t* weights, uint16_t* out)
{
    LinearHorizontalC1<LinearArithmetic16u>(src, width, index, weights, out);
}

void LinearHorz16u_C3(const uint16_t* src, int32_t width, const int32_t* index,
                      const int16_t* weights, uint16_t* out, int32_t pixelStride)
{
    LinearHorizontalC3<LinearArithmetic16u>(src, width, index, weights, out, pixelStride);
}

void LinearHorz16u_C4(const uint16_t* src, int32_t width, const int32_t* index,
                      const int16_t* weights, uint16_t* out)
{
    LinearHorizontalC4<LinearArithmetic16u>(src, width, index, weights, out);
}

void LinearVert16u(uint16_t* dst, int32_t count, uint16_t weight, const uint16_t* upper,
                   const uint16_t* lower)
{
    LinearVerticalPacked<LinearArithmetic16u>(dst, count, weight, upper, lower);
}

void LinearVert16u_AC4(uint16_t* dst, int32_t pixels, uint16_t weight, const uint16_t* upper,
                       const uint16_t* lower)
{
    LinearVerticalAC4<LinearArithmetic16u>(dst, pixels, weight, upper, lower);
}

void LinearHorz16s_C1(const int16_t* src, int32_t width, const int32_t* index,
                      const int16_t* weights, int16_t* out)
{
    LinearHorizontalC1<LinearArithmetic16s>(src, width, index, weights, out);
}

void LinearHorz16s_C3(const int16_t* src, int32_t width, const int32_t* index,
                      const int16_t* weights, int16_t* out, int32_t pixelStride)
{
    LinearHorizontalC3<LinearArithmetic16s>(src, width, index, weights, out, pixelStride);
}

void LinearHorz16s_C4(const int16_t* src, int32_t width, const int32_t* index,
                      const int16_t* weights, int16_t* out)
{
    LinearHorizontalC4<LinearArithmetic16s>(src, width, index, weights, out);
}

void LinearVert16s(int16_t* dst, int32_t count, uint16_t weight, const int16_t* upper,
                   const int16_t* lower)
{
    LinearVerticalPacked<LinearArithmetic16s>(dst, count, weight, upper, lower);
}

void LinearVert16s_AC4(int16_t* dst, int32_t pixels, uint16_t weight, const int16_t* upper,
                       const int16_t* lower)
{
    LinearVerticalAC4<LinearArithmetic16s>(dst, pixels, weight, upper, lower);
}

void LinearHorz32f_C1(const float* src, int32_t width, const int32_t* index, const float* fractions,
                      float* out)
{
    LinearHorizontalC1<LinearArithmetic32f>(src, width, index, fractions, out);
}

void LinearHorz32f_C3(const float* src, int32_t width, const int32_t* index, const float* fractions,
                      float* out, int32_t pixelStride)
{
    LinearHorizontalC3<LinearArithmetic32f>(src, width, index, fractions, out, pixelStride);
}

void LinearHorz32f_C4(const float* src, int32_t width, const int32_t* index, const float* fractions,
                      float* out)
{
    LinearHorizontalC4<LinearArithmetic32f>(src, width, index, fractions, out);
}

void LinearVert32f(float* dst, int32_t count, float fraction, const float* upper,
                   const float* lower)
{
    LinearVerticalPacked<LinearArithmetic32f>(dst, count, fraction, upper, lower);
}

void LinearVert32f_AC4(float* dst, int32_t pixels, float fraction, const float* upper,
                       const float* lower)
{
    LinearVerticalAC4<LinearArithmetic32f>(dst, pixels, fraction, upper, lower);
}

} // namespace imaging
