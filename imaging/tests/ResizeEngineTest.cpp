// ResizePlane and ResizeGeneral: every status in its order, routing, the method downgrade,
// clipping and the size produced, the tables the engine builds (positions, Q14 weights, cubic
// border shifts, Lanczos weights), layouts and sample types, the internal entries, scratch
// released on every path and allocation failure at every allocation.
#include <gtest/gtest.h>

#include "LanczosWeights.h"
#include "ResizeEngine.h"
#include "ResizeKernels.h"
#include "ResizeTestSupport.h"
#include "TestAllocationHooks.h"

#include <cmath>
#include <limits>

using namespace imaging;
using namespace imaging_test;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A request over a real source and destination that passes every check.
struct Call {
    std::vector<uint8_t> src = RandomSamples<uint8_t>(64 * 64, 3);
    std::vector<uint8_t> dst = std::vector<uint8_t>(64 * 64, 0xAB);
    ResizeRequest r;
    Call()
    {
        r.src = src.data();
        r.srcWidth = 16;
        r.srcHeight = 16;
        r.srcStep = 64;
        r.roi = {0, 0, 16, 16};
        r.dst = dst.data();
        r.dstStep = 64;
        r.dstWidth = 32;
        r.dstHeight = 32;
        r.xFactor = 2.0;
        r.yFactor = 2.0;
        r.interpolation = kResizeLinear;
    }
    ImagingStatus General() const
    {
        return ResizeGeneral(r.src, r.srcWidth, r.srcHeight, r.srcStep, r.roi, r.dst, r.dstStep,
                             r.dstWidth, r.dstHeight, r.xFactor, r.yFactor, r.xShift, r.yShift,
                             r.pixelStride, r.channelCount, r.sampleType, r.planar,
                             r.interpolation, r.edgeAligned);
    }
    bool Untouched() const
    {
        return std::all_of(dst.begin(), dst.end(), [](uint8_t b) { return b == 0xAB; });
    }
};

// ResizePlane of a whole width x height source into a destination of exactly the produced size.
std::vector<uint8_t> ResizeWhole(const std::vector<uint8_t>& src, int w, int h, int dw, int dh,
                                 double xf, double yf, int code, ImagingStatus* status = nullptr)
{
    std::vector<uint8_t> dst(size_t(dw) * dh, 0xEE);
    const ImagingStatus s =
        ResizePlane(src.data(), w, h, w, {0, 0, w, h}, dst.data(), dw, dw, dh, xf, yf, code);
    if (status)
        *status = s;
    else
        EXPECT_EQ(s, StatusOk);
    return dst;
}

} // namespace

TEST(ResizeGeneral, EachCheckInItsOrderWithItsStatus)
{
    // Every argument wrong at first; mending them one by one walks through the statuses in order.
    Call c;
    uint8_t* const dst = static_cast<uint8_t*>(c.r.dst);
    c.r.src = nullptr;
    c.r.dst = nullptr;
    c.r.srcWidth = 0;
    c.r.roi = {16, 0, 0, 16};
    c.r.dstWidth = 0;
    c.r.xFactor = kNaN;
    c.r.interpolation = 3;
    c.r.sampleType = 3;
    c.r.channelCount = 2;
    c.r.srcStep = 63;
    c.r.edgeAligned = 1;
    EXPECT_EQ(c.General(), StatusNullPointer);
    c.r.src = c.src.data();
    EXPECT_EQ(c.General(), StatusNullPointer);
    c.r.dst = dst;
    EXPECT_EQ(c.General(), StatusSizeError);
    c.r.srcWidth = 16;
    EXPECT_EQ(c.General(), StatusSizeError); // roi.width 0
    c.r.roi.width = 16;
    EXPECT_EQ(c.General(), StatusNoOverlap); // roi.x == srcWidth
    c.r.roi.x = 15;
    EXPECT_EQ(c.General(), StatusSizeError); // dstWidth 0
    c.r.dstWidth = 32;
    EXPECT_EQ(c.General(), StatusResizeFactorError);
    c.r.xFactor = 0.06; // one column x 0.06: less than half a destination pixel
    EXPECT_EQ(c.General(), StatusInterpolationError);
    c.r.interpolation = kResizeLinear;
    EXPECT_EQ(c.General(), StatusDataTypeError);
    c.r.sampleType = 1;
    EXPECT_EQ(c.General(), StatusSizeError); // two channels
    c.r.channelCount = 1;
    EXPECT_EQ(c.General(), StatusStepError); // 63 bytes is no whole number of 16-bit samples
    c.r.srcStep = 64;
    EXPECT_EQ(c.General(), StatusEmptyDestination);
    c.r.xFactor = 0.6;
    EXPECT_TRUE(c.Untouched());
    EXPECT_EQ(c.General(), StatusOk);
    EXPECT_FALSE(c.Untouched());
}

TEST(ResizeGeneral, StatusesOfSingleArguments)
{
    const auto status = [](auto change) {
        Call c;
        change(c.r);
        const ImagingStatus s = c.General();
        if (s != StatusOk) {
            EXPECT_TRUE(c.Untouched()) << s;
        }
        return s;
    };
    EXPECT_EQ(status([](ResizeRequest& r) { r.srcHeight = -1; }), StatusSizeError);
    EXPECT_EQ(status([](ResizeRequest& r) { r.roi.x = -1; }), StatusSizeError);
    EXPECT_EQ(status([](ResizeRequest& r) { r.roi.y = -1; }), StatusSizeError);
    EXPECT_EQ(status([](ResizeRequest& r) { r.roi.height = 0; }), StatusSizeError);
    EXPECT_EQ(status([](ResizeRequest& r) { r.roi.y = 16; }), StatusNoOverlap);
    EXPECT_EQ(status([](ResizeRequest& r) { r.dstHeight = -3; }), StatusSizeError);
    EXPECT_EQ(status([](ResizeRequest& r) { r.yFactor = 0.0; }), StatusResizeFactorError);
    EXPECT_EQ(status([](ResizeRequest& r) { r.yFactor = -1.0; }), StatusResizeFactorError);
    EXPECT_EQ(status([](ResizeRequest& r) { r.yFactor = kNaN; }), StatusResizeFactorError);
    EXPECT_EQ(status([](ResizeRequest& r) { r.xFactor = HUGE_VAL; }), StatusResizeFactorError);
    EXPECT_EQ(status([](ResizeRequest& r) { r.xShift = kNaN; }), StatusResizeFactorError);
    EXPECT_EQ(status([](ResizeRequest& r) { r.yShift = -HUGE_VAL; }), StatusResizeFactorError);
    EXPECT_EQ(status([](ResizeRequest& r) { r.interpolation = kResizeSupersample; }),
              StatusInterpolationError);
    EXPECT_EQ(status([](ResizeRequest& r) { r.interpolation = 0; }), StatusInterpolationError);
    for (int type : {-1, 3, 4, 100})
        EXPECT_EQ(status([type](ResizeRequest& r) { r.sampleType = type; }), StatusDataTypeError);
    EXPECT_EQ(status([](ResizeRequest& r) { r.channelCount = 0; }), StatusSizeError);
    EXPECT_EQ(status([](ResizeRequest& r) { r.pixelStride = 0; }), StatusSizeError);
    EXPECT_EQ(status([](ResizeRequest& r) { r.channelCount = 4; r.pixelStride = 3; }),
              StatusSizeError);
    EXPECT_EQ(status([](ResizeRequest& r) { r.channelCount = 3; r.pixelStride = 5; }),
              StatusSizeError);
    EXPECT_EQ(status([](ResizeRequest& r) {
                  r.channelCount = 3;
                  r.pixelStride = 5;
                  r.interpolation = kResizeNearest;
                  r.srcWidth = r.roi.width = 12;
              }),
              StatusOk);
    EXPECT_EQ(status([](ResizeRequest& r) { r.sampleType = 2; r.dstStep = 62; }), StatusStepError);
    EXPECT_EQ(status([](ResizeRequest& r) { r.yFactor = 0.03; }), StatusEmptyDestination);
    EXPECT_EQ(status([](ResizeRequest& r) { r.edgeAligned = 0; r.xFactor = 1e-300; }), StatusOk);
}

TEST(ResizeGeneral, PlanarNeedsEveryPlane)
{
    Call c;
    const void* srcPlanes[4] = {c.src.data(), c.src.data(), nullptr, c.src.data()};
    void* dstPlanes[4] = {c.dst.data(), c.dst.data(), c.dst.data(), nullptr};
    c.r.planar = 1;
    c.r.src = srcPlanes;
    c.r.dst = dstPlanes;
    EXPECT_EQ(c.General(), StatusNullPointer);
    srcPlanes[2] = c.src.data();
    EXPECT_EQ(c.General(), StatusOk); // three planes: the fourth pointer is not read
    c.r.channelCount = 4;
    EXPECT_EQ(c.General(), StatusNullPointer);
}

TEST(ResizePlane, RoutesCodeEightShrinksToSupersamplingAndTheRestToTheGeneralEngine)
{
    const std::vector<uint8_t> block = {0, 0, 1, 1};
    EXPECT_EQ(ResizeWhole(block, 2, 2, 1, 1, 0.5, 0.5, 8)[0], 1); // the mean 0.5 rounds up
    EXPECT_EQ(ResizeWhole(block, 2, 2, 1, 1, 0.5, 0.5, kResizeLinear)[0], 0); // a point sample
    EXPECT_EQ(ResizeWhole({0, 0, 0, 1}, 2, 2, 1, 1, 0.5, 0.5, 8)[0], 0);
    ImagingStatus s;
    ResizeWhole(block, 2, 2, 1, 3, 0.5, 1.5, 8, &s);
    EXPECT_EQ(s, StatusInterpolationError);
    ResizeWhole(block, 2, 2, 1, 1, kNaN, 0.5, 8, &s);
    EXPECT_EQ(s, StatusResizeFactorError);
    ResizeWhole(block, 2, 2, 1, 1, 0.5, kNaN, kResizeNearest, &s);
    EXPECT_EQ(s, StatusResizeFactorError);
}

TEST(ResizePlane, LinearTwoByTwoToFourByFourTopDownAndBottomUp)
{
    const std::vector<uint8_t> expected = {0, 85, 170, 255, 85, 113, 142, 170,
                                           170, 142, 113, 85, 255, 170, 85, 0};
    EXPECT_EQ(ResizeWhole({0, 255, 255, 0}, 2, 2, 4, 4, 2.0, 2.0, kResizeLinear), expected);
    // Stored bottom-up: the pointer at the first picture row, which sits last in memory.
    const uint8_t stored[4] = {255, 0, 0, 255};
    uint8_t dst[16] = {};
    ASSERT_EQ(ResizePlane(stored + 2, 2, 2, -2, {0, 0, 2, 2}, dst, 4, 4, 4, 2.0, 2.0, kResizeLinear),
              StatusOk);
    EXPECT_EQ(std::vector<uint8_t>(dst, dst + 16), expected);
    // And a bottom-up destination.
    uint8_t flipped[16] = {};
    ASSERT_EQ(ResizePlane(stored + 2, 2, 2, -2, {0, 0, 2, 2}, flipped + 12, -4, 4, 4, 2.0, 2.0,
                          kResizeLinear),
              StatusOk);
    for (int y = 0; y < 4; ++y)
        EXPECT_EQ(std::vector<uint8_t>(flipped + 4 * (3 - y), flipped + 4 * (4 - y)),
                  std::vector<uint8_t>(expected.begin() + 4 * y, expected.begin() + 4 * y + 4));
}

TEST(ResizePlane, FactorOneIsTheIdentityAndConstantsStayConstant)
{
    const auto src = RandomSamples<uint8_t>(37 * 23, 8);
    for (int code : {kResizeNearest, kResizeLinear, kResizeSupersample})
        EXPECT_EQ(ResizeWhole(src, 37, 23, 37, 23, 1.0, 1.0, code), src) << code;
    for (uint8_t value : {0, 255}) {
        const std::vector<uint8_t> flat(37 * 23, value);
        for (int code : {kResizeNearest, kResizeLinear}) {
            for (double f : {0.37, 1.0, 2.6}) {
                const int dw = int(37 * f + 1e-7), dh = int(23 * f + 1e-7);
                const auto out = ResizeWhole(flat, 37, 23, dw, dh, f, f, code);
                EXPECT_TRUE(std::all_of(out.begin(), out.end(), [&](uint8_t b) { return b == value; }))
                    << code << " " << f;
            }
        }
    }
}

TEST(ResizeGeneral, SmallSourcesDowngradeTheMethod)
{
    const auto method = [](int code, int w, int h) {
        Call c;
        c.r.interpolation = code;
        c.r.srcWidth = c.r.roi.width = w;
        c.r.srcHeight = c.r.roi.height = h;
        const ResizeTableLayout layout = PlanResizeTables(c.r);
        EXPECT_EQ(layout.status, StatusOk);
        return std::make_pair(layout.method, layout.slot);
    };
    EXPECT_EQ(method(kResizeLanczos, 8, 8), std::make_pair(kResizeLanczos, kSlotLanczosC1));
    EXPECT_EQ(method(kResizeLanczos, 7, 100), std::make_pair(kResizeCubic, kSlotCubicC1));
    EXPECT_EQ(method(kResizeLanczos, 100, 3), std::make_pair(kResizeLinear, kSlotLinearC1));
    EXPECT_EQ(method(kResizeCubic, 3, 100), std::make_pair(kResizeLinear, kSlotLinearC1));
    EXPECT_EQ(method(kResizeCubic, 4, 4), std::make_pair(kResizeCubic, kSlotCubicC1));
    EXPECT_EQ(method(kResizeLinear, 1, 100), std::make_pair(kResizeNearest, kSlotNearestC1));
    EXPECT_EQ(method(kResizeLanczos, 100, 1), std::make_pair(kResizeNearest, kSlotNearestC1));

    // What runs is what the plan names: a 3 x 100 cubic resize is the linear one.
    const auto src = RandomSamples<uint8_t>(3 * 100, 4);
    EXPECT_EQ(ResizeWhole(src, 3, 100, 7, 150, 2.5, 1.5, kResizeCubic),
              ResizeWhole(src, 3, 100, 7, 150, 2.5, 1.5, kResizeLinear));
    EXPECT_EQ(ResizeWhole(src, 1, 100, 2, 150, 2.5, 1.5, kResizeLanczos),
              ResizeWhole(src, 1, 100, 2, 150, 2.5, 1.5, kResizeNearest));
}

TEST(ResizePlane, LanczosOnASourceUnderEightColumnsIsTheCubicResize)
{
    const auto src = RandomSamples<uint8_t>(7 * 100, 4);
    const auto cubic = ResizeWhole(src, 7, 100, 14, 200, 2.0, 2.0, kResizeCubic);
    EXPECT_EQ(ResizeWhole(src, 7, 100, 14, 200, 2.0, 2.0, kResizeLanczos), cubic);
    // And the cubic resize is a method of its own, not the linear one.
    EXPECT_NE(ResizeWhole(src, 7, 100, 14, 200, 2.0, 2.0, kResizeLinear), cubic);
}

TEST(ResizeGeneral, RegionsAreClippedAndTheProducedSizeFollowsTheFactor)
{
    const auto src = RandomSamples<uint8_t>(20 * 10, 5);
    // A region reaching past the source: clipped to columns 12-19 and rows 6-9, not refused.
    GuardedPlane<uint8_t> dst(30, 12);
    ASSERT_EQ(ResizePlane(src.data(), 20, 10, 20, {12, 6, 100, 100}, dst.Data(), dst.Step(), 30, 12,
                          1.0, 1.0, kResizeNearest),
              StatusOk);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 30; ++x)
            ASSERT_EQ(dst.At(y, x), y < 4 && x < 8 ? src[size_t((6 + y) * 20 + 12 + x)]
                                                   : dst.Original(y, x))
                << y << " " << x;
    EXPECT_TRUE(dst.Intact());

    // A destination narrower than region x factor takes the left part; the mapping is the
    // factor's, so the right part of the region is not read.
    GuardedPlane<uint8_t> narrow(5, 10);
    ASSERT_EQ(ResizePlane(src.data(), 20, 10, 20, {0, 0, 20, 10}, narrow.Data(), narrow.Step(), 5,
                          10, 2.0, 1.0, kResizeNearest),
              StatusOk);
    for (int x = 0; x < 5; ++x)
        EXPECT_EQ(narrow.At(0, x), src[size_t(x / 2)]) << x;

    // One column: x 0.3 covers less than half a pixel, x 0.6 more.
    uint8_t one[4] = {};
    EXPECT_EQ(ResizePlane(src.data(), 20, 10, 20, {19, 0, 1, 10}, one, 4, 4, 1, 0.3, 0.1,
                          kResizeNearest),
              StatusEmptyDestination);
    Call c;
    c.r.roi = {15, 0, 1, 16};
    c.r.xFactor = 0.6;
    c.r.yFactor = 1.0;
    const ResizeTableLayout layout = PlanResizeTables(c.r);
    EXPECT_EQ(layout.status, StatusOk);
    EXPECT_EQ(layout.dstWidth, 1);
    EXPECT_EQ(layout.dstHeight, 16);
}

TEST(ResizeGeneral, TablesOfTheLinearTwoByTwoEnlargement)
{
    Call c;
    c.r.srcWidth = c.r.srcHeight = 2;
    c.r.roi = {0, 0, 2, 2};
    c.r.srcStep = 7;
    const ResizeTables t = BuildResizeTables(c.r);
    ASSERT_EQ(t.status, StatusOk);
    EXPECT_EQ(t.dstWidth, 4);
    EXPECT_EQ(t.dstHeight, 4);
    EXPECT_EQ(t.colOffsets, (std::vector<int32_t>{0, 0, 0, 0}));
    EXPECT_EQ(t.rowOffsets, (std::vector<int32_t>{0, 0, 0, 0}));
    EXPECT_EQ(t.colWeightsQ14, (std::vector<int16_t>{16384, 0, 10923, 5461, 5462, 10922, 0, 16384}));
    EXPECT_EQ(t.rowWeightsQ14, (std::vector<uint16_t>{0, 5461, 10922, 16384}));

    // Row offsets count samples: 16-bit samples halve the byte stride, rows past the first
    // move by it, and the last source row takes the pair above it.
    c.r.sampleType = 1;
    c.r.srcWidth = c.r.srcHeight = c.r.roi.width = c.r.roi.height = 3;
    c.r.srcStep = 8;
    c.r.xFactor = c.r.yFactor = 1.0;
    const ResizeTables u = BuildResizeTables(c.r);
    EXPECT_EQ(u.rowOffsets, (std::vector<int32_t>{0, 4, 4}));
    EXPECT_EQ(u.rowWeightsQ14, (std::vector<uint16_t>{0, 0, 16384}));
    c.r.sampleType = 2;
    const ResizeTables f = BuildResizeTables(c.r);
    EXPECT_EQ(f.colFractions, (std::vector<float>{0.0f, 0.0f, 1.0f}));
    EXPECT_EQ(f.rowOffsets, (std::vector<int32_t>{0, 2, 2}));
}

TEST(ResizeGeneral, CubicTablesShiftTheTapsInsideTheSource)
{
    Call c;
    c.r.interpolation = kResizeCubic;
    c.r.srcWidth = c.r.roi.width = 5;
    c.r.srcHeight = c.r.roi.height = 5;
    c.r.xFactor = c.r.yFactor = 1.8; // 5 -> 9, positions at halves
    const ResizeTables t = BuildResizeTables(c.r);
    ASSERT_EQ(t.status, StatusOk);
    ASSERT_EQ(t.dstWidth, 9);
    EXPECT_EQ(t.colOffsets, (std::vector<int32_t>{1, 1, 1, 1, 2, 2, 2, 2, 2}));
    EXPECT_EQ(t.colFractions,
              (std::vector<float>{-1.0f, -0.5f, 0.0f, 0.5f, 0.0f, 0.5f, 1.0f, 1.5f, 2.0f}));
    EXPECT_EQ(t.rowOffsets, (std::vector<int32_t>{64, 64, 64, 64, 128, 128, 128, 128, 128}));
    // The four-tap form of each t: Lagrange weights summing to one, a unit weight at whole t.
    ASSERT_EQ(t.colTaps.size(), 36u);
    for (int x = 0; x < 9; ++x) {
        const float* w = &t.colTaps[size_t(4 * x)];
        EXPECT_NEAR(w[0] + w[1] + w[2] + w[3], 1.0f, 1e-6f) << x;
    }
    EXPECT_EQ(std::vector<float>(t.colTaps.begin(), t.colTaps.begin() + 4),
              (std::vector<float>{1.0f, 0.0f, 0.0f, 0.0f})); // t = -1: the first tap
    EXPECT_EQ(std::vector<float>(t.colTaps.end() - 4, t.colTaps.end()),
              (std::vector<float>{0.0f, 0.0f, 0.0f, 1.0f})); // t = 2: the last tap
    EXPECT_EQ(std::vector<float>(t.colTaps.begin() + 4, t.colTaps.begin() + 8),
              (std::vector<float>{0.3125f, 0.9375f, -0.3125f, 0.0625f})); // t = -0.5
}

TEST(ResizeGeneral, LanczosTablesAndWeights)
{
    EXPECT_EQ(LanczosKernelTable[0], 1.0f);
    for (int i : {100, 200, 300, 301, 302, 303})
        EXPECT_EQ(LanczosKernelTable[i], 0.0f) << i;
    for (int i = 1; i < 300; ++i) {
        const double x = i / 100.0, pi = 3.14159265358979323846;
        const double l = 3.0 * std::sin(pi * x) * std::sin(pi * x / 3.0) / (pi * pi * x * x);
        EXPECT_NEAR(LanczosKernelTable[i], l, 1e-7) << i;
    }
    const float fractions[2] = {0.0f, 0.5f};
    float w[12];
    LanczosWeights6(fractions, 2, w, LanczosKernelTable);
    EXPECT_EQ(std::vector<float>(w, w + 6), (std::vector<float>{0, 0, 1, 0, 0, 0}));
    const double half[6] = {0.024457, -0.135870, 0.611413, 0.611413, -0.135870, 0.024457};
    for (int k = 0; k < 6; ++k)
        EXPECT_NEAR(w[6 + k], half[k], 2e-6) << k;

    Call c;
    c.r.interpolation = kResizeLanczos;
    c.r.roi = {3, 2, 10, 9};
    const ResizeTables t = BuildResizeTables(c.r);
    ASSERT_EQ(t.status, StatusOk);
    EXPECT_EQ(t.dstWidth, 20);
    EXPECT_EQ(t.colTaps.size(), 120u);
    EXPECT_EQ(std::vector<float>(t.colTaps.begin(), t.colTaps.begin() + 6),
              (std::vector<float>{0, 0, 1, 0, 0, 0}));
    EXPECT_EQ(t.colOffsets.back(), 9);
    EXPECT_NEAR(t.colFractions.back(), 0.0f, 1e-12f);
}

TEST(ResizeGeneral, PositionsStayInsideTheRegion)
{
    // Nearest at 0.5 on a one-column region: the centre lands on the column past it.
    Call c;
    c.r.interpolation = kResizeNearest;
    c.r.roi = {15, 3, 1, 4};
    c.r.xFactor = 0.5;
    c.r.yFactor = 1.0;
    ResizeTables t = BuildResizeTables(c.r);
    ASSERT_EQ(t.status, StatusOk);
    EXPECT_EQ(t.colOffsets, (std::vector<int32_t>{0}));
    // Shifts beyond either edge sample the edge.
    c.r.roi = {2, 2, 6, 6};
    c.r.xFactor = c.r.yFactor = 1.0;
    c.r.xShift = -4.0;
    c.r.yShift = 40.0;
    t = BuildResizeTables(c.r);
    EXPECT_EQ(t.colOffsets, (std::vector<int32_t>{0, 0, 0, 0, 0, 1}));
    EXPECT_EQ(t.rowOffsets, (std::vector<int32_t>(6, 5 * 64)));
    c.r.interpolation = kResizeLinear;
    t = BuildResizeTables(c.r);
    EXPECT_EQ(t.colOffsets, (std::vector<int32_t>{0, 0, 0, 0, 0, 1}));
    EXPECT_EQ(t.colWeightsQ14[10], 16384);
    EXPECT_EQ(t.colWeightsQ14[11], 0);
}

TEST(ResizeGeneral, SourceStepsAsFactorsWhenNotEdgeAligned)
{
    Call c;
    c.r.edgeAligned = 0;
    c.r.srcWidth = c.r.roi.width = 10;
    c.r.xFactor = 2.0;
    c.r.yFactor = 1.0;
    c.r.dstWidth = 100;
    ResizeTables t = BuildResizeTables(c.r);
    EXPECT_EQ(t.colOffsets, (std::vector<int32_t>{0, 2, 4, 6, 8}));
    c.r.interpolation = kResizeNearest;
    t = BuildResizeTables(c.r);
    EXPECT_EQ(t.colOffsets, (std::vector<int32_t>{1, 3, 5, 7, 9}));
    c.r.dstWidth = 5;
    EXPECT_EQ(BuildResizeTables(c.r).dstWidth, 5);
    c.r.dstWidth = 3;
    EXPECT_EQ(BuildResizeTables(c.r).dstWidth, 3);
}

TEST(ResizeGeneral, LayoutsAndTypesEqualTheOneChannelResultPerChannel)
{
    const int w = 23, h = 17, dw = 41, dh = 29;
    const double xf = 41.0 / 23.0, yf = 29.0 / 17.0;
    std::vector<std::vector<uint8_t>> planes;
    std::vector<std::vector<uint8_t>> expected;
    for (int p = 0; p < 4; ++p) {
        planes.push_back(RandomSamples<uint8_t>(size_t(w * h), uint32_t(10 + p)));
        expected.push_back(ResizeWhole(planes.back(), w, h, dw, dh, xf, yf, kResizeLinear));
    }
    for (int channels : {3, 4}) {
        for (int stride : {channels, 4}) {
            std::vector<uint8_t> packed(size_t(w * h * stride));
            for (int i = 0; i < w * h; ++i)
                for (int c = 0; c < channels; ++c)
                    packed[size_t(i * stride + c)] = planes[size_t(c)][size_t(i)];
            GuardedPlane<uint8_t> dst(dw * stride, dh);
            ASSERT_EQ(ResizeGeneral(packed.data(), w, h, w * stride, {0, 0, w, h}, dst.Data(),
                                    dst.Step(), dw, dh, xf, yf, 0, 0, stride, channels, 0, 0,
                                    kResizeLinear, 1),
                      StatusOk);
            EXPECT_TRUE(dst.Intact());
            for (int y = 0; y < dh; ++y)
                for (int x = 0; x < dw; ++x)
                    for (int c = 0; c < stride; ++c)
                        ASSERT_EQ(dst.At(y, x * stride + c),
                                  c < channels ? expected[size_t(c)][size_t(y * dw + x)]
                                               : dst.Original(y, x * stride + c))
                            << channels << "/" << stride << " " << y << " " << x << " " << c;
        }
    }
    // Planar: each plane alone.
    std::vector<std::vector<uint8_t>> out(4, std::vector<uint8_t>(size_t(dw * dh)));
    const void* src[4] = {planes[0].data(), planes[1].data(), planes[2].data(), planes[3].data()};
    void* dst[4] = {out[0].data(), out[1].data(), out[2].data(), out[3].data()};
    ASSERT_EQ(ResizeGeneral(src, w, h, w, {0, 0, w, h}, dst, dw, dw, dh, xf, yf, 0, 0, 0, 4, 0, 1,
                            kResizeLinear, 1),
              StatusOk);
    EXPECT_EQ(out, expected);

    // 16-bit samples scaled by 257 give the 8-bit result scaled by 257 up to rounding; exactly so
    // for nearest. Floats of the same values agree with the 8-bit result to rounding.
    std::vector<uint16_t> wide(size_t(w * h));
    std::vector<float> real(size_t(w * h));
    for (size_t i = 0; i < wide.size(); ++i) {
        wide[i] = uint16_t(planes[0][i] * 257);
        real[i] = float(planes[0][i]);
    }
    for (int code : {kResizeNearest, kResizeLinear}) {
        const auto narrow = ResizeWhole(planes[0], w, h, dw, dh, xf, yf, code);
        std::vector<uint16_t> wideOut(size_t(dw * dh));
        std::vector<float> realOut(size_t(dw * dh));
        ASSERT_EQ(ResizeGeneral(wide.data(), w, h, 2 * w, {0, 0, w, h}, wideOut.data(), 2 * dw, dw,
                                dh, xf, yf, 0, 0, 1, 1, 1, 0, code, 1),
                  StatusOk);
        ASSERT_EQ(ResizeGeneral(real.data(), w, h, 4 * w, {0, 0, w, h}, realOut.data(), 4 * dw, dw,
                                dh, xf, yf, 0, 0, 1, 1, 2, 0, code, 1),
                  StatusOk);
        for (size_t i = 0; i < narrow.size(); ++i) {
            if (code == kResizeNearest) {
                ASSERT_EQ(wideOut[i], narrow[i] * 257);
                ASSERT_EQ(realOut[i], float(narrow[i]));
            } else {
                ASSERT_NEAR(wideOut[i] / 257.0, narrow[i], 1.0) << i;
                ASSERT_NEAR(realOut[i], narrow[i], 1.0) << i;
            }
        }
    }
}

TEST(ResizeGeneral, InternalEntryTakesSignedSixteenBitForNearestAndLinearOnly)
{
    const int w = 9, h = 7;
    std::vector<int16_t> src(size_t(w * h));
    std::mt19937 rng(3);
    for (auto& s : src)
        s = int16_t(rng());
    ResizeRequest r;
    r.src = src.data();
    r.srcWidth = w;
    r.srcHeight = h;
    r.srcStep = 2 * w;
    r.roi = {0, 0, w, h};
    std::vector<int16_t> out(size_t(4 * w * h));
    r.dst = out.data();
    r.dstStep = 2 * 2 * w;
    r.dstWidth = 2 * w;
    r.dstHeight = 2 * h;
    r.xFactor = r.yFactor = 2.0;
    r.sampleType = kSample16s;

    r.interpolation = kResizeLinear;
    const ResizeTables t = BuildResizeTables(r);
    ASSERT_EQ(t.status, StatusOk);
    EXPECT_EQ(t.slot, kSlotLinearC1 + 3);
    ASSERT_EQ(ResizeGeneralWithKernelSet(r, 0), StatusOk);
    // The signed formulas over the engine's tables.
    for (int y = 0; y < t.dstHeight; ++y) {
        for (int x = 0; x < t.dstWidth; ++x) {
            const int16_t* upper = src.data() + t.rowOffsets[size_t(y)];
            const int16_t* lower = upper + w;
            const int c = t.colOffsets[size_t(x)];
            const int w0 = t.colWeightsQ14[size_t(2 * x)], w1 = t.colWeightsQ14[size_t(2 * x + 1)];
            const int64_t hu = (int64_t(upper[c]) * w0 + int64_t(upper[c + 1]) * w1 + 8192) >> 14;
            const int64_t hl = (int64_t(lower[c]) * w0 + int64_t(lower[c + 1]) * w1 + 8192) >> 14;
            const int rw = t.rowWeightsQ14[size_t(y)];
            const int64_t v = (hu * (16384 - rw) + hl * rw + 8192) >> 14;
            ASSERT_EQ(out[size_t(y * 2 * w + x)], v) << y << " " << x;
        }
    }
    r.interpolation = kResizeNearest;
    ASSERT_EQ(ResizeGeneralWithKernelSet(r, 0), StatusOk);
    EXPECT_EQ(out[0], src[0]);
    EXPECT_EQ(out[size_t(2 * w + 1)], src[0]);
    EXPECT_EQ(out[size_t(2 * w * 2 * h - 1)], src[size_t(w * h - 1)]);

    r.interpolation = kResizeCubic;
    EXPECT_EQ(ResizeGeneralWithKernelSet(r, 0), StatusDataTypeError);
    r.interpolation = kResizeLanczos;
    EXPECT_EQ(BuildResizeTables(r).status, StatusDataTypeError);
    r.interpolation = kResizeLinear;
    EXPECT_EQ(ResizeGeneralWithKernelSet(r, 7), StatusInterpolationError);
    r.sampleType = 4;
    EXPECT_EQ(ResizeGeneralWithKernelSet(r, 0), StatusDataTypeError);
}

TEST(ResizeGeneral, EveryAllocationFailureGivesNoMemoryWithNothingLeakedOrWritten)
{
    for (int code : {kResizeNearest, kResizeLinear, kResizeCubic, kResizeLanczos}) {
        for (int type : {0, 2}) {
            for (int planar : {0, 1}) {
                Call c;
                c.r.interpolation = code;
                c.r.sampleType = type;
                c.r.planar = planar;
                const void* srcPlanes[3] = {c.src.data(), c.src.data(), c.src.data()};
                void* dstPlanes[3] = {c.dst.data(), c.dst.data(), c.dst.data()};
                if (planar) {
                    c.r.src = srcPlanes;
                    c.r.dst = dstPlanes;
                }
                ResetAllocationHooks();
                ASSERT_EQ(c.General(), StatusOk);
                const size_t needed = Allocations().size();
                // Tables, weights (and the Lanczos six-tap weights), then 2, 4 or 6 row buffers.
                const size_t blocks[17] = {0, 2, 6, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 12};
                EXPECT_EQ(needed, blocks[code]);
                EXPECT_EQ(Releases().size(), needed);
                std::fill(c.dst.begin(), c.dst.end(), 0xAB);
                for (size_t k = 0; k < needed; ++k) {
                    ResetAllocationHooks();
                    FailAllocationsAfter(int(k));
                    EXPECT_EQ(c.General(), StatusNoMemory) << code << " " << k;
                    EXPECT_EQ(Allocations().size(), k);
                    EXPECT_EQ(Releases().size(), k);
                    EXPECT_EQ(RefusedRequests().size(), 1u);
                    EXPECT_TRUE(c.Untouched());
                }
                ResetAllocationHooks();
            }
        }
    }
}

TEST(ResizePlane, ReadsNothingPastASourceThatEndsAtItsAllocation)
{
    // Under AddressSanitizer any read past the last row's last sample is reported.
    for (int code :
         {kResizeNearest, kResizeLinear, kResizeCubic, kResizeLanczos, kResizeSupersample}) {
        for (auto [w, h, dw, dh] : {std::array{37, 23, 80, 51}, std::array{37, 23, 13, 9},
                                    std::array{2, 2, 3, 3}, std::array{64, 40, 21, 13},
                                    std::array{5, 3, 2, 1}, std::array{8, 8, 17, 17},
                                    std::array{4, 9, 9, 20}}) {
            const double xf = double(dw) / w, yf = double(dh) / h;
            if (code == kResizeSupersample && (xf > 1.0 || yf > 1.0))
                continue;
            TightSource<uint8_t> src(w, h, uint32_t(w + h));
            std::vector<uint8_t> dst(size_t(dw * dh));
            ASSERT_EQ(ResizePlane(src.Data(), w, h, w, {0, 0, w, h}, dst.data(), dw, dw, dh, xf, yf,
                                  code),
                      StatusOk)
                << code << " " << w << "x" << h;
            // The bottom-right corner, and a region at the right edge.
            ASSERT_EQ(ResizePlane(src.Data(), w, h, w, {w - 1, h - 1, 5, 5}, dst.data(), dw, dw, dh,
                                  code == kResizeSupersample ? 0.6 : 2.0,
                                  code == kResizeSupersample ? 0.6 : 2.0, code),
                      StatusOk);
        }
    }
}
