// The test source's colour bars through chains built from settings records alone: a capture pin at
// 320 x 240 in RGB32, RGB24, UYVY and I420 and a preview pin at 160 x 120 RGB32 in one tree, with
// deinterlacing and telecine detection off and a neutral proc amp. At each bar's centre the output
// bytes are the bar table's values converted by the output arithmetic written out below (blue
// first for RGB, the table's Y, U and V as they are for UYVY and I420).
#include "ChainTestFixture.h"
#include "ColorBarExpected.h"

#include "algorithmlist.h"
#include "ccolorspaces.h"
#include "colorbargenerator.h"
#include "coutcolorspace.h"
#include "frameprocessedsink.h"
#include "videochainbuilder.h"
#include "videoframe.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

namespace streamtest {
namespace {

using namespace colorbartest;

constexpr ULONG kUYVY = 0x59565955;
constexpr ULONG kI420 = 0x30323449;

class ColorBarChainTest : public ChainTestFixture {
protected:
    static constexpr LONG kSourceWidth = 720;
    static constexpr LONG kSourceHeight = 480;

    const COutColorSpace* Merge(ULONG pinId, LONG width, LONG height, USHORT bits, ULONG compression,
                                const BrevicorCropRecord& crop = {})
    {
        VideoChainSettings settings = ChainVideoSettings(pinId, width, height, bits, compression);
        settings.crop = crop;
        return static_cast<const COutColorSpace*>(ChainTestFixture::Merge(settings)->GetParent());
    }

    // Three more colour-bar pictures as the test source makes them, through the tree.
    void FeedBars()
    {
        BITMAPINFOHEADER header = {};
        header.biSize = sizeof(header);
        header.biWidth = kSourceWidth;
        header.biHeight = kSourceHeight;
        header.biBitCount = 16;
        ColorBarGenerator bars(header, false);
        std::vector<UCHAR> buffer(size_t(kSourceWidth) * kSourceHeight * 2);
        VideoFrame frame;
        FrameWorkItem item = {};
        item.frame = &frame;
        for (int i = 0; i < 3; ++i) {
            const ULONG n = next_++;
            frame.Initialize(buffer.data(), ULONG(buffer.size()), kSourceWidth, kSourceHeight, 8);
            ASSERT_GT(bars.Render(frame.GetFrameData()), 0u);
            frame.SetVbiSize(0, 0, 0);
            frame.SetVbiSize(1, 0, 0);
            frame.SetActiveSize(0, kSourceWidth, kSourceHeight);
            frame.SetActiveSize(1, 0, 0);
            frame.AddFlags(kFrameFlagGenerated);
            frame.SetVideoStandard(kFrameStandard525);
            frame.SetFrameInterval(333667);
            frame.SetFrameNumber(LONGLONG(n) * 333667);
            frame.SetSequenceNumber(n + 1);
            stream_->GetSource()->Process(&item);
        }
        frame.DetachBuffer();
    }

    static const UCHAR* Output(const COutColorSpace* step)
    {
        const VideoFrame* frame = step->GetOutputVideoFrame();
        return frame != nullptr ? frame->GetFrameData() : nullptr;
    }

    ULONG next_ = 0; // pictures fed so far: times and sequence numbers go on across feeds
};

TEST_F(ColorBarChainTest, EachBarsCentreHoldsTheTablesColourInEveryOutputFormat)
{
    const COutColorSpace* rgb32 = Merge(kVideoPinIdCapture, 320, 240, 32, KS_BI_RGB);
    const COutColorSpace* rgb24 = Merge(kVideoPinIdCapture, 320, 240, 24, KS_BI_RGB);
    const COutColorSpace* uyvy = Merge(kVideoPinIdCapture, 320, 240, 16, kUYVY);
    const COutColorSpace* i420 = Merge(kVideoPinIdCapture, 320, 240, 12, kI420);
    const COutColorSpace* preview = Merge(kVideoPinIdPreview, 160, 120, 32, KS_BI_RGB);
    FeedBars();
    for (const COutColorSpace* step : {rgb32, rgb24, uyvy, i420, preview})
        ASSERT_NE(Output(step), nullptr);
    EXPECT_EQ(rgb32->GetTiming().count, 3u);

    // White first, in the two RGB depths.
    EXPECT_EQ(Rgb32(0), (std::array<int, 3>{235, 235, 235}));
    EXPECT_EQ(Rgb24(0), (std::array<int, 3>{255, 255, 255}));

    for (int bar = 0; bar < 8; ++bar) {
        SCOPED_TRACE("bar " + std::to_string(bar));
        const LONG x = 40 * bar + 20; // the bar's centre at 320 wide
        for (LONG row : {0L, 120L, 239L}) {
            const UCHAR* p32 = Output(rgb32) + size_t(row) * 320 * 4 + size_t(x) * 4;
            EXPECT_EQ((std::array<int, 4>{p32[0], p32[1], p32[2], p32[3]}),
                      (std::array<int, 4>{Rgb32(bar)[0], Rgb32(bar)[1], Rgb32(bar)[2], 0}));
            const UCHAR* p24 = Output(rgb24) + size_t(row) * 960 + size_t(x) * 3;
            EXPECT_EQ((std::array<int, 3>{p24[0], p24[1], p24[2]}), Rgb24(bar));
            // UYVY: U Y0 V Y1 of the pixel pair at the centre.
            const UCHAR* pu = Output(uyvy) + size_t(row) * 640 + size_t(x) * 2;
            EXPECT_EQ((std::array<int, 4>{pu[0], pu[1], pu[2], pu[3]}),
                      (std::array<int, 4>{kBarU[bar], kBarY[bar], kBarV[bar], kBarY[bar]}));
            // I420: Y, then U and V at half width and height.
            const UCHAR* planes = Output(i420);
            EXPECT_EQ(planes[size_t(row) * 320 + size_t(x)], kBarY[bar]);
            EXPECT_EQ(planes[320 * 240 + size_t(row / 2) * 160 + size_t(x / 2)], kBarU[bar]);
            EXPECT_EQ(planes[320 * 240 + 160 * 120 + size_t(row / 2) * 160 + size_t(x / 2)], kBarV[bar]);
        }
        const UCHAR* pp = Output(preview) + size_t(60) * 160 * 4 + size_t(20 * bar + 10) * 4;
        EXPECT_EQ((std::array<int, 4>{pp[0], pp[1], pp[2], pp[3]}),
                  (std::array<int, 4>{Rgb32(bar)[0], Rgb32(bar)[1], Rgb32(bar)[2], 0}));
    }
}

TEST_F(ColorBarChainTest, AProcAmpChangeReachesTheRunningStepAndACropRebuildsOnlyItsPinsBranch)
{
    const COutColorSpace* capture = Merge(kVideoPinIdCapture, 320, 240, 32, KS_BI_RGB);
    const COutColorSpace* preview = Merge(kVideoPinIdPreview, 160, 120, 32, KS_BI_RGB);
    FrameProcessedSink* captureSink = sinks_[0].get();
    auto* procAmp = static_cast<CColorSpaces*>(captureSink->FindParentWithId(kAlgorithmIdProcAmp));
    ASSERT_NE(procAmp, nullptr);
    FeedBars();
    const UCHAR* grey = Output(capture) + size_t(120) * 320 * 4 + 7 * 40 * 4 + 20 * 4; // the black bar
    EXPECT_EQ(grey[0], 16);

    // Brighter by 40 on the running step: the next pictures change, through the same steps.
    ProcAmpBlock block = procAmp->GetSettings();
    block.brightness = 40;
    std::memset(block.lumaTable, 0, sizeof(block.lumaTable)); // computed from the values
    std::memset(block.sineTable, 0, sizeof(block.sineTable));
    std::memset(block.cosineTable, 0, sizeof(block.cosineTable));
    ASSERT_TRUE(procAmp->SetTables(reinterpret_cast<const ULONG*>(&block), kProcAmpBlockWords));
    FeedBars();
    EXPECT_EQ(captureSink->FindParentWithId(kAlgorithmIdProcAmp), procAmp);
    EXPECT_GT(Output(capture)[size_t(120) * 320 * 4 + 7 * 40 * 4 + 20 * 4], 16);
    const UCHAR* previewBlack = Output(preview) + size_t(60) * 160 * 4 + (20 * 7 + 10) * 4;
    EXPECT_EQ(previewBlack[0], 16); // the preview's own proc amp is untouched

    // A crop for the capture pin: its chain is taken out and built again; the preview's steps stay.
    std::vector<const Algorithm*> previewSteps;
    for (const Algorithm* step = preview; step != nullptr; step = step->GetParent())
        previewSteps.push_back(step);
    ASSERT_EQ(stream_->RemoveFrameSink(captureSink), STATUS_SUCCESS);
    BrevicorCropRecord crop = {};
    crop.enable = 1;
    crop.top = 0;
    crop.height = 480;
    crop.left = 360; // the right half: white no longer shows
    crop.width = 360;
    crop.referenceHeight = 480;
    crop.referenceWidth = 720;
    crop.minimumHeight = 2;
    crop.minimumWidth = 2;
    crop.granularityX = 2;
    const COutColorSpace* cropped = Merge(kVideoPinIdCapture, 320, 240, 32, KS_BI_RGB, crop);
    std::vector<const Algorithm*> after;
    for (const Algorithm* step = preview; step != nullptr; step = step->GetParent())
        after.push_back(step);
    EXPECT_EQ(after, previewSteps);
    // The new branch leaves the shared steps below the converter.
    const Algorithm* converter = previewSteps[previewSteps.size() - 3];
    ASSERT_EQ(converter->GetAlgorithmId(), kAlgorithmIdFrameRate);
    EXPECT_EQ(converter->GetChildCount(), 2);
    EXPECT_EQ(cropped->FindParentWithId(kAlgorithmIdFrameRate), converter);
    FeedBars();
    // The cropped picture's first quarter is the magenta bar (bars 4 to 7 fill it).
    const UCHAR* left = Output(cropped) + size_t(120) * 320 * 4 + 40 * 4;
    EXPECT_EQ((std::array<int, 3>{left[0], left[1], left[2]}), Rgb32(4));
}

} // namespace
} // namespace streamtest
