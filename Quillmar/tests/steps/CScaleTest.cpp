// The scaling step: the interpolation code of each method, the resize equal to ResizePlane on
// each plane byte for byte, a frame already at the target passed on as it is (under the writable
// rule), the target clipped to the bitmap, black borders around a smaller target, and the compare.
#include <gtest/gtest.h>

#include "LendingTestSink.h"
#include "StepCompareChecks.h"
#include "StepTestPictures.h"
#include "cscale.h"
#include "imaging/imaging.h"

#include <memory>
#include <vector>

namespace {

// A step with one recording child.
struct ScaleRun {
    CScale step;
    LendingTestSink sink{0};
    explicit ScaleRun(ULONG method) : step(method) { sink.Connect(&step); }
    ~ScaleRun() { sink.Disconnect(); }
};

std::vector<uint8_t> ResizedPlane(const VideoFrame& source, int plane, int width, int height, LONG code)
{
    const int sourceWidth = plane == 0 ? source.GetWidth() : source.GetWidth() / 2;
    const int destinationWidth = plane == 0 ? width : width / 2;
    std::vector<uint8_t> out(size_t(destinationWidth) * height);
    EXPECT_EQ(ResizePlane(source.GetPlane(plane), sourceWidth, source.GetHeight(), source.GetStride(plane),
                          {0, 0, sourceWidth, source.GetHeight()}, out.data(), destinationWidth, destinationWidth,
                          height, double(width) / source.GetWidth(), double(height) / source.GetHeight(), code),
              StatusOk);
    return out;
}

std::vector<uint8_t> PlaneOf(const VideoFrame& frame, int plane, int width, int height)
{
    std::vector<uint8_t> out;
    for (int r = 0; r < height; ++r) {
        const uint8_t* row = frame.GetPlane(plane) + size_t(r) * frame.GetStride(plane);
        out.insert(out.end(), row, row + width);
    }
    return out;
}

TEST(CScaleTest, MethodsGiveTheirInterpolationCodes)
{
    const LONG codes[] = {1, 2, 4, 16};
    for (ULONG method = 0; method < 4; ++method) {
        CScale step(method);
        step.SetScaling(640, 480, 320, 240);
        EXPECT_EQ(step.GetInterpolationCode(), codes[method]) << method;
    }
    // A method above 3 leaves the code: nearest, or what a valid method set before.
    CScale unknown(9);
    unknown.SetScaling(640, 480, 320, 240);
    EXPECT_EQ(unknown.GetInterpolationCode(), CScale::kCodeNearest);
    CScale changed(CScale::kLanczos);
    changed.SetScaling(640, 480, 320, 240);
    changed.SetMethod(4);
    changed.SetScaling(640, 480, 320, 240);
    EXPECT_EQ(changed.GetInterpolationCode(), CScale::kCodeLanczos);
}

TEST(CScaleTest, TenEightyTo720EqualsThreeResizePlaneCallsForEachMethod)
{
    VideoFramePtr frame = MakeRandomPicture(1920, 1080, 1);
    for (ULONG method = 0; method < 4; ++method) {
        ScaleRun run(method);
        run.step.SetScaling(1280, 720, 1280, 720);
        run.step.Process(frame.get());
        ASSERT_EQ(run.sink.Deliveries(), 1u);
        const auto* out = static_cast<const VideoFrame*>(run.sink.LastFrame());
        ASSERT_EQ(out, run.step.GetWorkFrame());
        ASSERT_EQ(out->GetWidth(), 1280);
        ASSERT_EQ(out->GetHeight(), 720);
        EXPECT_TRUE(run.sink.LastWritable());
        const LONG code = run.step.GetInterpolationCode();
        EXPECT_EQ(PlaneOf(*out, 0, 1280, 720), ResizedPlane(*frame, 0, 1280, 720, code)) << method;
        EXPECT_EQ(PlaneOf(*out, 1, 640, 720), ResizedPlane(*frame, 1, 1280, 720, code)) << method;
        EXPECT_EQ(PlaneOf(*out, 2, 640, 720), ResizedPlane(*frame, 2, 1280, 720, code)) << method;
    }
}

TEST(CScaleTest, FrameAtTheTargetPassesWithItsOwnPlanes)
{
    VideoFramePtr frame = MakeRandomPicture(640, 360, 2);
    const std::vector<uint8_t> before = Snapshot(*frame);
    frame->SetWritable(true);
    ScaleRun run(CScale::kLinear);
    run.step.SetScaling(640, 360, 640, 360);
    run.step.Process(frame.get());
    EXPECT_EQ(run.sink.LastFrame(), frame.get());
    EXPECT_EQ(run.sink.LastPlaneY(), frame->GetPlane(0));
    EXPECT_TRUE(run.sink.LastWritable());
    EXPECT_EQ(run.step.GetWorkFrame(), nullptr);
    EXPECT_EQ(Snapshot(*frame), before);

    // With two children neither may write it.
    LendingTestSink second(0);
    second.Connect(&run.step);
    run.step.Process(frame.get());
    EXPECT_EQ(run.sink.LastFrame(), frame.get());
    EXPECT_FALSE(run.sink.LastWritable());
    EXPECT_FALSE(second.LastWritable());
    second.Disconnect();
}

TEST(CScaleTest, TargetLargerThanTheBitmapIsClipped)
{
    VideoFramePtr frame = MakeRandomPicture(1920, 1080, 3);
    ScaleRun run(CScale::kNearest);
    run.step.SetScaling(640, 360, 1280, 720);
    EXPECT_EQ(run.step.ScaledWidth(), 640);
    EXPECT_EQ(run.step.ScaledHeight(), 360);
    run.step.Process(frame.get());
    const auto* out = static_cast<const VideoFrame*>(run.sink.LastFrame());
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->GetWidth(), 640);
    EXPECT_EQ(out->GetHeight(), 360);
    EXPECT_EQ(PlaneOf(*out, 0, 640, 360), ResizedPlane(*frame, 0, 640, 360, CScale::kCodeNearest));
}

TEST(CScaleTest, SmallerTargetLeavesBlackBorders)
{
    VideoFramePtr frame = MakePicture(200, 120, 200, 90, 160);
    ScaleRun run(CScale::kLinear);
    run.step.SetScaling(100, 60, 50, 30);
    run.step.Process(frame.get());
    const auto* out = static_cast<const VideoFrame*>(run.sink.LastFrame());
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(out->GetWidth(), 100);
    ASSERT_EQ(out->GetHeight(), 60);
    for (int r = 0; r < 60; ++r)
        for (int x = 0; x < 100; ++x) {
            const bool inside = x < 50 && r < 30;
            ASSERT_EQ(SampleAt(*out, 0, x, r), inside ? 200 : 16) << x << "," << r;
            if (x < 50) {
                ASSERT_EQ(SampleAt(*out, 1, x, r), (x < 25 && r < 30) ? 90 : 128) << x << "," << r;
                ASSERT_EQ(SampleAt(*out, 2, x, r), (x < 25 && r < 30) ? 160 : 128) << x << "," << r;
            }
        }
}

TEST(CScaleTest, FrameAtATargetSmallerThanTheBitmapGoesIntoTheBitmapSizedFrameUnscaled)
{
    // A 640 x 480 target inside a 720 x 480 bitmap: a frame of the target's size is not resized,
    // but it is laid into the bitmap's frame, so the output step writes rows of the bitmap's pitch.
    VideoFramePtr frame = MakeRandomPicture(640, 480, 7);
    const std::vector<uint8_t> before = Snapshot(*frame);
    ScaleRun run(CScale::kCubic);
    run.step.SetScaling(720, 480, 640, 480);
    run.step.Process(frame.get());
    ASSERT_EQ(run.sink.Deliveries(), 1u);
    const auto* out = static_cast<const VideoFrame*>(run.sink.LastFrame());
    ASSERT_EQ(out, run.step.GetWorkFrame());
    ASSERT_EQ(out->GetWidth(), 720);
    ASSERT_EQ(out->GetHeight(), 480);
    EXPECT_TRUE(run.sink.LastWritable());
    for (int r = 0; r < 480; ++r) {
        for (int x = 0; x < 720; ++x)
            ASSERT_EQ(SampleAt(*out, 0, x, r), x < 640 ? SampleAt(*frame, 0, x, r) : 16) << x << "," << r;
        for (int k = 0; k < 360; ++k) {
            ASSERT_EQ(SampleAt(*out, 1, k, r), k < 320 ? SampleAt(*frame, 1, k, r) : 128) << k << "," << r;
            ASSERT_EQ(SampleAt(*out, 2, k, r), k < 320 ? SampleAt(*frame, 2, k, r) : 128) << k << "," << r;
        }
    }
    EXPECT_EQ(Snapshot(*frame), before);
    // Likewise a target less tall than the bitmap: the rows below it stay black.
    ScaleRun shorter(CScale::kLinear);
    shorter.step.SetScaling(640, 480, 640, 360);
    VideoFramePtr wide = MakeRandomPicture(640, 360, 8);
    shorter.step.Process(wide.get());
    const auto* tall = static_cast<const VideoFrame*>(shorter.sink.LastFrame());
    ASSERT_EQ(tall, shorter.step.GetWorkFrame());
    ASSERT_EQ(tall->GetHeight(), 480);
    EXPECT_EQ(SampleAt(*tall, 0, 5, 359), SampleAt(*wide, 0, 5, 359));
    EXPECT_EQ(SampleAt(*tall, 0, 5, 360), 16);
}

TEST(CScaleTest, FramesOfEachSizeReuseOneWorkFrame)
{
    ScaleRun run(CScale::kLinear);
    run.step.SetScaling(320, 180, 320, 180);
    VideoFramePtr first = MakeRandomPicture(640, 360, 4);
    VideoFramePtr second = MakeRandomPicture(1280, 720, 5);
    run.step.Process(first.get());
    VideoFrame* work = run.step.GetWorkFrame();
    ASSERT_NE(work, nullptr);
    run.step.Process(second.get());
    EXPECT_EQ(run.step.GetWorkFrame(), work);
    EXPECT_EQ(PlaneOf(*work, 0, 320, 180), ResizedPlane(*second, 0, 320, 180, CScale::kCodeLinear));
    // A frame of the target size after a resized one goes on as it is.
    VideoFramePtr third = MakeRandomPicture(320, 180, 6);
    run.step.Process(third.get());
    EXPECT_EQ(run.sink.LastFrame(), third.get());
}

TEST(CScaleTest, ComparesSizesAndMethod)
{
    CScale a(CScale::kCubic), b(CScale::kCubic), c(CScale::kLinear), d(CScale::kCubic);
    a.SetScaling(720, 480, 640, 480);
    b.SetScaling(720, 480, 640, 480);
    c.SetScaling(720, 480, 640, 480);
    d.SetScaling(720, 480, 640, 360);
    ExpectComparesLike(a, b, {&c, &d});
}

} // namespace
