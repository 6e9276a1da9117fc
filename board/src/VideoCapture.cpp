// One captured picture, source by source.
#include "board/VideoCapture.h"

#include <cstring>

#include "board/AlignmentMarker.h"
#include "board/ColourBars.h"
#include "board/VbiTestLines.h"

namespace board {

std::vector<uint8_t> VideoCapture::Render(const VideoCaptureFrame& frame, const Line21Captions& captions)
{
    const VideoGeometry& g = frame.geometry;
    // Y padding (W <= c < stride) stays 0, chroma padding 128.
    std::vector<uint8_t> data(g.DataSize(), 0);
    const size_t luma = size_t{g.Stride()} * g.Rows();
    std::memset(data.data() + luma, ColourBars::kNeutralChroma, data.size() - luma);
    PlanarFrame planes(data.data(), g);
    VbiTestLines::Render(planes);
    ColourBars::Render(planes, frame.frameCounter);
    if (frame.line21) {
        for (uint32_t block = 0; block < 2; ++block) {
            if (g.FieldRows(block) <= Line21Captions::kRow)
                continue;
            const uint32_t row = g.FieldFirstRow(block) + Line21Captions::kRow;
            captions.RenderRow(planes.YRow(row), g.activeWidth, frame.captions[block],
                               uint64_t{frame.frameCounter} << 1 | block);
            std::memset(planes.CbRow(row), ColourBars::kNeutralChroma, g.activeWidth / 2);
            std::memset(planes.CrRow(row), ColourBars::kNeutralChroma, g.activeWidth / 2);
        }
    }
    if (const auto row = AlignmentMarker::Row(g, frame.alignmentControl)) {
        // The marker row is not a free row: black under the marker.
        std::memset(planes.YRow(*row), VbiTestLines::kBlack, g.activeWidth);
        AlignmentMarker::Write(planes, frame.alignmentControl);
    }
    return data;
}

} // namespace board
