// CDeInterlace: the advanced type's thresholds per pixel pair (line doubling, blend, unchanged, the
// last pair untouched), the two bob types in place and from another frame's view, type 4 copying,
// single-field frames, the input left untouched out of place, the logged exceptions and the
// compare.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "FieldPictureFrames.h"
#include "RecordingChildStep.h"
#include "VideoStepsFixture.h"
#include "ccrop.h"
#include "cdeinterlace.h"
#include "videoframe.h"

namespace {

using stepstest::PictureBytes;
using stepstest::RecordingChildStep;

class DeInterlaceTest : public stepstest::VideoStepsTest {
protected:
    void Make(LONG type, int children = 1)
    {
        step = std::make_unique<CDeInterlace>(type);
        recorders.clear();
        for (int i = 0; i < children; ++i) {
            recorders.push_back(new RecordingChildStep(kAlgorithmIdEnd, true));
            ASSERT_TRUE(recorders.back()->Connect(step.get()));
        }
    }
    // Width x height, both fields, every sample `level`.
    static std::unique_ptr<VideoFrame> Frame(int width, int height, UCHAR level = 100)
    {
        auto frame = std::make_unique<VideoFrame>(width, height, 8, true);
        frame->Fill(level, level, level);
        frame->SetActiveSize(0, width, (height + 1) / 2);
        frame->SetActiveSize(1, width, height / 2);
        return frame;
    }
    static UCHAR& Y(VideoFrame* f, int row, int x) { return f->GetPlane(0)[row * f->GetStride(0) + x]; }
    static UCHAR& C(VideoFrame* f, int plane, int row, int x) { return f->GetPlane(plane)[row * f->GetStride(plane) + x]; }

    std::unique_ptr<CDeInterlace> step;
    std::vector<RecordingChildStep*> recorders;
};

TEST_F(DeInterlaceTest, AdvancedDoublesBlendsOrKeepsEachPixelPairByItsLumaDifference)
{
    Make(CDeInterlace::kTypeAdvanced);
    auto frame = Frame(16, 4);
    frame->SetWritable(true);
    // Line pair 0 (rows 0, 1): E = 100 everywhere; O differs by 10 at x 0, 9 at x 4, 4 at x 8,
    // 50 at x 14 (the last pair, width - 2).
    Y(frame.get(), 1, 0) = 110;
    Y(frame.get(), 1, 1) = 77;
    C(frame.get(), 1, 1, 0) = 60;
    C(frame.get(), 2, 1, 0) = 61;
    Y(frame.get(), 1, 4) = 91;
    Y(frame.get(), 1, 5) = 120;
    C(frame.get(), 1, 1, 2) = 140;
    C(frame.get(), 2, 1, 2) = 141;
    Y(frame.get(), 1, 8) = 104;
    Y(frame.get(), 1, 9) = 30;
    C(frame.get(), 1, 1, 4) = 10;
    Y(frame.get(), 1, 14) = 150;
    Y(frame.get(), 1, 15) = 151;
    // Line pair 1 (rows 2, 3) differs by 9 at x 2 the other way round.
    Y(frame.get(), 2, 2) = 109;
    step->Process(frame.get());

    ASSERT_EQ(recorders[0]->Frames().size(), 1u);
    EXPECT_EQ(recorders[0]->Frames()[0].y, frame->GetPlane(0)) << "writable, one parent: in place";
    // Difference 10: the odd line takes the even line's samples.
    EXPECT_EQ(Y(frame.get(), 1, 0), 100);
    EXPECT_EQ(Y(frame.get(), 1, 1), 100);
    EXPECT_EQ(C(frame.get(), 1, 1, 0), 100);
    EXPECT_EQ(C(frame.get(), 2, 1, 0), 100);
    // Difference 9: both averaged into the odd line.
    EXPECT_EQ(Y(frame.get(), 1, 4), (100 + 91) >> 1);
    EXPECT_EQ(Y(frame.get(), 1, 5), (100 + 120) >> 1);
    EXPECT_EQ(C(frame.get(), 1, 1, 2), (100 + 140) >> 1);
    EXPECT_EQ(C(frame.get(), 2, 1, 2), (100 + 141) >> 1);
    EXPECT_EQ(Y(frame.get(), 3, 2), (109 + 100) >> 1);
    EXPECT_EQ(Y(frame.get(), 2, 2), 109) << "the even line is never written";
    // Difference 4: kept.
    EXPECT_EQ(Y(frame.get(), 1, 8), 104);
    EXPECT_EQ(Y(frame.get(), 1, 9), 30);
    EXPECT_EQ(C(frame.get(), 1, 1, 4), 10);
    // The last pair of columns is not looked at.
    EXPECT_EQ(Y(frame.get(), 1, 14), 150);
    EXPECT_EQ(Y(frame.get(), 1, 15), 151);
    EXPECT_EQ(step->GetBlendThreshold(), 5);
    EXPECT_EQ(step->GetLineDifferenceThreshold(), 10);
}

TEST_F(DeInterlaceTest, OutOfPlaceTheInputStaysAndTheWorkFrameCarriesTheResult)
{
    Make(CDeInterlace::kTypeAdvanced);
    auto frame = Frame(16, 4);
    Y(frame.get(), 1, 0) = 120;
    frame->SetWritable(false);
    frame->SetFrameNumber(4242);
    const auto before = PictureBytes(frame.get());
    step->Process(frame.get());
    EXPECT_EQ(PictureBytes(frame.get()), before);
    const auto& r = recorders[0]->Frames().at(0);
    EXPECT_NE(r.y, frame->GetPlane(0));
    EXPECT_EQ(r.stamp, 4242);
    EXPECT_EQ(r.fieldHeight[1], 2);
    EXPECT_TRUE(r.writable) << "the step's own frame, one child";
    std::vector<UCHAR> expected = before;
    expected[16] = 100; // row 1, column 0 doubled from row 0
    EXPECT_EQ(r.bytes, expected);
}

TEST_F(DeInterlaceTest, BobZeroAndBobOneRebuildFromOneField)
{
    for (LONG type : {CDeInterlace::kTypeBob0, CDeInterlace::kTypeBob1}) {
        for (bool writable : {true, false}) {
            Make(type);
            auto frame = stepstest::MakeFieldPictureFrame(32, 10, 7, 9, 0, 333667);
            frame->SetWritable(writable);
            step->Process(frame.get());
            const auto& r = recorders[0]->Frames().at(0);
            const int expected = type == CDeInterlace::kTypeBob0 ? 9 : 7; // Bob 0 copies field 1
            EXPECT_EQ(r.topPicture, expected) << type << writable;
            EXPECT_EQ(r.bottomPicture, expected) << type << writable;
            EXPECT_EQ(r.y == frame->GetPlane(0), writable);
            if (!writable) {
                EXPECT_EQ(stepstest::ReadFieldPicture(frame.get(), 0), 7) << "input untouched";
                EXPECT_EQ(stepstest::ReadFieldPicture(frame.get(), 1), 9);
            }
        }
    }
}

TEST_F(DeInterlaceTest, BobReadsAViewWithTheViewsOwnStrides)
{
    // A crop view (strides of a 64-wide picture) into a 32-wide work frame.
    CropSettings window{};
    window.enabled = 1;
    window.top = 4;
    window.height = 10;
    window.left = 8;
    window.width = 32;
    window.leftAlignment = window.widthAlignment = 2;
    CCrop crop(window);
    auto* deinterlace = new CDeInterlace(CDeInterlace::kTypeBob1);
    ASSERT_TRUE(deinterlace->Connect(&crop));
    auto* recorder = new RecordingChildStep(kAlgorithmIdEnd, true);
    ASSERT_TRUE(recorder->Connect(deinterlace));
    auto frame = stepstest::MakeFieldPictureFrame(64, 20, 3, 5, 0, 333667);
    // Picture indices at the view's first columns, so the field pictures read there.
    for (int row = 0; row < 20; ++row) {
        UCHAR* y = frame->GetPlane(0) + row * frame->GetStride(0);
        y[8] = y[0];
        y[9] = y[1];
    }
    crop.Process(frame.get());
    const auto& r = recorder->Frames().at(0);
    EXPECT_EQ(r.width, 32);
    EXPECT_EQ(r.strideY, 32);
    EXPECT_EQ(r.topPicture, 3);
    EXPECT_EQ(r.bottomPicture, 3);
}

TEST_F(DeInterlaceTest, FieldSizesClaimingMoreLinesThanThePictureHasStayInside)
{
    Make(CDeInterlace::kTypeAdvanced);
    auto frame = Frame(16, 5);
    frame->SetActiveSize(0, 16, 300);
    frame->SetActiveSize(1, 16, 300);
    Y(frame.get(), 1, 0) = 150;
    Y(frame.get(), 3, 0) = 150;
    Y(frame.get(), 4, 0) = 150; // row 4 has no partner row
    frame->SetWritable(true);
    step->Process(frame.get());
    EXPECT_EQ(Y(frame.get(), 1, 0), 100);
    EXPECT_EQ(Y(frame.get(), 3, 0), 100);
    EXPECT_EQ(Y(frame.get(), 4, 0), 150);
}

TEST_F(DeInterlaceTest, TypeFourAndOtherTypesOnlyCopy)
{
    Make(4);
    auto frame = Frame(16, 4);
    Y(frame.get(), 1, 0) = 150;
    const auto before = PictureBytes(frame.get());
    step->Process(frame.get());
    EXPECT_EQ(recorders[0]->Frames().at(0).bytes, before);
    EXPECT_NE(recorders[0]->Frames().at(0).y, frame->GetPlane(0));
}

TEST_F(DeInterlaceTest, ASingleFieldFramePassesUnchanged)
{
    Make(CDeInterlace::kTypeAdvanced);
    auto frame = Frame(16, 4);
    frame->SetActiveSize(0, 16, 4);
    frame->SetActiveSize(1, 16, 0);
    Y(frame.get(), 1, 0) = 150;
    const auto before = PictureBytes(frame.get());
    step->Process(frame.get());
    EXPECT_EQ(recorders[0]->Frames().at(0).frame, frame.get());
    EXPECT_EQ(PictureBytes(frame.get()), before);
}

TEST_F(DeInterlaceTest, UnderTwoChildrenTheSharedInputIsNeverWritten)
{
    auto parent = std::make_unique<RecordingChildStep>(kAlgorithmIdCrop);
    auto* deinterlace = new CDeInterlace(CDeInterlace::kTypeAdvanced);
    auto* sibling = new RecordingChildStep(kAlgorithmIdEnd, true);
    ASSERT_TRUE(deinterlace->Connect(parent.get()));
    ASSERT_TRUE(sibling->Connect(parent.get()));
    auto frame = Frame(16, 4);
    Y(frame.get(), 1, 0) = 150;
    frame->SetWritable(true);
    const auto before = PictureBytes(frame.get());
    parent->Process(frame.get());
    EXPECT_EQ(sibling->Frames().at(0).bytes, before);
    EXPECT_EQ(PictureBytes(frame.get()), before);
}

TEST_F(DeInterlaceTest, ExceptionsAreLoggedTenTimesThenOnlyCounted)
{
    Make(CDeInterlace::kTypeAdvanced);
    auto frame = Frame(16, 4);
    frame->SetWritable(true);
    for (int i = 0; i < 12; ++i) {
        Y(frame.get(), 1, 0) = 150;
        frame->SetWritable(true); // a childless recorder leaves frames read-only
        InjectPlaneWorkExceptions(1);
        step->Process(frame.get());
        // The pass ended at the exception: the frame goes on unchanged from there.
        EXPECT_EQ(Y(frame.get(), 1, 0), 150);
    }
    EXPECT_EQ(recorders[0]->Frames().size(), 12u);
    EXPECT_EQ(step->GetExceptionCount(), 12u);
    const auto work = LoggedWork(0xC0071085);
    ASSERT_EQ(work.size(), 10u);
    EXPECT_EQ(work[0], u"deinterlace the video frame");
    EXPECT_EQ(DebugLinesWith("Exception 0xc0000005 caught while attempting to deinterlace the video frame").size(), 10u);
    // Without an injected exception the pass runs again.
    frame->SetWritable(true);
    step->Process(frame.get());
    EXPECT_EQ(Y(frame.get(), 1, 0), 100);
}

TEST_F(DeInterlaceTest, CompareTakesEnabledTypeAndThreshold)
{
    CDeInterlace a(1), b(1), c(3);
    EXPECT_TRUE(a.IsEqual(&b));
    EXPECT_FALSE(a.IsEqual(&c));
    EXPECT_FALSE(a.IsEqual(nullptr));
    RecordingChildStep other(kAlgorithmIdCrop);
    EXPECT_FALSE(a.IsEqual(&other));
    EXPECT_TRUE(a.IsEnabled());
    EXPECT_EQ(CDeInterlace().GetType(), 1);
}

} // namespace
