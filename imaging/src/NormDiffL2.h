// The internal operations behind NormDiffL2Plane, open to the tests.
#pragma once

#include <cstdint>

namespace imaging {

// The norm of a plane of any width, measured in column chunks of at most 32,768.
double NormDiffL2PlaneChunked(const uint8_t* src1, int32_t src1Step, const uint8_t* src2,
                              int32_t src2Step, int32_t width, int32_t height);
// Stores the sum of squared differences, exact within each band of rows, as a double; width must
// not exceed 32,768.
void SumSquaredDiffRows(const uint8_t* src1, int32_t src1Step, const uint8_t* src2,
                        int32_t src2Step, int32_t width, int32_t height, double* out);

} // namespace imaging
