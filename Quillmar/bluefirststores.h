// The packed RGB outputs in the byte orders the pins deliver: RGB24 as blue, green, red; RGB32 as
// blue, green, red, 0; RGB555 as a little-endian word with blue in bits 0-4, green 5-9, red 10-14.
//
// The image primitives' conversions store red first. These functions convert each row with the
// primitive into its destination row and then exchange red and blue in that row, so the colour
// arithmetic (and the split between a row's vector and scalar pixels) is exactly the primitive's.
// The source is the internal planar 4:2:2 picture with the blue-difference (Cb) plane as plane 1.
// The destination step may be negative: a picture stored bottom-up starts at its last row. Checks
// and statuses are the primitive's; nothing is written when they fail.
#pragma once
#include "imaging/imaging.h"

#include <cstdint>

ImagingStatus ConvertPlanar422ToBgr24(const uint8_t* const src[3], const int32_t srcStep[3], uint8_t* dst,
                                      int32_t dstStep, int32_t width, int32_t height);
ImagingStatus ConvertPlanar422ToBgr32(const uint8_t* const src[3], const int32_t srcStep[3], uint8_t* dst,
                                      int32_t dstStep, int32_t width, int32_t height);
ImagingStatus ConvertPlanar422ToBgr555(const uint8_t* const src[3], const int32_t srcStep[3], uint8_t* dst,
                                       int32_t dstStep, int32_t width, int32_t height);

// The in-place exchanges, one row of `pixels` pixels.
void SwapRedBlue24(uint8_t* row, int32_t pixels);
void SwapRedBlue32(uint8_t* row, int32_t pixels);
void SwapRedBlue555(uint8_t* row, int32_t pixels);
