// How the cubic, four-tap and Lanczos vertical passes turn a float result into a sample, and where
// it goes in a row of four-sample pixels of which three are written. A bias
// just above one half is added, the sum truncated toward zero and saturated to the type's range.
// The vector paths add the single-precision bias; the one-at-a-time tail of the cubic vertical
// passes and the plain kernels add theirs in double precision. Float samples take the value as it is.
//
// A result beyond the range of a 32-bit integer, or not a number, has no truncation; such results
// saturate like any other (a huge positive value gives the type's maximum, not its minimum) and
// not-a-number gives 0. The vector passes clamp in float before converting, so that their
// conversion instruction never sees such a value, and give the same samples as these functions.
#pragma once

#include <algorithm>
#include <cstdint>
#include <type_traits>

namespace imaging {

// One unit in the last place above 0.5 in single precision (bit pattern 0x3F000002).
inline constexpr float kSampleBias = 0.50000012f;
// The cubic tail's bias, added to the result widened to double.
inline constexpr double kSampleBiasTail = 0.5000001;

template <typename T> struct SampleRange {
    static constexpr int32_t kLow = std::is_signed_v<T> ? -32768 : 0;
    static constexpr int32_t kHigh =
        std::is_same_v<T, uint8_t> ? 255 : (std::is_signed_v<T> ? 32767 : 65535);
};

// v + 0.50000012 in single precision, truncated and saturated; floats unchanged.
template <typename T> inline T ConvertBiased(float v)
{
    if constexpr (std::is_same_v<T, float>) {
        return v;
    } else {
        const float biased = v + kSampleBias;
        if (biased != biased)
            return T(0);
        const float clamped =
            std::min(std::max(biased, float(SampleRange<T>::kLow)), float(SampleRange<T>::kHigh));
        return T(int32_t(clamped));
    }
}

// v + 0.5000001 in double precision, truncated and saturated; floats rounded to single
// precision. The plain kernels' conversion, which carries their double-precision sums.
template <typename T> inline T ConvertBiasedDouble(double v)
{
    if constexpr (std::is_same_v<T, float>) {
        return float(v);
    } else {
        const double biased = v + kSampleBiasTail;
        if (biased != biased)
            return T(0);
        const double clamped =
            std::min(std::max(biased, double(SampleRange<T>::kLow)), double(SampleRange<T>::kHigh));
        return T(int32_t(clamped));
    }
}

// double(v) + 0.5000001, truncated and saturated; floats unchanged.
template <typename T> inline T ConvertBiasedTail(float v)
{
    return ConvertBiasedDouble<T>(double(v));
}

// Where filtered sample j of a three-channel run goes in a row of four-sample pixels.
inline int64_t ThreeOfFourPosition(int64_t j)
{
    return 4 * (j / 3) + j % 3;
}

} // namespace imaging
