// The plain equivalents of the 8-bit supersampling row routines and kernels: the same arguments
// and results in scalar code, for the tests and the benchmark. The instruction audit keeps this
// object to scalar instructions.
#include "SupersampleKernel.h"

namespace imaging {
namespace {

using Scalar8u = SupersampleRowsScalar<uint8_t>;

struct SupersampleRows8uPlain {
    static void ColumnSums(const uint8_t* row, int32_t step, int64_t count, int32_t rows,
                           uint64_t* out)
    {
        SupersampleColumnSums8uPlain(row, step, count, rows, out);
    }
    static void AddRow(const uint8_t* row, int64_t count, float* acc)
    {
        SupersampleAddRow8uPlain(row, count, acc);
    }
    static void AddRowWeighted(const uint8_t* row, int64_t count, double weight, float* acc)
    {
        SupersampleAddRowWeighted8uPlain(row, count, weight, acc);
    }
};

} // namespace

void SupersampleColumnSums8uPlain(const uint8_t* row, int32_t step, int64_t count, int32_t rows,
                                  uint64_t* out)
{
    Scalar8u::ColumnSums(row, step, count, rows, out);
}

void SupersampleAddRow8uPlain(const uint8_t* row, int64_t count, float* acc)
{
    Scalar8u::AddRow(row, count, acc);
}

void SupersampleAddRowWeighted8uPlain(const uint8_t* row, int64_t count, double weight, float* acc)
{
    Scalar8u::AddRowWeighted(row, count, weight, acc);
}

ImagingStatus SupersampleResize8u_C1Plain(const SupersampleArgs& args)
{
    return SupersampleRows<uint8_t, 1, SupersampleRows8uPlain>(args);
}

ImagingStatus SupersampleResize8u_C3Plain(const SupersampleArgs& args)
{
    return SupersampleRows<uint8_t, 3, SupersampleRows8uPlain>(args);
}

ImagingStatus SupersampleResize8u_C4Plain(const SupersampleArgs& args)
{
    return SupersampleRows<uint8_t, 4, SupersampleRows8uPlain>(args);
}

} // namespace imaging
