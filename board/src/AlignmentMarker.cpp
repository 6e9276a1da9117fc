// The alignment marker's row and bytes.
#include "board/AlignmentMarker.h"

#include <algorithm>

#include "board/FpgaModel.h"

namespace board {

std::optional<uint32_t> AlignmentMarker::Row(const VideoGeometry& geometry, uint32_t alignmentControl)
{
    if (!(alignmentControl & FpgaModel::kAlignmentEnable))
        return std::nullopt;
    const uint32_t line = alignmentControl >> FpgaModel::kAlignmentLineShift;
    if (line < 1 || line - 1 >= geometry.vbiLines[0])
        return std::nullopt;
    return line - 1;
}

void AlignmentMarker::Write(const PlanarFrame& frame, uint32_t alignmentControl)
{
    const VideoGeometry& geometry = frame.Geometry();
    const auto row = Row(geometry, alignmentControl);
    if (!row)
        return;
    uint8_t* y = frame.YRow(*row);
    if (geometry.activeWidth == kHalfScaleWidth)
        std::copy(kHalfScaleMarker.begin(), kHalfScaleMarker.end(), y);
    else if (geometry.activeWidth >= kMarker.size())
        std::copy(kMarker.begin(), kMarker.end(), y);
}

} // namespace board
