// The video capture filter's pin data ranges as a capture program lists them: eight formats on the
// capture and preview pins fitted to the current standard, the pin's default output size, the
// range of a stored connection format first, and one range on each of the other pins.
#include "PinFixture.h"

#include <algorithm>
#include <limits>

namespace pintest {
namespace {

constexpr ULONG kUyvy = 0x59565955;

struct RangeView {
    KSDATARANGE head;
    KS_VIDEO_STREAM_CONFIG_CAPS caps;
    KS_VIDEOINFOHEADER info; // the first 48 bytes are alike in both header forms
    KS_BITMAPINFOHEADER bitmap;
};

RangeView View(const std::vector<UCHAR>& range)
{
    RangeView view{};
    view.head = As<KSDATARANGE>(range);
    view.caps = As<KS_VIDEO_STREAM_CONFIG_CAPS>(range, 80);
    view.info = As<KS_VIDEOINFOHEADER>(range, 208);
    const size_t bitmapAt = view.head.Specifier == KSDATAFORMAT_SPECIFIER_VIDEOINFO2 ? 208 + 72 : 208 + 48;
    view.bitmap = As<KS_BITMAPINFOHEADER>(range, bitmapAt);
    return view;
}

void ExpectStandard(const std::vector<std::vector<UCHAR>>& ranges, LONG maxWidth, LONG maxHeight,
                    LONGLONG interval, ULONG mask, ULONG nominalRate)
{
    ASSERT_EQ(ranges.size(), 8u);
    for (const auto& range : ranges) {
        const RangeView view = View(range);
        SCOPED_TRACE(view.bitmap.biBitCount);
        EXPECT_EQ(view.caps.MaxOutputSize.cx, maxWidth);
        EXPECT_EQ(view.caps.MaxOutputSize.cy, maxHeight);
        EXPECT_EQ(view.caps.MaxCroppingSize.cx, maxWidth);
        EXPECT_EQ(view.caps.MaxCroppingSize.cy, maxHeight);
        EXPECT_EQ(view.caps.MinFrameInterval, interval);
        EXPECT_EQ(view.caps.MaxFrameInterval, 10000000);
        EXPECT_EQ(view.caps.VideoStandard, mask);
        EXPECT_EQ(view.caps.MinOutputSize.cx, 72);
        EXPECT_EQ(view.caps.MinOutputSize.cy, 54);
        EXPECT_EQ(view.caps.OutputGranularityX, 2);
        EXPECT_EQ(view.caps.OutputGranularityY, 1);
        EXPECT_EQ(view.caps.CropGranularityX, 2);
        EXPECT_EQ(view.caps.CropGranularityY, 1);
        // Signed fields: a rate past the largest LONG stays at it rather than turning negative.
        const auto bitsPerSecond = [&](LONGLONG width, LONGLONG height) {
            return static_cast<LONG>(std::min<LONGLONG>(LONGLONG(view.bitmap.biBitCount) * width * height * nominalRate,
                                                        std::numeric_limits<LONG>::max()));
        };
        EXPECT_EQ(view.caps.MaxBitsPerSecond, bitsPerSecond(maxWidth, maxHeight));
        EXPECT_GT(view.caps.MaxBitsPerSecond, 0);
        EXPECT_EQ(view.caps.MinBitsPerSecond, bitsPerSecond(72, 54));
    }
}

TEST_F(PinTest, TheCapturePinOffersEightFormatsFittedToTheSignalTypeAndItsDefaultSize)
{
    // Capture at half size (960 x 540), preview at a custom 320 x 180.
    board::CaptureBoard& board =
        Start("\"PerfCaptureVideoSize\"=dword:00000002\r\n\"PerfPreviewVideoSize\"=dword:00000004\r\n"
              "\"PerfPreviewVideoWidth\"=dword:00000140\r\n\"PerfPreviewVideoHeight\"=dword:000000b4\r\n");
    HANDLE video = Open(KSCATEGORY_VIDEO, kVideo);
    ASSERT_NE(video, INVALID_HANDLE_VALUE);

    const auto capture = DataRanges(video, kCapturePin);
    ExpectStandard(capture, 720, 487, 166666, 3, 60);
    // D18's order: RGB32, UYVY, RGB24, I420 with a video-info header, then with video-info-2.
    const GUID subtypes[4] = {KSDATAFORMAT_SUBTYPE_RGB32, KSDATAFORMAT_SUBTYPE_UYVY,
                              KSDATAFORMAT_SUBTYPE_RGB24, KSDATAFORMAT_SUBTYPE_I420};
    const USHORT bits[4] = {32, 16, 24, 12};
    for (size_t i = 0; i < capture.size(); ++i) {
        const RangeView view = View(capture[i]);
        EXPECT_EQ(view.head.SubFormat, subtypes[i % 4]) << i;
        EXPECT_EQ(view.head.Specifier,
                  i < 4 ? KSDATAFORMAT_SPECIFIER_VIDEOINFO : KSDATAFORMAT_SPECIFIER_VIDEOINFO2);
        EXPECT_EQ(view.head.FormatSize, i < 4 ? 296u : 320u);
        EXPECT_EQ(view.head.SampleSize, 0u);
        EXPECT_EQ(view.bitmap.biBitCount, bits[i % 4]);
        EXPECT_EQ(view.bitmap.biWidth, 960);
        EXPECT_EQ(view.bitmap.biHeight, 540);
        EXPECT_EQ(view.bitmap.biSizeImage, 960u * 540u * bits[i % 4] / 8u);
        EXPECT_EQ(view.caps.InputSize.cx, 960);
        EXPECT_EQ(view.caps.InputSize.cy, 540);
        // 29.97 frames a second by default.
        EXPECT_EQ(view.info.AvgTimePerFrame, 333667);
        EXPECT_EQ(view.info.dwBitRate,
                  static_cast<ULONG>(std::nearbyint(bits[i % 4] * 960.0 * 540.0 * 29.97)));
        EXPECT_EQ(view.info.rcTarget.right, 0);
    }
    EXPECT_EQ(View(capture[1]).bitmap.biCompression, kUyvy);

    const auto preview = DataRanges(video, kPreviewPin);
    ExpectStandard(preview, 720, 487, 166666, 3, 60);
    EXPECT_EQ(View(preview[0]).bitmap.biWidth, 320);
    EXPECT_EQ(View(preview[0]).bitmap.biHeight, 180);

    // One range on each of the other pins; the VBI pin's is the 525-line one.
    const auto analog = DataRanges(video, 0);
    ASSERT_EQ(analog.size(), 1u);
    const auto analogInfo = As<KS_DATARANGE_ANALOGVIDEO>(analog[0]);
    EXPECT_EQ(analogInfo.DataRange.MajorFormat, KSDATAFORMAT_TYPE_ANALOGVIDEO);
    EXPECT_EQ(analogInfo.AnalogVideoInfo.dwActiveWidth, 1920u);
    EXPECT_EQ(analogInfo.AnalogVideoInfo.dwActiveHeight, 1080u);
    EXPECT_EQ(analogInfo.AnalogVideoInfo.AvgTimePerFrame, 166666);
    const auto vbi = DataRanges(video, kVbiPin);
    ASSERT_EQ(vbi.size(), 1u);
    EXPECT_EQ(As<KS_VBIINFOHEADER>(vbi[0], 208).VideoStandard, ULONG(KS_AnalogVideo_NTSC_M));
    EXPECT_EQ(DataRanges(video, 4).size(), 1u);
    (void)board;
}

TEST_F(PinTest, A625LineSignalTypeGivesFiftyFrameRangesAndTheOtherVbiRange)
{
    board::CaptureBoard& board = Start();
    SeedDeviceKey(board, "\"DecoderCurrentSignalType\"=dword:00000002\r\n");
    HANDLE video = Open(KSCATEGORY_VIDEO, kVideo);
    ASSERT_NE(video, INVALID_HANDLE_VALUE);
    ExpectStandard(DataRanges(video, kCapturePin), 720, 576, 200000, 0x1F0, 50);
    ExpectStandard(DataRanges(video, kPreviewPin), 720, 576, 200000, 0x1F0, 50);
    const auto vbi = DataRanges(video, kVbiPin);
    ASSERT_EQ(vbi.size(), 1u);
    const auto header = As<KS_VBIINFOHEADER>(vbi[0], 208);
    EXPECT_EQ(header.VideoStandard & 0x1F0u, 0x1F0u);
    EXPECT_EQ(header.BufferSize, header.SamplesPerLine * (header.EndLine - header.StartLine + 1));
    EXPECT_EQ(As<KS_DATARANGE_ANALOGVIDEO>(DataRanges(video, 0)[0]).AnalogVideoInfo.AvgTimePerFrame, 200000);
}

TEST_F(PinTest, A1080LineSignalTypeGivesFullSizeRangesWhoseBitRatesStayPositive)
{
    board::CaptureBoard& board = Start();
    // 1080 lines progressive at 30 frames: 32 and 24 bits at 1920 x 1080 and 60 a second pass the
    // largest LONG, 16 and 12 bits stay below it.
    SeedDeviceKey(board, "\"DecoderCurrentSignalType\"=dword:00001000\r\n");
    HANDLE video = Open(KSCATEGORY_VIDEO, kVideo);
    ASSERT_NE(video, INVALID_HANDLE_VALUE);
    const auto capture = DataRanges(video, kCapturePin);
    ExpectStandard(capture, 1920, 1080, 166666, 3, 60);
    ExpectStandard(DataRanges(video, kPreviewPin), 1920, 1080, 166666, 3, 60);
    ASSERT_EQ(capture.size(), 8u);
    EXPECT_EQ(View(capture[0]).caps.MaxBitsPerSecond, std::numeric_limits<LONG>::max());
    EXPECT_EQ(View(capture[1]).caps.MaxBitsPerSecond, LONG(16 * 1920 * 1080 * 60));
}

TEST_F(PinTest, TheRangeOfAStoredConnectionFormatComesFirst)
{
    board::CaptureBoard& board = Start();
    const KS_DATAFORMAT_VIDEOINFOHEADER rgb =
        VideoInfoFormat(KSDATAFORMAT_SUBTYPE_RGB32, 320, 240, 32, KS_BI_RGB, 333667);
    SeedDeviceKey(board, "\"CaptureDataFormatType\"=dword:00000001\r\n\"CaptureDataFormat\"=" +
                             HexValue(&rgb, sizeof(rgb)) + "\r\n");
    HANDLE video = Open(KSCATEGORY_VIDEO, kVideo);
    ASSERT_NE(video, INVALID_HANDLE_VALUE);
    auto capture = DataRanges(video, kCapturePin);
    ASSERT_EQ(capture.size(), 8u);
    EXPECT_EQ(View(capture[0]).head.SubFormat, KSDATAFORMAT_SUBTYPE_RGB32);
    EXPECT_EQ(View(capture[0]).head.Specifier, KSDATAFORMAT_SPECIFIER_VIDEOINFO);
    Close(video);

    // A stored UYVY video-info-2 format moves that range from sixth place to the front; the
    // others keep their order, and the preview pin's list is its own.
    KS_DATAFORMAT_VIDEOINFOHEADER2 uyvy{};
    uyvy.DataFormat.FormatSize = sizeof(uyvy);
    uyvy.DataFormat.MajorFormat = KSDATAFORMAT_TYPE_VIDEO;
    uyvy.DataFormat.SubFormat = KSDATAFORMAT_SUBTYPE_UYVY;
    uyvy.DataFormat.Specifier = KSDATAFORMAT_SPECIFIER_VIDEOINFO2;
    uyvy.VideoInfoHeader2.bmiHeader.biSize = 40;
    uyvy.VideoInfoHeader2.bmiHeader.biBitCount = 16;
    SeedDeviceKey(board, "\"CaptureDataFormatType\"=dword:00000002\r\n\"CaptureDataFormat\"=" +
                             HexValue(&uyvy, sizeof(uyvy)) + "\r\n");
    video = Open(KSCATEGORY_VIDEO, kVideo);
    ASSERT_NE(video, INVALID_HANDLE_VALUE);
    capture = DataRanges(video, kCapturePin);
    ASSERT_EQ(capture.size(), 8u);
    EXPECT_EQ(View(capture[0]).head.SubFormat, KSDATAFORMAT_SUBTYPE_UYVY);
    EXPECT_EQ(View(capture[0]).head.Specifier, KSDATAFORMAT_SPECIFIER_VIDEOINFO2);
    EXPECT_EQ(View(capture[1]).head.SubFormat, KSDATAFORMAT_SUBTYPE_RGB32);
    EXPECT_EQ(View(capture[5]).head.SubFormat, KSDATAFORMAT_SUBTYPE_RGB32);
    EXPECT_EQ(View(capture[5]).head.Specifier, KSDATAFORMAT_SPECIFIER_VIDEOINFO2);
    EXPECT_EQ(View(capture[7]).head.SubFormat, KSDATAFORMAT_SUBTYPE_I420);
    EXPECT_EQ(View(DataRanges(video, kPreviewPin)[0]).head.SubFormat, KSDATAFORMAT_SUBTYPE_RGB32);
}

} // namespace
} // namespace pintest
