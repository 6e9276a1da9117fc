// What the board's colour bars look like through real pins, read from user mode: the capture pin
// at 320 x 240 in RGB32, RGB24, UYVY and I420 and the preview pin at 160 x 120 RGB32, with
// deinterlacing and telecine detection off. The board's frame clock is stepped by hand, one frame
// at a time until the pins' requests are filled (and three more that find no buffer), so that no
// frame arrives after the last one read and the counts the filter reports are exact. Also settings changed while the pins run: a proc amp reaches the
// running chain without a rebuild, a crop rebuilds the capture pin's branch only.
#include "PinFixture.h"

#include "../stream/support/ColorBarExpected.h"
#include "board/ColourBars.h"
#include "standin/debugger.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <thread>

namespace pintest {
namespace {

using namespace colorbartest;
using filtertest::Record;

constexpr ULONG kUYVY = 0x59565955;
constexpr ULONG kI420 = 0x30323449;
constexpr ULONG kSet = KSPROPERTY_TYPE_SET;
constexpr ULONG kGet = KSPROPERTY_TYPE_GET;

KS_DATAFORMAT_VIDEOINFOHEADER Format(LONG width, LONG height, USHORT bits, ULONG compression)
{
    const GUID& subFormat = compression == kUYVY   ? KSDATAFORMAT_SUBTYPE_UYVY
                            : compression == kI420 ? KSDATAFORMAT_SUBTYPE_I420
                            : bits == 24           ? KSDATAFORMAT_SUBTYPE_RGB24
                                                   : KSDATAFORMAT_SUBTYPE_RGB32;
    KS_DATAFORMAT_VIDEOINFOHEADER format = VideoInfoFormat(subFormat, width, height, bits, compression, 333667);
    return format;
}

// The debugger lines that contain `text`.
size_t TraceLines(const std::string& text)
{
    const auto lines = standin::DebugOutput();
    return static_cast<size_t>(std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.find(text) != std::string::npos;
    }));
}

using testsupport::WaitUntil;

// How long a preview batch may take to complete after a frame before one more frame is let
// through (which it may then drop; the test's arithmetic counts it).
constexpr std::chrono::seconds kPreviewGrace{5};

class PinPictureTest : public PinTest {
protected:
    // The video stream's DMA buffers, as SetUp sets them ("VideoDMABuffers").
    static constexpr size_t kDmaBuffers = 9;

    struct Counts {
        LONGLONG delivered = -1;
        LONGLONG dropped = -1;
        LONGLONG Total() const { return delivered + dropped; }
    };

    void SetUp() override
    {
        PinTest::SetUp();
        board_ = &Start("\"TraceHighs\"=dword:00000001\r\n\"VideoDMABuffers\"=dword:00000009\r\n");
        video_ = Open(KSCATEGORY_VIDEO, kVideo);
        ASSERT_NE(video_, INVALID_HANDLE_VALUE);
        // Deinterlacing and telecine detection off for both pins, for this run only.
        Record deinterlace(PROPSETID_BREVICOR_DEINTERLACE, 0, kSet, 60);
        deinterlace.Put<ULONG>(24, 255);
        deinterlace.Put<ULONG>(32, 1);
        deinterlace.Put<ULONG>(56, 1);
        ASSERT_EQ(Send(video_, deinterlace).error, 0u);
        board_->Commands().SetFrameClockManual(true);
    }

    // The capture pin's counts as DROPPEDFRAMES gives them.
    Counts Dropped()
    {
        Record record(PROPSETID_VIDCAP_DROPPEDFRAMES, KSPROPERTY_DROPPEDFRAMES_CURRENT, kGet, 48);
        Counts counts;
        if (Send(video_, record).error == 0) {
            counts.delivered = record.Get<LONGLONG>(24);
            counts.dropped = record.Get<LONGLONG>(32);
        }
        return counts;
    }

    // Lets the board capture one frame of the enabled video stream and waits until the driver has
    // taken it through the chain and given its buffer back to the DSP, every DMA buffer queued
    // again (the driver queues them all at run). Whatever the frame did then (completed a request,
    // was dropped, was held back by the chain), the driver's counts show it.
    bool StepOneFrame()
    {
        std::optional<uint32_t> handle;
        for (const auto& stream : board_->Commands().Streams())
            if (stream.kind == board::StreamKind::Video && stream.enabled)
                handle = stream.handle;
        if (!handle)
            return false;
        auto settled = [&](uint64_t filledAtLeast) {
            return WaitUntil([&] {
                const auto stream = board_->Commands().Stream(*handle);
                return stream && stream->filled >= filledAtLeast && stream->queued.size() == kDmaBuffers;
            });
        };
        if (!settled(0))
            return false;
        const uint64_t before = board_->Commands().Stream(*handle)->filled;
        return board_->Commands().StepFrames(*handle, 1) && settled(before + 1);
    }

    // Steps frames one at a time until the capture pin's driver count of delivered frames reaches
    // `delivered` and every batch is complete (a frame the chain holds back comes out with the
    // next one). Each frame goes through the driver before the next is let through, so the count
    // says whether the capture pin needs another. A batch of the preview pin has no count: after
    // each frame it gets a short while to complete before the next is let through; when it is
    // slower than that, one more frame goes through and may be dropped, so `stepped` counts every
    // frame let through for the test's arithmetic.
    bool StepUntilDone(std::initializer_list<PinClient::Batch*> batches, LONGLONG delivered, int* stepped = nullptr,
                       int limit = 12)
    {
        auto done = [&] {
            return std::all_of(batches.begin(), batches.end(), [](PinClient::Batch* b) { return b->done.load(); });
        };
        for (int i = 0; i < limit; ++i) {
            if (Dropped().delivered >= delivered && (done() || WaitUntil(done, kPreviewGrace)))
                break;
            if (!StepOneFrame())
                return false;
            if (stepped)
                ++*stepped;
        }
        bool all = true;
        for (PinClient::Batch* batch : batches)
            all = PinClient::WaitDone(*batch) && all;
        return all;
    }

    // Each frame of a batch: DataUsed the bitmap's image size, presentation times rising.
    static void ExpectWholeFramesInTimeOrder(const PinClient::Batch& batch, ULONG imageSize)
    {
        for (size_t i = 0; i < batch.buffers.size(); ++i) {
            EXPECT_EQ(batch.Header(i).DataUsed, imageSize) << i;
            if (i > 0) {
                EXPECT_GT(batch.Header(i).PresentationTime.Time, batch.Header(i - 1).PresentationTime.Time) << i;
            }
        }
    }

    board::CaptureBoard* board_ = nullptr;
    HANDLE video_ = INVALID_HANDLE_VALUE;
};

// Blue, green, red (and the fourth byte) of RGB32 pixel x of memory row `row`.
std::array<int, 4> Pixel32(const std::vector<UCHAR>& frame, LONG width, LONG row, LONG x)
{
    const UCHAR* p = frame.data() + (size_t(row) * width + size_t(x)) * 4;
    return {p[0], p[1], p[2], p[3]};
}

std::array<int, 4> Expected32(int bar)
{
    return {Rgb32(bar)[0], Rgb32(bar)[1], Rgb32(bar)[2], 0};
}

TEST_F(PinPictureTest, TheBoardsBarsComeOutOfEveryFormatWithTheTablesColoursAndTheCountsAddUp)
{
    struct Case {
        USHORT bits;
        ULONG compression;
    };
    for (const Case& c : {Case{32, KS_BI_RGB}, Case{24, KS_BI_RGB}, Case{16, kUYVY}, Case{12, kI420}}) {
        SCOPED_TRACE("bits " + std::to_string(c.bits) + " compression " + std::to_string(c.compression));
        const KS_DATAFORMAT_VIDEOINFOHEADER format = Format(320, 240, c.bits, c.compression);
        const ULONG imageSize = format.VideoInfoHeader.bmiHeader.biSizeImage;
        PinClient capture;
        ASSERT_EQ(capture.Create(video_, kCapturePin, &format, sizeof(format)), 0u);
        // The preview runs beside the first capture format.
        PinClient preview;
        const KS_DATAFORMAT_VIDEOINFOHEADER small = Format(160, 120, 32, KS_BI_RGB);
        const bool withPreview = c.bits == 32;
        if (withPreview) {
            ASSERT_EQ(preview.Create(video_, kPreviewPin, &small, sizeof(small)), 0u);
        }
        ASSERT_EQ(capture.StepTo(KSSTATE_STOP, KSSTATE_RUN), 0u);
        if (withPreview) {
            ASSERT_EQ(preview.StepTo(KSSTATE_STOP, KSSTATE_RUN), 0u);
        }

        PinClient::Batch& first = capture.Read(2, imageSize, kVideoHeaderBytes);
        PinClient::Batch* previewFrames = withPreview ? &preview.Read(2, 160 * 120 * 4, kVideoHeaderBytes) : nullptr;
        int stepped = 0;
        if (previewFrames) {
            ASSERT_TRUE(StepUntilDone({&first, previewFrames}, 2, &stepped));
        } else {
            ASSERT_TRUE(StepUntilDone({&first}, 2, &stepped));
        }
        // Three frames find no buffer: the sink drops them and counts the drops.
        for (int i = 0; i < 3; ++i)
            ASSERT_TRUE(StepOneFrame());
        stepped += 3;
        PinClient::Batch& second = capture.Read(2, imageSize, kVideoHeaderBytes);
        ASSERT_TRUE(StepUntilDone({&second}, 4, &stepped));

        ExpectWholeFramesInTimeOrder(first, imageSize);
        ExpectWholeFramesInTimeOrder(second, imageSize);
        EXPECT_GT(second.Header(0).PresentationTime.Time, first.Header(1).PresentationTime.Time);
        // The last picture number is the frames delivered plus the drops the filter reports.
        const Counts counts = Dropped();
        // How many of the frames that found no buffer the chain still held for the next request,
        // or the board itself dropped for want of a capture buffer, depends on when they arrived;
        // whatever the driver dropped is in the counts, and no more frames than went through beyond
        // the four delivered.
        EXPECT_EQ(counts.delivered, 4);
        EXPECT_LE(counts.dropped, stepped - 4);
        EXPECT_GT(second.FrameInfo(0).PictureNumber, first.FrameInfo(1).PictureNumber);
        // The last picture's number is the frames delivered and dropped before it. A frame the chain
        // held back comes out only when the next one arrives; when the last picture was held so, the
        // frame that pushed it out may be counted as dropped after it, and only that one.
        const LONGLONG last = second.FrameInfo(1).PictureNumber;
        EXPECT_LE(last, counts.Total());
        EXPECT_GE(last + 1, counts.Total());
        EXPECT_EQ(second.FrameInfo(1).DropCount + (counts.Total() - last), counts.dropped);

        const std::vector<UCHAR>& picture = second.buffers[1];
        for (int bar = 0; bar < 8; ++bar) {
            SCOPED_TRACE("bar " + std::to_string(bar));
            const LONG x = 40 * bar + 20;
            // Rows 40, 120 and 200 from the picture's top, clear of the frame counter at its bottom.
            for (LONG top : {40L, 120L, 200L}) {
                if (c.compression == KS_BI_RGB) {
                    const LONG row = 239 - top; // bottom-up
                    if (c.bits == 32) {
                        EXPECT_EQ(Pixel32(picture, 320, row, x), Expected32(bar));
                    } else {
                        const UCHAR* p = picture.data() + size_t(row) * 960 + size_t(x) * 3;
                        EXPECT_EQ((std::array<int, 3>{p[0], p[1], p[2]}), Rgb24(bar));
                    }
                } else if (c.compression == kUYVY) {
                    const UCHAR* p = picture.data() + size_t(top) * 640 + size_t(x) * 2;
                    EXPECT_EQ((std::array<int, 4>{p[0], p[1], p[2], p[3]}),
                              (std::array<int, 4>{kBarU[bar], kBarY[bar], kBarV[bar], kBarY[bar]}));
                } else {
                    EXPECT_EQ(picture[size_t(top) * 320 + size_t(x)], kBarY[bar]);
                    EXPECT_EQ(picture[320 * 240 + size_t(top / 2) * 160 + size_t(x / 2)], kBarU[bar]);
                    EXPECT_EQ(picture[320 * 240 + 160 * 120 + size_t(top / 2) * 160 + size_t(x / 2)], kBarV[bar]);
                }
            }
        }
        if (c.compression == KS_BI_RGB && c.bits == 32) {
            // Bottom-up: the first rows in memory are the picture's last, where the frame counter's
            // cells (white or black, never yellow) replace the bars.
            EXPECT_EQ(Pixel32(picture, 320, 236, 60), Expected32(1));
            EXPECT_NE(Pixel32(picture, 320, 3, 60), Expected32(1));
        }
        if (previewFrames) {
            ExpectWholeFramesInTimeOrder(*previewFrames, 160 * 120 * 4);
            for (int bar = 0; bar < 8; ++bar)
                EXPECT_EQ(Pixel32(previewFrames->buffers[1], 160, 60, 20 * bar + 10), Expected32(bar)) << bar;
        }
        ASSERT_EQ(capture.StepTo(KSSTATE_RUN, KSSTATE_STOP), 0u);
        if (withPreview) {
            ASSERT_EQ(preview.StepTo(KSSTATE_RUN, KSSTATE_STOP), 0u);
        }
    }
}

TEST_F(PinPictureTest, AProcAmpReachesTheRunningChainInPlaceAndACropRebuildsTheCapturePinsBranchOnly)
{
    const KS_DATAFORMAT_VIDEOINFOHEADER big = Format(320, 240, 32, KS_BI_RGB);
    const KS_DATAFORMAT_VIDEOINFOHEADER small = Format(160, 120, 32, KS_BI_RGB);
    PinClient capture;
    PinClient preview;
    ASSERT_EQ(capture.Create(video_, kCapturePin, &big, sizeof(big)), 0u);
    ASSERT_EQ(preview.Create(video_, kPreviewPin, &small, sizeof(small)), 0u);
    ASSERT_EQ(capture.StepTo(KSSTATE_STOP, KSSTATE_RUN), 0u);
    ASSERT_EQ(preview.StepTo(KSSTATE_STOP, KSSTATE_RUN), 0u);
    auto readBoth = [&](PinClient::Batch** c, PinClient::Batch** p) {
        const LONGLONG delivered = Dropped().delivered + 1;
        *c = &capture.Read(1, 320 * 240 * 4, kVideoHeaderBytes);
        *p = &preview.Read(1, 160 * 120 * 4, kVideoHeaderBytes);
        return StepUntilDone({*c, *p}, delivered);
    };
    PinClient::Batch *c0, *p0;
    ASSERT_TRUE(readBoth(&c0, &p0));
    const LONG middle = 120;
    EXPECT_EQ(Pixel32(c0->buffers[0], 320, middle, 300), Expected32(7)); // black: 16, 16, 16
    const size_t captureBuilds = TraceLines("PID=1, Stream State");
    const size_t previewBuilds = TraceLines("PID=2, Stream State");

    // Brightness 20 for the capture pin (tables sent empty, so computed from the values).
    Record procAmp(PROPSETID_BREVICOR_VIDEOPROCAMP, 0, kGet, 2436);
    procAmp.Put<ULONG>(24, 1);
    ASSERT_EQ(Send(video_, procAmp).error, 0u);
    Record brighter(PROPSETID_BREVICOR_VIDEOPROCAMP, 0, kSet, 2436);
    std::memcpy(brighter.data() + 24, procAmp.data() + 24, 132 - 24);
    brighter.Put<ULONG>(24, 1);
    brighter.Put<LONG>(28, 20);
    brighter.Put<ULONG>(128, 1);
    ASSERT_EQ(Send(video_, brighter).error, 0u);
    EXPECT_EQ(TraceLines("PID=1, Stream State"), captureBuilds); // no chain was built
    EXPECT_EQ(TraceLines("PID=2, Stream State"), previewBuilds);

    PinClient::Batch *c1, *p1;
    ASSERT_TRUE(readBoth(&c1, &p1));
    const std::array<int, 4> lifted = Pixel32(c1->buffers[0], 320, middle, 300);
    EXPECT_GT(lifted[0], 16);
    EXPECT_EQ(lifted[0], lifted[1]);
    EXPECT_EQ(lifted[1], lifted[2]);
    EXPECT_EQ(Pixel32(p1->buffers[0], 160, 60, 150), Expected32(7)); // the preview's own proc amp

    // The right half of the picture for the capture pin: its chain is built again, the preview's
    // is not.
    Record crop(PROPSETID_BREVICOR_CROP, 0, kSet, 80);
    crop.Put<ULONG>(24, 1);
    crop.Put<ULONG>(28, 1);
    crop.Put<ULONG>(32, 0);
    crop.Put<ULONG>(36, 487);
    crop.Put<ULONG>(40, 360);
    crop.Put<ULONG>(44, 360);
    crop.Put<ULONG>(48, 487);
    crop.Put<ULONG>(52, 720);
    crop.Put<ULONG>(76, 1);
    ASSERT_EQ(Send(video_, crop).error, 0u);
    EXPECT_EQ(TraceLines("PID=1, Stream State"), captureBuilds + 1);
    EXPECT_EQ(TraceLines("PID=2, Stream State"), previewBuilds);

    PinClient::Batch *c2, *p2;
    ASSERT_TRUE(readBoth(&c2, &p2));
    // Four bars of 80 pixels now: magenta first (blue and red well above green), black last.
    const std::array<int, 4> magenta = Pixel32(c2->buffers[0], 320, middle, 40);
    EXPECT_GT(magenta[0], magenta[1] + 60);
    EXPECT_GT(magenta[2], magenta[1] + 60);
    EXPECT_EQ(Pixel32(c2->buffers[0], 320, middle, 300), lifted); // the brightness stays
    for (int bar = 0; bar < 8; ++bar)
        EXPECT_EQ(Pixel32(p2->buffers[0], 160, 60, 20 * bar + 10), Expected32(bar)) << bar;
    ASSERT_EQ(capture.StepTo(KSSTATE_RUN, KSSTATE_STOP), 0u);
    ASSERT_EQ(preview.StepTo(KSSTATE_RUN, KSSTATE_STOP), 0u);
}

} // namespace
} // namespace pintest
