// The caption overlay end to end: line 21 carrying a caption script through the separator, the
// row drawn with a glyph file into its rectangle, quiet after 300 unchanged frames, drawn again
// for a new row; generated frames never show captions; the rectangle's rules.
#include <gtest/gtest.h>

#include "CaptionTestSupport.h"
#include "board/Line21Captions.h"
#include "RecordingSink.h"
#include "TraceTestSupport.h"
#include "coverlaycc.h"
#include "cseperatevbifromvideo.h"

#include <cstring>
#include <memory>

using captiontest::DspFrame;
using streamtest::RecordingSink;

namespace {

class OverlayCCTest : public tracetest::TraceTest {
protected:
    void SetUp() override
    {
        TraceTest::SetUp();
        captiontest::WriteFile(root / "C" / "rect.gph", captiontest::SerializeGlyphFile(captiontest::RectangleFont()));
    }
};

// Whether the overlay's output differs from the plain video anywhere, and only inside the box.
struct Difference {
    bool any = false;
    bool outside = false;
};
Difference Compare(const RecordingSink::Delivery& drawn, const RecordingSink::Delivery& plain, LONG stride, LONG top,
                   LONG bottom, LONG left, LONG right)
{
    Difference d;
    const LONG rows = drawn.height;
    for (LONG r = 0; r < rows; ++r) {
        const UCHAR* a = drawn.bytes.data() + size_t(r) * stride;
        const UCHAR* b = plain.bytes.data() + size_t(r) * stride;
        if (std::memcmp(a, b, size_t(drawn.width)) == 0)
            continue; // the row is the input's: most rows of most frames
        for (LONG c = 0; c < drawn.width; ++c)
            if (a[c] != b[c]) {
                d.any = true;
                if (r < top || r >= bottom || c < left || c >= right)
                    d.outside = true;
            }
    }
    return d;
}

} // namespace

TEST_F(OverlayCCTest, ScriptShowsGoesQuietAfter300FramesAndShowsANewRow)
{
    CSeperateVBIFromVideo separator(nullptr, nullptr, {});
    const auto record = captiontest::CaptionRecord(u"C:\\rect.gph", 400, 40, 60, 600, 487, 720);
    auto* overlay = new COverlayCC(record.data());
    overlay->Init();
    ASSERT_TRUE(overlay->IsOn());
    auto* drawnSink = new RecordingSink();
    auto* plainSink = new RecordingSink();
    ASSERT_TRUE(overlay->Connect(&separator));
    ASSERT_TRUE(drawnSink->Connect(overlay));
    ASSERT_TRUE(plainSink->Connect(&separator));

    // The board's generator draws each frame's pair of the script into NTSC field 1's line 21.
    DspFrame frame(720, 20, 244, 20, 243);
    board::Line21Captions captions;
    captions.SetWaveform({0.3, 126, 8, 5});
    uint64_t frames = 0;
    // Only each frame's pictures are compared: the sinks keep the last delivery, not 330 copies.
    auto send = [&](uint8_t b1, uint8_t b2) {
        drawnSink->Clear();
        plainSink->Clear();
        ASSERT_TRUE(captions.Queue(1, {{b1, b2}}));
        const auto pairs = captions.NextFrame();
        const uint32_t block = board::Line21Captions::BlockOfField(1);
        captions.RenderRow(frame.VbiRow(LONG(block), board::Line21Captions::kRow), 720, pairs[block], ++frames);
        separator.Process(&frame.Frame());
    };
    const std::vector<std::pair<uint8_t, uint8_t>> script = {{0x14, 0x20}, {0x14, 0x20}, {0x14, 0x50}, {'H', 'E'},
                                                             {'L', 'L'},   {'O', 0x00},  {0x14, 0x2F}, {0x14, 0x2F}};
    for (const auto& [b1, b2] : script)
        send(b1, b2);
    ASSERT_EQ(separator.GetCaptionRowCount(0, 0), 1u);
    const LONG stride = (720 + 15) & ~15;
    auto last = [&] {
        // The newest delivery is the frame sent last; a sink that got nothing since the last send
        // began leaves nothing to compare.
        if (drawnSink->Deliveries().empty() || plainSink->Deliveries().empty()) {
            ADD_FAILURE() << "the last frame reached the drawn sink " << drawnSink->Deliveries().size()
                          << " times and the plain sink " << plainSink->Deliveries().size() << " times";
            return Difference{};
        }
        return Compare(drawnSink->Deliveries().back(), plainSink->Deliveries().back(), stride, overlay->Top(),
                       overlay->Bottom(), overlay->Left(), overlay->Right());
    };
    Difference d = last();
    EXPECT_TRUE(d.any);
    EXPECT_FALSE(d.outside);
    EXPECT_EQ(overlay->Top(), 400);
    EXPECT_EQ(overlay->Bottom(), 460);
    EXPECT_EQ(overlay->RowHeight(), 20);
    const ULONG renders = overlay->Renders();
    // Padding: nothing changes; after 300 unchanged frames the picture is the input's.
    // The row was rendered at the first end of caption; the repeated one was the first unchanged
    // frame, so 299 padding frames still show it.
    int shown = 0;
    for (int i = 0; i < 320; ++i) {
        send(0x00, 0x00);
        shown += last().any ? 1 : 0;
    }
    EXPECT_EQ(shown, 299);
    EXPECT_FALSE(last().any);
    EXPECT_EQ(overlay->Renders(), renders);
    // A new row wakes it.
    for (const auto& [b1, b2] : std::vector<std::pair<uint8_t, uint8_t>>{{0x14, 0x20}, {'B', 'Y'}, {0x14, 0x2F}})
        send(b1, b2);
    EXPECT_TRUE(last().any);
    EXPECT_FALSE(last().outside);
    // A generated frame shows no captions.
    frame.Frame().AddFlags(kFrameFlagBackup);
    frame.Frame().SetHostFrame(true);
    separator.Process(&frame.Frame());
    EXPECT_FALSE(last().any);
    delete drawnSink;
    delete plainSink;
}

TEST_F(OverlayCCTest, RectangleRulesAndSettingsCompare)
{
    // 100 lines at the reference size: cut to 99, rows of 33; an odd width made even.
    auto record = captiontest::CaptionRecord(u"C:\\rect.gph", 100, 41, 100, 301, 480, 720);
    COverlayCC overlay(record.data());
    overlay.Init();
    ASSERT_TRUE(overlay.IsOn());
    overlay.ResizeTheCCOverlay(480, 720);
    EXPECT_EQ(overlay.Bottom() - overlay.Top(), 99);
    EXPECT_EQ(overlay.RowHeight(), 33);
    EXPECT_EQ((overlay.Right() - overlay.Left()) % 2, 0);
    // A reference of 0 means the frame size; a rectangle past the frame is moved inside.
    auto zero = captiontest::CaptionRecord(u"C:\\rect.gph", 470, 700, 60, 100, 0, 0);
    COverlayCC inside(zero.data());
    inside.Init();
    inside.ResizeTheCCOverlay(480, 720);
    EXPECT_LE(inside.Bottom(), 480);
    EXPECT_LE(inside.Right(), 720);
    EXPECT_GE(inside.Top(), 0);
    EXPECT_EQ((inside.Bottom() - inside.Top()) % 3, 0);
    // Equal colours switch it off; the compare is over the 600 bytes.
    auto same = captiontest::CaptionRecord(u"C:\\rect.gph", 100, 40, 60, 300, 480, 720, 0x123456, 0x123456);
    COverlayCC off(same.data());
    off.Init();
    EXPECT_FALSE(off.IsOn());
    COverlayCC copy(record.data());
    EXPECT_TRUE(overlay.IsEqual(&copy));
    record[599 - 100] ^= 1;
    COverlayCC changed(record.data());
    EXPECT_FALSE(overlay.IsEqual(&changed));
}
