// The Lanczos passes of the 16u, 32f and 16s kernels: the scalar loops of
// ResizeLanczosArithmetic.h, compiled with the library's instruction set. Signed 16-bit samples
// have no folding passes: only the kernels without border handling take them.
#include "ResizeLanczosArithmetic.h"
#include "ResizePasses.h"

namespace imaging {

void LanczosHorzInner16u_C1(const uint16_t* src, const int32_t* index, const float* weights,
                            float* out, int32_t count)
{
    LanczosInnerC1<uint16_t>(src, index, weights, out, count);
}

void LanczosHorzInner16u_C3(const uint16_t* src, const int32_t* index, const float* weights,
                            float* out, int32_t count, int32_t pixelStride)
{
    LanczosInnerMC<uint16_t, 3>(src, index, weights, out, count, pixelStride);
}

void LanczosHorzInner16u_C4(const uint16_t* src, const int32_t* index, const float* weights,
                            float* out, int32_t count)
{
    LanczosInnerMC<uint16_t, 4>(src, index, weights, out, count, 4);
}

void LanczosHorz16u_C1(const uint16_t* src, const int32_t* index, const float* weights, float* out,
                       int32_t width, int32_t leftMargin, int32_t limit)
{
    LanczosFoldingC1<uint16_t, LanczosHorzInner16u_C1>(src, index, weights, out, width, leftMargin,
                                                       limit);
}

void LanczosHorz16u_C3(const uint16_t* src, const int32_t* index, const float* weights, float* out,
                       int32_t width, int32_t leftMargin, int32_t limit, int32_t pixelStride)
{
    LanczosFoldingMC<uint16_t, 3, LanczosHorzInner16u_C3>(src, index, weights, out, width,
                                                          leftMargin, limit, pixelStride);
}

void LanczosHorz16u_C4(const uint16_t* src, const int32_t* index, const float* weights, float* out,
                       int32_t width, int32_t leftMargin, int32_t limit)
{
    LanczosFoldingMC<uint16_t, 4, LanczosHorzInner16u_C4>(src, index, weights, out, width,
                                                          leftMargin, limit, 4);
}

void LanczosVert16u(uint16_t* dst, int32_t count, const float* weights, const float* const rows[6])
{
    LanczosVerticalPacked<uint16_t>(dst, count, weights, rows);
}

void LanczosVert16u_AC4(uint16_t* dst, int32_t pixels, const float* weights,
                        const float* const rows[6])
{
    LanczosVerticalAC4<uint16_t>(dst, pixels, weights, rows);
}

void LanczosHorzInner32f_C1(const float* src, const int32_t* index, const float* weights,
                            float* out, int32_t count)
{
    LanczosInnerC1<float>(src, index, weights, out, count);
}

void LanczosHorzInner32f_C3(const float* src, const int32_t* index, const float* weights,
                            float* out, int32_t count, int32_t pixelStride)
{
    LanczosInnerMC<float, 3>(src, index, weights, out, count, pixelStride);
}

void LanczosHorzInner32f_C4(const float* src, const int32_t* index, const float* weights,
                            float* out, int32_t count)
{
    LanczosInnerMC<float, 4>(src, index, weights, out, count, 4);
}

void LanczosHorz32f_C1(const float* src, const int32_t* index, const float* weights, float* out,
                       int32_t width, int32_t leftMargin, int32_t limit)
{
    LanczosFoldingC1<float, LanczosHorzInner32f_C1>(src, index, weights, out, width, leftMargin,
                                                    limit);
}

void LanczosHorz32f_C3(const float* src, const int32_t* index, const float* weights, float* out,
                       int32_t width, int32_t leftMargin, int32_t limit, int32_t pixelStride)
{
    LanczosFoldingMC<float, 3, LanczosHorzInner32f_C3>(src, index, weights, out, width, leftMargin,
                                                       limit, pixelStride);
}

void LanczosHorz32f_C4(const float* src, const int32_t* index, const float* weights, float* out,
                       int32_t width, int32_t leftMargin, int32_t limit)
{
    LanczosFoldingMC<float, 4, LanczosHorzInner32f_C4>(src, index, weights, out, width, leftMargin,
                                                       limit, 4);
}

void LanczosVert32f(float* dst, int32_t count, const float* weights, const float* const rows[6])
{
    LanczosVerticalPacked<float>(dst, count, weights, rows);
}

void LanczosVert32f_AC4(float* dst, int32_t pixels, const float* weights,
                        const float* const rows[6])
{
    LanczosVerticalAC4<float>(dst, pixels, weights, rows);
}

void LanczosHorzInner16s_C1(const int16_t* src, const int32_t* index, const float* weights,
                            float* out, int32_t count)
{
    LanczosInnerC1<int16_t>(src, index, weights, out, count);
}

void LanczosHorzInner16s_C3(const int16_t* src, const int32_t* index, const float* weights,
                            float* out, int32_t count, int32_t pixelStride)
{
    LanczosInnerMC<int16_t, 3>(src, index, weights, out, count, pixelStride);
}

void LanczosHorzInner16s_C4(const int16_t* src, const int32_t* index, const float* weights,
                            float* out, int32_t count)
{
    LanczosInnerMC<int16_t, 4>(src, index, weights, out, count, 4);
}

void LanczosVert16s(int16_t* dst, int32_t count, const float* weights, const float* const rows[6])
{
    LanczosVerticalPacked<int16_t>(dst, count, weights, rows);
}

void LanczosVert16s_AC4(int16_t* dst, int32_t pixels, const float* weights,
                        const float* const rows[6])
{
    LanczosVerticalAC4<int16_t>(dst, pixels, weights, rows);
}

} // namespace imaging
