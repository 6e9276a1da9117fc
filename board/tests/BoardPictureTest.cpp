// The captured picture source by source: free VBI rows with their signature samples, the marker
// row, padding, the bar boundaries at other widths and the counter cells.
#include <gtest/gtest.h>

#include "board/AlignmentMarker.h"
#include "board/ColourBars.h"
#include "board/FpgaModel.h"
#include "board/VbiTestLines.h"
#include "board/VideoCapture.h"

namespace board {
namespace {

VideoGeometry Small()
{
    // 100 wide (stride 112), 20 + 18 active lines, 4 + 3 VBI lines.
    VideoGeometry g;
    g.activeWidth = 100;
    g.horizontalBlanking = 20;
    g.activeLines = {20, 18};
    g.vbiLines = {4, 3};
    return g;
}

TEST(CapturedPicture, VbiRowsCarryTheirFieldAndRowAndTheMarkerRowIsBlack)
{
    VideoCaptureFrame frame;
    frame.geometry = Small();
    frame.alignmentControl = 2 << FpgaModel::kAlignmentLineShift | FpgaModel::kAlignmentEnable; // VBI row 1
    Line21Captions captions;
    std::vector<uint8_t> data = VideoCapture::Render(frame, captions);
    ASSERT_EQ(data.size(), 2u * 112 * 45);
    PlanarFrame planes(data.data(), frame.geometry);
    for (uint32_t field = 0; field < 2; ++field)
        for (uint32_t row = 0; row < frame.geometry.vbiLines[field]; ++row) {
            const uint8_t* y = planes.YRow(frame.geometry.FieldFirstRow(field) + row);
            if (field == 0 && row == 1) {
                EXPECT_TRUE(std::equal(AlignmentMarker::kMarker.begin(), AlignmentMarker::kMarker.end(), y));
                EXPECT_EQ(y[8], VbiTestLines::kBlack);
                EXPECT_EQ(y[20], VbiTestLines::kBlack);
                continue;
            }
            for (uint32_t c = 0; c < 100; ++c)
                ASSERT_EQ(y[c], c >= 16 && c < 32 ? 16 + 100 * field + row : 16) << field << " " << row << " " << c;
            for (uint32_t c = 100; c < 112; ++c)
                ASSERT_EQ(y[c], 0) << "padding";
            EXPECT_EQ(planes.CbRow(frame.geometry.FieldFirstRow(field) + row)[10], 128);
        }
    // Field 1's first active row: the bars start again after its VBI rows.
    EXPECT_EQ(planes.YRow(24 + 3)[0], 235);
    EXPECT_EQ(planes.YRow(24 + 2)[16], VbiTestLines::Value(1, 2));
    // A marker line outside field 0's VBI rows, or a disabled one, goes nowhere.
    EXPECT_FALSE(AlignmentMarker::Row(frame.geometry, 5 << FpgaModel::kAlignmentLineShift | FpgaModel::kAlignmentEnable));
    EXPECT_FALSE(AlignmentMarker::Row(frame.geometry, 2 << FpgaModel::kAlignmentLineShift));
    EXPECT_FALSE(AlignmentMarker::Row(frame.geometry, FpgaModel::kAlignmentEnable)); // line 0
}

TEST(CapturedPicture, BarsSplitAnyWidthIntoEightAndTheCounterReadsBack)
{
    EXPECT_EQ(ColourBars::BarOfPair(0, 1920), 0u);
    EXPECT_EQ(ColourBars::BarOfPair(119, 1920), 0u);
    EXPECT_EQ(ColourBars::BarOfPair(120, 1920), 1u);
    EXPECT_EQ(ColourBars::BarOfPair(959, 1920), 7u);
    EXPECT_EQ(ColourBars::BarOfPair(44, 720), 0u);
    EXPECT_EQ(ColourBars::BarOfPair(45, 720), 1u);
    EXPECT_EQ(ColourBars::BarOfPair(359, 720), 7u);
    EXPECT_EQ(ColourBars::CounterBitOfColumn(0, 720), 31u);
    EXPECT_EQ(ColourBars::CounterBitOfColumn(22, 720), 31u); // cells are 22.5 columns
    EXPECT_EQ(ColourBars::CounterBitOfColumn(23, 720), 30u);
    EXPECT_EQ(ColourBars::CounterBitOfColumn(719, 720), 0u);

    VideoCaptureFrame frame;
    frame.geometry = Small();
    frame.frameCounter = 0x80000001;
    Line21Captions captions;
    std::vector<uint8_t> data = VideoCapture::Render(frame, captions);
    PlanarFrame planes(data.data(), frame.geometry);
    // Field 0 has 20 active rows: rows 0..3 bars, 4..19 the counter; field 1's 18: 2 and 16.
    EXPECT_EQ(ColourBars::ReadCounter(planes.YRow(4 + 4), 100), 0x80000001u);
    EXPECT_EQ(ColourBars::ReadCounter(planes.YRow(4 + 19), 100), 0x80000001u);
    EXPECT_EQ(planes.YRow(4 + 3)[0], 235);
    EXPECT_EQ(planes.YRow(24 + 3 + 2)[0], 235);                  // bit 31: one
    EXPECT_EQ(planes.YRow(24 + 3 + 2)[50], 16);                  // a middle bit: zero
    EXPECT_EQ(planes.YRow(24 + 3 + 1)[0], 235);                  // still bars
    EXPECT_EQ(planes.CbRow(4 + 4)[0], 128);                      // neutral under the counter
    EXPECT_EQ(planes.CbRow(4 + 3)[49], ColourBars::kBars[7].cb); // the last pair is black
    EXPECT_EQ(planes.CrRow(4)[7], ColourBars::kBars[1].cr);      // pair 7 of 50: bar 1
}

} // namespace
} // namespace board
