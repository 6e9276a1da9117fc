// The nine supersampling kernels: the 8-bit ones over the vector row routines, the 16-bit and
// float ones over the scalar routines compiled with the library's instruction set.
#include "SupersampleKernel.h"

namespace imaging {
namespace {

struct SupersampleRows8uSse2 {
    static void ColumnSums(const uint8_t* row, int32_t step, int64_t count, int32_t rows,
                           uint64_t* out)
    {
        SupersampleColumnSums8uSse2(row, step, count, rows, out);
    }
    static void AddRow(const uint8_t* row, int64_t count, float* acc)
    {
        SupersampleAddRow8uSse2(row, count, acc);
    }
    static void AddRowWeighted(const uint8_t* row, int64_t count, double weight, float* acc)
    {
        SupersampleAddRowWeighted8uSse2(row, count, weight, acc);
    }
    static int32_t WholeOutputs(const uint64_t* sums, const SupersampleColumnWindow* windows,
                                int32_t count, double normaliser, uint8_t* out)
    {
        return SupersampleWholeOutputs8uSse2(sums, windows, count, normaliser, out);
    }
    static int32_t PartOutputs(const float* acc, const SupersampleColumnWindow* windows,
                               int32_t count, double normaliser, uint8_t* out)
    {
        return SupersamplePartOutputs8uSse2(acc, windows, count, normaliser, out);
    }
};

} // namespace

ImagingStatus SupersampleResize8u_C1(const SupersampleArgs& args)
{
    return SupersampleRows<uint8_t, 1, SupersampleRows8uSse2>(args);
}

ImagingStatus SupersampleResize8u_C3(const SupersampleArgs& args)
{
    return SupersampleRows<uint8_t, 3, SupersampleRows8uSse2>(args);
}

ImagingStatus SupersampleResize8u_C4(const SupersampleArgs& args)
{
    return SupersampleRows<uint8_t, 4, SupersampleRows8uSse2>(args);
}

ImagingStatus SupersampleResize16u_C1(const SupersampleArgs& args)
{
    return SupersampleRows<uint16_t, 1, SupersampleRowsScalar<uint16_t>>(args);
}

ImagingStatus SupersampleResize16u_C3(const SupersampleArgs& args)
{
    return SupersampleRows<uint16_t, 3, SupersampleRowsScalar<uint16_t>>(args);
}

ImagingStatus SupersampleResize16u_C4(const SupersampleArgs& args)
{
    return SupersampleRows<uint16_t, 4, SupersampleRowsScalar<uint16_t>>(args);
}

ImagingStatus SupersampleResize32f_C1(const SupersampleArgs& args)
{
    return SupersampleRows<float, 1, SupersampleRowsScalar<float>>(args);
}

ImagingStatus SupersampleResize32f_C3(const SupersampleArgs& args)
{
    return SupersampleRows<float, 3, SupersampleRowsScalar<float>>(args);
}

ImagingStatus SupersampleResize32f_C4(const SupersampleArgs& args)
{
    return SupersampleRows<float, 4, SupersampleRowsScalar<float>>(args);
}

} // namespace imaging
