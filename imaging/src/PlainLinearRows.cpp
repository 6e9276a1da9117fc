// The plain set's linear kernels (slots 60-67): the two-row cache over scalar passes. Integer
// samples work in Q14 fixed point as the vector set does, with every result saturated to its
// type, so that weights no engine builds give the nearest representable value rather than a
// wrapped one; floats blend in double precision, b f + a (1 - f) down the rows.
#include "ResizeKernels.h"
#include "ResizeLinearArithmetic.h"
#include "ResizeRowDrivers.h"

namespace imaging {
namespace {

// 8u: filtered rows hold the sample times 64. The horizontal pass is the vector set's (it already
// saturates); the vertical sum is formed in 64 bits, so it cannot wrap before it saturates.
struct PlainLinear8u : LinearArithmetic8u {
    static Sample Vertical(Filtered upper, Filtered lower, RowWeight w)
    {
        const int64_t v = int64_t(upper) * (16384 - int64_t(w)) + int64_t(lower) * w + (1 << 19);
        return SaturateTo<Sample>(v >> 20, 0, 255);
    }
};

// 16u and 16s: 64-bit sums shifted by 14 with rounding 8192, saturated to the type.
struct PlainLinear16u : LinearArithmetic16u {};
struct PlainLinear16s : LinearArithmetic16s {};

struct PlainLinear32f {
    using Sample = float;
    using Filtered = float;
    using ColumnWeight = float;
    using RowWeight = float;
    static constexpr int kColumnWeights = 1;

    static Filtered Horizontal(Sample p0, Sample p1, const ColumnWeight* t)
    {
        const double a = p0;
        return float(a + (double(p1) - a) * double(t[0]));
    }
    static Sample Vertical(Filtered upper, Filtered lower, RowWeight f)
    {
        return float(double(lower) * double(f) + double(upper) * (1.0 - double(f)));
    }
};

constexpr auto PlainLinearHRow8u_C1 = &LinearHorizontalC1<PlainLinear8u>;
constexpr auto PlainLinearHRow8u_C3 = &LinearHorizontalC3<PlainLinear8u>;
constexpr auto PlainLinearHRow8u_C4 = &LinearHorizontalC4<PlainLinear8u>;
constexpr auto PlainLinearVRow8u = &LinearVerticalPacked<PlainLinear8u>;
constexpr auto PlainLinearVRow8u_AC4 = &LinearVerticalAC4<PlainLinear8u>;
constexpr auto PlainLinearHRow16u_C1 = &LinearHorizontalC1<PlainLinear16u>;
constexpr auto PlainLinearHRow16u_C3 = &LinearHorizontalC3<PlainLinear16u>;
constexpr auto PlainLinearHRow16u_C4 = &LinearHorizontalC4<PlainLinear16u>;
constexpr auto PlainLinearVRow16u = &LinearVerticalPacked<PlainLinear16u>;
constexpr auto PlainLinearVRow16u_AC4 = &LinearVerticalAC4<PlainLinear16u>;
constexpr auto PlainLinearHRow16s_C1 = &LinearHorizontalC1<PlainLinear16s>;
constexpr auto PlainLinearHRow16s_C3 = &LinearHorizontalC3<PlainLinear16s>;
constexpr auto PlainLinearHRow16s_C4 = &LinearHorizontalC4<PlainLinear16s>;
constexpr auto PlainLinearVRow16s = &LinearVerticalPacked<PlainLinear16s>;
constexpr auto PlainLinearVRow16s_AC4 = &LinearVerticalAC4<PlainLinear16s>;
constexpr auto PlainLinearHRow32f_C1 = &LinearHorizontalC1<PlainLinear32f>;
constexpr auto PlainLinearHRow32f_C3 = &LinearHorizontalC3<PlainLinear32f>;
constexpr auto PlainLinearHRow32f_C4 = &LinearHorizontalC4<PlainLinear32f>;
constexpr auto PlainLinearVRow32f = &LinearVerticalPacked<PlainLinear32f>;
constexpr auto PlainLinearVRow32f_AC4 = &LinearVerticalAC4<PlainLinear32f>;

using PlainLinearPasses8u =
    LinearPassSet<PlainLinear8u, PlainLinearHRow8u_C1, PlainLinearHRow8u_C3, PlainLinearHRow8u_C4,
                  PlainLinearVRow8u, PlainLinearVRow8u_AC4>;
using PlainLinearPasses16u =
    LinearPassSet<PlainLinear16u, PlainLinearHRow16u_C1, PlainLinearHRow16u_C3,
                  PlainLinearHRow16u_C4, PlainLinearVRow16u, PlainLinearVRow16u_AC4>;
using PlainLinearPasses16s =
    LinearPassSet<PlainLinear16s, PlainLinearHRow16s_C1, PlainLinearHRow16s_C3,
                  PlainLinearHRow16s_C4, PlainLinearVRow16s, PlainLinearVRow16s_AC4>;
using PlainLinearPasses32f =
    LinearPassSet<PlainLinear32f, PlainLinearHRow32f_C1, PlainLinearHRow32f_C3,
                  PlainLinearHRow32f_C4, PlainLinearVRow32f, PlainLinearVRow32f_AC4>;

} // namespace

void PlainLinearRows8u_MC(const ResizeKernelArgs& args)
{
    LinearRows<PlainLinearPasses8u, true>(args);
}

void PlainLinearRows16u_MC(const ResizeKernelArgs& args)
{
    LinearRows<PlainLinearPasses16u, true>(args);
}

void PlainLinearRows32f_MC(const ResizeKernelArgs& args)
{
    LinearRows<PlainLinearPasses32f, true>(args);
}

void PlainLinearRows16s_MC(const ResizeKernelArgs& args)
{
    LinearRows<PlainLinearPasses16s, true>(args);
}

void PlainLinearRows8u_C1(const ResizeKernelArgs& args)
{
    LinearRows<PlainLinearPasses8u, false>(args);
}

void PlainLinearRows16u_C1(const ResizeKernelArgs& args)
{
    LinearRows<PlainLinearPasses16u, false>(args);
}

void PlainLinearRows32f_C1(const ResizeKernelArgs& args)
{
    LinearRows<PlainLinearPasses32f, false>(args);
}

void PlainLinearRows16s_C1(const ResizeKernelArgs& args)
{
    LinearRows<PlainLinearPasses16s, false>(args);
}

} // namespace imaging
