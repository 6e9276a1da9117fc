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
    StatusDataTypeError = -12, // a sample type the entry does not handle
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
// 16 Lanczos-3, 8 area supersampling (shrinking only: both factors at most 1). The region is
// clipped to the source; the destination receives min(dstWidth, region width x xFactor) columns
// and rows likewise, the rest is left as it was.
ImagingStatus ResizePlane(const uint8_t* src, int32_t srcWidth, int32_t srcHeight, int32_t srcStep,
                          ImagingRegion roi, uint8_t* dst, int32_t dstStep, int32_t dstWidth,
                          int32_t dstHeight, double xFactor, double yFactor, int32_t interpolation);

// The two engines behind ResizePlane, general over sample types and layouts.
//   sampleType    0 unsigned 8-bit, 1 unsigned 16-bit, 2 32-bit float; others fail with -12
//   pixelStride   samples from one pixel to the next: 1 or more for one channel, 3 or 4 for three
//                 channels (nearest and supersampling also take more), 4 for four channels
//   channelCount  1, 3 or 4 channels resized; with three at a stride of 4 the fourth sample of
//                 every destination pixel is left as it was
//   planar        non-zero: src and dst point to arrays of plane pointers (three planes, four when
//                 channelCount is 4) sharing one stride; pixelStride is then unused
// A pixel layout outside these fails with -6, as does a region whose sample offsets would not fit
// 32 bits; factors (and shifts) must be finite numbers, else -23.

// Nearest, linear, cubic and Lanczos-3 (codes 1, 2, 4, 16). With edgeAligned non-zero the factors
// are scales (destination pixels per source pixel) and, but for nearest, the first and last
// destination pixels land on the region's first and last pixels; with edgeAligned 0 the factors
// are source steps between destination pixels. xShift and yShift move every sampling position by
// that many source pixels; positions are kept within the region. Strides in bytes, multiples of
// the sample size (else -14).
ImagingStatus ResizeGeneral(const void* src, int32_t srcWidth, int32_t srcHeight, int32_t srcStep,
                            ImagingRegion roi, void* dst, int32_t dstStep, int32_t dstWidth,
                            int32_t dstHeight, double xFactor, double yFactor, double xShift,
                            double yShift, int32_t pixelStride, int32_t channelCount,
                            int32_t sampleType, int32_t planar, int32_t interpolation,
                            int32_t edgeAligned);

// Area averaging for shrinking (both factors at most 1, else -23): every destination pixel is the
// mean of the source area it covers, partly covered source pixels weighted by the covered part.
// A destination pixel whose area reaches past the region is averaged over the part inside it.
ImagingStatus ResizeSupersample(const void* src, int32_t srcWidth, int32_t srcHeight,
                                int32_t srcStep, ImagingRegion roi, void* dst, int32_t dstStep,
                                int32_t dstWidth, int32_t dstHeight, double xFactor,
                                double yFactor, int32_t pixelStride, int32_t channelCount,
                                int32_t sampleType, int32_t planar);

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
