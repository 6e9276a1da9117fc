// The frame-alignment marker the DSP writes into a VBI row of every captured picture when the
// FPGA's register 34 enables it: bit 5 on, bits 6 and up the VBI line; the marker goes at the start
// of field 0's VBI row (line - 1). A half-scale 960-wide picture carries the short form.
#pragma once
#include <array>
#include <cstdint>
#include <optional>

#include "board/CapturePattern.h"

namespace board {

class AlignmentMarker {
public:
    static constexpr std::array<uint8_t, 8> kMarker = {0x0D, 0x0E, 0x0A, 0x0D, 0x0B, 0x0A, 0x0B, 0x0E};
    static constexpr std::array<uint8_t, 4> kHalfScaleMarker = {0x0C, 0x0B, 0x0A, 0x0D};
    static constexpr uint32_t kHalfScaleWidth = 960;

    // The Y row that carries the marker, or none: disabled, or a line outside field 0's VBI rows
    // (which has nowhere to go).
    static std::optional<uint32_t> Row(const VideoGeometry& geometry, uint32_t alignmentControl);
    // Writes the marker into `frame` when `alignmentControl` (register 34) enables it.
    static void Write(const PlanarFrame& frame, uint32_t alignmentControl);
};

} // namespace board
