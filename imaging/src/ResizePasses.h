// The resize passes by method, sample type and layout. A horizontal pass turns one source row
// into a filtered row of destination width (1, 3 or 4 values a pixel); a vertical pass blends the
// filtered rows (2 linear, 4 cubic and four-tap, 6 Lanczos) into one destination row, as one run
// of samples (packed: C1, C3 and C4 alike) or three samples of every four-sample pixel (AC4, the
// fourth left as it was). Arithmetic: ResizeLinearArithmetic.h, ResizeCubicArithmetic.h,
// ResizeLanczosArithmetic.h. The 8u passes are vector code, each with a scalar equivalent of the
// same name and values (suffix ScalarEquivalent), which the tests and the benchmark hold it
// against; these are not the plain set's passes (Plain*HRow, Plain*VRow of Plain*Rows.cpp), which
// compute in double precision. The other types' passes are the scalar loops compiled for SSE3.
#pragma once

#include <cstdint>

namespace imaging {

void LinearHorz8u_C1(const uint8_t* src, int32_t width, const int32_t* index,
                     const int16_t* weights, int16_t* out);
void LinearHorz8u_C3(const uint8_t* src, int32_t width, const int32_t* index,
                     const int16_t* weights, int16_t* out, int32_t pixelStride);
void LinearHorz8u_C4(const uint8_t* src, int32_t width, const int32_t* index,
                     const int16_t* weights, int16_t* out);
void LinearVert8u(uint8_t* dst, int32_t count, uint16_t weight, const int16_t* upper,
                  const int16_t* lower);
void LinearVert8u_AC4(uint8_t* dst, int32_t pixels, uint16_t weight, const int16_t* upper,
                      const int16_t* lower);

void LinearHorz8u_C1ScalarEquivalent(const uint8_t* src, int32_t width, const int32_t* index,
                                     const int16_t* weights, int16_t* out);
void LinearHorz8u_C3ScalarEquivalent(const uint8_t* src, int32_t width, const int32_t* index,
                                     const int16_t* weights, int16_t* out, int32_t pixelStride);
void LinearHorz8u_C4ScalarEquivalent(const uint8_t* src, int32_t width, const int32_t* index,
                                     const int16_t* weights, int16_t* out);
void LinearVert8uScalarEquivalent(uint8_t* dst, int32_t count, uint16_t weight, const int16_t* upper,
                                  const int16_t* lower);
void LinearVert8u_AC4ScalarEquivalent(uint8_t* dst, int32_t pixels, uint16_t weight, const int16_t* upper,
                                      const int16_t* lower);

void LinearHorz16u_C1(const uint16_t* src, int32_t width, const int32_t* index,
                      const int16_t* weights, uint16_t* out);
void LinearHorz16u_C3(const uint16_t* src, int32_t width, const int32_t* index,
                      const int16_t* weights, uint16_t* out, int32_t pixelStride);
void LinearHorz16u_C4(const uint16_t* src, int32_t width, const int32_t* index,
                      const int16_t* weights, uint16_t* out);
void LinearVert16u(uint16_t* dst, int32_t count, uint16_t weight, const uint16_t* upper,
                   const uint16_t* lower);
void LinearVert16u_AC4(uint16_t* dst, int32_t pixels, uint16_t weight, const uint16_t* upper,
                       const uint16_t* lower);

void LinearHorz16s_C1(const int16_t* src, int32_t width, const int32_t* index,
                      const int16_t* weights, int16_t* out);
void LinearHorz16s_C3(const int16_t* src, int32_t width, const int32_t* index,
                      const int16_t* weights, int16_t* out, int32_t pixelStride);
void LinearHorz16s_C4(const int16_t* src, int32_t width, const int32_t* index,
                      const int16_t* weights, int16_t* out);
void LinearVert16s(int16_t* dst, int32_t count, uint16_t weight, const int16_t* upper,
                   const int16_t* lower);
void LinearVert16s_AC4(int16_t* dst, int32_t pixels, uint16_t weight, const int16_t* upper,
                       const int16_t* lower);

void LinearHorz32f_C1(const float* src, int32_t width, const int32_t* index, const float* fractions,
                      float* out);
void LinearHorz32f_C3(const float* src, int32_t width, const int32_t* index, const float* fractions,
                      float* out, int32_t pixelStride);
void LinearHorz32f_C4(const float* src, int32_t width, const int32_t* index, const float* fractions,
                      float* out);
void LinearVert32f(float* dst, int32_t count, float fraction, const float* upper,
                   const float* lower);
void LinearVert32f_AC4(float* dst, int32_t pixels, float fraction, const float* upper,
                       const float* lower);

// Cubic (Newton form at a fraction t; fractions one per column, t per row). The Quad passes are
// the four-wide bodies: counts and widths a multiple of four, AC4 samples three a pixel.
void CubicHorzQuad8u_C1(const uint8_t* src, int32_t width, const int32_t* index,
                        const float* fractions, float* out);
void CubicHorz8u_C1(const uint8_t* src, int32_t width, const int32_t* index,
                    const float* fractions, float* out);
void CubicHorz8u_C3(const uint8_t* src, int32_t width, const int32_t* index,
                    const float* fractions, float* out, int32_t pixelStride);
void CubicHorz8u_C4(const uint8_t* src, int32_t width, const int32_t* index,
                    const float* fractions, float* out);
void CubicVertQuad8u(uint8_t* dst, int32_t count, float t, const float* const rows[4]);
void CubicVert8u(uint8_t* dst, int32_t count, float t, const float* const rows[4]);
void CubicVertQuad8u_AC4(uint8_t* dst, int32_t samples, float t, const float* const rows[4]);
void CubicVert8u_AC4(uint8_t* dst, int32_t pixels, float t, const float* const rows[4]);

void CubicHorzQuad8u_C1ScalarEquivalent(const uint8_t* src, int32_t width, const int32_t* index,
                                        const float* fractions, float* out);
void CubicHorz8u_C1ScalarEquivalent(const uint8_t* src, int32_t width, const int32_t* index,
                                    const float* fractions, float* out);
void CubicHorz8u_C3ScalarEquivalent(const uint8_t* src, int32_t width, const int32_t* index,
                                    const float* fractions, float* out, int32_t pixelStride);
void CubicHorz8u_C4ScalarEquivalent(const uint8_t* src, int32_t width, const int32_t* index,
                                    const float* fractions, float* out);
void CubicVertQuad8uScalarEquivalent(uint8_t* dst, int32_t count, float t, const float* const rows[4]);
void CubicVert8uScalarEquivalent(uint8_t* dst, int32_t count, float t, const float* const rows[4]);
void CubicVertQuad8u_AC4ScalarEquivalent(uint8_t* dst, int32_t samples, float t, const float* const rows[4]);
void CubicVert8u_AC4ScalarEquivalent(uint8_t* dst, int32_t pixels, float t, const float* const rows[4]);

void CubicHorzQuad16u_C1(const uint16_t* src, int32_t width, const int32_t* index,
                         const float* fractions, float* out);
void CubicHorz16u_C1(const uint16_t* src, int32_t width, const int32_t* index,
                     const float* fractions, float* out);
void CubicHorz16u_C3(const uint16_t* src, int32_t width, const int32_t* index,
                     const float* fractions, float* out, int32_t pixelStride);
void CubicHorz16u_C4(const uint16_t* src, int32_t width, const int32_t* index,
                     const float* fractions, float* out);
void CubicVertQuad16u(uint16_t* dst, int32_t count, float t, const float* const rows[4]);
void CubicVert16u(uint16_t* dst, int32_t count, float t, const float* const rows[4]);
void CubicVertQuad16u_AC4(uint16_t* dst, int32_t samples, float t, const float* const rows[4]);
void CubicVert16u_AC4(uint16_t* dst, int32_t pixels, float t, const float* const rows[4]);

void CubicHorzQuad32f_C1(const float* src, int32_t width, const int32_t* index,
                         const float* fractions, float* out);
void CubicHorz32f_C1(const float* src, int32_t width, const int32_t* index, const float* fractions,
                     float* out);
void CubicHorz32f_C3(const float* src, int32_t width, const int32_t* index, const float* fractions,
                     float* out, int32_t pixelStride);
void CubicHorz32f_C4(const float* src, int32_t width, const int32_t* index, const float* fractions,
                     float* out);
void CubicVertQuad32f(float* dst, int32_t count, float t, const float* const rows[4]);
void CubicVert32f(float* dst, int32_t count, float t, const float* const rows[4]);
void CubicVert32f_AC4(float* dst, int32_t pixels, float t, const float* const rows[4]);

// Four-tap (four weights a column, a pointer to the row's four weights).
void Taps4Horz8u_C1(const uint8_t* src, int32_t width, const int32_t* index,
                    const float* weights, float* out);
void Taps4Horz8u_C3(const uint8_t* src, int32_t width, const int32_t* index,
                    const float* weights, float* out, int32_t pixelStride);
void Taps4Horz8u_C4(const uint8_t* src, int32_t width, const int32_t* index,
                    const float* weights, float* out);
void Taps4Vert8u(uint8_t* dst, int32_t count, const float* weights, const float* const rows[4]);
void Taps4Vert8u_AC4(uint8_t* dst, int32_t pixels, const float* weights,
                     const float* const rows[4]);

void Taps4Horz8u_C1ScalarEquivalent(const uint8_t* src, int32_t width, const int32_t* index,
                                    const float* weights, float* out);
void Taps4Horz8u_C3ScalarEquivalent(const uint8_t* src, int32_t width, const int32_t* index,
                                    const float* weights, float* out, int32_t pixelStride);
void Taps4Horz8u_C4ScalarEquivalent(const uint8_t* src, int32_t width, const int32_t* index,
                                    const float* weights, float* out);
void Taps4Vert8uScalarEquivalent(uint8_t* dst, int32_t count, const float* weights,
                                 const float* const rows[4]);
void Taps4Vert8u_AC4ScalarEquivalent(uint8_t* dst, int32_t pixels, const float* weights,
                                     const float* const rows[4]);

void Taps4Horz16u_C1(const uint16_t* src, int32_t width, const int32_t* index, const float* weights,
                     float* out);
void Taps4Horz16u_C3(const uint16_t* src, int32_t width, const int32_t* index, const float* weights,
                     float* out, int32_t pixelStride);
void Taps4Horz16u_C4(const uint16_t* src, int32_t width, const int32_t* index, const float* weights,
                     float* out);
void Taps4Vert16u(uint16_t* dst, int32_t count, const float* weights, const float* const rows[4]);
void Taps4Vert16u_AC4(uint16_t* dst, int32_t pixels, const float* weights,
                      const float* const rows[4]);

void Taps4Horz32f_C1(const float* src, int32_t width, const int32_t* index, const float* weights,
                     float* out);
void Taps4Horz32f_C3(const float* src, int32_t width, const int32_t* index, const float* weights,
                     float* out, int32_t pixelStride);
void Taps4Horz32f_C4(const float* src, int32_t width, const int32_t* index, const float* weights,
                     float* out);
void Taps4Vert32f(float* dst, int32_t count, const float* weights, const float* const rows[4]);
void Taps4Vert32f_AC4(float* dst, int32_t pixels, const float* weights, const float* const rows[4]);

void Taps4Horz16s_C1(const int16_t* src, int32_t width, const int32_t* index, const float* weights,
                     float* out);
void Taps4Horz16s_C3(const int16_t* src, int32_t width, const int32_t* index, const float* weights,
                     float* out, int32_t pixelStride);
void Taps4Horz16s_C4(const int16_t* src, int32_t width, const int32_t* index, const float* weights,
                     float* out);
void Taps4Vert16s(int16_t* dst, int32_t count, const float* weights, const float* const rows[4]);
void Taps4Vert16s_AC4(int16_t* dst, int32_t pixels, const float* weights,
                      const float* const rows[4]);

// Lanczos-3 (six weights a column, a pointer to the row's six weights). The interior passes need
// all six pixels of every column readable; the folding passes read from -leftMargin (0, 1, 2 or
// more, counted as 2) to limit - 1 and hand every run of interior columns to the interior pass.
void LanczosHorzInner8u_C1(const uint8_t* src, const int32_t* index, const float* weights,
                           float* out, int32_t count);
void LanczosHorzInner8u_C3(const uint8_t* src, const int32_t* index, const float* weights,
                           float* out, int32_t count, int32_t pixelStride);
void LanczosHorzInner8u_C4(const uint8_t* src, const int32_t* index, const float* weights,
                           float* out, int32_t count);
void LanczosHorz8u_C1(const uint8_t* src, const int32_t* index, const float* weights,
                      float* out, int32_t width, int32_t leftMargin, int32_t limit);
void LanczosHorz8u_C3(const uint8_t* src, const int32_t* index, const float* weights,
                      float* out, int32_t width, int32_t leftMargin, int32_t limit,
                      int32_t pixelStride);
void LanczosHorz8u_C4(const uint8_t* src, const int32_t* index, const float* weights,
                      float* out, int32_t width, int32_t leftMargin, int32_t limit);
void LanczosVert8u(uint8_t* dst, int32_t count, const float* weights,
                   const float* const rows[6]);
void LanczosVert8u_AC4(uint8_t* dst, int32_t pixels, const float* weights,
                       const float* const rows[6]);

void LanczosHorzInner8u_C1ScalarEquivalent(const uint8_t* src, const int32_t* index, const float* weights,
                                           float* out, int32_t count);
void LanczosHorzInner8u_C3ScalarEquivalent(const uint8_t* src, const int32_t* index, const float* weights,
                                           float* out, int32_t count, int32_t pixelStride);
void LanczosHorzInner8u_C4ScalarEquivalent(const uint8_t* src, const int32_t* index, const float* weights,
                                           float* out, int32_t count);
void LanczosHorz8u_C1ScalarEquivalent(const uint8_t* src, const int32_t* index, const float* weights,
                                      float* out, int32_t width, int32_t leftMargin, int32_t limit);
void LanczosHorz8u_C3ScalarEquivalent(const uint8_t* src, const int32_t* index, const float* weights,
                                      float* out, int32_t width, int32_t leftMargin, int32_t limit,
                                      int32_t pixelStride);
void LanczosHorz8u_C4ScalarEquivalent(const uint8_t* src, const int32_t* index, const float* weights,
                                      float* out, int32_t width, int32_t leftMargin, int32_t limit);
void LanczosVert8uScalarEquivalent(uint8_t* dst, int32_t count, const float* weights,
                                   const float* const rows[6]);
void LanczosVert8u_AC4ScalarEquivalent(uint8_t* dst, int32_t pixels, const float* weights,
                                       const float* const rows[6]);

void LanczosHorzInner16u_C1(const uint16_t* src, const int32_t* index, const float* weights,
                            float* out, int32_t count);
void LanczosHorzInner16u_C3(const uint16_t* src, const int32_t* index, const float* weights,
                            float* out, int32_t count, int32_t pixelStride);
void LanczosHorzInner16u_C4(const uint16_t* src, const int32_t* index, const float* weights,
                            float* out, int32_t count);
void LanczosHorz16u_C1(const uint16_t* src, const int32_t* index, const float* weights, float* out,
                       int32_t width, int32_t leftMargin, int32_t limit);
void LanczosHorz16u_C3(const uint16_t* src, const int32_t* index, const float* weights, float* out,
                       int32_t width, int32_t leftMargin, int32_t limit, int32_t pixelStride);
void LanczosHorz16u_C4(const uint16_t* src, const int32_t* index, const float* weights, float* out,
                       int32_t width, int32_t leftMargin, int32_t limit);
void LanczosVert16u(uint16_t* dst, int32_t count, const float* weights, const float* const rows[6]);
void LanczosVert16u_AC4(uint16_t* dst, int32_t pixels, const float* weights,
                        const float* const rows[6]);

void LanczosHorzInner32f_C1(const float* src, const int32_t* index, const float* weights,
                            float* out, int32_t count);
void LanczosHorzInner32f_C3(const float* src, const int32_t* index, const float* weights,
                            float* out, int32_t count, int32_t pixelStride);
void LanczosHorzInner32f_C4(const float* src, const int32_t* index, const float* weights,
                            float* out, int32_t count);
void LanczosHorz32f_C1(const float* src, const int32_t* index, const float* weights, float* out,
                       int32_t width, int32_t leftMargin, int32_t limit);
void LanczosHorz32f_C3(const float* src, const int32_t* index, const float* weights, float* out,
                       int32_t width, int32_t leftMargin, int32_t limit, int32_t pixelStride);
void LanczosHorz32f_C4(const float* src, const int32_t* index, const float* weights, float* out,
                       int32_t width, int32_t leftMargin, int32_t limit);
void LanczosVert32f(float* dst, int32_t count, const float* weights, const float* const rows[6]);
void LanczosVert32f_AC4(float* dst, int32_t pixels, const float* weights,
                        const float* const rows[6]);

void LanczosHorzInner16s_C1(const int16_t* src, const int32_t* index, const float* weights,
                            float* out, int32_t count);
void LanczosHorzInner16s_C3(const int16_t* src, const int32_t* index, const float* weights,
                            float* out, int32_t count, int32_t pixelStride);
void LanczosHorzInner16s_C4(const int16_t* src, const int32_t* index, const float* weights,
                            float* out, int32_t count);
void LanczosVert16s(int16_t* dst, int32_t count, const float* weights, const float* const rows[6]);
void LanczosVert16s_AC4(int16_t* dst, int32_t pixels, const float* weights,
                        const float* const rows[6]);
} // namespace imaging
