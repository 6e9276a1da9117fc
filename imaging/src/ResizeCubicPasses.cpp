// The cubic and four-tap passes of the 16u, 32f and 16s kernels: the scalar loops of
// ResizeCubicArithmetic.h, compiled with the library's instruction set.
#include "ResizeCubicArithmetic.h"
#include "ResizePasses.h"

namespace imaging {

void CubicHorzQuad16u_C1(const uint16_t* src, int32_t width, const int32_t* index,
                         const float* fractions, float* out)
{
    CubicHorizontalQuadC1<uint16_t>(src, width, index, fractions, out);
}

void CubicHorz16u_C1(const uint16_t* src, int32_t width, const int32_t* index,
                     const float* fractions, float* out)
{
    CubicHorizontalC1<uint16_t, CubicHorzQuad16u_C1>(src, width, index, fractions, out);
}

void CubicHorz16u_C3(const uint16_t* src, int32_t width, const int32_t* index,
                     const float* fractions, float* out, int32_t pixelStride)
{
    CubicHorizontalMC<uint16_t, 3>(src, width, index, fractions, out, pixelStride);
}

void CubicHorz16u_C4(const uint16_t* src, int32_t width, const int32_t* index,
                     const float* fractions, float* out)
{
    CubicHorizontalMC<uint16_t, 4>(src, width, index, fractions, out, 4);
}

void CubicVertQuad16u(uint16_t* dst, int32_t count, float t, const float* const rows[4])
{
    CubicVerticalQuad<uint16_t>(dst, count, t, rows);
}

void CubicVert16u(uint16_t* dst, int32_t count, float t, const float* const rows[4])
{
    CubicVerticalPacked<uint16_t, CubicVertQuad16u>(dst, count, t, rows);
}

void CubicVertQuad16u_AC4(uint16_t* dst, int32_t samples, float t, const float* const rows[4])
{
    CubicVerticalQuadAC4<uint16_t>(dst, samples, t, rows);
}

void CubicVert16u_AC4(uint16_t* dst, int32_t pixels, float t, const float* const rows[4])
{
    CubicVerticalAC4<uint16_t, CubicVertQuad16u_AC4>(dst, pixels, t, rows);
}

void CubicHorzQuad32f_C1(const float* src, int32_t width, const int32_t* index,
                         const float* fractions, float* out)
{
    CubicHorizontalQuadC1<float>(src, width, index, fractions, out);
}

void CubicHorz32f_C1(const float* src, int32_t width, const int32_t* index, const float* fractions,
                     float* out)
{
    CubicHorizontalC1<float, CubicHorzQuad32f_C1>(src, width, index, fractions, out);
}

void CubicHorz32f_C3(const float* src, int32_t width, const int32_t* index, const float* fractions,
                     float* out, int32_t pixelStride)
{
    CubicHorizontalMC<float, 3>(src, width, index, fractions, out, pixelStride);
}

void CubicHorz32f_C4(const float* src, int32_t width, const int32_t* index, const float* fractions,
                     float* out)
{
    CubicHorizontalMC<float, 4>(src, width, index, fractions, out, 4);
}

void CubicVertQuad32f(float* dst, int32_t count, float t, const float* const rows[4])
{
    CubicVerticalQuad<float>(dst, count, t, rows);
}

void CubicVert32f(float* dst, int32_t count, float t, const float* const rows[4])
{
    CubicVerticalPacked<float, CubicVertQuad32f>(dst, count, t, rows);
}

void CubicVert32f_AC4(float* dst, int32_t pixels, float t, const float* const rows[4])
{
    CubicVerticalAC4<float, CubicVerticalQuadAC4<float>>(dst, pixels, t, rows);
}

void Taps4Horz16u_C1(const uint16_t* src, int32_t width, const int32_t* index, const float* weights,
                     float* out)
{
    Taps4HorizontalC1<uint16_t>(src, width, index, weights, out);
}

void Taps4Horz16u_C3(const uint16_t* src, int32_t width, const int32_t* index, const float* weights,
                     float* out, int32_t pixelStride)
{
    Taps4HorizontalMC<uint16_t, 3>(src, width, index, weights, out, pixelStride);
}

void Taps4Horz16u_C4(const uint16_t* src, int32_t width, const int32_t* index, const float* weights,
                     float* out)
{
    Taps4HorizontalMC<uint16_t, 4>(src, width, index, weights, out, 4);
}

void Taps4Vert16u(uint16_t* dst, int32_t count, const float* weights, const float* const rows[4])
{
    Taps4VerticalPacked<uint16_t>(dst, count, weights, rows);
}

void Taps4Vert16u_AC4(uint16_t* dst, int32_t pixels, const float* weights,
                      const float* const rows[4])
{
    Taps4VerticalAC4<uint16_t>(dst, pixels, weights, rows);
}

void Taps4Horz32f_C1(const float* src, int32_t width, const int32_t* index, const float* weights,
                     float* out)
{
    Taps4HorizontalC1<float>(src, width, index, weights, out);
}

void Taps4Horz32f_C3(const float* src, int32_t width, const int32_t* index, const float* weights,
                     float* out, int32_t pixelStride)
{
    Taps4HorizontalMC<float, 3>(src, width, index, weights, out, pixelStride);
}

void Taps4Horz32f_C4(const float* src, int32_t width, const int32_t* index, const float* weights,
                     float* out)
{
    Taps4HorizontalMC<float, 4>(src, width, index, weights, out, 4);
}

void Taps4Vert32f(float* dst, int32_t count, const float* weights, const float* const rows[4])
{
    Taps4VerticalPacked<float>(dst, count, weights, rows);
}

void Taps4Vert32f_AC4(float* dst, int32_t pixels, const float* weights, const float* const rows[4])
{
    Taps4VerticalAC4<float>(dst, pixels, weights, rows);
}

void Taps4Horz16s_C1(const int16_t* src, int32_t width, const int32_t* index, const float* weights,
                     float* out)
{
    Taps4HorizontalC1<int16_t>(src, width, index, weights, out);
}

void Taps4Horz16s_C3(const int16_t* src, int32_t width, const int32_t* index, const float* weights,
                     float* out, int32_t pixelStride)
{
    Taps4HorizontalMC<int16_t, 3>(src, width, index, weights, out, pixelStride);
}

void Taps4Horz16s_C4(const int16_t* src, int32_t width, const int32_t* index, const float* weights,
                     float* out)
{
    Taps4HorizontalMC<int16_t, 4>(src, width, index, weights, out, 4);
}

void Taps4Vert16s(int16_t* dst, int32_t count, const float* weights, const float* const rows[4])
{
    Taps4VerticalPacked<int16_t>(dst, count, weights, rows);
}

void Taps4Vert16s_AC4(int16_t* dst, int32_t pixels, const float* weights,
                      const float* const rows[4])
{
    Taps4VerticalAC4<int16_t>(dst, pixels, weights, rows);
}

} // namespace imaging
