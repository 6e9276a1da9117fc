// NormDiffL2Plane: statuses in order, exact sums within bands, band boundaries, the 32,768-column
// chunks and the vector sum against the plain one.
#include <gtest/gtest.h>

#include "imaging/imaging.h"
#include "NormDiffL2.h"
#include "RowKernels.h"

#include <cmath>
#include <random>
#include <vector>

namespace {

std::vector<uint8_t> Random(size_t n, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v)
        b = uint8_t(rng());
    return v;
}

// The exact sum of squared differences of columns [x0, x1).
uint64_t NaiveSum(const uint8_t* a, int aStep, const uint8_t* b, int bStep, int x0, int x1, int h)
{
    uint64_t sum = 0;
    for (int r = 0; r < h; ++r)
        for (int x = x0; x < x1; ++x) {
            const int64_t d = int64_t(a[size_t(r) * aStep + x]) - b[size_t(r) * bStep + x];
            sum += uint64_t(d * d);
        }
    return sum;
}

} // namespace

TEST(NormDiffL2Plane, StatusesInOrderAndResultUntouchedOnError)
{
    uint8_t a[4] = {}, b[4] = {};
    double result = -1.0;
    EXPECT_EQ(NormDiffL2Plane(a, 0, b, 0, 0, 2, nullptr), StatusNullPointer);
    EXPECT_EQ(NormDiffL2Plane(nullptr, 2, b, 2, 2, 2, &result), StatusNullPointer);
    EXPECT_EQ(NormDiffL2Plane(a, 2, nullptr, 2, 2, 2, &result), StatusNullPointer);
    EXPECT_EQ(NormDiffL2Plane(a, 0, b, 0, 0, 2, &result), StatusSizeError);
    EXPECT_EQ(NormDiffL2Plane(a, 0, b, 2, 2, -2, &result), StatusSizeError);
    EXPECT_EQ(NormDiffL2Plane(a, 0, b, 2, 2, 2, &result), StatusStepError);
    EXPECT_EQ(NormDiffL2Plane(a, 2, b, -2, 2, 2, &result), StatusStepError);
    EXPECT_EQ(result, -1.0);
}

TEST(NormDiffL2Plane, SmallCases)
{
    const uint8_t zero = 0, full = 255;
    double result = -1.0;
    ASSERT_EQ(NormDiffL2Plane(&zero, 1, &full, 1, 1, 1, &result), StatusOk);
    EXPECT_EQ(result, 255.0);
    const auto plane = Random(64 * 9, 1);
    ASSERT_EQ(NormDiffL2Plane(plane.data(), 64, plane.data(), 64, 60, 9, &result), StatusOk);
    EXPECT_EQ(result, 0.0);
}

TEST(NormDiffL2Plane, ExactAtEveryWidthAndAlignment)
{
    const auto a = Random(100 * 6 + 32, 2), b = Random(100 * 6 + 32, 3);
    for (int width = 1; width <= 80; ++width) {
        for (int offset : {0, 1, 7}) {
            for (int step : {80, 96}) { // 96 keeps both planes 16-byte aligned at offset 0
                double result;
                ASSERT_EQ(NormDiffL2Plane(a.data() + offset, step, b.data() + offset, step, width,
                                          5, &result),
                          StatusOk);
                const uint64_t exact =
                    NaiveSum(a.data() + offset, step, b.data() + offset, step, 0, width, 5);
                ASSERT_EQ(result, std::sqrt(double(exact))) << width << " " << offset;
                EXPECT_EQ(imaging::SumSquaredDiffSse2(a.data() + offset, step, b.data() + offset,
                                                      step, width, 5),
                          imaging::SumSquaredDiffPlain(a.data() + offset, step,
                                                       b.data() + offset, step, width, 5));
            }
        }
    }
}

TEST(NormDiffL2Plane, BandsKeepTheSumExact)
{
    // 4096 columns: 8 rows a band (2,147,483,647 / (4096 x 65,025)), so 20 rows make 8 + 8 + 4.
    const int width = 4096, height = 20;
    std::vector<uint8_t> black(size_t(width) * height, 0), white(size_t(width) * height, 255);
    double result;
    ASSERT_EQ(NormDiffL2Plane(black.data(), width, white.data(), width, width, height, &result),
              StatusOk);
    EXPECT_EQ(result, std::sqrt(65025.0 * width * height));
    double sum;
    imaging::SumSquaredDiffRows(black.data(), width, white.data(), width, width, height, &sum);
    EXPECT_EQ(sum, 65025.0 * width * height);

    const int fw = 1920, fh = 1080;
    std::vector<uint8_t> frameA(size_t(fw) * fh, 0), frameB(size_t(fw) * fh, 255);
    ASSERT_EQ(NormDiffL2Plane(frameA.data(), fw, frameB.data(), fw, fw, fh, &result), StatusOk);
    EXPECT_EQ(result, std::sqrt(65025.0 * fw * fh));

    const auto a = Random(size_t(width) * height, 4), b = Random(size_t(width) * height, 5);
    ASSERT_EQ(NormDiffL2Plane(a.data(), width, b.data(), width, width, height, &result), StatusOk);
    EXPECT_EQ(result, std::sqrt(double(NaiveSum(a.data(), width, b.data(), width, 0, width, height))));
}

TEST(NormDiffL2Plane, WidePlanesAreMeasuredInChunks)
{
    const int width = 40000, height = 3;
    const auto a = Random(size_t(width) * height, 6), b = Random(size_t(width) * height, 7);
    double result;
    ASSERT_EQ(NormDiffL2Plane(a.data(), width, b.data(), width, width, height, &result), StatusOk);
    const double left = std::sqrt(double(NaiveSum(a.data(), width, b.data(), width, 0, 32768, height)));
    const double right =
        std::sqrt(double(NaiveSum(a.data(), width, b.data(), width, 32768, width, height)));
    EXPECT_EQ(result, std::sqrt(left * left + right * right));
    const double unchunked =
        std::sqrt(double(NaiveSum(a.data(), width, b.data(), width, 0, width, height)));
    EXPECT_NEAR(result, unchunked, unchunked * 1e-12);
}

TEST(NormDiffL2Plane, PixelCountsBeyond32BitsStayBanded)
{
    // 32,768 x 65,537 pixels: a 32-bit product of the two would wrap negative and skip the bands.
    // Rows overlap (stride 1), so the planes need only width + height bytes each.
    const int width = 32768, height = 65537;
    const std::vector<uint8_t> black(width + height, 0), white(width + height, 255);
    double result;
    ASSERT_EQ(NormDiffL2Plane(black.data(), 1, white.data(), 1, width, height, &result), StatusOk);
    EXPECT_EQ(result, std::sqrt(65025.0 * width * height));
}
