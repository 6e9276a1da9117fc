// The picture the DSP writes for one captured video frame: colour bars with the frame counter in
// the active rows, free VBI rows with their test samples, the line-21 caption rows of the 525-line
// standard, and the alignment marker.
#pragma once
#include <cstdint>
#include <vector>

#include "board/CapturePattern.h"
#include "board/Line21Captions.h"
#include "board/VideoStandards.h"

namespace board {

struct VideoCaptureFrame {
    VideoGeometry geometry;          // as captured
    bool line21 = false;             // draw the caption rows
    std::array<Line21Captions::Pair, 2> captions{}; // by buffer block, parity included
    uint32_t frameCounter = 0;
    uint32_t alignmentControl = 0;   // FPGA register 34; 0: no marker
};

class VideoCapture {
public:
    // The buffer bytes of `frame` (geometry Valid); `captions` draws the caption rows.
    static std::vector<uint8_t> Render(const VideoCaptureFrame& frame, const Line21Captions& captions);
};

} // namespace board
