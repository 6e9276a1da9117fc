// Scalar floating point and integer code of the kind the plain kernels hold: the plain rule must
// accept it.
#include <cmath>
#include <cstdint>

float WeightedSumSample(const float* values, const float* weights, int32_t n)
{
    float sum = 0.0f;
    for (int32_t i = 0; i < n; ++i)
        sum += values[i] * weights[i];
    return std::fabs(sum) > 1e30f ? -sum : sum;
}

int32_t RoundSample(double v)
{
    return int32_t(v + 0.5);
}
