// The previous implementations of kernels that were made faster: the reference of the byte-for-
// byte comparisons (PreviousKernelsTest.cpp and the resize tests). Same arguments as the current
// kernels of RowKernels.h and ResizePasses.h.
#pragma once

#include <cstdint>

namespace imaging::previous {

void PreviousYUVToRGB555Q4Sse2(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst,
                               int32_t pixels, bool swapRB);
void PreviousYUVToRGB24Q4Sse2(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst,
                              int32_t pixels);
void PreviousYUVToRGB32Q4Sse2(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst,
                              int32_t pixels);
void PreviousCopyRowFast(const uint8_t* src, uint8_t* dst, int64_t length, bool streaming);
void PreviousCopyRowSimd(const uint8_t* src, uint8_t* dst, int64_t length, bool streaming);

} // namespace imaging::previous
