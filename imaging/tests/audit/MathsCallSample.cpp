// Roundings left to the maths library: floor (which picks SSE4.1 at run time where it can), taken
// through a pointer so that the compiler cannot expand it, and sqrt (called for negative
// arguments, to set errno). Refused by both rules.
#include <cmath>

double FloorOfHalf(double x)
{
    double (*volatile floorOf)(double) = std::floor;
    return floorOf(x * 0.5);
}

double RootOf(double x)
{
    return std::sqrt(x);
}
