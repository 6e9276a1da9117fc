// The pin objects on their own: the class a pin's descriptor makes, the image sizes a format's rows
// need, the default output sizes of the performance records, the wave format's buffer size and
// the saved header of both video header forms.
#include <gtest/gtest.h>

#include "audiocapturepin.h"
#include "algorithmlist.h"
#include "audioinputpin.h"
#include "basicpindispatch.h"
#include "basicvideofilter.h"
#include "frameprocessedsink.h"
#include "km/raise.h"
#include "pindataranges.h"
#include "standin/pool.h"
#include "videocapturefilter.h"
#include "videocapturepin.h"
#include "videoccpin.h"
#include "videopreviewpin.h"
#include "videovbipin.h"

#include <memory>

namespace {

struct PinOf {
    KSPIN_DESCRIPTOR_EX descriptor{};
    KSPIN pin{};
    PinOf(const GUID* category, const PKSDATARANGE* ranges, ULONG count, ULONG id)
    {
        descriptor.PinDescriptor.Category = category;
        descriptor.PinDescriptor.DataRanges = ranges;
        descriptor.PinDescriptor.DataRangesCount = count;
        pin.Descriptor = &descriptor;
        pin.Id = id;
    }
};

template <class Kind> bool Makes(const GUID* category, const PKSDATARANGE* ranges, ULONG count, ULONG id = 1)
{
    PinOf made(category, ranges, count, id);
    std::unique_ptr<BasicPin> object(BasicPinDispatch::MakePinObject(&made.pin));
    return object != nullptr && dynamic_cast<Kind*>(object.get()) != nullptr;
}

TEST(PinObjectTest, TheDescriptorsFormatAndCategoryPickThePinsClass)
{
    const PKSDATARANGE* video = PinDataRanges::kVideoRanges;
    const PKSDATARANGE* audio = PinDataRanges::kAudioCaptureRanges;
    EXPECT_TRUE(Makes<AudioCapturePin>(&PINNAME_CAPTURE, audio, 1, 0));
    // Any audio pin of another category is an input.
    EXPECT_TRUE(Makes<AudioInputPin>(&PIN_CATEGORY_PREVIEW, PinDataRanges::kAudioInputRanges, 1));
    EXPECT_TRUE(Makes<VideoCapturePin>(&PINNAME_CAPTURE, video, 8));
    EXPECT_TRUE(Makes<VideoPreviewPin>(&PIN_CATEGORY_PREVIEW, video, 8, 2));
    EXPECT_TRUE(Makes<VideoVBIPin>(&PIN_CATEGORY_VBI, PinDataRanges::kVbiRanges525, 1, 3));
    EXPECT_TRUE(Makes<VideoCCPin>(&PIN_CATEGORY_CC, PinDataRanges::kClosedCaptionRanges, 1, 4));
    // The analog input's category names no pin object: its creation is refused.
    PinOf analog(&PINNAME_VIDEO_ANALOGVIDEOIN, PinDataRanges::kAnalogVideoInRanges, 1, 0);
    EXPECT_EQ(BasicPinDispatch::MakePinObject(&analog.pin), nullptr);
    PinOf none(nullptr, video, 8, 1);
    EXPECT_EQ(BasicPinDispatch::MakePinObject(&none.pin), nullptr);
    // Without ranges the category alone decides.
    EXPECT_TRUE(Makes<VideoCapturePin>(&PINNAME_CAPTURE, nullptr, 0));
}

TEST(PinObjectTest, ImageSizesAreForRowsRoundedUpToSixteenPixels)
{
    const ULONG uyvy = 0x59565955, yuy2 = 0x32595559, i420 = 0x30323449, other = 0x39555659;
    EXPECT_EQ(BasicVideoFilter::RoundedImageSize(KS_BI_RGB, 32, 320, 240), 320u * 240u * 4u);
    EXPECT_EQ(BasicVideoFilter::RoundedImageSize(KS_BI_RGB, 32, 321, 240), 336u * 240u * 4u);
    EXPECT_EQ(BasicVideoFilter::RoundedImageSize(KS_BI_RGB, 24, 322, 10), 336u * 10u * 3u);
    EXPECT_EQ(BasicVideoFilter::RoundedImageSize(uyvy, 16, 322, 10), 336u * 10u * 2u);
    EXPECT_EQ(BasicVideoFilter::RoundedImageSize(yuy2, 16, 720, 487), 720u * 487u * 2u);
    EXPECT_EQ(BasicVideoFilter::RoundedImageSize(i420, 12, 72, 54), 80u * 54u * 3u / 2u);
    // An odd height: the chroma planes have a row for the last luma row too.
    EXPECT_EQ(BasicVideoFilter::RoundedImageSize(i420, 12, 720, 487), 720u * 487u + 2u * 360u * 244u);
    EXPECT_EQ(BasicVideoFilter::RoundedImageSize(i420, 12, 712, 487), 720u * 487u + 2u * 360u * 244u);
    EXPECT_EQ(BasicVideoFilter::RoundedImageSize(other, 9, 16, 8), 16u * 8u * 9u / 8u);
    EXPECT_EQ(BasicVideoFilter::RoundedImageSize(KS_BI_RGB, 32, 1920, 1080), 1920u * 1080u * 4u);
}

TEST(PinObjectTest, DefaultOutputSizesAreFractionsOfTheFullPictureOrTheRecordsOwn)
{
    ULONG width = 0, height = 0;
    const ULONG expected[4][2] = {{1920, 1080}, {1440, 810}, {960, 540}, {480, 270}};
    for (ULONG type = 0; type < 4; ++type) {
        VideoCaptureFilter::DefaultOutputSize(type, 100, 100, &width, &height);
        EXPECT_EQ(width, expected[type][0]) << type;
        EXPECT_EQ(height, expected[type][1]) << type;
    }
    VideoCaptureFilter::DefaultOutputSize(4, 352, 288, &width, &height);
    EXPECT_EQ(width, 352u);
    EXPECT_EQ(height, 288u);
    // A custom size that names no picture, or an unknown type: the full picture.
    VideoCaptureFilter::DefaultOutputSize(4, 0, 288, &width, &height);
    EXPECT_EQ(width, 1920u);
    VideoCaptureFilter::DefaultOutputSize(9, 352, 288, &width, &height);
    EXPECT_EQ(height, 1080u);
}

TEST(PinObjectTest, AnAudioBufferHoldsTenMillisecondsOfTheFormat)
{
    WAVEFORMATEX wave{WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16, 0};
    EXPECT_EQ(AudioCapturePin::FrameSizeOf(wave), 1920u);
    wave = {WAVE_FORMAT_PCM, 2, 44100, 0, 0, 24, 0};
    EXPECT_EQ(AudioCapturePin::FrameSizeOf(wave), 3u * 441u * 2u);
    wave = {WAVE_FORMAT_PCM, 2, 32000, 0, 0, 8, 0};
    EXPECT_EQ(AudioCapturePin::FrameSizeOf(wave), 640u);
}

TEST(PinObjectTest, BothVideoHeaderFormsReadAsOneSavedHeaderAndShortOnesAreRefused)
{
    KS_DATAFORMAT_VIDEOINFOHEADER2 second{};
    second.DataFormat.FormatSize = sizeof(second);
    second.DataFormat.Specifier = KSDATAFORMAT_SPECIFIER_VIDEOINFO2;
    second.VideoInfoHeader2.rcTarget = {0, 0, 640, 480};
    second.VideoInfoHeader2.AvgTimePerFrame = 400000;
    second.VideoInfoHeader2.bmiHeader.biWidth = 640;
    second.VideoInfoHeader2.bmiHeader.biSizeImage = 614400;
    KS_VIDEOINFOHEADER header{};
    ASSERT_TRUE(VideoStreamingPin::ReadVideoHeader(&second.DataFormat, &header));
    EXPECT_EQ(header.AvgTimePerFrame, 400000);
    EXPECT_EQ(header.rcTarget.right, 640);
    EXPECT_EQ(header.bmiHeader.biWidth, 640);
    EXPECT_EQ(header.bmiHeader.biSizeImage, 614400u);
    second.DataFormat.FormatSize = sizeof(second) - 1;
    EXPECT_FALSE(VideoStreamingPin::ReadVideoHeader(&second.DataFormat, &header));

    KS_DATAFORMAT_VIDEOINFOHEADER first{};
    first.DataFormat.FormatSize = sizeof(first) - 1;
    first.DataFormat.Specifier = KSDATAFORMAT_SPECIFIER_VIDEOINFO;
    EXPECT_FALSE(VideoStreamingPin::ReadVideoHeader(&first.DataFormat, &header));
}

// Each allocation of a pin's object failed in turn: creation answers no object (the dispatch then
// answers STATUS_INSUFFICIENT_RESOURCES) instead of raising into the framework, and once the
// allocations succeed again the pin is made.
TEST(PinObjectTest, AnObjectThatCannotBeAllocatedIsNoPinAndNoRaise)
{
    struct Kind {
        const GUID* category;
        const PKSDATARANGE* ranges;
        ULONG count, id;
    };
    const Kind kinds[] = {{&PINNAME_CAPTURE, PinDataRanges::kAudioCaptureRanges, 1, 0},
                          {&PIN_CATEGORY_PREVIEW, PinDataRanges::kAudioInputRanges, 1, 1},
                          {&PINNAME_CAPTURE, PinDataRanges::kVideoRanges, 8, 1},
                          {&PIN_CATEGORY_PREVIEW, PinDataRanges::kVideoRanges, 8, 2},
                          {&PIN_CATEGORY_VBI, PinDataRanges::kVbiRanges525, 1, 3},
                          {&PIN_CATEGORY_CC, PinDataRanges::kClosedCaptionRanges, 1, 4}};
    for (const Kind& kind : kinds) {
        PinOf made(kind.category, kind.ranges, kind.count, kind.id);
        uint64_t n = 1;
        for (;; ++n) {
            standin::PoolFailNthAllocation(n);
            BasicPin* object = nullptr;
            EXPECT_NO_THROW(object = BasicPinDispatch::MakePinObject(&made.pin)) << "pin " << kind.id;
            const uint64_t injected = standin::PoolInjectedFailures();
            standin::PoolClearFailures();
            std::unique_ptr<BasicPin> owned(object);
            if (injected == 0) {
                EXPECT_NE(object, nullptr) << "pin " << kind.id;
                break;
            }
        }
        EXPECT_GT(n, 1u) << "pin " << kind.id;
    }
}

// A closed-caption pin whose chain is its sink alone.
class SinkOnlyPin : public VideoCCPin {
public:
    using VideoCCPin::VideoCCPin;
    NTSTATUS BuildAlgorithmChain(AlgorithmList* list) override { return AppendSink(list, 333667); }
};

// The pin's sink is made at its first chain: a sink that cannot be allocated fails that chain
// with STATUS_INSUFFICIENT_RESOURCES, and the next chain makes it.
TEST(PinObjectTest, ASinkThatCannotBeAllocatedFailsTheChain)
{
    PinOf made(&PIN_CATEGORY_CC, PinDataRanges::kClosedCaptionRanges, 1, 4);
    SinkOnlyPin pin(&made.pin);
    AlgorithmList list;
    standin::PoolFailNthAllocation(1);
    NTSTATUS status = STATUS_SUCCESS;
    EXPECT_NO_THROW(status = pin.BuildAlgorithmChain(&list));
    EXPECT_EQ(standin::PoolInjectedFailures(), 1u);
    standin::PoolClearFailures();
    EXPECT_EQ(status, STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(pin.GetSink(), nullptr);
    EXPECT_TRUE(list.IsEmpty());
    ASSERT_EQ(pin.BuildAlgorithmChain(&list), STATUS_SUCCESS);
    ASSERT_NE(pin.GetSink(), nullptr);
    EXPECT_EQ(list.RemoveHead(), pin.GetSink());
}

} // namespace
