// The VBI rows of a captured frame that carry neither captions nor the alignment marker: black
// (Y 16, chroma 128) with a recognisable run of samples 16 to 31 = 16 + 100 x field + row, so that
// a host can check which VBI row of which field it is looking at.
#pragma once
#include <cstdint>

#include "board/CapturePattern.h"

namespace board {

class VbiTestLines {
public:
    static constexpr uint8_t kBlack = 16;
    static constexpr uint32_t kFirstSample = 16;
    static constexpr uint32_t kSampleCount = 16;

    // The value of the test samples of VBI row `row` of field `field`.
    static uint8_t Value(uint32_t field, uint32_t row);
    // Writes every VBI row of both fields of `frame`.
    static void Render(const PlanarFrame& frame);
    // Writes one VBI row (`row` of field `field`) as a free row.
    static void RenderRow(const PlanarFrame& frame, uint32_t field, uint32_t row);
};

} // namespace board
