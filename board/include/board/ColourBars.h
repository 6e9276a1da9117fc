// The active picture of every captured frame: eight vertical colour bars (white, yellow, cyan,
// green, magenta, red, blue, black, as Y, Cb, Cr) with a frame counter in the last 16 active rows
// of each field, so that a captured picture tells which frame of the stream it is.
#pragma once
#include <array>
#include <cstdint>

#include "board/CapturePattern.h"

namespace board {

class ColourBars {
public:
    struct Bar {
        uint8_t y, cb, cr;
    };
    static constexpr std::array<Bar, 8> kBars = {{{235, 128, 128},
                                                 {161, 43, 139},
                                                 {131, 157, 44},
                                                 {112, 74, 57},
                                                 {83, 181, 198},
                                                 {65, 98, 211},
                                                 {34, 212, 116},
                                                 {16, 128, 128}}};
    static constexpr uint32_t kCounterRows = 16;
    static constexpr uint32_t kCounterCells = 32; // high bit first, W / 32 columns each
    static constexpr uint8_t kCounterOne = 235;
    static constexpr uint8_t kCounterZero = 16;
    static constexpr uint8_t kNeutralChroma = 128;

    // The bar of pixel pair `pair` in a picture `width` pixels wide: 8 x pair / (width / 2).
    static uint32_t BarOfPair(uint32_t pair, uint32_t width);
    // The counter bit a column shows: bit 31 - column x 32 / width.
    static uint32_t CounterBitOfColumn(uint32_t column, uint32_t width);
    // Writes the bars and the counter into the active rows of both fields of `frame`.
    static void Render(const PlanarFrame& frame, uint32_t frameCounter);
    // Reads the counter back from an active row of the counter band (the middle of each cell).
    static uint32_t ReadCounter(const uint8_t* yRow, uint32_t width);
};

} // namespace board
