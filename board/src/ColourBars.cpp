// Colour bars and the frame counter band.
#include "board/ColourBars.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace board {

uint32_t ColourBars::BarOfPair(uint32_t pair, uint32_t width)
{
    const uint32_t pairs = width / 2;
    return pairs == 0 ? 0 : std::min<uint32_t>(8 * pair / pairs, 7);
}

uint32_t ColourBars::CounterBitOfColumn(uint32_t column, uint32_t width)
{
    return kCounterCells - 1 - std::min<uint32_t>(column * kCounterCells / width, kCounterCells - 1);
}

void ColourBars::Render(const PlanarFrame& frame, uint32_t frameCounter)
{
    const VideoGeometry& g = frame.Geometry();
    const uint32_t width = g.activeWidth;
    const uint32_t pairs = width / 2;
    // One row of bars and one of the counter, copied to every row that shows them.
    std::vector<uint8_t> barY(width), barCb(pairs), barCr(pairs), counterY(width);
    for (uint32_t k = 0; k < pairs; ++k) {
        const Bar& bar = kBars[BarOfPair(k, width)];
        barY[2 * k] = barY[2 * k + 1] = bar.y;
        barCb[k] = bar.cb;
        barCr[k] = bar.cr;
    }
    if (width % 2)
        barY[width - 1] = kBars[7].y;
    for (uint32_t c = 0; c < width; ++c)
        counterY[c] = (frameCounter >> CounterBitOfColumn(c, width)) & 1 ? kCounterOne : kCounterZero;

    for (uint32_t field = 0; field < 2; ++field) {
        const uint32_t active = g.activeLines[field];
        const uint32_t first = g.FieldFirstRow(field) + g.vbiLines[field];
        const uint32_t counterFrom = active > kCounterRows ? active - kCounterRows : 0;
        for (uint32_t a = 0; a < active; ++a) {
            const uint32_t row = first + a;
            const bool counter = a >= counterFrom;
            std::memcpy(frame.YRow(row), counter ? counterY.data() : barY.data(), width);
            if (counter) {
                std::memset(frame.CbRow(row), kNeutralChroma, pairs);
                std::memset(frame.CrRow(row), kNeutralChroma, pairs);
            } else {
                std::memcpy(frame.CbRow(row), barCb.data(), pairs);
                std::memcpy(frame.CrRow(row), barCr.data(), pairs);
            }
        }
    }
}

uint32_t ColourBars::ReadCounter(const uint8_t* yRow, uint32_t width)
{
    uint32_t value = 0;
    for (uint32_t cell = 0; cell < kCounterCells; ++cell) {
        const uint32_t column = (2 * cell + 1) * width / (2 * kCounterCells);
        const uint32_t bit = kCounterCells - 1 - cell;
        if (yRow[column] > (kCounterOne + kCounterZero) / 2)
            value |= 1u << bit;
    }
    return value;
}

} // namespace board
