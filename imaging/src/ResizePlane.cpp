// ResizePlane: the driver's resize of one 8-bit plane, routed to area averaging for shrinking
// with code 8 and to the general engine for everything else.
#include "imaging/imaging.h"

ImagingStatus ResizePlane(const uint8_t* src, int32_t srcWidth, int32_t srcHeight, int32_t srcStep,
                          ImagingRegion roi, uint8_t* dst, int32_t dstStep, int32_t dstWidth,
                          int32_t dstHeight, double xFactor, double yFactor, int32_t interpolation)
{
    // Written so that a NaN factor fails the test and reaches the general engine's factor check;
    // code 8 with a factor above 1 ends there with -22.
    if (interpolation == 8 && xFactor <= 1.0 && yFactor <= 1.0)
        return ResizeSupersample(src, srcWidth, srcHeight, srcStep, roi, dst, dstStep, dstWidth,
                                 dstHeight, xFactor, yFactor, 1, 1, 0, 0);
    return ResizeGeneral(src, srcWidth, srcHeight, srcStep, roi, dst, dstStep, dstWidth, dstHeight,
                         xFactor, yFactor, 0.0, 0.0, 1, 1, 0, 0, interpolation, 1);
}
