// The plain set's Lanczos-3 kernels: with border handling (slots 82-87) and without (88-95), the
// six-row ring over scalar passes in double precision. Across, the kernels with border handling
// sum the six taps from tap 0 to tap 5, replacing every tap outside the source by the edge pixel
// (the weights of taps that land on one pixel added first, in tap order); the interior kernels
// read all six taps and sum them from tap 5 down to tap 0. Down, both combine the six rows from
// the top. Integer results are the sum plus 0.5000001, truncated and saturated; a border row is
// repeated with CopyFloatsAlt's scalar moves.
#include "ResizeFloatConversion.h"
#include "ResizeKernels.h"
#include "ResizeRowDrivers.h"
#include "ScratchSupport.h"

#include <algorithm>

namespace imaging {
namespace {

// Channels values a pixel, pixels `stride` samples apart; columns from -min(colsLeft, 2) to
// colsFromOrigin - 1 are readable.
template <typename T, int Channels>
void BorderRow(const T* src, const int32_t* index, const float* weights, float* out,
               int32_t width, int32_t colsLeft, int32_t colsFromOrigin, int64_t stride)
{
    const int64_t first = -int64_t(std::clamp(colsLeft, 0, 2));
    const int64_t last = std::max<int64_t>(colsFromOrigin, 1) - 1;
    for (int32_t j = 0; j < width; ++j) {
        const int64_t x = index[j] / stride;
        const float* w = weights + 6 * int64_t(j);
        for (int c = 0; c < Channels; ++c) {
            double sum = 0.0;
            for (int k = 0; k < 6;) {
                const int64_t column = std::clamp(x + k - 2, first, last);
                double weight = w[k];
                while (++k < 6 && std::clamp(x + k - 2, first, last) == column)
                    weight += double(w[k]);
                sum += weight * double(src[column * stride + c]);
            }
            out[int64_t(j) * Channels + c] = float(sum);
        }
    }
}

template <typename T, int Channels>
void InteriorRow(const T* src, const int32_t* index, const float* weights, float* out,
                 int32_t width, int64_t stride)
{
    for (int32_t j = 0; j < width; ++j) {
        const float* w = weights + 6 * int64_t(j);
        for (int c = 0; c < Channels; ++c) {
            const T* p = src + index[j] + c;
            const double sum = double(w[5]) * double(p[3 * stride]) +
                               double(w[4]) * double(p[2 * stride]) +
                               double(w[3]) * double(p[stride]) + double(w[2]) * double(p[0]) +
                               double(w[1]) * double(p[-stride]) +
                               double(w[0]) * double(p[-2 * stride]);
            out[int64_t(j) * Channels + c] = float(sum);
        }
    }
}

template <typename T>
void HRowC1(const T* src, const int32_t* index, const float* weights, float* out, int32_t width,
            int32_t colsLeft, int32_t colsFromOrigin)
{
    BorderRow<T, 1>(src, index, weights, out, width, colsLeft, colsFromOrigin, 1);
}

template <typename T>
void HRowC3(const T* src, const int32_t* index, const float* weights, float* out, int32_t width,
            int32_t colsLeft, int32_t colsFromOrigin, int32_t pixelStride)
{
    BorderRow<T, 3>(src, index, weights, out, width, colsLeft, colsFromOrigin, pixelStride);
}

template <typename T>
void HRowC4(const T* src, const int32_t* index, const float* weights, float* out, int32_t width,
            int32_t colsLeft, int32_t colsFromOrigin)
{
    BorderRow<T, 4>(src, index, weights, out, width, colsLeft, colsFromOrigin, 4);
}

template <typename T>
void InteriorHRowC1(const T* src, const int32_t* index, const float* weights, float* out,
                    int32_t width)
{
    InteriorRow<T, 1>(src, index, weights, out, width, 1);
}

template <typename T>
void InteriorHRowC3(const T* src, const int32_t* index, const float* weights, float* out,
                    int32_t width, int32_t pixelStride)
{
    InteriorRow<T, 3>(src, index, weights, out, width, pixelStride);
}

template <typename T>
void InteriorHRowC4(const T* src, const int32_t* index, const float* weights, float* out,
                    int32_t width)
{
    InteriorRow<T, 4>(src, index, weights, out, width, 4);
}

inline double Combine(const float* const rows[6], int64_t i, const float* w)
{
    return double(w[0]) * double(rows[0][i]) + double(w[1]) * double(rows[1][i]) +
           double(w[2]) * double(rows[2][i]) + double(w[3]) * double(rows[3][i]) +
           double(w[4]) * double(rows[4][i]) + double(w[5]) * double(rows[5][i]);
}

template <typename T>
void VRowC1(T* dst, int32_t count, const float* weights, const float* const rows[6])
{
    for (int32_t i = 0; i < count; ++i)
        dst[i] = ConvertBiasedDouble<T>(Combine(rows, i, weights));
}

template <typename T>
void VRowAC4(T* dst, int32_t pixels, const float* weights, const float* const rows[6])
{
    for (int64_t j = 0; j < 3 * int64_t(pixels); ++j)
        dst[ThreeOfFourPosition(j)] = ConvertBiasedDouble<T>(Combine(rows, j, weights));
}

constexpr auto PlainLanczosHRow8u_C1 = &HRowC1<uint8_t>;
constexpr auto PlainLanczosHRow8u_C3 = &HRowC3<uint8_t>;
constexpr auto PlainLanczosHRow8u_C4 = &HRowC4<uint8_t>;
constexpr auto PlainLanczosHRow16u_C1 = &HRowC1<uint16_t>;
constexpr auto PlainLanczosHRow16u_C3 = &HRowC3<uint16_t>;
constexpr auto PlainLanczosHRow16u_C4 = &HRowC4<uint16_t>;
constexpr auto PlainLanczosHRow32f_C1 = &HRowC1<float>;
constexpr auto PlainLanczosHRow32f_C3 = &HRowC3<float>;
constexpr auto PlainLanczosHRow32f_C4 = &HRowC4<float>;

constexpr auto PlainLanczosInteriorHRow8u_C1 = &InteriorHRowC1<uint8_t>;
constexpr auto PlainLanczosInteriorHRow8u_C3 = &InteriorHRowC3<uint8_t>;
constexpr auto PlainLanczosInteriorHRow8u_C4 = &InteriorHRowC4<uint8_t>;
constexpr auto PlainLanczosInteriorHRow16u_C1 = &InteriorHRowC1<uint16_t>;
constexpr auto PlainLanczosInteriorHRow16u_C3 = &InteriorHRowC3<uint16_t>;
constexpr auto PlainLanczosInteriorHRow16u_C4 = &InteriorHRowC4<uint16_t>;
constexpr auto PlainLanczosInteriorHRow32f_C1 = &InteriorHRowC1<float>;
constexpr auto PlainLanczosInteriorHRow32f_C3 = &InteriorHRowC3<float>;
constexpr auto PlainLanczosInteriorHRow32f_C4 = &InteriorHRowC4<float>;
constexpr auto PlainLanczosInteriorHRow16s_C1 = &InteriorHRowC1<int16_t>;
constexpr auto PlainLanczosInteriorHRow16s_C3 = &InteriorHRowC3<int16_t>;
constexpr auto PlainLanczosInteriorHRow16s_C4 = &InteriorHRowC4<int16_t>;

constexpr auto PlainLanczosVRow8u_C1 = &VRowC1<uint8_t>;
constexpr auto PlainLanczosVRow8u_AC4 = &VRowAC4<uint8_t>;
constexpr auto PlainLanczosVRow16u_C1 = &VRowC1<uint16_t>;
constexpr auto PlainLanczosVRow16u_AC4 = &VRowAC4<uint16_t>;
constexpr auto PlainLanczosVRow32f_C1 = &VRowC1<float>;
constexpr auto PlainLanczosVRow32f_AC4 = &VRowAC4<float>;
constexpr auto PlainLanczosVRow16s_C1 = &VRowC1<int16_t>;
constexpr auto PlainLanczosVRow16s_AC4 = &VRowAC4<int16_t>;

using PlainLanczosPasses8u =
    LanczosPassSet<uint8_t, PlainLanczosHRow8u_C1, PlainLanczosHRow8u_C3, PlainLanczosHRow8u_C4,
                   PlainLanczosInteriorHRow8u_C1, PlainLanczosInteriorHRow8u_C3,
                   PlainLanczosInteriorHRow8u_C4, PlainLanczosVRow8u_C1, PlainLanczosVRow8u_AC4,
                   &CopyFloatsAlt>;
using PlainLanczosPasses16u =
    LanczosPassSet<uint16_t, PlainLanczosHRow16u_C1, PlainLanczosHRow16u_C3,
                   PlainLanczosHRow16u_C4, PlainLanczosInteriorHRow16u_C1,
                   PlainLanczosInteriorHRow16u_C3, PlainLanczosInteriorHRow16u_C4,
                   PlainLanczosVRow16u_C1, PlainLanczosVRow16u_AC4, &CopyFloatsAlt>;
using PlainLanczosPasses32f =
    LanczosPassSet<float, PlainLanczosHRow32f_C1, PlainLanczosHRow32f_C3, PlainLanczosHRow32f_C4,
                   PlainLanczosInteriorHRow32f_C1, PlainLanczosInteriorHRow32f_C3,
                   PlainLanczosInteriorHRow32f_C4, PlainLanczosVRow32f_C1,
                   PlainLanczosVRow32f_AC4, &CopyFloatsAlt>;
// Signed samples have interior kernels only.
using PlainLanczosPasses16s =
    LanczosPassSet<int16_t, nullptr, nullptr, nullptr, PlainLanczosInteriorHRow16s_C1,
                   PlainLanczosInteriorHRow16s_C3, PlainLanczosInteriorHRow16s_C4,
                   PlainLanczosVRow16s_C1, PlainLanczosVRow16s_AC4, &CopyFloatsAlt>;

} // namespace

void PlainLanczosRows8u_MC(const ResizeKernelArgs& args)
{
    LanczosRows<PlainLanczosPasses8u, true, true>(args);
}

void PlainLanczosRows16u_MC(const ResizeKernelArgs& args)
{
    LanczosRows<PlainLanczosPasses16u, true, true>(args);
}

void PlainLanczosRows32f_MC(const ResizeKernelArgs& args)
{
    LanczosRows<PlainLanczosPasses32f, true, true>(args);
}

void PlainLanczosRows8u_C1(const ResizeKernelArgs& args)
{
    LanczosRows<PlainLanczosPasses8u, false, true>(args);
}

void PlainLanczosRows16u_C1(const ResizeKernelArgs& args)
{
    LanczosRows<PlainLanczosPasses16u, false, true>(args);
}

void PlainLanczosRows32f_C1(const ResizeKernelArgs& args)
{
    LanczosRows<PlainLanczosPasses32f, false, true>(args);
}

void PlainLanczosInteriorRows8u_MC(const ResizeKernelArgs& args)
{
    LanczosRows<PlainLanczosPasses8u, true, false>(args);
}

void PlainLanczosInteriorRows16u_MC(const ResizeKernelArgs& args)
{
    LanczosRows<PlainLanczosPasses16u, true, false>(args);
}

void PlainLanczosInteriorRows32f_MC(const ResizeKernelArgs& args)
{
    LanczosRows<PlainLanczosPasses32f, true, false>(args);
}

void PlainLanczosInteriorRows16s_MC(const ResizeKernelArgs& args)
{
    LanczosRows<PlainLanczosPasses16s, true, false>(args);
}

void PlainLanczosInteriorRows8u_C1(const ResizeKernelArgs& args)
{
    LanczosRows<PlainLanczosPasses8u, false, false>(args);
}

void PlainLanczosInteriorRows16u_C1(const ResizeKernelArgs& args)
{
    LanczosRows<PlainLanczosPasses16u, false, false>(args);
}

void PlainLanczosInteriorRows32f_C1(const ResizeKernelArgs& args)
{
    LanczosRows<PlainLanczosPasses32f, false, false>(args);
}

void PlainLanczosInteriorRows16s_C1(const ResizeKernelArgs& args)
{
    LanczosRows<PlainLanczosPasses16s, false, false>(args);
}

} // namespace imaging
