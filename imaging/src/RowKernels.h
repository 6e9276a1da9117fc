// Row kernels of the plane copies, the L2 norm and the colour conversions. Vector kernels (Sse2)
// and their plain equivalents (Plain) take the same arguments and give the same bytes; the
// conversions' row functions combine the vector body with the plain pixels the formats prescribe
// at the end of a row. Nothing here checks its arguments: the entry points do.
#pragma once

#include <cstdint>

namespace imaging {

// Copies one run of bytes; with streaming set the 64-byte blocks bypass the cache.
void CopyRowFast(const uint8_t* src, uint8_t* dst, int64_t length, bool streaming);
// As CopyRowFast, but streams only when source and destination do not sit 16 to 320 bytes apart
// within 64 KiB, where non-temporal stores would stall the loads that follow them.
void CopyRowSimd(const uint8_t* src, uint8_t* dst, int64_t length, bool streaming);
// `rows` runs of `length` bytes at the given strides, as CopyRowFast and CopyRowSimd copy each;
// when any row streamed, one store fence follows the last row.
void CopyRowsFast(const uint8_t* src, int64_t srcStep, uint8_t* dst, int64_t dstStep,
                  int64_t length, int32_t rows, bool streaming);
void CopyRowsSimd(const uint8_t* src, int64_t srcStep, uint8_t* dst, int64_t dstStep,
                  int64_t length, int32_t rows, bool streaming);

// dst[i] = src[i] where mask[i] != 0.
void CopyRowMaskedSse2(const uint8_t* src, uint8_t* dst, int32_t length, const uint8_t* mask);
void CopyRowMaskedPlain(const uint8_t* src, uint8_t* dst, int32_t length, const uint8_t* mask);
inline void CopyRowMasked(const uint8_t* src, uint8_t* dst, int32_t length, const uint8_t* mask)
{
    CopyRowMaskedSse2(src, dst, length, mask);
}

// Exact sum of squared differences over a block whose sum cannot exceed 2^31 - 1.
uint32_t SumSquaredDiffSse2(const uint8_t* src1, int32_t src1Step, const uint8_t* src2,
                            int32_t src2Step, int32_t width, int32_t height);
uint32_t SumSquaredDiffPlain(const uint8_t* src1, int32_t src1Step, const uint8_t* src2,
                             int32_t src2Step, int32_t width, int32_t height);

// RGB24 to planar YUV, two pixels sharing one chroma sample: pixels must be even for Plain and a
// multiple of 16 for Sse2.
void RGB24ToYUVPairsSse2(const uint8_t* rgb, uint8_t* y, uint8_t* u, uint8_t* v, int32_t pixels);
void RGB24ToYUVPairsPlain(const uint8_t* rgb, uint8_t* y, uint8_t* u, uint8_t* v, int32_t pixels);
// The odd last pixel of a row, in single-stage arithmetic.
void RGB24ToYUVLastPixelPlain(const uint8_t* rgb, uint8_t* y, uint8_t* u, uint8_t* v);

// Planar 4:2:2 to packed RGB. Q4 is the 16-bit vector arithmetic (products kept to 4 fraction
// bits), Q16 the 16.16 arithmetic of the scalar pixels. Sse2 counts: RGB555 and RGB32 multiples
// of 4, RGB24 a multiple of 8. swapRB puts red in bits 10-14 and blue in bits 0-4.
void YUVToRGB555Q4Sse2(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst,
                       int32_t pixels, bool swapRB);
void YUVToRGB555Q4Plain(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst,
                        int32_t pixels, bool swapRB);
void YUVToRGB24Q4Sse2(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst,
                      int32_t pixels);
void YUVToRGB24Q4Plain(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst,
                       int32_t pixels);
void YUVToRGB24Q16Plain(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst,
                        int32_t pixels);
void YUVToRGB32Q4Sse2(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst,
                      int32_t pixels);
void YUVToRGB32Q4Plain(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst,
                       int32_t pixels);
void YUVToRGB32Q16Plain(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst,
                        int32_t pixels);

// Whole rows as the conversions produce them.
void RGB24ToPlanarYUVRow(const uint8_t* rgb, uint8_t* y, uint8_t* u, uint8_t* v, int32_t width);
void Planar422ToRGB555Row(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst,
                          int32_t width, bool swapRB);
void Planar422ToRGB24Row(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst,
                         int32_t width);
void Planar422ToRGB32Row(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst,
                         int32_t width);

} // namespace imaging
