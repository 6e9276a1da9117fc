// MulDiv: a product divided, through 64 bits, rounded half away from zero.
#include "um/winbase.h"

#include <cstdint>
#include <limits>

extern "C" int WINAPI MulDiv(int nNumber, int nNumerator, int nDenominator)
{
    if (nDenominator == 0)
        return -1;
    const int64_t product = static_cast<int64_t>(nNumber) * nNumerator;
    int64_t magnitude = product < 0 ? -product : product;
    const int64_t divisor = nDenominator < 0 ? -static_cast<int64_t>(nDenominator) : nDenominator;
    magnitude = (magnitude + divisor / 2) / divisor;
    const int64_t result = (product < 0) != (nDenominator < 0) ? -magnitude : magnitude;
    if (result > std::numeric_limits<int>::max() || result < std::numeric_limits<int>::min())
        return -1;
    return static_cast<int>(result);
}
