// The linear resize passes by sample type and layout. A horizontal pass turns one source row
// into a filtered row of destination width (1, 3 or 4 values a pixel); a vertical pass blends the
// upper and lower filtered rows into one destination row, as one run of samples (packed: C1, C3
// and C4 alike) or three samples of every four-sample pixel (AC4, the fourth left as it was).
// Arithmetic: ResizeLinearArithmetic.h. The 8u passes are vector code (Sse2) with plain
// equivalents (Plain) giving the same values; the others are the scalar loops compiled for SSE3.
#pragma once

#include <cstdint>

namespace imaging {

void LinearHorz8u_C1Sse2(const uint8_t* src, int32_t width, const int32_t* index,
                         const int16_t* weights, int16_t* out);
void LinearHorz8u_C3Sse2(const uint8_t* src, int32_t width, const int32_t* index,
                         const int16_t* weights, int16_t* out, int32_t pixelStride);
void LinearHorz8u_C4Sse2(const uint8_t* src, int32_t width, const int32_t* index,
                         const int16_t* weights, int16_t* out);
void LinearVert8uSse2(uint8_t* dst, int32_t count, uint16_t weight, const int16_t* upper,
                      const int16_t* lower);
void LinearVert8u_AC4Sse2(uint8_t* dst, int32_t pixels, uint16_t weight, const int16_t* upper,
                          const int16_t* lower);

void LinearHorz8u_C1Plain(const uint8_t* src, int32_t width, const int32_t* index,
                          const int16_t* weights, int16_t* out);
void LinearHorz8u_C3Plain(const uint8_t* src, int32_t width, const int32_t* index,
                          const int16_t* weights, int16_t* out, int32_t pixelStride);
void LinearHorz8u_C4Plain(const uint8_t* src, int32_t width, const int32_t* index,
                          const int16_t* weights, int16_t* out);
void LinearVert8uPlain(uint8_t* dst, int32_t count, uint16_t weight, const int16_t* upper,
                       const int16_t* lower);
void LinearVert8u_AC4Plain(uint8_t* dst, int32_t pixels, uint16_t weight, const int16_t* upper,
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

} // namespace imaging
