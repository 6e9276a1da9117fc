// The row loops behind the colour conversion entry points, open to the tests and benchmarks.
// Each advances every pointer by its own stride (in bytes unless said otherwise) after each row
// and does nothing for a height below 1.
#pragma once

#include <cstdint>

namespace imaging {

void RGB24ToPlanar422Rows(const uint8_t* src, int32_t srcStep, uint8_t* const dst[3],
                          const int32_t dstStep[3], int32_t width, int32_t height);
// dstStepWords counts 16-bit words.
void Planar422ToRGB555(const uint8_t* const src[3], const int32_t srcStep[3], uint8_t* dst,
                       int32_t dstStepWords, int32_t width, int32_t height, bool swapRB);
void Planar422ToRGB24(const uint8_t* const src[3], const int32_t srcStep[3], uint8_t* dst,
                      int32_t dstStep, int32_t width, int32_t height);
void Planar422ToRGB32(const uint8_t* const src[3], const int32_t srcStep[3], uint8_t* dst,
                      int32_t dstStep, int32_t width, int32_t height);
// Width and height even. swapChroma exchanges the source's planes 1 and 2 first.
void I420ToPlanar422(const uint8_t* const src[3], const int32_t srcStep[3], uint8_t* const dst[3],
                     const int32_t dstStep[3], int32_t width, int32_t height, bool swapChroma);
void Planar422ToI420(const uint8_t* const src[3], const int32_t srcStep[3], uint8_t* const dst[3],
                     const int32_t dstStep[3], int32_t width, int32_t height);

} // namespace imaging
