// The image primitives as the driver sees them: status codes, the region type, the entry points
// the processing steps call, and the two allocation hooks that the linking program must define.
//
// Every entry point is stateless and reentrant, takes strides in bytes (negative strides walk a
// picture bottom-up), leaves every buffer to its caller and returns an ImagingStatus: 0 success,
// negative errors, positive warnings. The first failing check in an entry's fixed order decides
// the status, and a failing entry writes nothing. Source and destination must not overlap.
#pragma once

#include <cstdint>

enum ImagingStatus : int32_t {
    StatusOk = 0,
    StatusSizeError = -6,
    StatusNullPointer = -8,
    StatusNoMemory = -9,
    StatusStepError = -14,
    StatusInterpolationError = -22,
    StatusResizeFactorError = -23,
    StatusEmptyDestination = -201,
    StatusNoOverlap = 29, // a warning: the region misses the source, nothing written
};

// A region of interest in source pixels, passed by value.
struct ImagingRegion {
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
};

// Allocation hooks, bound at link time. The image primitives define neither: the driver defines
// them over its non-raising general allocation, and every program linking this library defines
// its own. ImagingAllocate returns null when it cannot serve the request; it must be callable on
// any thread the primitives run on.
extern "C" void* ImagingAllocate(uint32_t bytes) noexcept;
extern "C" void ImagingRelease(void* block) noexcept;

// Plane copies and comparison (8-bit planes).
ImagingStatus CopyPlane(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep,
                        int32_t width, int32_t height);
// dst takes src wherever the mask byte is non-zero and keeps its own byte elsewhere.
ImagingStatus CopyPlaneMasked(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep,
                              int32_t width, int32_t height, const uint8_t* mask, int32_t maskStep);
// *result = sqrt(sum of (src1 - src2)^2); left unwritten on error.
ImagingStatus NormDiffL2Plane(const uint8_t* src1, int32_t src1Step, const uint8_t* src2,
                              int32_t src2Step, int32_t width, int32_t height, double* result);

// Resizes a region of one 8-bit plane. Interpolation codes: 1 nearest, 2 linear, 4 cubic,
// 16 Lanczos-3, 8 area supersampling (shrinking only).
ImagingStatus ResizePlane(const uint8_t* src, int32_t srcWidth, int32_t srcHeight, int32_t srcStep,
                          ImagingRegion roi, uint8_t* dst, int32_t dstStep, int32_t dstWidth,
                          int32_t dstHeight, double xFactor, double yFactor, int32_t interpolation);

// Colour conversions between the internal planar 4:2:2 picture (Y at full size, plane 1 the
// blue-difference and plane 2 the red-difference samples at half width and full height) and the
// packed and 4:2:0 formats. Packed byte orders: RGB24 red, green, blue; RGB32 red, green, blue, 0;
// RGB555 a little-endian word with red in bits 0-4, green 5-9, blue 10-14.
ImagingStatus ConvertRGB24ToPlanar422(const uint8_t* src, int32_t srcStep, uint8_t* const dst[3],
                                      const int32_t dstStep[3], int32_t width, int32_t height);
ImagingStatus ConvertI420ToPlanar422(const uint8_t* const src[3], const int32_t srcStep[3],
                                     uint8_t* const dst[3], const int32_t dstStep[3], int32_t width,
                                     int32_t height);
ImagingStatus ConvertPlanar422ToRGB555(const uint8_t* const src[3], const int32_t srcStep[3],
                                       uint8_t* dst, int32_t dstStep, int32_t width, int32_t height);
ImagingStatus ConvertPlanar422ToRGB24(const uint8_t* const src[3], const int32_t srcStep[3],
                                      uint8_t* dst, int32_t dstStep, int32_t width, int32_t height);
ImagingStatus ConvertPlanar422ToRGB32(const uint8_t* const src[3], const int32_t srcStep[3],
                                      uint8_t* dst, int32_t dstStep, int32_t width, int32_t height);
ImagingStatus ConvertPlanar422ToI420(const uint8_t* const src[3], const int32_t srcStep[3],
                                     uint8_t* const dst[3], const int32_t dstStep[3], int32_t width,
                                     int32_t height);
