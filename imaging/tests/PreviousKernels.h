// The previous implementations of kernels that were made faster: the reference of the byte-for-
// byte comparisons (PreviousKernelsTest.cpp and the resize tests). Same arguments as the current
// kernels of RowKernels.h and ResizePasses.h.
#pragma once

#include <emmintrin.h>

#include <cstdint>

namespace imaging::previous {

void PreviousRGB24ToYUVPairsSse2(const uint8_t* rgb, uint8_t* y, uint8_t* u, uint8_t* v,
                                  int32_t pixels);
void PreviousYUVToRGB555Q4Sse2(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst,
                               int32_t pixels, bool swapRB);
void PreviousYUVToRGB24Q4Sse2(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst,
                              int32_t pixels);
void PreviousYUVToRGB32Q4Sse2(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst,
                              int32_t pixels);
void PreviousCopyRowFast(const uint8_t* src, uint8_t* dst, int64_t length, bool streaming);
void PreviousCopyRowSimd(const uint8_t* src, uint8_t* dst, int64_t length, bool streaming);

__m128i PreviousBiasedToBytes(__m128 v);
void PreviousCubicHorzQuad8u_C1(const uint8_t* src, int32_t width, const int32_t* index,
                                const float* fractions, float* out);
void PreviousLanczosHorzInner8u_C1(const uint8_t* src, const int32_t* index,
                                   const float* weights, float* out, int32_t count);

} // namespace imaging::previous
