// The captured-buffer layouts and the test pattern written into them.
#include "board/CapturePattern.h"

#include <algorithm>

#include "LittleEndian.h"
#include "board/AlignmentMarker.h"

namespace board {

VideoGeometry VideoGeometry::FromDescriptor(const std::array<uint32_t, 8>& descriptor)
{
    VideoGeometry geometry;
    geometry.activeLines = {descriptor[3] & 0xFFFF, descriptor[3] >> 16};
    geometry.activeWidth = descriptor[4] & 0xFFFF;
    geometry.vbiLines = {descriptor[4] >> 16, descriptor[5] & 0xFFFF};
    geometry.horizontalBlanking = descriptor[5] >> 16;
    return geometry;
}

bool VideoGeometry::Valid() const
{
    // The limits are the widths of the status-word fields that report the geometry.
    return activeWidth != 0 && activeWidth <= 0x7FF && horizontalBlanking <= 0x1FFF && vbiLines[0] <= 0x7F &&
           vbiLines[1] <= 0x7F && activeLines[0] <= 0xFFF && activeLines[1] <= 0xFFF;
}

uint32_t VideoGeometry::Stride() const
{
    return (activeWidth + 15) / 16 * 16;
}

uint32_t VideoGeometry::Rows() const
{
    return vbiLines[0] + activeLines[0] + vbiLines[1] + activeLines[1];
}

uint32_t VideoGeometry::DataSize() const
{
    return 2 * Stride() * Rows();
}

uint32_t VideoGeometry::FieldFirstRow(uint32_t field) const
{
    return field == 0 ? 0 : vbiLines[0] + activeLines[0];
}

StatusWords VideoGeometry::Status() const
{
    StatusWords words{};
    words[0] = activeWidth | horizontalBlanking << 11;
    words[1] = activeLines[0] | activeLines[1] << 12;
    words[2] = vbiLines[0] | vbiLines[1] << 8;
    words[3] = words[2];
    return words;
}

PlanarFrame::PlanarFrame(uint8_t* data, const VideoGeometry& geometry)
    : m_geometry(geometry), m_stride(geometry.Stride())
{
    const size_t luma = size_t{m_stride} * geometry.Rows();
    m_y = data;
    m_cb = data + luma;
    m_cr = data + luma + luma / 2;
}

std::vector<uint8_t> CapturePattern::Video(const VideoGeometry& geometry, uint32_t alignmentControl)
{
    const uint32_t stride = geometry.Stride();
    const uint32_t rows = geometry.Rows();
    std::vector<uint8_t> data(geometry.DataSize(), 0x80);
    PlanarFrame frame(data.data(), geometry);
    for (uint32_t r = 0; r < rows; ++r) {
        uint8_t* row = frame.YRow(r);
        for (uint32_t c = 0; c < stride; ++c)
            row[c] = c < geometry.activeWidth ? static_cast<uint8_t>(r + c) : 0;
    }
    AlignmentMarker::Write(frame, alignmentControl);
    return data;
}

uint32_t CapturePattern::AudioSample(uint32_t row, uint32_t pair, uint32_t index, uint32_t channel)
{
    return pair << 16 | (row * kAudioSamplesPerBlock + index) << 1 | channel;
}

std::vector<uint8_t> CapturePattern::Audio()
{
    std::vector<uint8_t> data(kAudioDataSize);
    uint8_t* at = data.data();
    for (uint32_t row = 0; row < kAudioRows; ++row)
        for (uint32_t pair = 0; pair < kAudioPairs; ++pair)
            for (uint32_t i = 0; i < kAudioSamplesPerBlock; ++i)
                for (uint32_t channel = 0; channel < 2; ++channel, at += 4)
                    StoreLittle32(at, AudioSample(row, pair, i, channel));
    return data;
}

StatusWords CapturePattern::AudioStatus()
{
    StatusWords words{};
    words[0] = kAudioFormatHd;
    words[1] = 0;      // every pair at 48,000 Hz (2-bit codes)
    words[2] = 0xFFFF; // all eight pairs present...
    words[3] = 0xFFFF; // ...and carrying sound
    words[4] = kAudioStatusWord4;
    words[5] = 0; // 3-bit codes, also 48,000 Hz
    return words;
}

} // namespace board
