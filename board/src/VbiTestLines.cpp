// Free VBI rows: black with the row's signature samples.
#include "board/VbiTestLines.h"

#include <algorithm>
#include <cstring>

#include "board/ColourBars.h"

namespace board {

uint8_t VbiTestLines::Value(uint32_t field, uint32_t row)
{
    return static_cast<uint8_t>(16 + 100 * field + row);
}

void VbiTestLines::RenderRow(const PlanarFrame& frame, uint32_t field, uint32_t row)
{
    const VideoGeometry& g = frame.Geometry();
    const uint32_t at = g.FieldFirstRow(field) + row;
    uint8_t* y = frame.YRow(at);
    std::memset(y, kBlack, g.activeWidth);
    if (g.activeWidth > kFirstSample)
        std::memset(y + kFirstSample, Value(field, row), std::min(kSampleCount, g.activeWidth - kFirstSample));
    std::memset(frame.CbRow(at), ColourBars::kNeutralChroma, g.activeWidth / 2);
    std::memset(frame.CrRow(at), ColourBars::kNeutralChroma, g.activeWidth / 2);
}

void VbiTestLines::Render(const PlanarFrame& frame)
{
    for (uint32_t field = 0; field < 2; ++field)
        for (uint32_t row = 0; row < frame.Geometry().vbiLines[field]; ++row)
            RenderRow(frame, field, row);
}

} // namespace board
