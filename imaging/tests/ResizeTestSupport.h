// Helpers of the resize tests: random data, destination planes with canary samples around every
// row, sources that end exactly at their allocation's end, and random kernel tables of the kinds
// the engine builds.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace imaging_test {

template <typename T>
T RandomSample(std::mt19937& rng)
{
    if constexpr (std::is_floating_point_v<T>)
        return T(std::uniform_real_distribution<double>(-1000.0, 1000.0)(rng));
    else
        return T(rng());
}

template <typename T>
std::vector<T> RandomSamples(size_t n, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<T> v(n);
    for (auto& s : v)
        s = RandomSample<T>(rng);
    return v;
}

// A destination of `rows` rows of `width` samples, each row inside `guard` canary samples on
// either side; Intact() tells whether every canary survived. Rows start `misalign` bytes past a
// 16-byte boundary of the row stride, to catch stray aligned stores.
template <typename T>
class GuardedPlane {
public:
    static constexpr int kGuard = 8;

    GuardedPlane(int width, int rows, int misalign = 0, uint32_t seed = 99)
        : width_(width), rows_(rows), step_(width + 2 * kGuard + 5)
    {
        bytes_.resize(size_t(step_) * sizeof(T) * size_t(std::max(rows, 1)) + 64);
        std::mt19937 rng(seed);
        for (auto& b : bytes_)
            b = uint8_t(rng());
        base_ = bytes_.data() + (16 - reinterpret_cast<uintptr_t>(bytes_.data()) % 16) % 16 +
                size_t(misalign);
        original_ = bytes_;
    }

    T* Row(int r) { return reinterpret_cast<T*>(base_) + int64_t(r) * step_ + kGuard; }
    T* Data() { return Row(0); }
    int Step() const { return step_; }             // samples
    int StepBytes() const { return step_ * int(sizeof(T)); }

    T At(int r, int i) const
    {
        T v;
        std::memcpy(&v, base_ + (int64_t(r) * step_ + kGuard + i) * int64_t(sizeof(T)), sizeof(T));
        return v;
    }

    // Bytes outside [row start, row start + width) of every row, and past the last row, unchanged.
    bool Intact() const
    {
        const size_t start = size_t(base_ - bytes_.data());
        for (size_t b = 0; b < bytes_.size(); ++b) {
            if (b >= start) {
                const int64_t sample = int64_t(b - start) / int64_t(sizeof(T));
                const int64_t row = sample / step_;
                const int64_t column = sample % step_ - kGuard;
                if (row < rows_ && column >= 0 && column < width_)
                    continue;
            }
            if (bytes_[b] != original_[b])
                return false;
        }
        return true;
    }

    // The original contents, for checks of what a call must leave alone.
    T Original(int r, int i) const
    {
        T v;
        const size_t at = size_t(base_ - bytes_.data()) +
                          size_t((int64_t(r) * step_ + kGuard + i) * int64_t(sizeof(T)));
        std::memcpy(&v, original_.data() + at, sizeof(T));
        return v;
    }

private:
    int width_;
    int rows_;
    int step_;
    std::vector<uint8_t> bytes_;
    std::vector<uint8_t> original_;
    uint8_t* base_ = nullptr;
};

// A source picture whose last byte is the last byte of its heap block, so that AddressSanitizer
// reports any read past the picture.
template <typename T>
class TightSource {
public:
    TightSource(int samplesPerRow, int rows, uint32_t seed)
        : step_(samplesPerRow), rows_(rows),
          data_(new T[size_t(samplesPerRow) * size_t(rows)])
    {
        const auto values = RandomSamples<T>(size_t(samplesPerRow) * size_t(rows), seed);
        std::copy(values.begin(), values.end(), data_.get());
    }
    T* Data() { return data_.get(); }
    const T* Row(int r) const { return data_.get() + int64_t(r) * step_; }
    int Step() const { return step_; }
    int StepBytes() const { return step_ * int(sizeof(T)); }

private:
    int step_;
    int rows_;
    std::unique_ptr<T[]> data_;
};

// The bit patterns of a run of floats, so that comparisons are exact (not-a-number and the sign of
// zero included).
inline std::vector<uint32_t> FloatBits(const std::vector<float>& v)
{
    std::vector<uint32_t> bits(v.size());
    for (size_t i = 0; i < v.size(); ++i)
        std::memcpy(&bits[i], &v[i], 4);
    return bits;
}

// Row offsets in rows (not yet times the step): non-decreasing, starting anywhere in [0, jump),
// advancing by 0 to maxJump rows, all below `rows`.
inline std::vector<int32_t> RandomRowIndices(int count, int rows, int maxJump, std::mt19937& rng)
{
    std::vector<int32_t> v(static_cast<size_t>(count));
    int32_t r = int32_t(rng() % uint32_t(std::min(rows, maxJump + 1)));
    for (auto& x : v) {
        x = std::min(r, rows - 1);
        r += int32_t(rng() % uint32_t(maxJump + 1));
    }
    return v;
}

} // namespace imaging_test
