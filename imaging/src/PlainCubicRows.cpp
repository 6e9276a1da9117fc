// The plain set's cubic and four-tap kernels (slots 68-81): the four-row ring over scalar passes
// in double precision. Cubic: the cubic through the four samples at -1, 0, 1, 2, evaluated at the
// position's fraction t in Newton's form, u D1 + (a D2 + (p0 + D3 b)). Four-tap: the four weights
// as given, summed from tap 3 down to tap 0 across and from tap 0 up to tap 3 down. Filtered rows
// are stored as floats; integer results are the sum plus 0.5000001, truncated and saturated.
#include "ResizeFloatConversion.h"
#include "ResizeKernels.h"
#include "ResizeRowDrivers.h"

namespace imaging {
namespace {

struct PlainCubicFormula {
    static constexpr int kColumnFloats = 1;

    static double Value(double p0, double p1, double p2, double p3, double t)
    {
        const double u = 1.0 + t;
        const double a = t * u * 0.5;
        const double b = (t - 1.0) * a / 3.0;
        const double d1 = p1 - p0;
        const double d2 = (p2 - p1) - (p1 - p0);
        const double d3 = (p1 - p2 - p2 + p3) - d2;
        return u * d1 + (a * d2 + (p0 + d3 * b));
    }
    static double Across(double p0, double p1, double p2, double p3, const float* t)
    {
        return Value(p0, p1, p2, p3, double(*t));
    }
    static double Down(const float* const rows[4], int64_t i, float t)
    {
        return Value(rows[0][i], rows[1][i], rows[2][i], rows[3][i], double(t));
    }
};

struct PlainFourTapFormula {
    static constexpr int kColumnFloats = 4;

    static double Across(double p0, double p1, double p2, double p3, const float* w)
    {
        return p3 * double(w[3]) + p2 * double(w[2]) + p1 * double(w[1]) + p0 * double(w[0]);
    }
    static double Down(const float* const rows[4], int64_t i, const float* w)
    {
        return double(rows[0][i]) * double(w[0]) + double(rows[1][i]) * double(w[1]) +
               double(rows[2][i]) * double(w[2]) + double(rows[3][i]) * double(w[3]);
    }
};

// Channels values a pixel from taps `distance` samples apart around each column's base sample.
template <typename T, class F, int Channels>
void FourTapRow(const T* src, int32_t width, const int32_t* index, const float* weights,
                float* out, int64_t distance)
{
    for (int32_t i = 0; i < width; ++i) {
        const T* p = src + index[i];
        const float* w = weights + int64_t(i) * F::kColumnFloats;
        for (int c = 0; c < Channels; ++c)
            out[int64_t(i) * Channels + c] =
                float(F::Across(double(p[c - distance]), double(p[c]), double(p[c + distance]),
                                double(p[c + 2 * distance]), w));
    }
}

template <typename T, class F>
void HRowC1(const T* src, int32_t width, const int32_t* index, const float* weights, float* out)
{
    FourTapRow<T, F, 1>(src, width, index, weights, out, 1);
}

template <typename T, class F>
void HRowC3(const T* src, int32_t width, const int32_t* index, const float* weights, float* out,
            int32_t pixelStride)
{
    FourTapRow<T, F, 3>(src, width, index, weights, out, pixelStride);
}

template <typename T, class F>
void HRowC4(const T* src, int32_t width, const int32_t* index, const float* weights, float* out)
{
    FourTapRow<T, F, 4>(src, width, index, weights, out, 4);
}

template <typename T, class F, typename RowWeight>
void VRowPacked(T* dst, int32_t count, RowWeight w, const float* const rows[4])
{
    for (int32_t i = 0; i < count; ++i)
        dst[i] = ConvertBiasedDouble<T>(F::Down(rows, i, w));
}

template <typename T, class F, typename RowWeight>
void VRowAC4(T* dst, int32_t pixels, RowWeight w, const float* const rows[4])
{
    for (int64_t j = 0; j < 3 * int64_t(pixels); ++j)
        dst[ThreeOfFourPosition(j)] = ConvertBiasedDouble<T>(F::Down(rows, j, w));
}

using Cubic = PlainCubicFormula;
using FourTap = PlainFourTapFormula;

constexpr auto PlainCubicHRow8u_C1 = &HRowC1<uint8_t, Cubic>;
constexpr auto PlainCubicHRow8u_C3 = &HRowC3<uint8_t, Cubic>;
constexpr auto PlainCubicHRow8u_C4 = &HRowC4<uint8_t, Cubic>;
constexpr auto PlainCubicVRow8u = &VRowPacked<uint8_t, Cubic, float>;
constexpr auto PlainCubicVRow8u_AC4 = &VRowAC4<uint8_t, Cubic, float>;
constexpr auto PlainCubicHRow16u_C1 = &HRowC1<uint16_t, Cubic>;
constexpr auto PlainCubicHRow16u_C3 = &HRowC3<uint16_t, Cubic>;
constexpr auto PlainCubicHRow16u_C4 = &HRowC4<uint16_t, Cubic>;
constexpr auto PlainCubicVRow16u = &VRowPacked<uint16_t, Cubic, float>;
constexpr auto PlainCubicVRow16u_AC4 = &VRowAC4<uint16_t, Cubic, float>;
constexpr auto PlainCubicHRow32f_C1 = &HRowC1<float, Cubic>;
constexpr auto PlainCubicHRow32f_C3 = &HRowC3<float, Cubic>;
constexpr auto PlainCubicHRow32f_C4 = &HRowC4<float, Cubic>;
constexpr auto PlainCubicVRow32f = &VRowPacked<float, Cubic, float>;
constexpr auto PlainCubicVRow32f_AC4 = &VRowAC4<float, Cubic, float>;

constexpr auto PlainFourTapHRow8u_C1 = &HRowC1<uint8_t, FourTap>;
constexpr auto PlainFourTapHRow8u_C3 = &HRowC3<uint8_t, FourTap>;
constexpr auto PlainFourTapHRow8u_C4 = &HRowC4<uint8_t, FourTap>;
constexpr auto PlainFourTapVRow8u = &VRowPacked<uint8_t, FourTap, const float*>;
constexpr auto PlainFourTapVRow8u_AC4 = &VRowAC4<uint8_t, FourTap, const float*>;
constexpr auto PlainFourTapHRow16u_C1 = &HRowC1<uint16_t, FourTap>;
constexpr auto PlainFourTapHRow16u_C3 = &HRowC3<uint16_t, FourTap>;
constexpr auto PlainFourTapHRow16u_C4 = &HRowC4<uint16_t, FourTap>;
constexpr auto PlainFourTapVRow16u = &VRowPacked<uint16_t, FourTap, const float*>;
constexpr auto PlainFourTapVRow16u_AC4 = &VRowAC4<uint16_t, FourTap, const float*>;
constexpr auto PlainFourTapHRow32f_C1 = &HRowC1<float, FourTap>;
constexpr auto PlainFourTapHRow32f_C3 = &HRowC3<float, FourTap>;
constexpr auto PlainFourTapHRow32f_C4 = &HRowC4<float, FourTap>;
constexpr auto PlainFourTapVRow32f = &VRowPacked<float, FourTap, const float*>;
constexpr auto PlainFourTapVRow32f_AC4 = &VRowAC4<float, FourTap, const float*>;
constexpr auto PlainFourTapHRow16s_C1 = &HRowC1<int16_t, FourTap>;
constexpr auto PlainFourTapHRow16s_C3 = &HRowC3<int16_t, FourTap>;
constexpr auto PlainFourTapHRow16s_C4 = &HRowC4<int16_t, FourTap>;
constexpr auto PlainFourTapVRow16s = &VRowPacked<int16_t, FourTap, const float*>;
constexpr auto PlainFourTapVRow16s_AC4 = &VRowAC4<int16_t, FourTap, const float*>;

using PlainCubicPasses8u =
    CubicPassSet<uint8_t, PlainCubicHRow8u_C1, PlainCubicHRow8u_C3, PlainCubicHRow8u_C4,
                 PlainCubicVRow8u, PlainCubicVRow8u_AC4, 1>;
using PlainCubicPasses16u =
    CubicPassSet<uint16_t, PlainCubicHRow16u_C1, PlainCubicHRow16u_C3, PlainCubicHRow16u_C4,
                 PlainCubicVRow16u, PlainCubicVRow16u_AC4, 1>;
using PlainCubicPasses32f =
    CubicPassSet<float, PlainCubicHRow32f_C1, PlainCubicHRow32f_C3, PlainCubicHRow32f_C4,
                 PlainCubicVRow32f, PlainCubicVRow32f_AC4, 1>;
using PlainFourTapPasses8u =
    CubicPassSet<uint8_t, PlainFourTapHRow8u_C1, PlainFourTapHRow8u_C3, PlainFourTapHRow8u_C4,
                 PlainFourTapVRow8u, PlainFourTapVRow8u_AC4, 4>;
using PlainFourTapPasses16u =
    CubicPassSet<uint16_t, PlainFourTapHRow16u_C1, PlainFourTapHRow16u_C3,
                 PlainFourTapHRow16u_C4, PlainFourTapVRow16u, PlainFourTapVRow16u_AC4, 4>;
using PlainFourTapPasses32f =
    CubicPassSet<float, PlainFourTapHRow32f_C1, PlainFourTapHRow32f_C3, PlainFourTapHRow32f_C4,
                 PlainFourTapVRow32f, PlainFourTapVRow32f_AC4, 4>;
using PlainFourTapPasses16s =
    CubicPassSet<int16_t, PlainFourTapHRow16s_C1, PlainFourTapHRow16s_C3,
                 PlainFourTapHRow16s_C4, PlainFourTapVRow16s, PlainFourTapVRow16s_AC4, 4>;

} // namespace

void PlainCubicRows8u_MC(const ResizeKernelArgs& args)
{
    CubicRows<PlainCubicPasses8u, true>(args);
}

void PlainCubicRows16u_MC(const ResizeKernelArgs& args)
{
    CubicRows<PlainCubicPasses16u, true>(args);
}

void PlainCubicRows32f_MC(const ResizeKernelArgs& args)
{
    CubicRows<PlainCubicPasses32f, true>(args);
}

void PlainCubicRows8u_C1(const ResizeKernelArgs& args)
{
    CubicRows<PlainCubicPasses8u, false>(args);
}

void PlainCubicRows16u_C1(const ResizeKernelArgs& args)
{
    CubicRows<PlainCubicPasses16u, false>(args);
}

void PlainCubicRows32f_C1(const ResizeKernelArgs& args)
{
    CubicRows<PlainCubicPasses32f, false>(args);
}

void PlainFourTapRows8u_MC(const ResizeKernelArgs& args)
{
    CubicRows<PlainFourTapPasses8u, true>(args);
}

void PlainFourTapRows16u_MC(const ResizeKernelArgs& args)
{
    CubicRows<PlainFourTapPasses16u, true>(args);
}

void PlainFourTapRows32f_MC(const ResizeKernelArgs& args)
{
    CubicRows<PlainFourTapPasses32f, true>(args);
}

void PlainFourTapRows16s_MC(const ResizeKernelArgs& args)
{
    CubicRows<PlainFourTapPasses16s, true>(args);
}

void PlainFourTapRows8u_C1(const ResizeKernelArgs& args)
{
    CubicRows<PlainFourTapPasses8u, false>(args);
}

void PlainFourTapRows16u_C1(const ResizeKernelArgs& args)
{
    CubicRows<PlainFourTapPasses16u, false>(args);
}

void PlainFourTapRows32f_C1(const ResizeKernelArgs& args)
{
    CubicRows<PlainFourTapPasses32f, false>(args);
}

void PlainFourTapRows16s_C1(const ResizeKernelArgs& args)
{
    CubicRows<PlainFourTapPasses16s, false>(args);
}

} // namespace imaging
