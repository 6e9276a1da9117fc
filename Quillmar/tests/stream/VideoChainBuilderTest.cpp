// The video pins' chains built from settings records alone and merged into a stream's tree: the
// step order of each pin and option, the intervals, the output size, the output colour space and
// mirroring, the sharing of equal steps between pins and the branch a different setting makes.
#include "AlgorithmTreeDump.h"
#include "ChainTestFixture.h"

#include "algorithmlist.h"
#include "ccrop.h"
#include "cdeinterlace.h"
#include "coutcolorspace.h"
#include "cscale.h"
#include "frameprocessedsink.h"
#include "videochainbuilder.h"
#include "videoframe.h"
#include "videoframerateconverter.h"

#include "standin/pool.h"

#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace streamtest {
namespace {

constexpr ULONG kI420 = 0x30323449;
constexpr ULONG kYUY2 = 0x32595559;
constexpr ULONG kUYVY = 0x59565955;

VideoChainSettings Settings(ULONG pinId, LONG width, LONG height, USHORT bits, ULONG compression,
                            LONGLONG frameTime = 333667)
{
    return ChainVideoSettings(pinId, width, height, bits, compression, frameTime);
}

class VideoChainBuilderTest : public ChainTestFixture {
protected:
    template <class Step> static Step* Above(const Algorithm* sink, LONG id)
    {
        return static_cast<Step*>(sink->FindParentWithId(id));
    }
};

using Ids = std::vector<LONG>;

TEST_F(VideoChainBuilderTest, EachPinAndOptionGivesItsStepsInOrderWithTheirIntervals)
{
    // Capture with every option off.
    FrameProcessedSink* capture = Merge(Settings(kVideoPinIdCapture, 640, 480, 24, KS_BI_RGB));
    EXPECT_EQ(ChainIds(capture), (Ids{20, 2, 3, 5, 7, 11, 1}));
    EXPECT_EQ(capture->GetExpectedInterval(), 333667u);
    // A disabled crop step carries nothing but its enabled word, whatever the record holds.
    EXPECT_EQ(Above<CCrop>(capture, 3)->GetSettings().width, 0);

    // Deinterlace, logo, loss-of-signal and caption overlays on (the logo and font files are
    // missing: the steps are there all the same and pass pictures through).
    VideoChainSettings all = Settings(kVideoPinIdPreview, 320, 240, 32, KS_BI_RGB);
    all.deinterlace.enable = 1;
    all.deinterlace.type = 2;
    all.logo.enable = 1;
    const char16_t logoName[] = u"missing-logo.bmp";
    std::memcpy(all.logo.fileName, logoName, sizeof(logoName));
    all.los.videoEnable = 1;
    all.cc.enable = 1;
    standin::DebugOutputClear();
    FrameProcessedSink* preview = Merge(all);
    EXPECT_EQ(ChainIds(preview), (Ids{20, 2, 3, 4, 12, 18, 16, 5, 7, 11, 1}));
    EXPECT_EQ(DebugLinesWith("PID=2, Video deinterlace settings: Type=Bob 1"), 1u);
    EXPECT_EQ(DebugLinesWith("Video CC Overlay settings: Channel=0, VBI Field=0, Top=0, Left=0, Height=0, Width=0"),
              1u);
    EXPECT_EQ(DebugLinesWith("LOS settings: Left audio channel tone=None, Right audio channel tone=None, "
                             "Video Frame=SMPTE"),
              1u);
    EXPECT_EQ(DebugLinesWith("File Name=missing-logo.bmp"), 1u);
    // An enabled word other than 1 leaves deinterlace and the caption overlay out; the logo's is
    // any non-zero word.
    all.deinterlace.enable = 2;
    all.cc.enable = 2;
    all.logo.enable = 7;
    all.los.videoEnable = 0;
    EXPECT_EQ(ChainIds(Merge(all)), (Ids{20, 2, 3, 12, 5, 7, 11, 1}));

    // VBI and closed-caption pins.
    VideoChainSettings vbi = Settings(kVideoPinIdVbi, 0, 0, 0, 0);
    vbi.vbiHeader.StartLine = 10;
    vbi.vbiHeader.EndLine = 21;
    vbi.vbiHeader.SamplesPerLine = 1600;
    vbi.vbiHeader.StrideInBytes = 1600;
    FrameProcessedSink* vbiSink = Merge(vbi);
    EXPECT_EQ(ChainIds(vbiSink), (Ids{20, 19, 1}));
    EXPECT_EQ(vbiSink->GetExpectedInterval(), 166833u);
    FrameProcessedSink* ccSink = Merge(Settings(kVideoPinIdClosedCaptions, 0, 0, 0, 0));
    EXPECT_EQ(ChainIds(ccSink), (Ids{20, 15, 1}));
    EXPECT_EQ(ccSink->GetExpectedInterval(), 333667u);
    EXPECT_EQ(DebugLinesWith("Delivering VBI data at 59.94 fps"), 1u);
    EXPECT_EQ(DebugLinesWith("Closed Caption settings: CC Field=1, VBI field=0"), 1u);
    EXPECT_EQ(DebugLinesWith("Delivering CC data at 29.97 fps"), 1u);

    // Every chain hangs below the one separator; the three capture and preview chains share their
    // converter (equal interval and telecine settings) and branch below it.
    ASSERT_EQ(stream_->GetSource()->GetChildCount(), 1);
    const Algorithm* separator = stream_->GetSource()->GetChild(0);
    ASSERT_EQ(separator->GetChildCount(), 3);
    EXPECT_EQ(separator->GetChild(0)->GetAlgorithmId(), 2);
    EXPECT_EQ(separator->GetChild(1)->GetAlgorithmId(), 19);
    EXPECT_EQ(separator->GetChild(2)->GetAlgorithmId(), 15);
}

TEST_F(VideoChainBuilderTest, TheDeinterlaceStepTakesTheRecordsTypeSoThatTypesZeroAndFourOnlyCopy)
{
    // Two fields whose lines differ by 40 everywhere: the advanced pass line-doubles every pair,
    // a copy-only type leaves the picture as it came.
    VideoFrame interlaced(32, 8, 8, true);
    interlaced.Fill(100, 128, 128);
    interlaced.SetActiveSize(0, 32, 4);
    interlaced.SetActiveSize(1, 32, 4);
    for (LONG row = 1; row < 8; row += 2)
        std::memset(interlaced.GetPlane(0) + row * interlaced.GetStride(0), 140, 32);
    struct Case {
        ULONG type;
        const char* trace;
        bool changes;
    };
    const Case cases[] = {{0, "Advanced", false}, {1, "Bob 0", true},     {2, "Bob 1", true},
                          {3, "Advanced", true},  {4, "Advanced", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        VideoChainSettings settings = Settings(kVideoPinIdCapture, 32, 8, 32, KS_BI_RGB);
        settings.deinterlace.enable = 1;
        settings.deinterlace.type = c.type;
        standin::DebugOutputClear();
        auto* step = Above<CDeInterlace>(Merge(settings), 4);
        ASSERT_NE(step, nullptr);
        EXPECT_EQ(step->GetType(), LONG(c.type));
        EXPECT_EQ(DebugLinesWith(std::string("PID=1, Video deinterlace settings: Type=") + c.trace), 1u);
        // Out of place, as the step runs beside another branch: the work frame takes the fields'
        // sizes first.
        VideoFrame out(32, 8, 8, true);
        interlaced.CopyAttributes(&out, true);
        step->DeInterlace(&interlaced, &out, false);
        bool same = true;
        for (LONG row = 0; row < 8; ++row)
            same = same && std::memcmp(out.GetPlane(0) + row * out.GetStride(0),
                                       interlaced.GetPlane(0) + row * interlaced.GetStride(0), 32) == 0;
        EXPECT_EQ(same, !c.changes);
    }
}

TEST_F(VideoChainBuilderTest, TwentyFourFramesASecondGiveTheConverterItsTelecineIntervalAndTheSinkTheFormats)
{
    VideoChainSettings settings = Settings(kVideoPinIdCapture, 640, 480, 24, KS_BI_RGB, 416666);
    settings.deinterlace.inverseTelecineEnable = 1;
    settings.deinterlace.resyncIntervalEnable = 1;
    settings.deinterlace.resyncInterval = 250;
    FrameProcessedSink* sink = Merge(settings);
    const auto* converter = Above<VideoFrameRateConverter>(sink, 2);
    ASSERT_NE(converter, nullptr);
    EXPECT_EQ(converter->GetOutputInterval(), 416667u);
    EXPECT_TRUE(converter->IsInverseTelecineOn());
    EXPECT_EQ(sink->GetExpectedInterval(), 416666u);
    // Any other duration goes through unchanged.
    EXPECT_EQ(VideoChainBuilder::FrameRateConverterInterval(416667), 416667u);
    EXPECT_EQ(VideoChainBuilder::FrameRateConverterInterval(400000), 400000u);
    EXPECT_EQ(VideoChainBuilder::FrameRateConverterInterval(416665), 416665u);
}

TEST_F(VideoChainBuilderTest, TheOutputSizeIsTheTargetRectangleOrElseTheBitmap)
{
    // Zero target: the bitmap's size, a top-down height counted by its magnitude.
    VideoChainSettings plain = Settings(kVideoPinIdCapture, 720, -480, 16, kYUY2);
    EXPECT_EQ(plain.outputWidth, 720);
    EXPECT_EQ(plain.outputHeight, 480);
    // A 640 x 480 target inside a 720 x 480 bitmap.
    KS_DATAFORMAT_VIDEOINFOHEADER format = {};
    format.DataFormat.FormatSize = sizeof(format);
    format.DataFormat.Specifier = KSDATAFORMAT_SPECIFIER_VIDEOINFO;
    format.VideoInfoHeader.rcTarget = {40, 0, 680, 480};
    format.VideoInfoHeader.AvgTimePerFrame = 333667;
    format.VideoInfoHeader.bmiHeader.biWidth = 720;
    format.VideoInfoHeader.bmiHeader.biHeight = 480;
    format.VideoInfoHeader.bmiHeader.biBitCount = 24;
    VideoChainSettings targeted;
    ASSERT_EQ(targeted.SetVideoFormat(&format.DataFormat, sizeof(format)), STATUS_SUCCESS);
    EXPECT_EQ(targeted.outputWidth, 640);
    EXPECT_EQ(targeted.outputHeight, 480);
    EXPECT_EQ(targeted.avgTimePerFrame, 333667);
    // The scaler works on the bitmap with the target inside it.
    const auto* scale = Above<CScale>(Merge(targeted), 5);
    ASSERT_NE(scale, nullptr);
    EXPECT_EQ(scale->ScaledWidth(), 640);
    EXPECT_EQ(scale->ScaledHeight(), 480);

    // Another specifier reads the second header form; a block shorter than its form is refused
    // and changes nothing.
    KS_DATAFORMAT_VIDEOINFOHEADER2 format2 = {};
    format2.DataFormat.FormatSize = sizeof(format2);
    format2.VideoInfoHeader2.AvgTimePerFrame = 400000;
    format2.VideoInfoHeader2.bmiHeader.biWidth = 352;
    format2.VideoInfoHeader2.bmiHeader.biHeight = 288;
    EXPECT_EQ(targeted.SetVideoFormat(&format2.DataFormat, sizeof(format2) - 1), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(targeted.SetVideoFormat(&format.DataFormat, sizeof(format) - 1), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(targeted.SetVideoFormat(nullptr, 0), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(targeted.outputWidth, 640);
    ASSERT_EQ(targeted.SetVideoFormat(&format2.DataFormat, sizeof(format2)), STATUS_SUCCESS);
    EXPECT_EQ(targeted.outputWidth, 352);
    EXPECT_EQ(targeted.outputHeight, 288);
    EXPECT_EQ(targeted.avgTimePerFrame, 400000);
    // A reversed target rectangle is no size: the bitmap's counts.
    format.VideoInfoHeader.rcTarget = {680, 0, 40, 480};
    ASSERT_EQ(targeted.SetVideoFormat(&format.DataFormat, sizeof(format)), STATUS_SUCCESS);
    EXPECT_EQ(targeted.outputWidth, 720);
}

TEST_F(VideoChainBuilderTest, OutputIndexAndMirrorFollowTheBitmapHeader)
{
    struct Case {
        USHORT bits;
        ULONG compression;
        LONG height;
        ULONG index;
        bool mirror;
        const char* trace;
    };
    const Case cases[] = {
        {8, KS_BI_RGB, 240, 0, true, "RGB 8"},     {16, KS_BI_RGB, 240, 1, true, "RGB 15"},
        {15, KS_BI_RGB, -240, 1, false, "RGB 15"}, {24, KS_BI_RGB, 240, 2, true, "RGB 24"},
        {24, KS_BI_RGB, -240, 2, false, "RGB 24"}, {32, KS_BI_RGB, 240, 3, true, "RGB 32"},
        {32, KS_BI_RGB, -240, 3, false, "RGB 32"}, {12, kI420, 240, 5, false, "I420"},
        {16, kYUY2, 240, 6, false, "YUY2"},        {16, kUYVY, 240, 4, false, "UYVY"},
        {16, kUYVY, -240, 4, false, "UYVY"},       {9, 0x39555659, 240, 7, false, "YUV9"},
        {16, 0x12345678, 240, 7, false, "YUV9"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.trace) + " height " + std::to_string(c.height));
        standin::DebugOutputClear();
        const auto* out = Above<COutColorSpace>(Merge(Settings(kVideoPinIdCapture, 320, c.height, c.bits, c.compression)),
                                                11);
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(out->GetOutputIndex(), c.index);
        EXPECT_EQ(out->GetMirror(), c.mirror);
        EXPECT_EQ(DebugLinesWith(std::string("PID=1, Video Color space: ") + c.trace), 1u);
        EXPECT_EQ(DebugLinesWith(std::string("PID=1,     Invert Image: ") + (c.mirror ? "TRUE" : "FALSE")), 1u);
        EXPECT_EQ(DebugLinesWith("PID=1, ksBitmapInfoHeader.biHeight=" + std::to_string(c.height) +
                                 ", ksBitmapInfoHeader.biWidth=320"),
                  1u);
    }
    // A height of zero counts as bottom-up.
    KS_BITMAPINFOHEADER header = {};
    header.biBitCount = 24;
    EXPECT_TRUE(VideoChainBuilder::OutputColorSpaceOf(header).mirror);
    // A count the data ranges never offer has a defined index still.
    header.biBitCount = 48;
    EXPECT_EQ(VideoChainBuilder::OutputColorSpaceOf(header).index, 3u);
}

TEST_F(VideoChainBuilderTest, EqualSettingsShareEveryStepAboveTheSinksAndAnotherScalingMethodBranchesAtTheScaler)
{
    const VideoChainSettings capture = Settings(kVideoPinIdCapture, 320, 240, 32, KS_BI_RGB);
    VideoChainSettings preview = capture;
    preview.pinId = kVideoPinIdPreview;
    Merge(capture);
    Merge(preview);
    EXPECT_EQ(DumpAlgorithmTree(stream_->GetSource()), "0: id=0 parent=- children=1\n"
                                                       "1: id=20 parent=0 children=2\n"
                                                       "2: id=2 parent=1 children=3\n"
                                                       "3: id=3 parent=2 children=4\n"
                                                       "4: id=5 parent=3 children=5\n"
                                                       "5: id=7 parent=4 children=6\n"
                                                       "6: id=11 parent=5 children=7,8\n"
                                                       "7: id=1 parent=6 children=\n"
                                                       "8: id=1 parent=6 children=\n");
    preview.scalingAlgorithm = 2;
    Merge(preview);
    EXPECT_EQ(DumpAlgorithmTree(stream_->GetSource()), "0: id=0 parent=- children=1\n"
                                                       "1: id=20 parent=0 children=2\n"
                                                       "2: id=2 parent=1 children=3\n"
                                                       "3: id=3 parent=2 children=4,9\n"
                                                       "4: id=5 parent=3 children=5\n"
                                                       "5: id=7 parent=4 children=6\n"
                                                       "6: id=11 parent=5 children=7,8\n"
                                                       "7: id=1 parent=6 children=\n"
                                                       "8: id=1 parent=6 children=\n"
                                                       "9: id=5 parent=3 children=10\n"
                                                       "10: id=7 parent=9 children=11\n"
                                                       "11: id=11 parent=10 children=12\n"
                                                       "12: id=1 parent=11 children=\n");
    // A different crop branches one step higher, below the converter.
    VideoChainSettings cropped = capture;
    cropped.crop.enable = 1;
    cropped.crop.width = 160;
    cropped.crop.height = 120;
    Merge(cropped);
    EXPECT_EQ(stream_->GetSource()->GetChild(0)->GetChild(0)->GetChildCount(), 2);
}

TEST_F(VideoChainBuilderTest, CropSettingsLimitTheWidthToTheReferenceAndAlignOnTheHorizontalGranularity)
{
    BrevicorCropRecord record = {};
    record.enable = 1;
    record.top = 8;
    record.height = 200;
    record.left = 100;
    record.width = 700;
    record.referenceHeight = 480;
    record.referenceWidth = 720;
    record.minimumHeight = 32;
    record.minimumWidth = 48;
    record.granularityY = 2;
    record.granularityX = 4;
    CropSettings settings = VideoChainBuilder::CropSettingsOf(record);
    EXPECT_EQ(settings.enabled, 1u);
    EXPECT_EQ(settings.top, 8);
    EXPECT_EQ(settings.height, 200);
    EXPECT_EQ(settings.left, 100);
    EXPECT_EQ(settings.width, 620); // 720 - 100
    EXPECT_EQ(settings.referenceHeight, 480);
    EXPECT_EQ(settings.referenceWidth, 720);
    EXPECT_EQ(settings.minimumHeight, 32);
    EXPECT_EQ(settings.minimumWidth, 48);
    EXPECT_EQ(settings.leftAlignment, 4);
    EXPECT_EQ(settings.widthAlignment, 4);
    // Left beyond the reference width: no width, not a wrapped one.
    record.left = 800;
    EXPECT_EQ(VideoChainBuilder::CropSettingsOf(record).width, 0);
    // A reference width of 0 (the picture's own) limits nothing.
    record.referenceWidth = 0;
    EXPECT_EQ(VideoChainBuilder::CropSettingsOf(record).width, 700);
    // Disabled (or any word other than 1): the enabled word alone.
    record.enable = 2;
    settings = VideoChainBuilder::CropSettingsOf(record);
    EXPECT_EQ(settings.enabled, 2u);
    EXPECT_EQ(settings.top, 0);
    EXPECT_EQ(settings.width, 0);
    EXPECT_EQ(settings.leftAlignment, 0);

    // The trace shows the window's edges.
    record.enable = 1;
    record.left = 100;
    record.referenceWidth = 720;
    VideoChainSettings chain = Settings(kVideoPinIdCapture, 320, 240, 32, KS_BI_RGB);
    chain.crop = record;
    standin::DebugOutputClear();
    Merge(chain);
    EXPECT_EQ(DebugLinesWith("Video cropping settings: Top=8, Left=100, Bottom=208, Right=720"), 1u);
}

TEST_F(VideoChainBuilderTest, AStepThatCannotBeAllocatedEndsTheBuildWithEveryStepOfTheListDestroyed)
{
    const ULONG driverTag = standin::MakePoolTag("Wdm ");
    const uint64_t before = standin::PoolUsageByTag(driverTag).outstandingBlocks;
    // The pool refuses the driver: the proc amp's tables (larger than the driver's heap) cannot be
    // had, whatever the heap still gives the smaller steps before it.
    standin::PoolFailTag(driverTag);
    AlgorithmList list;
    VideoChainBuilder builder(Settings(kVideoPinIdCapture, 320, 240, 32, KS_BI_RGB), &separatorStream_);
    ULONGLONG interval = 7;
    EXPECT_EQ(builder.BuildProcessingSteps(&list, &interval), STATUS_INSUFFICIENT_RESOURCES);
    standin::PoolClearFailures();
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(interval, 7u);
    EXPECT_EQ(standin::PoolUsageByTag(driverTag).outstandingBlocks, before);
    // With the pool back the same settings build.
    EXPECT_EQ(ChainIds(Merge(Settings(kVideoPinIdCapture, 320, 240, 32, KS_BI_RGB))), (Ids{20, 2, 3, 5, 7, 11, 1}));
}

} // namespace
} // namespace streamtest
