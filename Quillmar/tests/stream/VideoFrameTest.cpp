// The internal picture: its plane layout, its own buffer and the pool fallback, fills, the three
// imports with their source checks, whole-frame and field copies against a byte loop, mirror,
// resize, attributes, and the exception guard of the plane copies.
#include "TraceTestSupport.h"
#include "imaging/imaging.h"
#include "km/pool.h"
#include "planework.h"
#include "videoframe.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {

// Fills every byte of the frame's buffer with a pattern of its offset.
void Pattern(VideoFrame& frame, unsigned seed)
{
    for (ULONG i = 0; i < frame.GetDataSize(); ++i)
        frame.GetFrameData()[i] = static_cast<UCHAR>((i * 31 + seed) ^ (i >> 9));
}

// The reference: rows x width bytes of each plane, byte by byte.
void ExpectPlanesEqual(const VideoFrame& a, const VideoFrame& b, LONG rows, LONG width)
{
    for (ULONG plane = 0; plane < 3; ++plane) {
        const LONG bytes = plane == 0 ? width : width / 2;
        for (LONG r = 0; r < rows; ++r)
            for (LONG x = 0; x < bytes; ++x)
                ASSERT_EQ(a.GetPlane(plane)[r * a.GetStride(plane) + x], b.GetPlane(plane)[r * b.GetStride(plane) + x])
                    << "plane " << plane << " row " << r << " byte " << x;
    }
}

TEST(VideoFrameTest, LayoutOfEightAndTenBitPictures)
{
    std::vector<UCHAR> buffer(20000);
    VideoFrame frame;
    EXPECT_EQ(frame.GetBytesPerPixel(), 2);
    EXPECT_EQ(frame.GetFrameData(), nullptr);
    frame.Initialize(buffer.data(), ULONG(buffer.size()), 100, 50, 8);
    EXPECT_EQ(frame.GetRowWidth(), 112u);
    EXPECT_EQ(frame.GetRowCount(), 50u);
    EXPECT_EQ(frame.GetStride(0), 112);
    EXPECT_EQ(frame.GetStride(1), 56);
    EXPECT_EQ(frame.GetStride(2), 56);
    EXPECT_EQ(frame.GetPlane(0), buffer.data());
    EXPECT_EQ(frame.GetPlane(1), buffer.data() + 5600);
    EXPECT_EQ(frame.GetPlane(2), buffer.data() + 8400);
    EXPECT_EQ(frame.GetFormat(), 8);
    EXPECT_TRUE(frame.PlanesInBuffer());

    frame.Initialize(buffer.data(), ULONG(buffer.size()), 100, 50, 10);
    EXPECT_EQ(frame.GetPlane(1), buffer.data() + 11200);
    EXPECT_EQ(frame.GetPlane(2), buffer.data() + 11200 + 5600);
    EXPECT_EQ(frame.GetStride(1), 56);
    EXPECT_EQ(frame.GetBytesPerPixel(), 4);
    EXPECT_EQ(frame.GetFormat(), 10);

    // A buffer too small for the layout: the plane operations leave it alone.
    frame.Initialize(buffer.data(), 11199, 100, 50, 8);
    EXPECT_FALSE(frame.PlanesInBuffer());
    std::memset(buffer.data(), 0xAA, buffer.size());
    frame.FillBlack();
    EXPECT_EQ(buffer[0], 0xAA);
    frame.DetachBuffer();
    EXPECT_EQ(frame.GetFrameData(), nullptr);
    EXPECT_EQ(frame.GetDataSize(), 0u);
    EXPECT_EQ(frame.GetWidth(), 0);
    EXPECT_EQ(frame.GetPlane(0), nullptr);
}

TEST(VideoFrameTest, OwnBufferHasSlackAndFallsBackToPagedPool)
{
    VideoFrame frame(720, 486, 8, true);
    ASSERT_NE(frame.GetFrameData(), nullptr);
    EXPECT_EQ(frame.GetDataSize(), 2u * 720 * 486 + VideoFrame::kAllocationSlackBytes);
    standin::PoolBlockInfo info;
    ASSERT_TRUE(standin::PoolQueryBlock(frame.GetFrameData(), &info));
    EXPECT_EQ(info.type, NonPagedPool);
    EXPECT_EQ(info.tag, standin::MakePoolTag("Wdm "));
    // Large enough already: the buffer stays.
    PUCHAR before = frame.GetFrameData();
    EXPECT_EQ(frame.EnsureBufferSize(1000), 1u);
    EXPECT_EQ(frame.GetFrameData(), before);

    VideoFrame fallback(100, 50, 8, false);
    EXPECT_EQ(fallback.GetFrameData(), nullptr);
    standin::PoolFailNthAllocation(1);
    EXPECT_EQ(fallback.EnsureBufferSize(20000), 1u);
    ASSERT_TRUE(standin::PoolQueryBlock(fallback.GetFrameData(), &info));
    EXPECT_EQ(info.type, PagedPool);
    EXPECT_EQ(fallback.GetDataSize(), 20000u);
    EXPECT_EQ(fallback.GetPlane(1), fallback.GetFrameData() + 5600);

    // Both pools failing: no buffer at all.
    standin::PoolFailTag(standin::MakePoolTag("Wdm "));
    EXPECT_EQ(fallback.EnsureBufferSize(40000), 0u);
    EXPECT_EQ(fallback.GetDataSize(), 0u);
    EXPECT_EQ(fallback.GetFrameData(), nullptr);
    EXPECT_EQ(standin::PoolInjectedFailures(), 3u);
    standin::PoolClearFailures();
    fallback.FillBlack(); // no buffer: nothing to write, nothing breaks
}

TEST(VideoFrameTest, FillsSetEachPlane)
{
    VideoFrame frame(48, 6, 8, true);
    frame.FillRed();
    EXPECT_EQ(frame.GetPlane(0)[47 + 5 * 48], 65);
    EXPECT_EQ(frame.GetPlane(1)[23 + 5 * 24], 98);
    EXPECT_EQ(frame.GetPlane(2)[0], 211);
    frame.FillBlack();
    EXPECT_EQ(frame.GetPlane(0)[0], 16);
    EXPECT_EQ(frame.GetPlane(1)[5 * 24], 128);
    EXPECT_EQ(frame.GetPlane(2)[23 + 5 * 24], 128);
}

TEST(VideoFrameTest, CopyFrameMatchesAByteLoopOnBothCopyPaths)
{
    for (LONG rows : {480, 486}) {
        VideoFrame source(720, rows, 8, true), destination(720, rows, 8, true);
        Pattern(source, 7);
        destination.FillBlack();
        EXPECT_EQ(destination.CopyFrame(&source), 1u);
        ExpectPlanesEqual(source, destination, rows, 720);
    }
}

TEST(VideoFrameTest, CopyFrameFromASmallerSourceReadsOnlyItsRows)
{
    // The source lies over a buffer of exactly its planes: a read past it is an ASan report.
    const LONG width = 64, rows = 240;
    std::vector<UCHAR> exact(size_t(width) * rows * 2);
    VideoFrame source;
    source.Initialize(exact.data(), ULONG(exact.size()), width, rows, 8);
    Pattern(source, 3);
    VideoFrame destination(80, 480, 8, true);
    destination.FillBlack();
    EXPECT_EQ(destination.CopyFrame(&source), 1u);
    ExpectPlanesEqual(source, destination, rows, width);
    EXPECT_EQ(destination.GetPlane(0)[rows * destination.GetStride(0)], 16); // row 240 untouched
    EXPECT_EQ(destination.GetPlane(0)[width], 16);                           // beyond the source's width
    // And the other way round: a larger source into a smaller frame writes only this frame's rows.
    VideoFrame small(32, 10, 8, true);
    EXPECT_EQ(small.CopyFrame(&destination), 1u);
    ExpectPlanesEqual(small, destination, 10, 32);
    EXPECT_EQ(small.CopyFrame(nullptr), 0u);
    source.DetachBuffer();
}

TEST(VideoFrameTest, CopyFieldToFrameUsesEachFramesStridesAndBothFieldHeights)
{
    VideoFrame source(96, 20, 8, true);  // stride 96
    VideoFrame destination(64, 30, 8, true); // stride 64
    Pattern(source, 11);
    destination.FillBlack();
    source.SetActiveSize(0, 96, 10);
    source.SetActiveSize(1, 96, 10);
    destination.SetActiveSize(0, 64, 15);
    destination.SetActiveSize(1, 64, 15);
    // Field 1 of the source (odd rows) into field 0 of the destination (even rows), from line 2.
    destination.CopyFieldToFrame(&source, 1, 0, 2);
    const LONG lines = 10 - 2; // the source's field height bounds it
    for (ULONG plane = 0; plane < 3; ++plane) {
        const LONG width = plane == 0 ? 64 : 32;
        for (LONG line = 0; line < 15; ++line) {
            const UCHAR* got = destination.GetPlane(plane) + (2 * (2 + line)) * destination.GetStride(plane);
            if (2 * (2 + line) >= 30)
                break;
            if (line < lines) {
                const UCHAR* want = source.GetPlane(plane) + (2 * (2 + line) + 1) * source.GetStride(plane);
                ASSERT_EQ(0, std::memcmp(got, want, width)) << "plane " << plane << " line " << line;
            } else {
                EXPECT_EQ(got[0], plane == 0 ? 16 : 128) << "plane " << plane << " line " << line;
            }
        }
        // The other field and the first lines are untouched.
        EXPECT_EQ(destination.GetPlane(plane)[1 * destination.GetStride(plane)], plane == 0 ? 16 : 128);
        EXPECT_EQ(destination.GetPlane(plane)[0], plane == 0 ? 16 : 128);
    }
    // Bad field indices or a negative first line copy nothing.
    VideoFrame untouched(64, 30, 8, true);
    untouched.FillBlack();
    untouched.SetActiveSize(0, 64, 15);
    untouched.CopyFieldToFrame(&source, 2, 0, 0);
    untouched.CopyFieldToFrame(&source, 0, -1, 0);
    untouched.CopyFieldToFrame(&source, 0, 0, -1);
    EXPECT_EQ(untouched.GetPlane(0)[0], 16);
}

TEST(VideoFrameTest, CopyFieldToFrameStaysInsideShortFrames)
{
    // Field heights that claim more lines than the planes have.
    const LONG width = 32, rows = 7;
    std::vector<UCHAR> exact(size_t(width) * rows * 2);
    VideoFrame source;
    source.Initialize(exact.data(), ULONG(exact.size()), width, rows, 8);
    Pattern(source, 5);
    source.SetActiveSize(1, width, 100);
    VideoFrame destination(width, 40, 8, true);
    destination.FillBlack();
    destination.SetActiveSize(1, width, 100);
    destination.CopyFieldToFrame(&source, 1, 1, 0);
    // Odd rows 1, 3, 5 of the source exist: three lines.
    EXPECT_EQ(0, std::memcmp(destination.GetPlane(0) + 5 * width, source.GetPlane(0) + 5 * width, width));
    EXPECT_EQ(destination.GetPlane(0)[7 * width], 16);
    source.DetachBuffer();
}

TEST(VideoFrameTest, CopyFieldToFrameWithinOneFrameCopiesOneFieldOverTheOther)
{
    VideoFrame frame(32, 20, 8, true);
    Pattern(frame, 4);
    frame.SetActiveSize(0, 32, 10);
    frame.SetActiveSize(1, 32, 10);
    std::vector<UCHAR> before(frame.GetFrameData(), frame.GetFrameData() + frame.GetDataSize());
    frame.CopyFieldToFrame(&frame, 1, 1, 0); // a field over itself: refused, nothing changes
    EXPECT_EQ(0, std::memcmp(before.data(), frame.GetFrameData(), before.size()));
    frame.CopyFieldToFrame(&frame, 1, 0, 0); // field 1 (odd rows) over field 0 (even rows)
    for (ULONG plane = 0; plane < 3; ++plane) {
        const LONG stride = frame.GetStride(plane);
        const UCHAR* original = before.data() + (frame.GetPlane(plane) - frame.GetFrameData());
        for (LONG line = 0; line < 10; ++line) {
            ASSERT_EQ(0, std::memcmp(frame.GetPlane(plane) + 2 * line * stride, original + (2 * line + 1) * stride,
                                     stride)) << plane << " " << line;
            ASSERT_EQ(0, std::memcmp(frame.GetPlane(plane) + (2 * line + 1) * stride,
                                     original + (2 * line + 1) * stride, stride)) << plane << " " << line;
        }
    }
}

TEST(VideoFrameTest, MirrorWritesRowsBottomUpUnlessSkipped)
{
    VideoFrame source(32, 6, 8, true), destination(32, 6, 8, true);
    Pattern(source, 1);
    destination.FillBlack();
    source.MirrorThisFrame(&destination, 1);
    EXPECT_EQ(destination.GetPlane(0)[0], 16);
    EXPECT_EQ(destination.GetPlane(2)[5 * 16], 128);
    source.MirrorThisFrame(&destination, 0);
    for (ULONG plane = 0; plane < 3; ++plane)
        for (LONG r = 0; r < 6; ++r)
            ASSERT_EQ(0, std::memcmp(destination.GetPlane(plane) + (5 - r) * destination.GetStride(plane),
                                     source.GetPlane(plane) + r * source.GetStride(plane), source.GetStride(plane)));
    // A taller destination: the source rows land at its bottom.
    VideoFrame tall(32, 10, 8, true);
    tall.FillBlack();
    source.MirrorThisFrame(&tall, 0);
    EXPECT_EQ(0, std::memcmp(tall.GetPlane(0) + 9 * 32, source.GetPlane(0), 32));
    EXPECT_EQ(tall.GetPlane(0)[0], 16);
}

TEST(VideoFrameTest, ScaleResizesEachPlaneWithTheFramesFactors)
{
    VideoFrame source(720, 480, 8, true), destination(360, 240, 8, true), expected(360, 240, 8, true);
    Pattern(source, 9);
    EXPECT_EQ(source.ScaleFrom(&destination, 2), 1u);
    for (ULONG plane = 0; plane < 3; ++plane) {
        const LONG sw = plane == 0 ? 720 : 360, dw = plane == 0 ? 360 : 180;
        ASSERT_EQ(ResizePlane(source.GetPlane(plane), sw, 480, source.GetStride(plane), ImagingRegion{0, 0, sw, 480},
                              expected.GetPlane(plane), expected.GetStride(plane), dw, 240, 0.5, 0.5, 2),
                  StatusOk);
    }
    ExpectPlanesEqual(expected, destination, 240, 360);
    // A size the destination cannot hold is refused.
    EXPECT_EQ(source.Scale(&destination, 2, 400, 240), 0u);
    EXPECT_EQ(source.Scale(&destination, 2, 360, 241), 0u);
    EXPECT_EQ(source.Scale(nullptr, 2, 360, 240), 0u);
}

TEST(VideoFrameTest, PackedImportsSplitBothByteOrders)
{
    const UCHAR yuy2[16] = {10, 20, 11, 30, 12, 21, 13, 31, 14, 22, 15, 32, 16, 23, 17, 33};
    VideoFrame frame(4, 2, 8, true);
    ASSERT_EQ(frame.ImportPacked(yuy2, sizeof yuy2, PackedOrder::Yuy2), 1u);
    const UCHAR* y = frame.GetPlane(0);
    EXPECT_EQ(std::vector<UCHAR>(y, y + 4), (std::vector<UCHAR>{10, 11, 12, 13}));
    EXPECT_EQ(std::vector<UCHAR>(y + 16, y + 20), (std::vector<UCHAR>{14, 15, 16, 17}));
    EXPECT_EQ(frame.GetPlane(1)[0], 20);
    EXPECT_EQ(frame.GetPlane(1)[1], 21);
    EXPECT_EQ(frame.GetPlane(2)[0], 30);
    EXPECT_EQ(frame.GetPlane(2)[8 + 1], 33);
    EXPECT_EQ(y[4], 16); // black beyond the picture

    ASSERT_EQ(frame.ImportPacked(yuy2, sizeof yuy2, PackedOrder::Uyvy), 1u);
    EXPECT_EQ(std::vector<UCHAR>(y, y + 4), (std::vector<UCHAR>{20, 30, 21, 31}));
    EXPECT_EQ(frame.GetPlane(1)[0], 10);
    EXPECT_EQ(frame.GetPlane(2)[0], 11);

    // A short source is refused and nothing is written.
    frame.FillRed();
    EXPECT_EQ(frame.ImportPacked(yuy2, sizeof yuy2 - 1, PackedOrder::Yuy2), 0u);
    EXPECT_EQ(frame.GetPlane(0)[0], 65);
    EXPECT_EQ(frame.ImportPacked(nullptr, 100, PackedOrder::Yuy2), 0u);
}

TEST(VideoFrameTest, Rgb24ImportReadsBottomUpDibRowsInBlueGreenRedOrder)
{
    const LONG width = 6, height = 4;
    const ULONG rowBytes = (3 * width + 3) / 4 * 4; // 20
    std::vector<UCHAR> dib(rowBytes * height, 0);
    // The last row of the file is the picture's top row: pure red there (B, G, R = 0, 0, 255).
    for (LONG x = 0; x < width; ++x)
        dib[(height - 1) * rowBytes + 3 * x + 2] = 255;
    // The first row of the file is the picture's bottom row: pure blue.
    for (LONG x = 0; x < width; ++x)
        dib[3 * x] = 255;
    VideoFrame frame(width, height, 8, true);
    ASSERT_EQ(frame.ImportRGB24(dib.data(), ULONG(dib.size())), 1u);
    EXPECT_GT(frame.GetPlane(2)[0], 200); // Cr of the top row
    EXPECT_LT(frame.GetPlane(1)[0], 100); // Cb of the top row
    const LONG bottom = height - 1;
    EXPECT_GT(frame.GetPlane(1)[bottom * frame.GetStride(1)], 200); // blue bottom row: high Cb
    EXPECT_LT(frame.GetPlane(2)[bottom * frame.GetStride(2)], 140);
    // Rows 1 and 2 are black: no colour difference.
    EXPECT_EQ(frame.GetPlane(1)[1 * frame.GetStride(1)], 128);
    EXPECT_EQ(frame.GetPlane(2)[2 * frame.GetStride(2)], 128);
    EXPECT_EQ(frame.GetPlane(0)[1 * frame.GetStride(0)], frame.GetPlane(0)[2 * frame.GetStride(0) + width - 1]);

    EXPECT_EQ(frame.ImportRGB24(dib.data(), ULONG(dib.size()) - 1), 0u);
    EXPECT_EQ(frame.ImportRGB24(nullptr, ULONG(dib.size())), 0u);
}

TEST(VideoFrameTest, I420ImportStridesByThePicturesWidth)
{
    // Width 100 is no multiple of 16: the I420 rows are 100 bytes, the frame's 112.
    const LONG width = 100, height = 4;
    std::vector<UCHAR> i420(width * height * 3 / 2);
    for (LONG r = 0; r < height; ++r)
        for (LONG x = 0; x < width; ++x)
            i420[r * width + x] = static_cast<UCHAR>(r * 50 + x % 50);
    std::memset(i420.data() + width * height, 90, width * height / 4);
    std::memset(i420.data() + width * height * 5 / 4, 170, width * height / 4);
    VideoFrame frame(width, height, 8, true);
    ASSERT_EQ(frame.AttachPlanar(i420.data(), ULONG(i420.size())), 1u);
    for (LONG r = 0; r < height; ++r)
        ASSERT_EQ(0, std::memcmp(frame.GetPlane(0) + r * frame.GetStride(0), i420.data() + r * width, width)) << r;
    for (LONG r = 0; r < height; ++r) {
        EXPECT_EQ(frame.GetPlane(1)[r * frame.GetStride(1) + 49], 90);
        EXPECT_EQ(frame.GetPlane(2)[r * frame.GetStride(2)], 170);
    }
    EXPECT_EQ(frame.AttachPlanar(i420.data(), ULONG(i420.size()) - 1), 0u);
}

TEST(VideoFrameTest, AttributesTravelWithoutPlanesOrTheWritableFlag)
{
    VideoFrame source(64, 20, 10, true), destination(32, 10, 8, true);
    source.SetFrameNumber(1234567);
    source.SetFrameInterval(333667);
    source.SetIntervalWord(5);
    source.SetFlags(kFrameFlagGenerated | kFrameFlagVbiField1);
    source.SetTimeOffset(-40);
    source.SetHostFrame(true);
    source.SetSequenceNumber(77);
    source.SetInputIdentifier(0x20000);
    source.SetKeepContinuity(true);
    source.SetVideoStandard(kFrameStandard625);
    source.SetLineRemoval(6);
    source.SetCaptionWord(0, 0x4142);
    source.SetCaptionWord(1, 0x8080);
    KS_VBIINFOHEADER header{};
    header.SamplingFrequency = 28636363;
    source.SetVBIInfoHeader(header);
    source.SetVbiSize(0, 720, 12);
    source.SetVbiSize(1, 720, 13);
    source.SetActiveSize(0, 720, 240);
    source.SetActiveSize(1, 720, 240);
    source.SetWritable(true);
    PUCHAR plane = destination.GetPlane(0);

    source.CopyAttributes(&destination, false);
    EXPECT_EQ(destination.GetFormat(), 8);
    EXPECT_EQ(destination.GetFrameNumber(), 1234567);
    EXPECT_EQ(destination.GetFrameInterval(), 333667u);
    EXPECT_EQ(destination.GetIntervalWord(), 5u);
    EXPECT_EQ(destination.GetFlags(), kFrameFlagGenerated | kFrameFlagVbiField1);
    EXPECT_EQ(destination.GetTimeOffset(), -40);
    EXPECT_TRUE(destination.IsHostFrame());
    EXPECT_EQ(destination.GetSequenceNumber(), 77u);
    EXPECT_TRUE(destination.IsSameInput(&source));
    EXPECT_TRUE(destination.GetKeepContinuity());
    EXPECT_EQ(destination.GetVideoStandard(), kFrameStandard625);
    EXPECT_EQ(destination.GetLineRemoval(), 6);
    EXPECT_EQ(destination.GetCaptionWord(0), 0x4142);
    EXPECT_EQ(destination.GetVBIInfoHeader().SamplingFrequency, 28636363u);
    EXPECT_EQ(destination.GetVbiSize(1).height, 13);
    EXPECT_EQ(destination.GetActiveSize(0).height, 240);
    EXPECT_FALSE(destination.IsWritable());
    EXPECT_EQ(destination.GetPlane(0), plane);
    EXPECT_EQ(destination.GetWidth(), 32);
    EXPECT_EQ(destination.GetStride(0), 32);
    source.CopyAttributes(&destination, true);
    EXPECT_EQ(destination.GetFormat(), 10);
    source.CopyAttributes(nullptr, true);

    // Equality: sizes for video, data sizes for the base, input identifiers for the second test.
    EXPECT_FALSE(source.IsSameSize(nullptr));
    EXPECT_FALSE(source.IsEqual(&destination));
    VideoFrame same(64, 20, 8, false);
    EXPECT_TRUE(source.IsSameSize(&same));
    EXPECT_TRUE(source.IsEqual(&same));
    EXPECT_FALSE(source.IsSameInput(&same));
    EXPECT_FALSE(source.IsSameInput(nullptr));
    EXPECT_EQ(source.GetCaptionWord(2), 0x8080);
    EXPECT_EQ(source.GetVbiSize(-1).width, 0);
}

class PlaneWorkGuardTest : public tracetest::TraceTest {
protected:
    void SetUp() override
    {
        TraceTest::SetUp();
        logger->SetTraceMask(kTraceErrors);
    }
    void TearDown() override
    {
        InjectPlaneWorkExceptions(0);
        TraceTest::TearDown();
    }
};

TEST_F(PlaneWorkGuardTest, AnExceptionInOnePlaneCopyIsLoggedAndTheOtherPlanesAreCopied)
{
    VideoFrame source(64, 10, 8, true), destination(64, 10, 8, true);
    Pattern(source, 2);
    destination.FillBlack();
    InjectPlaneWorkExceptions(1, STATUS_ACCESS_VIOLATION);
    EXPECT_EQ(destination.CopyFrame(&source), 1u);
    EXPECT_EQ(PendingPlaneWorkExceptions(), 0u);
    EXPECT_EQ(destination.GetPlane(0)[0], 16); // the Y copy threw
    EXPECT_EQ(0, std::memcmp(destination.GetPlane(1), source.GetPlane(1), 32 * 10));
    EXPECT_EQ(0, std::memcmp(destination.GetPlane(2), source.GetPlane(2), 32 * 10));
    const auto entries = standin::EventLogEntries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].messageId, 0xC0071085u);
    ASSERT_EQ(entries[0].inserts.size(), 2u);
    EXPECT_EQ(entries[0].inserts[0], u"c0000005");
    EXPECT_EQ(entries[0].inserts[1], u"copy Y plane");
    EXPECT_EQ(DebugLinesWith("Exception 0xc0000005 caught while attempting to copy Y plane").size(), 1u);
}

TEST_F(PlaneWorkGuardTest, FieldCopyMirrorAndResizeNameTheirWork)
{
    VideoFrame source(64, 20, 8, true), destination(64, 20, 8, true);
    source.SetActiveSize(1, 64, 10);
    destination.SetActiveSize(0, 64, 10);
    InjectPlaneWorkExceptions(3, STATUS_INSUFFICIENT_RESOURCES);
    destination.CopyFieldToFrame(&source, 1, 0, 0);
    InjectPlaneWorkExceptions(1);
    source.MirrorThisFrame(&destination, 0);
    InjectPlaneWorkExceptions(3);
    source.Scale(&destination, 1, 32, 10);
    std::vector<std::u16string> work;
    for (const auto& entry : standin::EventLogEntries()) {
        ASSERT_EQ(entry.inserts.size(), 2u);
        work.push_back(entry.inserts[1]);
    }
    EXPECT_EQ(work, (std::vector<std::u16string>{
                        u"copy Y plane for source field 1 to destination field 0",
                        u"copy U plane for source field 1 to destination field 0",
                        u"copy V plane for source field 1 to destination field 0", u"mirror the frame",
                        u"resize the Y plane", u"resize the U plane", u"resize the V plane"}));
    EXPECT_EQ(standin::EventLogEntries()[0].inserts[0], u"c000009a");
}

TEST_F(PlaneWorkGuardTest, OtherCppExceptionsAreCaughtToo)
{
    bool ran = false;
    EXPECT_FALSE(GuardedPlaneWork(this, "Test", "seperate VBI and video data", [&] {
        ran = true;
        throw std::runtime_error("out of range");
    }));
    EXPECT_TRUE(ran);
    const auto entries = standin::EventLogEntries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].inserts[0], u"e06d7363");
    EXPECT_TRUE(GuardedPlaneWork(this, "Test", "nothing", [] {}));
    EXPECT_EQ(standin::EventLogEntries().size(), 1u);
}

TEST(PlaneRowCopyTest, RowCopiesMatchForEveryRowCount)
{
    for (LONG rows : {1, 9, 10, 11, 20, 30}) {
        std::vector<UCHAR> source(40 * rows), destination(24 * rows, 0);
        for (size_t i = 0; i < source.size(); ++i)
            source[i] = static_cast<UCHAR>(i * 3 + rows);
        CopyPlaneRows(source.data(), 40, destination.data(), 24, 24, rows);
        for (LONG r = 0; r < rows; ++r)
            ASSERT_EQ(0, std::memcmp(destination.data() + 24 * r, source.data() + 40 * r, 24)) << rows << " " << r;
    }
    UCHAR untouched = 7;
    CopyPlaneRows(nullptr, 1, &untouched, 1, 1, 1);
    CopyPlaneRows(&untouched, 1, &untouched, 1, 0, 1);
    EXPECT_EQ(untouched, 7);
}

} // namespace
