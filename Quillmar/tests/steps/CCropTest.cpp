// CCrop: the view of a disabled crop, windows kept inside the picture (read whole under
// AddressSanitizer), the rescale from a reference size with minimum and alignment, the VBI lines
// removed at the top, the field line counts, the plane pointers of the view, the writable mark and
// the compare.
#include <gtest/gtest.h>

#include <memory>
#include <numeric>

#include "RecordingChildStep.h"
#include "VideoStepsFixture.h"
#include "ccrop.h"
#include "videoframe.h"

namespace {

using stepstest::RecordingChildStep;

CropSettings Enabled(LONG top, LONG height, LONG left, LONG width, LONG referenceHeight = 0, LONG referenceWidth = 0)
{
    CropSettings s{};
    s.enabled = 1;
    s.top = top;
    s.height = height;
    s.left = left;
    s.width = width;
    s.referenceHeight = referenceHeight;
    s.referenceWidth = referenceWidth;
    s.leftAlignment = 2;
    s.widthAlignment = 2;
    return s;
}

class CropTest : public stepstest::VideoStepsTest {
protected:
    void Make(const CropSettings& settings, int children = 1)
    {
        crop = std::make_unique<CCrop>(settings); // the old crop takes its children with it
        recorders.clear();
        for (int i = 0; i < children; ++i) {
            recorders.push_back(new RecordingChildStep());
            ASSERT_TRUE(recorders.back()->Connect(crop.get()));
        }
    }
    std::unique_ptr<VideoFrame> Frame(int width, int height, bool twoFields = true)
    {
        auto frame = std::make_unique<VideoFrame>(width, height, 8, true);
        frame->FillBlack();
        frame->SetActiveSize(0, width, twoFields ? (height + 1) / 2 : height);
        frame->SetActiveSize(1, width, twoFields ? height / 2 : 0);
        return frame;
    }
    // Every byte of every row of every plane of the view (a view reaching outside the picture's
    // buffer fails under AddressSanitizer).
    static unsigned Sum(const VideoFrame* view)
    {
        unsigned sum = 0;
        const int widths[3] = {view->GetWidth(), view->GetWidth() / 2, view->GetWidth() / 2};
        for (int p = 0; p < 3; ++p)
            for (int r = 0; r < view->GetHeight(); ++r) {
                const UCHAR* row = view->GetPlane(p) + static_cast<ptrdiff_t>(r) * view->GetStride(p);
                sum = std::accumulate(row, row + widths[p], sum);
            }
        return sum;
    }
    const VideoFrame* View() const { return static_cast<const VideoFrame*>(recorders[0]->Frames().back().frame); }

    std::unique_ptr<CCrop> crop;
    std::vector<RecordingChildStep*> recorders;
};

TEST_F(CropTest, ADisabledCropPassesTheWholePictureWithoutCopying)
{
    Make(CropSettings{});
    auto frame = Frame(100, 50); // row width 112: the window is cut at the picture's width
    frame->SetWritable(true);
    crop->Process(frame.get());
    const auto& r = recorders[0]->Frames().at(0);
    EXPECT_EQ(r.y, frame->GetPlane(0));
    EXPECT_EQ(r.width, 100);
    EXPECT_EQ(r.height, 50);
    EXPECT_EQ(r.strideY, 112);
    EXPECT_TRUE(r.writable);
    EXPECT_EQ(View()->GetPlane(1), frame->GetPlane(1));
    EXPECT_EQ(View()->GetPlane(2), frame->GetPlane(2));
    EXPECT_EQ(crop->GetLastWindow().width, 100);
    EXPECT_EQ(crop->GetSettings().referenceHeight, 50);
}

TEST_F(CropTest, AWindowRunningPastTheBottomIsCutAtThePicture)
{
    Make(Enabled(500, 1080, 0, 1920));
    auto frame = Frame(1920, 1080);
    crop->Process(frame.get());
    const auto& r = recorders[0]->Frames().at(0);
    EXPECT_EQ(r.height, 580);
    EXPECT_EQ(r.width, 1920);
    EXPECT_EQ(r.y, frame->GetPlane(0) + 500 * 1920);
    // 580 rows of 1920 + 2 x 960 bytes of black.
    EXPECT_EQ(Sum(View()), 580u * (1920u * 16 + 2 * 960 * 128));
}

TEST_F(CropTest, WindowsOutsideThePictureKeepTwoRowsAndColumnsInside)
{
    Make(Enabled(2000, 50, 5000, 300));
    auto frame = Frame(640, 480);
    crop->Process(frame.get());
    EXPECT_EQ(crop->GetLastWindow().top, 478);
    EXPECT_EQ(crop->GetLastWindow().height, 2);
    EXPECT_EQ(crop->GetLastWindow().left, 638);
    EXPECT_EQ(crop->GetLastWindow().width, 2);
    EXPECT_EQ(Sum(View()), 2u * (2 * 16 + 2 * 128));

    Make(Enabled(-10, 0, -4, -8));
    crop->Process(frame.get());
    EXPECT_EQ(crop->GetLastWindow().top, 0);
    EXPECT_EQ(crop->GetLastWindow().left, 0);
    EXPECT_EQ(crop->GetLastWindow().height, 2);
    EXPECT_EQ(crop->GetLastWindow().width, 2);
}

TEST_F(CropTest, AReferenceSizeOfHalfThePictureDoublesEveryEdge)
{
    Make(Enabled(20, 400, 100, 500, 487, 720));
    auto frame = Frame(1440, 974);
    crop->Process(frame.get());
    const CropWindow& w = crop->GetLastWindow();
    EXPECT_EQ(w.top, 40);
    EXPECT_EQ(w.height, 800);
    EXPECT_EQ(w.left, 200);
    EXPECT_EQ(w.width, 1000);
    // The scaled values replace the settings, with the picture as the new reference.
    EXPECT_EQ(crop->GetSettings().top, 40);
    EXPECT_EQ(crop->GetSettings().referenceHeight, 974);
    EXPECT_EQ(crop->GetSettings().referenceWidth, 1440);
    EXPECT_EQ(crop->GetConstructionSettings().top, 20);
    // A second frame of the same size scales nothing again.
    crop->Process(frame.get());
    EXPECT_EQ(crop->GetLastWindow().top, 40);
}

TEST_F(CropTest, TheRescaleRoundsHalvesToEvenThenAppliesMinimumAndAlignments)
{
    // Factor 1.5: top 5 -> 7.5 -> 8, height 9 -> 13.5 -> 14, left 3 -> 4.5 -> 4, width 35 -> 52.5 -> 52.
    CropSettings s = Enabled(5, 9, 3, 35, 100, 100);
    s.minimumHeight = 10; // 14 - 8 < 10: height = 10 + 8
    s.minimumWidth = 0;
    s.leftAlignment = 0;  // counts as 2
    s.widthAlignment = 16;
    Make(s);
    auto frame = Frame(150, 150);
    crop->Process(frame.get());
    EXPECT_EQ(crop->GetSettings().top, 8);
    EXPECT_EQ(crop->GetSettings().height, 18);
    EXPECT_EQ(crop->GetSettings().left, 4);
    EXPECT_EQ(crop->GetSettings().width, 48);

    // Factor 0.5: left 66 -> 33, width 128 -> 64.
    s = Enabled(0, 100, 66, 128, 200, 200);
    s.leftAlignment = 8;
    s.minimumWidth = 90; // 64 - 33 < 90: width = 90 + 33 = 123, aligned to 2: 122
    Make(s);
    auto same = Frame(100, 100);
    crop->Process(same.get());
    EXPECT_EQ(crop->GetSettings().left, 32); // 33 rounded down to a multiple of 8
    EXPECT_EQ(crop->GetSettings().width, 122);
    // The window then stays inside: width 100 - 32.
    EXPECT_EQ(crop->GetLastWindow().width, 68);
}

TEST_F(CropTest, AReferenceOfZeroIsThePictureSize)
{
    Make(Enabled(10, 20, 30, 40));
    auto frame = Frame(320, 240);
    crop->Process(frame.get());
    EXPECT_EQ(crop->GetLastWindow().top, 10);
    EXPECT_EQ(crop->GetLastWindow().width, 40);
    EXPECT_EQ(crop->GetSettings().referenceHeight, 0);
}

TEST_F(CropTest, VbiLinesAtTheTopAreRemovedAndAtLeastTwoLinesStay)
{
    Make(CropSettings{});
    auto frame = Frame(720, 487);
    frame->SetLineRemoval(17);
    crop->Process(frame.get());
    EXPECT_EQ(crop->GetLastWindow().top, 17);
    EXPECT_EQ(crop->GetLastWindow().height, 470);
    EXPECT_EQ(View()->GetLineRemoval(), 0);
    EXPECT_EQ(recorders[0]->Frames().back().y, frame->GetPlane(0) + 17 * 720);

    frame->SetLineRemoval(540); // more than the picture has
    crop->Process(frame.get());
    EXPECT_EQ(crop->GetLastWindow().top, 485);
    EXPECT_EQ(crop->GetLastWindow().height, 2);
    EXPECT_EQ(Sum(View()), 2u * (720 * 16 + 720 * 128));
}

TEST_F(CropTest, FieldLineCountsFollowTheWindow)
{
    Make(Enabled(0, 487, 0, 720));
    auto frame = Frame(720, 487);
    crop->Process(frame.get());
    EXPECT_EQ(recorders[0]->Frames().back().fieldHeight[0], 244);
    EXPECT_EQ(recorders[0]->Frames().back().fieldHeight[1], 243);
    EXPECT_EQ(View()->GetActiveSize(0).width, 720);

    Make(Enabled(10, 100, 0, 720));
    auto single = Frame(720, 487, false);
    crop->Process(single.get());
    EXPECT_EQ(recorders[0]->Frames().back().fieldHeight[0], 100);
    EXPECT_EQ(recorders[0]->Frames().back().fieldHeight[1], 0);
}

TEST_F(CropTest, TheViewPointsIntoEveryPlaneWithTheIncomingStrides)
{
    Make(Enabled(12, 40, 18, 64));
    auto frame = Frame(200, 100);
    frame->SetFrameNumber(777);
    frame->SetFlags(kFrameFlagGenerated);
    crop->Process(frame.get());
    const VideoFrame* view = View();
    EXPECT_EQ(view->GetPlane(0), frame->GetPlane(0) + 12 * frame->GetStride(0) + 18);
    EXPECT_EQ(view->GetPlane(1), frame->GetPlane(1) + 12 * frame->GetStride(1) + 9);
    EXPECT_EQ(view->GetPlane(2), frame->GetPlane(2) + 12 * frame->GetStride(2) + 9);
    for (ULONG p = 0; p < 3; ++p)
        EXPECT_EQ(view->GetStride(p), frame->GetStride(p));
    EXPECT_EQ(view->GetRowWidth(), 64u);
    EXPECT_EQ(view->GetFrameNumber(), 777);
    EXPECT_TRUE(view->HasFlags(kFrameFlagGenerated));
    EXPECT_EQ(view->GetFrameData(), nullptr) << "the view owns no buffer";
    // An odd left column moves to the even one before it (a chroma sample covers two).
    Make(Enabled(0, 40, 19, 64));
    crop->Process(frame.get());
    EXPECT_EQ(crop->GetLastWindow().left, 18);
}

TEST_F(CropTest, TheViewIsWritableOnlyForASingleChildOfAWritableFrame)
{
    Make(Enabled(0, 20, 0, 32), 2);
    auto frame = Frame(64, 40);
    frame->SetWritable(true);
    crop->Process(frame.get());
    EXPECT_FALSE(recorders[0]->Frames().back().writable);
    EXPECT_FALSE(recorders[1]->Frames().back().writable);

    Make(Enabled(0, 20, 0, 32), 1);
    frame->SetWritable(false);
    crop->Process(frame.get());
    EXPECT_FALSE(recorders[0]->Frames().back().writable);
    frame->SetWritable(true);
    crop->Process(frame.get());
    EXPECT_TRUE(recorders[0]->Frames().back().writable);
}

TEST_F(CropTest, OnlyTwoDisabledCropsCompareEqual)
{
    CCrop off1(CropSettings{}), off2(CropSettings{});
    CropSettings same = Enabled(0, 100, 0, 100);
    CCrop on1(same), on2(same);
    EXPECT_TRUE(off1.IsEqual(&off2));
    EXPECT_FALSE(off1.IsEqual(&on1));
    EXPECT_FALSE(on1.IsEqual(&off1)) << "an enabled crop is never shared with a disabled chain";
    EXPECT_FALSE(on1.IsEqual(&on2));
    EXPECT_FALSE(off1.IsEqual(nullptr));
    RecordingChildStep other(kAlgorithmIdDeinterlace);
    EXPECT_FALSE(off1.IsEqual(&other));
}

TEST_F(CropTest, AFrameWithoutPlanesGoesOnUnchanged)
{
    Make(Enabled(0, 20, 0, 32));
    VideoFrame empty;
    crop->Process(&empty);
    ASSERT_EQ(recorders[0]->Frames().size(), 1u);
    EXPECT_EQ(recorders[0]->Frames()[0].frame, &empty);
}

} // namespace
