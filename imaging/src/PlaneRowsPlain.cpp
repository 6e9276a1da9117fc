// Plain kernels of the masked plane copy and the squared-difference sum: the scalar equivalents
// that the vector kernels are measured and checked against. Built without auto-vectorisation.
#include "RowKernels.h"

namespace imaging {

void CopyRowMaskedPlain(const uint8_t* src, uint8_t* dst, int32_t length, const uint8_t* mask)
{
    for (int32_t i = 0; i < length; ++i) {
        if (mask[i])
            dst[i] = src[i];
    }
}

uint32_t SumSquaredDiffPlain(const uint8_t* src1, int32_t src1Step, const uint8_t* src2,
                             int32_t src2Step, int32_t width, int32_t height)
{
    uint32_t sum = 0;
    for (int32_t row = 0; row < height; ++row) {
        const uint8_t* a = src1 + int64_t(row) * src1Step;
        const uint8_t* b = src2 + int64_t(row) * src2Step;
        for (int32_t x = 0; x < width; ++x) {
            const int32_t d = int32_t(a[x]) - int32_t(b[x]);
            sum += uint32_t(d * d);
        }
    }
    return sum;
}

} // namespace imaging
