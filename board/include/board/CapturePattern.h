// The DMA layouts of captured buffers (docs/dsp-interface.md, "Video buffers" and "Audio
// buffers"): planar 4:2:2 video with field-sequential VBI and active rows, and rows of per-pair
// audio blocks; with the status words of each. Also the simple test pattern of the fill-now hook
// (`CommandSet::FillQueuedBuffer`), which keeps the stream descriptor's geometry.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "board/MailboxMessages.h"

namespace board {

using StatusWords = std::array<uint32_t, kStatusWordCount>;

struct VideoGeometry {
    uint32_t activeWidth = 0;             // W
    uint32_t horizontalBlanking = 0;
    std::array<uint32_t, 2> activeLines{}; // A0, A1
    std::array<uint32_t, 2> vbiLines{};    // V0, V1 (as captured)

    // From the eight words of a video stream descriptor.
    static VideoGeometry FromDescriptor(const std::array<uint32_t, 8>& descriptor);
    // W fits 11 bits and is not 0, the VBI counts fit 7 bits, the active lines 12 bits.
    bool Valid() const;
    uint32_t Stride() const; // W rounded up to 16
    uint32_t Rows() const;   // V0 + A0 + V1 + A1
    uint32_t DataSize() const; // 2 x stride x rows
    // The first row of a field's block (its VBI rows, then its active rows).
    uint32_t FieldFirstRow(uint32_t field) const;
    uint32_t FieldRows(uint32_t field) const { return vbiLines[field] + activeLines[field]; }
    // Status words 0 to 3 (VBI counted = captured).
    StatusWords Status() const;
};

// The three planes of a video buffer laid out by its geometry.
class PlanarFrame {
public:
    // `data` holds DataSize() bytes.
    PlanarFrame(uint8_t* data, const VideoGeometry& geometry);
    uint8_t* YRow(uint32_t row) const { return m_y + size_t{row} * m_stride; }
    uint8_t* CbRow(uint32_t row) const { return m_cb + size_t{row} * (m_stride / 2); }
    uint8_t* CrRow(uint32_t row) const { return m_cr + size_t{row} * (m_stride / 2); }
    uint32_t Stride() const { return m_stride; }
    const VideoGeometry& Geometry() const { return m_geometry; }

private:
    VideoGeometry m_geometry;
    uint32_t m_stride;
    uint8_t* m_y;
    uint8_t* m_cb;
    uint8_t* m_cr;
};

class CapturePattern {
public:
    static constexpr uint32_t kAudioFormatHd = 0x2000000;
    static constexpr uint32_t kAudioFormatSd = 0x1000000;
    static constexpr uint32_t kAudioStatusWord4 = 100;
    static constexpr uint32_t kAudioPairs = 8;
    static constexpr uint32_t kAudioBlockBytes = 1280; // 160 stereo samples at 48,000 Hz
    static constexpr uint32_t kAudioSamplesPerBlock = 160;
    static constexpr uint32_t kAudioRows = 3;
    static constexpr uint32_t kAudioDataSize = kAudioRows * kAudioPairs * kAudioBlockBytes; // 30,720

    // The test picture of `geometry` (Valid) with the alignment marker when `alignmentControl`
    // (FPGA register 34) enables it.
    static std::vector<uint8_t> Video(const VideoGeometry& geometry, uint32_t alignmentControl);
    // The test sound: 3 rows x 8 pairs of 48,000 Hz blocks.
    static std::vector<uint8_t> Audio();
    static StatusWords AudioStatus();
    // The sample the test sound holds at row `row`, pair `pair`, stereo sample `index`, channel.
    static uint32_t AudioSample(uint32_t row, uint32_t pair, uint32_t index, uint32_t channel);
};

} // namespace board
