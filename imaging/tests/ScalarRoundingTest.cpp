// The library's own floor, truncation and square root against the C library's, bit for bit, on
// the values where a rounding trick goes wrong: halves, neighbours of whole numbers, the 2^52
// boundary, signed zeros, infinities and not-a-number, and random values of every magnitude.
#include "ScalarRounding.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

using namespace imaging;

namespace {

uint64_t Bits(double v)
{
    uint64_t b;
    std::memcpy(&b, &v, 8);
    return b;
}

std::vector<double> EdgeValues()
{
    const double inf = std::numeric_limits<double>::infinity();
    std::vector<double> v = {0.0, 0.5, 1.0, 1.5, 2.5, 3.0, 1e-300, 4.9e-324, 0.49999999999999994,
                             1.0 - 1e-16, 1e-07, 1.0000001, 2.9999999, 4503599627370495.5,
                             4503599627370496.0, 4503599627370497.0, 9007199254740993.0, 1e300,
                             std::numeric_limits<double>::max(), inf};
    for (double whole : {1.0, 2.0, 3.0, 1080.0, 1.5e6, 4503599627370495.0}) {
        v.push_back(std::nextafter(whole, 0.0));
        v.push_back(std::nextafter(whole, inf));
    }
    const size_t n = v.size();
    for (size_t i = 0; i < n; ++i)
        v.push_back(-v[i]);
    return v;
}

} // namespace

TEST(ScalarRoundingTest, FloorAndTruncationEqualTheLibraryOnEdgeValues)
{
    for (double x : EdgeValues()) {
        EXPECT_EQ(Bits(FloorDouble(x)), Bits(std::floor(x))) << x;
        // Signed zeros aside (the library rounds -0.3 to -0.0, so do we), bit for bit too.
        EXPECT_EQ(Bits(TruncateDouble(x)), Bits(std::trunc(x))) << x;
    }
    EXPECT_TRUE(std::isnan(FloorDouble(std::numeric_limits<double>::quiet_NaN())));
    EXPECT_TRUE(std::isnan(TruncateDouble(-std::numeric_limits<double>::quiet_NaN())));
}

TEST(ScalarRoundingTest, FloorAndTruncationEqualTheLibraryOnRandomValues)
{
    std::mt19937_64 rng(21);
    std::uniform_real_distribution<double> exponent(-60.0, 60.0);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    for (int i = 0; i < 200000; ++i) {
        const double x = unit(rng) * std::exp2(exponent(rng));
        ASSERT_EQ(Bits(FloorDouble(x)), Bits(std::floor(x))) << x;
        ASSERT_EQ(Bits(TruncateDouble(x)), Bits(std::trunc(x))) << x;
    }
    // Ratios and window needs as the supersampling walk forms them.
    for (int num = 1; num <= 4000; ++num) {
        const double ratio = 1920.0 / (double(num) / 2.0 + 1.0);
        const double need = ratio - 0.3 + 1e-07;
        ASSERT_EQ(FloorDouble(ratio), std::floor(ratio)) << ratio;
        ASSERT_EQ(FloorDouble(need), std::floor(need)) << need;
    }
}

TEST(ScalarRoundingTest, SquareRootEqualsTheLibrary)
{
    std::mt19937_64 rng(5);
    for (int i = 0; i < 100000; ++i) {
        const double x = double(rng() >> 11) * double(rng() % 1000 + 1);
        ASSERT_EQ(Bits(SquareRoot(x)), Bits(std::sqrt(x))) << x;
    }
    EXPECT_EQ(SquareRoot(0.0), 0.0);
    EXPECT_EQ(SquareRoot(65025.0), 255.0);
    EXPECT_TRUE(std::isnan(SquareRoot(-1.0)));
}
