// Rounding of doubles without the maths library: its routines pick their own instruction set at
// run time (floor, for one, runs an SSE4.1 rounding instruction on processors that have it), which
// would break the library's SSE3 limit. Each function equals its standard counterpart for every
// finite value, under the default rounding mode.
#pragma once

#include <emmintrin.h>

#include <cstdint>

namespace imaging {

// 2^52: from this magnitude on every double is a whole number.
inline constexpr double kWholeDoubles = 4503599627370496.0;

// Largest whole number not above x: x rounded to the nearest whole number by adding and
// subtracting 2^52 with x's sign, less 1 when that rounded up. Zeros (of either sign), values
// beyond 2^52, infinities and not-a-number come back as they are.
inline double FloorDouble(double x)
{
    if (x == 0.0 || !(x < kWholeDoubles && x > -kWholeDoubles))
        return x;
    const double shift = x < 0.0 ? -kWholeDoubles : kWholeDoubles;
    double rounded = (x + shift) - shift;
    if (rounded > x)
        rounded -= 1.0;
    return rounded;
}

// x rounded toward zero: below 2^52 in magnitude the processor's truncating conversion to a
// 64-bit integer is exact, and the sign of x is kept (so -0.3 gives -0.0).
inline double TruncateDouble(double x)
{
    if (!(x < kWholeDoubles && x > -kWholeDoubles))
        return x;
    const double whole = double(int64_t(x));
    return whole == 0.0 ? x * 0.0 : whole; // a zero with the sign of x
}

// The correctly rounded square root, by the processor's instruction.
inline double SquareRoot(double x)
{
    const __m128d v = _mm_set_sd(x);
    return _mm_cvtsd_f64(_mm_sqrt_sd(v, v));
}

} // namespace imaging
