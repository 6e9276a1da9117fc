// The L2 norm of the difference of two planes. Squared differences are summed exactly in 32-bit
// integers over bands of rows small enough that a band cannot overflow, and only the band sums
// are added as doubles; planes wider than 32,768 columns are measured in column chunks so that a
// band always holds at least one row.
#include "ScalarRounding.h"
#include "imaging/imaging.h"

#include "NormDiffL2.h"
#include "RowKernels.h"

#include <cmath>

namespace imaging {
namespace {

constexpr int32_t kChunkColumns = 32768;
constexpr int32_t kMaxSquare = 255 * 255;
constexpr int64_t kMaxBandSum = 2147483647;
// The largest pixel count whose squared differences cannot exceed kMaxBandSum.
constexpr int64_t kDirectPixels = kMaxBandSum / kMaxSquare;
static_assert(kDirectPixels == 33025);
static_assert(int64_t(kChunkColumns) * kMaxSquare <= kMaxBandSum);

} // namespace

void SumSquaredDiffRows(const uint8_t* src1, int32_t src1Step, const uint8_t* src2,
                        int32_t src2Step, int32_t width, int32_t height, double* out)
{
    if (int64_t(width) * height <= kDirectPixels) {
        *out = double(SumSquaredDiffSse2(src1, src1Step, src2, src2Step, width, height));
        return;
    }
    const int32_t rowsPerBand = int32_t(kMaxBandSum / (int64_t(width) * kMaxSquare));
    double sum = 0.0;
    for (int32_t row = 0; row < height; row += rowsPerBand) {
        const int32_t rows = height - row < rowsPerBand ? height - row : rowsPerBand;
        sum += double(SumSquaredDiffSse2(src1 + int64_t(row) * src1Step, src1Step,
                                         src2 + int64_t(row) * src2Step, src2Step, width, rows));
    }
    *out = sum;
}

double NormDiffL2PlaneChunked(const uint8_t* src1, int32_t src1Step, const uint8_t* src2,
                              int32_t src2Step, int32_t width, int32_t height)
{
    if (width <= kChunkColumns) {
        double sum;
        SumSquaredDiffRows(src1, src1Step, src2, src2Step, width, height, &sum);
        return SquareRoot(sum);
    }
    double accumulator = 0.0;
    for (int32_t column = 0; column < width; column += kChunkColumns) {
        const int32_t columns = width - column < kChunkColumns ? width - column : kChunkColumns;
        const double norm = NormDiffL2PlaneChunked(src1 + column, src1Step, src2 + column,
                                                   src2Step, columns, height);
        accumulator += norm * norm;
    }
    return SquareRoot(accumulator);
}

} // namespace imaging

ImagingStatus NormDiffL2Plane(const uint8_t* src1, int32_t src1Step, const uint8_t* src2,
                              int32_t src2Step, int32_t width, int32_t height, double* result)
{
    if (!src1 || !src2 || !result)
        return StatusNullPointer;
    if (width < 1 || height < 1)
        return StatusSizeError;
    if (src1Step < 1 || src2Step < 1)
        return StatusStepError;
    *result = imaging::NormDiffL2PlaneChunked(src1, src1Step, src2, src2Step, width, height);
    return StatusOk;
}
