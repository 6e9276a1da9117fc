// The loss-of-signal overlay: the reference clamps and the placed rectangle on a 1080-line frame,
// drawn only on backup frames (flag 4) and only inside its rectangle; other frames pass unchanged.
#include <gtest/gtest.h>

#include "CaptionTestSupport.h"
#include "RecordingSink.h"
#include "TraceTestSupport.h"
#include "cvideolos.h"
#include "roundtoint.h"

#include <cstring>

using streamtest::RecordingSink;

namespace {

class VideoLOSTest : public tracetest::TraceTest {};

} // namespace

TEST_F(VideoLOSTest, BackupFramesShowTheImageInTheScaledEvenRectangle)
{
    captiontest::WriteFile(root / "C" / "rect.gph", captiontest::SerializeGlyphFile(captiontest::RectangleFont()));
    const auto record = captiontest::LossOfSignalRecord(u"C:\\rect.gph", u"NO SIGNAL", 201, 101, 51, 301, 480, 720);
    CVideoLOS los(record.data());
    los.InitLOS();
    ASSERT_TRUE(los.HasImage());
    auto* sink = new RecordingSink();
    ASSERT_TRUE(sink->Connect(&los));
    VideoFrame frame(1920, 1080, 8, true);
    frame.FillBlack();
    frame.SetWritable(false);
    los.Process(&frame);
    // 480 counts as 487.
    const double fy = 1080.0 / 487, fx = 1920.0 / 720;
    const LONG top = RoundToInt(201 * fy - 0.05), left = RoundToInt(101 * fx - 0.05);
    LONG height = RoundToInt(252 * fy - 0.05) - top, width = RoundToInt(402 * fx - 0.05) - left;
    height += height % 2;
    width += width % 2;
    EXPECT_EQ(los.Top(), top);
    EXPECT_EQ(los.Left(), left & ~1);
    EXPECT_EQ(los.Height(), height);
    EXPECT_EQ(los.Width(), width);
    EXPECT_EQ(los.Height() % 2, 0);
    EXPECT_EQ(los.Width() % 2, 0);
    ASSERT_EQ(sink->Count(), 1u);
    const auto& plain = sink->Deliveries()[0];
    for (size_t i = 0; i < 1920u * 1080; ++i)
        ASSERT_EQ(plain.bytes[i], 16) << i;
    frame.AddFlags(kFrameFlagBackup);
    los.Process(&frame);
    const auto& drawn = sink->Deliveries()[1];
    size_t ink = 0;
    for (LONG r = 0; r < 1080; ++r)
        for (LONG c = 0; c < 1920; ++c)
            if (drawn.bytes[size_t(r) * 1920 + c] != 16) {
                ++ink;
                ASSERT_TRUE(r >= los.Top() && r < los.Top() + los.Height() && c >= los.Left() &&
                            c < los.Left() + los.Width())
                    << r << "," << c;
            }
    EXPECT_GT(ink, 1000u);
    // The incoming frame was not writable: it is left as it was.
    EXPECT_EQ(frame.GetPlane(0)[size_t(los.Top() + 1) * 1920 + los.Left() + 1], 16);
    // Compare: the 1,120 bytes.
    CVideoLOS same(record.data());
    EXPECT_TRUE(los.IsEqual(&same));
    auto other = record;
    other[1119] ^= 1;
    CVideoLOS changed(other.data());
    EXPECT_FALSE(los.IsEqual(&changed));
    delete sink;
}

TEST_F(VideoLOSTest, TransparencyDrawsOnlyTheTextsInk)
{
    captiontest::WriteFile(root / "C" / "rect.gph", captiontest::SerializeGlyphFile(captiontest::RectangleFont()));
    for (uint32_t transparency : {0u, 1u}) {
        const auto record =
            captiontest::LossOfSignalRecord(u"C:\\rect.gph", u"AB", 100, 100, 40, 120, 487, 720, transparency);
        CVideoLOS los(record.data());
        los.InitLOS();
        VideoFrame frame(720, 487, 8, true);
        frame.Fill(100, 128, 128);
        frame.SetWritable(true); // drawn in place
        frame.AddFlags(kFrameFlagBackup);
        los.Process(&frame);
        size_t background = 0, ink = 0;
        for (LONG r = los.Top(); r < los.Top() + los.Height(); ++r)
            for (LONG c = los.Left(); c < los.Left() + los.Width(); ++c) {
                const UCHAR y = frame.GetPlane(0)[size_t(r) * frame.GetStride(0) + c];
                background += y < 50; // black, as the conversion makes it
                ink += y > 200;
            }
        EXPECT_GT(ink, 100u) << transparency;
        // Opaque: the box's black background covers the picture; transparent: the picture shows.
        if (transparency)
            EXPECT_EQ(background, 0u);
        else
            EXPECT_GT(background, 100u);
    }
}
