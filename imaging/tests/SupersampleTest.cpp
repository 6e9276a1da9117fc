// Supersampling: ResizeSupersample's statuses in order, whole ratios against the exact integer
// mean, fractional ratios against an area-weighted mean in double precision, partly covered
// destination pixels averaged over what they cover, sums that do not wrap, layouts and types,
// the vector row routines against the plain ones, and scratch released on every path.
#include <gtest/gtest.h>

#include "ResizeEngine.h"
#include "ResizeTestSupport.h"
#include "SupersampleKernel.h"
#include "TestAllocationHooks.h"

#include <cmath>
#include <limits>

using namespace imaging;
using namespace imaging_test;

namespace {

double kNaN()
{
    return std::numeric_limits<double>::quiet_NaN();
}

template <typename T>
ImagingStatus Shrink(const T* src, int w, int h, int srcStepBytes, ImagingRegion roi, T* dst,
                     int dstStepBytes, int dw, int dh, double xf, double yf, int channels = 1,
                     int stride = 1)
{
    const int type = std::is_same_v<T, uint8_t> ? 0 : (std::is_same_v<T, uint16_t> ? 1 : 2);
    return ResizeSupersample(src, w, h, srcStepBytes, roi, dst, dstStepBytes, dw, dh, xf, yf,
                             stride, channels, type, 0);
}

// The area-weighted mean of the source area of destination pixel (i, j), clipped to the region.
double AreaMean(const std::vector<double>& src, int w, int h, double rx, double ry, int i, int j)
{
    double sum = 0.0, area = 0.0;
    const double x0 = i * rx, x1 = std::min((i + 1) * rx, double(w));
    const double y0 = j * ry, y1 = std::min((j + 1) * ry, double(h));
    for (int y = int(y0); y < h && y < y1; ++y) {
        const double dy = std::min(y + 1.0, y1) - std::max(double(y), y0);
        for (int x = int(x0); x < w && x < x1; ++x) {
            const double dx = std::min(x + 1.0, x1) - std::max(double(x), x0);
            sum += dx * dy * src[size_t(y * w + x)];
            area += dx * dy;
        }
    }
    return sum / area;
}

std::vector<double> AsDouble(const std::vector<uint8_t>& v)
{
    return std::vector<double>(v.begin(), v.end());
}

} // namespace

TEST(ResizeSupersample, EachCheckInItsOrderWithItsStatus)
{
    std::vector<uint8_t> src(64, 1), dst(64, 0xAB);
    const auto call = [&](const void* s, int w, ImagingRegion roi, void* d, int dw, double xf,
                          double yf, int stride, int channels, int type) {
        return ResizeSupersample(s, w, 8, 8, roi, d, 8, dw, 8, xf, yf, stride, channels, type, 0);
    };
    EXPECT_EQ(call(nullptr, 0, {8, 0, 0, 8}, nullptr, 0, kNaN(), 2.0, 0, 2, 3), StatusNullPointer);
    EXPECT_EQ(call(src.data(), 0, {8, 0, 0, 8}, nullptr, 0, 2.0, 2.0, 0, 2, 3), StatusNullPointer);
    EXPECT_EQ(call(src.data(), 0, {8, 0, 0, 8}, dst.data(), 0, 2.0, 2.0, 0, 2, 3), StatusSizeError);
    EXPECT_EQ(call(src.data(), 8, {8, 0, 0, 8}, dst.data(), 0, 2.0, 2.0, 0, 2, 3), StatusSizeError);
    EXPECT_EQ(call(src.data(), 8, {8, 0, 8, 8}, dst.data(), 0, 2.0, 2.0, 0, 2, 3), StatusNoOverlap);
    EXPECT_EQ(call(src.data(), 8, {7, 0, 8, 8}, dst.data(), 0, 2.0, 2.0, 0, 2, 3), StatusSizeError);
    EXPECT_EQ(call(src.data(), 8, {7, 0, 8, 8}, dst.data(), 8, 2.0, 0.5, 0, 2, 3),
              StatusResizeFactorError); // enlarging
    EXPECT_EQ(call(src.data(), 8, {7, 0, 8, 8}, dst.data(), 8, 0.5, kNaN(), 0, 2, 3),
              StatusResizeFactorError);
    EXPECT_EQ(call(src.data(), 8, {7, 0, 8, 8}, dst.data(), 8, 0.4, 0.5, 0, 2, 3),
              StatusDataTypeError); // was "returns 0, nothing written"
    EXPECT_EQ(call(src.data(), 8, {7, 0, 8, 8}, dst.data(), 8, 0.4, 0.5, 0, 2, 0),
              StatusSizeError); // two channels
    EXPECT_EQ(call(src.data(), 8, {7, 0, 8, 8}, dst.data(), 8, 0.4, 0.5, 0, 1, 0),
              StatusSizeError); // pixel stride 0
    EXPECT_EQ(call(src.data(), 8, {7, 0, 8, 8}, dst.data(), 8, 0.4, 0.5, 1, 1, 0),
              StatusEmptyDestination); // one column x 0.4
    EXPECT_TRUE(std::all_of(dst.begin(), dst.end(), [](uint8_t b) { return b == 0xAB; }));
    EXPECT_EQ(call(src.data(), 8, {7, 0, 8, 8}, dst.data(), 8, 0.5, 0.5, 1, 1, 0), StatusOk);
    EXPECT_EQ(dst[0], 1);
    EXPECT_EQ(dst[1], 0xAB);
    EXPECT_EQ(call(src.data(), 8, {0, 0, 8, 8}, dst.data(), 8, 0.5, 0.5, 2, 3, 0), StatusSizeError);
}

TEST(ResizeSupersample, WorkedValuesOfWholeAndFractionalRatios)
{
    // Mode 0, 2 x 2 blocks: (a + b + c + d) x 0.25 + 0.5 truncated.
    const uint8_t blocks[8] = {0, 0, 0, 0, 1, 1, 0, 1};
    uint8_t two[2] = {};
    ASSERT_EQ(Shrink(blocks, 4, 2, 4, {0, 0, 4, 2}, two, 2, 2, 1, 0.5, 0.5), StatusOk);
    EXPECT_EQ(two[0], 1);
    EXPECT_EQ(two[1], 0);
    // Mode 2, rx 1.5: (p0 + p1 / 2) / 1.5 and (p1 / 2 + p2) / 1.5, both outputs written.
    const uint8_t row[3] = {10, 20, 30};
    uint8_t out[3] = {0, 0, 0xAB};
    ASSERT_EQ(Shrink(row, 3, 1, 3, {0, 0, 3, 1}, out, 3, 3, 1, 1.0 / 1.5, 1.0), StatusOk);
    EXPECT_EQ(out[0], 13);
    EXPECT_EQ(out[1], 27);
    EXPECT_EQ(out[2], 0xAB);
}

TEST(ResizeSupersample, WholeRatiosGiveTheExactMeanRoundedHalfUp)
{
    const int w = 84, h = 42;
    const auto src = RandomSamples<uint8_t>(size_t(w * h), 21);
    for (auto [nx, ny] : {std::pair{2, 2}, {3, 2}, {4, 2}, {4, 4}, {3, 3}, {5, 2}, {6, 1}, {7, 2}, {1, 7}}) {
        const int dw = w / nx, dh = h / ny;
        std::vector<uint8_t> dst(size_t(dw * dh));
        ASSERT_EQ(Shrink(src.data(), w, h, w, {0, 0, w, h}, dst.data(), dw, dw, dh, 1.0 / nx, 1.0 / ny),
                  StatusOk);
        for (int j = 0; j < dh; ++j) {
            for (int i = 0; i < dw; ++i) {
                int sum = 0;
                for (int y = 0; y < ny; ++y)
                    for (int x = 0; x < nx; ++x)
                        sum += src[size_t((j * ny + y) * w + i * nx + x)];
                const int area = nx * ny;
                ASSERT_EQ(dst[size_t(j * dw + i)], (2 * sum + area) / (2 * area))
                    << nx << "x" << ny << " at " << i << "," << j;
            }
        }
    }
}

TEST(ResizeSupersample, FractionalRatiosFollowTheCoveredAreas)
{
    const int w = 61, h = 47;
    const auto src = RandomSamples<uint8_t>(size_t(w * h), 22);
    const auto real = AsDouble(src);
    // The last ratio puts the first boundary within 1e-07 of a whole pixel.
    for (auto [rx, ry] : {std::pair{1.5, 1.0}, {1.0, 2.5}, {1.25, 3.2}, {2.7, 1.9}, {1.1, 1.0},
                          {1.99999999, 1.0}, {1.0, 2.99999995}}) {
        const double xf = 1.0 / rx, yf = 1.0 / ry;
        const int dw = int(w * xf + 1e-7), dh = int(h * yf + 1e-7);
        GuardedPlane<uint8_t> dst(dw, dh);
        ASSERT_EQ(Shrink(src.data(), w, h, w, {0, 0, w, h}, dst.Data(), dst.Step(), dw, dh, xf, yf),
                  StatusOk);
        EXPECT_TRUE(dst.Intact());
        for (int j = 0; j < dh; ++j)
            for (int i = 0; i < dw; ++i)
                ASSERT_NEAR(dst.At(j, i), AreaMean(real, w, h, 1.0 / xf, 1.0 / yf, i, j), 1.0)
                    << rx << "x" << ry << " at " << i << "," << j;
    }
}

TEST(ResizeSupersample, ConstantsStayConstantInEveryModeLayoutAndType)
{
    const int w = 97, h = 61;
    for (auto [rx, ry] : {std::pair{2.0, 2.0}, {1.5, 1.0}, {1.0, 2.5}, {1.25, 3.2}, {3.0, 3.0},
                          {1.0, 1.0 / (1.0 - 1e-8)}}) {
        const double xf = 1.0 / rx, yf = 1.0 / ry;
        const int dw = int(w * xf + 1e-7), dh = int(h * yf + 1e-7);
        for (int value : {0, 37, 255}) {
            for (int stride : {1, 3, 4}) {
                const int channels = stride;
                const std::vector<uint8_t> src(size_t(w * h * stride), uint8_t(value));
                std::vector<uint8_t> dst(size_t(dw * dh * stride), 1);
                ASSERT_EQ(Shrink(src.data(), w, h, w * stride, {0, 0, w, h}, dst.data(), dw * stride,
                                 dw, dh, xf, yf, channels, stride),
                          StatusOk);
                for (uint8_t b : dst)
                    ASSERT_EQ(b, value) << rx << "x" << ry << " stride " << stride;
            }
            const std::vector<uint16_t> wide(size_t(w * h), uint16_t(value * 257));
            std::vector<uint16_t> wideOut(size_t(dw * dh), 1);
            ASSERT_EQ(Shrink(wide.data(), w, h, 2 * w, {0, 0, w, h}, wideOut.data(), 2 * dw, dw, dh,
                             xf, yf),
                      StatusOk);
            for (uint16_t s : wideOut)
                ASSERT_EQ(s, value * 257) << rx << "x" << ry;
            const std::vector<float> real(size_t(w * h), float(value));
            std::vector<float> realOut(size_t(dw * dh), 1.0f);
            ASSERT_EQ(Shrink(real.data(), w, h, 4 * w, {0, 0, w, h}, realOut.data(), 4 * dw, dw, dh,
                             xf, yf),
                      StatusOk);
            for (float s : realOut)
                ASSERT_NEAR(s, value, value * 1e-6) << rx << "x" << ry;
        }
    }
}

TEST(ResizeSupersample, PartlyCoveredPixelsAverageWhatTheyCover)
{
    // The region's last columns and rows end the source's allocation: nothing past them is read.
    TightSource<uint8_t> src(10, 6, 5);
    const uint8_t* s = src.Data();
    uint8_t out[4] = {0, 0xAB, 0xAB, 0xAB};
    // Three columns at 0.3: one destination column, the mean of the three (rows 1:1).
    ASSERT_EQ(Shrink(s, 10, 6, 10, {7, 5, 3, 1}, out, 4, 4, 1, 0.3, 1.0), StatusOk);
    EXPECT_EQ(out[0], int((s[57] + s[58] + s[59]) / 3.0 + 0.5));
    EXPECT_EQ(out[1], 0xAB);
    // One column at 0.6, two rows at 0.3: the mean of the two samples.
    ASSERT_EQ(Shrink(s, 10, 6, 10, {9, 4, 1, 2}, out, 4, 4, 1, 0.6, 0.3), StatusOk);
    EXPECT_EQ(out[0], int((s[49] + s[59]) / 2.0 + 0.5));
    // Whole ratios too: one column at 0.5 is the column's mean of two rows.
    ASSERT_EQ(Shrink(s, 10, 6, 10, {9, 4, 1, 2}, out, 4, 4, 1, 0.5, 0.5), StatusOk);
    EXPECT_EQ(out[0], (2 * (s[49] + s[59]) + 2) / 4);

    // A constant stays constant however little of the last pixel is covered.
    const std::vector<uint8_t> flat(50, 200);
    uint8_t last[8] = {};
    for (double f : {0.3, 0.35, 0.6, 0.7}) {
        const int dw = int(5 * f + 1e-7) > 0 ? int(5 * f + 1e-7) : 1;
        ASSERT_EQ(Shrink(flat.data(), 5, 10, 5, {0, 0, 5, 10}, last, 8, dw, 1, f, 0.1), StatusOk);
        for (int i = 0; i < dw; ++i)
            EXPECT_EQ(last[i], 200) << f;
    }
}

TEST(ResizeSupersample, SixteenBitSumsDoNotWrap)
{
    const int n = 512;
    std::vector<uint16_t> src(size_t(n * n), 65535);
    uint16_t out = 0;
    ASSERT_EQ(Shrink(src.data(), n, n, 2 * n, {0, 0, n, n}, &out, 2, 1, 1, 1.0 / n, 1.0 / n),
              StatusOk);
    EXPECT_EQ(out, 65535);
    std::mt19937 rng(2);
    uint64_t sum = 0;
    for (auto& s : src) {
        s = uint16_t(rng());
        sum += s;
    }
    ASSERT_EQ(Shrink(src.data(), n, n, 2 * n, {0, 0, n, n}, &out, 2, 1, 1, 1.0 / n, 1.0 / n),
              StatusOk);
    EXPECT_EQ(out, (2 * sum + uint64_t(n) * n) / (2 * uint64_t(n) * n));
    // 8-bit column sums of more rows than a 32-bit lane of 16 columns could count are not
    // reachable in a test's memory; the blocks are summed in parts (see the routine tests).
}

TEST(ResizeSupersample, LayoutsEqualTheOneChannelResultPerChannel)
{
    const int w = 45, h = 33;
    for (auto [xf, yf] : {std::pair{0.5, 1.0 / 3.0}, {1.0 / 1.5, 1.0 / 2.2}}) {
        const int dw = int(w * xf + 1e-7), dh = int(h * yf + 1e-7);
        std::vector<std::vector<uint8_t>> planes, expected;
        for (int p = 0; p < 4; ++p) {
            planes.push_back(RandomSamples<uint8_t>(size_t(w * h), uint32_t(30 + p)));
            expected.emplace_back(size_t(dw * dh));
            ASSERT_EQ(Shrink(planes.back().data(), w, h, w, {0, 0, w, h}, expected.back().data(), dw,
                             dw, dh, xf, yf),
                      StatusOk);
        }
        for (auto [channels, stride] : {std::pair{3, 3}, {3, 4}, {4, 4}, {3, 5}}) {
            std::vector<uint8_t> packed(size_t(w * h * stride));
            for (int i = 0; i < w * h; ++i)
                for (int c = 0; c < channels; ++c)
                    packed[size_t(i * stride + c)] = planes[size_t(c)][size_t(i)];
            GuardedPlane<uint8_t> dst(dw * stride, dh);
            ASSERT_EQ(Shrink(packed.data(), w, h, w * stride, {0, 0, w, h}, dst.Data(), dst.Step(),
                             dw, dh, xf, yf, channels, stride),
                      StatusOk);
            EXPECT_TRUE(dst.Intact());
            for (int y = 0; y < dh; ++y)
                for (int x = 0; x < dw; ++x)
                    for (int c = 0; c < stride; ++c)
                        ASSERT_EQ(dst.At(y, x * stride + c),
                                  c < channels ? expected[size_t(c)][size_t(y * dw + x)]
                                               : dst.Original(y, x * stride + c))
                            << channels << "/" << stride << " " << x << "," << y << " " << c;
        }
        std::vector<std::vector<uint8_t>> out(4, std::vector<uint8_t>(size_t(dw * dh)));
        const void* src[4] = {planes[0].data(), planes[1].data(), planes[2].data(), planes[3].data()};
        void* dst[4] = {out[0].data(), out[1].data(), out[2].data(), out[3].data()};
        ASSERT_EQ(ResizeSupersample(src, w, h, w, {0, 0, w, h}, dst, dw, dw, dh, xf, yf, 0, 4, 0, 1),
                  StatusOk);
        EXPECT_EQ(out, expected);
    }
}

TEST(ResizeSupersample, FloatSamplesAreAveragedWithoutRounding)
{
    const float src[8] = {1.0f, 2.0f, 10.0f, 20.0f, 3.0f, 4.0f, 30.0f, 40.0f};
    float out[2] = {};
    ASSERT_EQ(Shrink(src, 4, 2, 16, {0, 0, 4, 2}, out, 8, 2, 1, 0.5, 0.5), StatusOk);
    EXPECT_EQ(out[0], 2.5f);
    EXPECT_EQ(out[1], 25.0f);
    const float row[3] = {1.0f, 2.0f, 4.0f};
    ASSERT_EQ(Shrink(row, 3, 1, 12, {0, 0, 3, 1}, out, 8, 2, 1, 1.0 / 1.5, 1.0), StatusOk);
    EXPECT_FLOAT_EQ(out[0], 2.0f / 1.5f);
    EXPECT_FLOAT_EQ(out[1], 5.0f / 1.5f);
}

TEST(ResizeSupersample, EveryAllocationFailureGivesNoMemoryWithNothingLeakedOrWritten)
{
    const auto src = RandomSamples<uint8_t>(30 * 20, 40);
    for (double xf : {0.5, 0.4}) {
        for (int planar : {0, 1}) {
            std::vector<uint8_t> dst(30 * 20, 0xAB);
            const void* srcPlanes[3] = {src.data(), src.data(), src.data()};
            void* dstPlanes[3] = {dst.data(), dst.data(), dst.data()};
            const auto call = [&] {
                return ResizeSupersample(planar ? static_cast<const void*>(srcPlanes) : src.data(),
                                         30, 20, 30, {0, 0, 30, 20},
                                         planar ? static_cast<void*>(dstPlanes) : dst.data(), 30,
                                         30, 20, xf, 0.5, 1, 1, 0, planar);
            };
            ResetAllocationHooks();
            ASSERT_EQ(call(), StatusOk);
            ASSERT_EQ(Allocations().size(), 1u);
            EXPECT_EQ(Releases().size(), 1u);
            std::fill(dst.begin(), dst.end(), 0xAB);
            ResetAllocationHooks();
            FailAllocationsAfter(0);
            EXPECT_EQ(call(), StatusNoMemory);
            EXPECT_EQ(RefusedRequests().size(), 1u);
            EXPECT_TRUE(Releases().empty());
            EXPECT_TRUE(std::all_of(dst.begin(), dst.end(), [](uint8_t b) { return b == 0xAB; }));
            ResetAllocationHooks();
        }
    }
}

TEST(SupersampleKernels, AModeOutsideZeroToThreeWritesNothing)
{
    const uint8_t src[4] = {1, 2, 3, 4};
    uint8_t dst[4] = {9, 9, 9, 9};
    SupersampleArgs args;
    args.src = src;
    args.dst = dst;
    args.srcStep = 2;
    args.dstStep = 2;
    args.srcColumns = 2;
    args.srcRows = 2;
    args.dstWidth = 1;
    args.dstHeight = 1;
    args.mode = 4;
    ResetAllocationHooks();
    EXPECT_EQ(SupersampleResize8u_C1(args), StatusOk);
    EXPECT_EQ(dst[0], 9);
    EXPECT_TRUE(Allocations().empty());
    args.mode = 0;
    args.xRatio = args.yRatio = 2.0;
    args.normaliser = 0.25;
    EXPECT_EQ(SupersampleResize8u_C1(args), StatusOk);
    EXPECT_EQ(dst[0], 3); // 10 / 4 = 2.5 rounds up
    EXPECT_EQ(Allocations().size(), Releases().size());
    ResetAllocationHooks();
}

TEST(SupersampleRows, VectorRoutinesEqualPlainOnes)
{
    std::mt19937 rng(8);
    for (int count = 0; count <= 67; ++count) {
        const int step = count + int(rng() % 7);
        const auto src = RandomSamples<uint8_t>(size_t(step) * 6 + 1, uint32_t(count));
        for (int rows = 0; rows <= 5; ++rows) {
            std::vector<uint64_t> vector(size_t(count) + 2, 7), plain(size_t(count) + 2, 7);
            SupersampleColumnSums8uSse2(src.data(), step, count, rows, vector.data());
            SupersampleColumnSums8uPlain(src.data(), step, count, rows, plain.data());
            ASSERT_EQ(vector, plain) << count << " " << rows;
            EXPECT_EQ(vector[size_t(count)], 7u);
        }
        std::vector<float> a(size_t(count) + 1, 0.25f), b(a);
        SupersampleAddRow8uSse2(src.data(), count, a.data());
        SupersampleAddRow8uPlain(src.data(), count, b.data());
        const double weight = std::uniform_real_distribution<double>(0.0, 1.0)(rng);
        SupersampleAddRowWeighted8uSse2(src.data() + 1, count, weight, a.data());
        SupersampleAddRowWeighted8uPlain(src.data() + 1, count, weight, b.data());
        ASSERT_EQ(a, b) << count;
        EXPECT_EQ(a[size_t(count)], 0.25f);
    }
}

TEST(SupersampleKernels, VectorKernelsEqualPlainOnesInEveryMode)
{
    const int w = 67, h = 29;
    for (auto [rx, ry] : {std::pair{2.0, 3.0}, {1.0, 2.5}, {1.75, 1.0}, {2.3, 1.7}}) {
        for (auto [channels, stride] : {std::pair{1, 1}, {3, 3}, {3, 4}, {4, 4}}) {
            const auto src = RandomSamples<uint8_t>(size_t(w * h * stride), uint32_t(stride));
            SupersampleArgs args;
            args.src = src.data();
            args.srcStep = w * stride;
            args.srcColumns = w;
            args.srcRows = h;
            args.dstWidth = int(w / rx);
            args.dstHeight = int(h / ry);
            args.dstStep = args.dstWidth * stride;
            args.xRatio = rx;
            args.yRatio = ry;
            args.normaliser = 1.0 / rx * (1.0 / ry);
            args.pixelStride = stride;
            args.mode = (ry != std::floor(ry) ? 1 : 0) | (rx != std::floor(rx) ? 2 : 0);
            GuardedPlane<uint8_t> vector(args.dstWidth * stride, args.dstHeight),
                plain(args.dstWidth * stride, args.dstHeight);
            args.dstStep = vector.Step();
            const SupersampleKernel fast = channels == 1 ? SupersampleResize8u_C1
                                           : channels == 3 ? SupersampleResize8u_C3
                                                           : SupersampleResize8u_C4;
            const SupersampleKernel slow = channels == 1 ? SupersampleResize8u_C1Plain
                                           : channels == 3 ? SupersampleResize8u_C3Plain
                                                           : SupersampleResize8u_C4Plain;
            args.dst = vector.Data();
            ASSERT_EQ(fast(args), StatusOk);
            args.dst = plain.Data();
            ASSERT_EQ(slow(args), StatusOk);
            EXPECT_TRUE(vector.Intact());
            for (int y = 0; y < args.dstHeight; ++y)
                for (int x = 0; x < args.dstWidth * stride; ++x)
                    ASSERT_EQ(vector.At(y, x), plain.At(y, x))
                        << rx << "x" << ry << " " << channels << "/" << stride << " " << x << "," << y;
        }
    }
}
