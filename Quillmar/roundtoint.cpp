// RoundToInt: ties to even worked out explicitly, so no floating-point mode set elsewhere changes
// it; the result saturates at the ends of int instead of overflowing, and NaN gives 0.
#include "roundtoint.h"

#include <climits>
#include <cmath>

int RoundToInt(double value)
{
    if (std::isnan(value))
        return 0;
    double rounded = std::floor(value);
    const double fraction = value - rounded;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(rounded, 2.0) != 0.0))
        rounded += 1.0;
    if (rounded >= static_cast<double>(INT_MAX))
        return INT_MAX;
    if (rounded <= static_cast<double>(INT_MIN))
        return INT_MIN;
    return static_cast<int>(rounded);
}
