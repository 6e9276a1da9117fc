// The per-sample arithmetic of the linear resize passes, one policy per sample type, and the
// scalar row loops over it. The 16u, 16s and 32f passes are these loops; the 8u vector passes
// have their plain equivalents here, so both sides share one statement of the formulas.
//
// Integer weights are Q14 (16384 = 1.0). A column carries a signed pair (w0 for the base pixel,
// w1 for the next); a row carries one unsigned weight w for the lower of its two filtered rows.
#pragma once

#include <algorithm>
#include <cstdint>
#include <type_traits>

namespace imaging {

template <typename T>
inline T SaturateTo(int64_t v, int64_t low, int64_t high)
{
    return T(std::clamp(v, low, high));
}

// 8u: filtered rows hold the sample times 64 (Q6). The vertical sum is formed as the 16-bit
// multiply-add of the vector pass forms it: both products and their sum in 32 bits, wrapping
// only for weights no engine builds.
struct LinearArithmetic8u {
    using Sample = uint8_t;
    using Filtered = int16_t;
    using ColumnWeight = int16_t;
    using RowWeight = uint16_t;
    static constexpr int kColumnWeights = 2;

    static Filtered Horizontal(Sample p0, Sample p1, const ColumnWeight* w)
    {
        const int32_t v = int32_t(p0) * w[0] + int32_t(p1) * w[1] + 128;
        return SaturateTo<Filtered>(v >> 8, INT16_MIN, INT16_MAX);
    }
    static Sample Vertical(Filtered upper, Filtered lower, RowWeight w)
    {
        const auto wUpper = int16_t(uint16_t(16384 - w));
        const auto wLower = int16_t(w);
        const auto products = uint32_t(int64_t(upper) * wUpper + int64_t(lower) * wLower);
        const auto sum = int32_t(products + (1u << 19));
        return SaturateTo<Sample>(sum >> 20, 0, 255);
    }
};

// 16u and 16s: filtered rows in the sample's own scale; results saturate to the type's range,
// which weights summing to 16384 never leave.
template <typename T>
struct LinearArithmetic16 {
    using Sample = T;
    using Filtered = T;
    using ColumnWeight = int16_t;
    using RowWeight = uint16_t;
    static constexpr int kColumnWeights = 2;
    static constexpr int64_t kLow = std::is_signed_v<T> ? INT16_MIN : 0;
    static constexpr int64_t kHigh = std::is_signed_v<T> ? INT16_MAX : UINT16_MAX;

    static Filtered Horizontal(Sample p0, Sample p1, const ColumnWeight* w)
    {
        const int64_t v = int64_t(p0) * w[0] + int64_t(p1) * w[1] + 8192;
        return SaturateTo<Filtered>(v >> 14, kLow, kHigh);
    }
    static Sample Vertical(Filtered upper, Filtered lower, RowWeight w)
    {
        const int64_t v = int64_t(upper) * (16384 - int64_t(w)) + int64_t(lower) * w + 8192;
        return SaturateTo<Sample>(v >> 14, kLow, kHigh);
    }
};

using LinearArithmetic16u = LinearArithmetic16<uint16_t>;
using LinearArithmetic16s = LinearArithmetic16<int16_t>;

// 32f: a + (b - a) t across, r0 (1 - t) + r1 t down, in single precision.
struct LinearArithmetic32f {
    using Sample = float;
    using Filtered = float;
    using ColumnWeight = float;
    using RowWeight = float;
    static constexpr int kColumnWeights = 1;

    static Filtered Horizontal(Sample p0, Sample p1, const ColumnWeight* t)
    {
        return p0 + (p1 - p0) * t[0];
    }
    static Sample Vertical(Filtered upper, Filtered lower, RowWeight t)
    {
        return upper * (1.0f - t) + lower * t;
    }
};

// Horizontal passes: out receives width pixels of 1, 3 or 4 filtered values.
template <class A>
void LinearHorizontalC1(const typename A::Sample* src, int32_t width, const int32_t* index,
                        const typename A::ColumnWeight* weights, typename A::Filtered* out)
{
    for (int32_t i = 0; i < width; ++i) {
        const typename A::Sample* p = src + index[i];
        out[i] = A::Horizontal(p[0], p[1], weights + int64_t(i) * A::kColumnWeights);
    }
}

// Three channels of pixels pixelStride samples apart, packed three to a pixel in out.
template <class A>
void LinearHorizontalC3(const typename A::Sample* src, int32_t width, const int32_t* index,
                        const typename A::ColumnWeight* weights, typename A::Filtered* out,
                        int32_t pixelStride)
{
    for (int32_t i = 0; i < width; ++i) {
        const typename A::Sample* p = src + index[i];
        const typename A::ColumnWeight* w = weights + int64_t(i) * A::kColumnWeights;
        for (int c = 0; c < 3; ++c)
            out[3 * int64_t(i) + c] = A::Horizontal(p[c], p[pixelStride + c], w);
    }
}

template <class A>
void LinearHorizontalC4(const typename A::Sample* src, int32_t width, const int32_t* index,
                        const typename A::ColumnWeight* weights, typename A::Filtered* out)
{
    for (int32_t i = 0; i < width; ++i) {
        const typename A::Sample* p = src + index[i];
        const typename A::ColumnWeight* w = weights + int64_t(i) * A::kColumnWeights;
        for (int c = 0; c < 4; ++c)
            out[4 * int64_t(i) + c] = A::Horizontal(p[c], p[4 + c], w);
    }
}

// Vertical passes: count samples in one run, or (AC4) three of every four-sample pixel.
template <class A>
void LinearVerticalPacked(typename A::Sample* dst, int32_t count, typename A::RowWeight w,
                          const typename A::Filtered* upper, const typename A::Filtered* lower)
{
    for (int32_t i = 0; i < count; ++i)
        dst[i] = A::Vertical(upper[i], lower[i], w);
}

template <class A>
void LinearVerticalAC4(typename A::Sample* dst, int32_t pixels, typename A::RowWeight w,
                       const typename A::Filtered* upper, const typename A::Filtered* lower)
{
    for (int32_t i = 0; i < pixels; ++i)
        for (int c = 0; c < 3; ++c)
            dst[4 * int64_t(i) + c] = A::Vertical(upper[3 * int64_t(i) + c],
                                                  lower[3 * int64_t(i) + c], w);
}

} // namespace imaging
