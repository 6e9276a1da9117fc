// ContactSheet: the main job's picture of a capture, written as a PNG file: a row of capture
// frames and a row of preview frames as 160 x 120 tiles (at most four each, nearest-sample
// scaled), a strip of the closed-caption byte pairs (one 4-pixel column a pair: the first byte's
// eight bits above the second's, least significant bit on top, white for 1 and black for 0, a
// parity error marked red), and the audio waveform (a band a channel: each pixel column spans the
// lowest to the highest sample of its share of the samples, on a grey centre line).
//
// Pictures come as the pins deliver them: rows of B, G, R (and a fourth byte for 32-bit pixels),
// bottom-up or top-down.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace capture {

struct Picture {
    int32_t width = 0;
    int32_t height = 0;
    uint32_t bytesPerPixel = 3; // 3 (B, G, R) or 4 (B, G, R, X)
    bool bottomUp = true;       // the first row in memory is the picture's last
    size_t stride = 0;          // bytes from one row in memory to the next
    const uint8_t* data = nullptr;
};

class ContactSheet {
public:
    static constexpr int kTileWidth = 160;
    static constexpr int kTileHeight = 120;
    static constexpr int kColumns = 4;
    static constexpr int kMargin = 8;
    static constexpr int kWidth = kMargin + kColumns * (kTileWidth + kMargin);
    static constexpr int kCellSize = 4;                  // of a caption bit
    static constexpr int kStripHeight = 16 * kCellSize;  // two bytes of eight bits
    static constexpr int kBandHeight = 80;               // of an audio channel
    static constexpr int kPairsShown = (kWidth - 2 * kMargin) / kCellSize;
    static constexpr std::array<uint8_t, 3> kBackground = {48, 48, 48};
    static constexpr std::array<uint8_t, 3> kWaveform = {96, 224, 96};
    static constexpr std::array<uint8_t, 3> kCentreLine = {128, 128, 128};
    static constexpr std::array<uint8_t, 3> kParityError = {224, 32, 32};

    // False (nothing kept) for a picture without pixels, with another pixel size or a stride
    // shorter than its rows; only the first kColumns of each row are kept.
    bool AddCaptureFrame(const Picture& picture);
    bool AddPreviewFrame(const Picture& picture);
    // The pairs in arrival order; the first kPairsShown are drawn.
    void SetCaptionPairs(const std::vector<std::array<uint8_t, 2>>& pairs) { m_pairs = pairs; }
    // Interleaved 16-bit samples of `channels` channels (1 to 8).
    void SetAudio(const std::vector<int16_t>& samples, uint32_t channels);

    // The sheet as top-down rows of R, G, B.
    std::vector<uint8_t> Render(int* width, int* height) const;
    // Render, then the PNG file; false with the reason in *error.
    bool Write(const std::filesystem::path& path, std::string* error) const;

    // Where the parts lie, for the tests and readers of the sheet.
    static int TileLeft(int column) { return kMargin + column * (kTileWidth + kMargin); }
    static int CaptureRowTop() { return kMargin; }
    static int PreviewRowTop() { return 2 * kMargin + kTileHeight; }
    static int StripTop() { return 3 * kMargin + 2 * kTileHeight; }
    int BandTop(uint32_t channel) const
    {
        return StripTop() + kStripHeight + kMargin + int(channel) * (kBandHeight + kMargin);
    }

private:
    struct Tile {
        std::vector<uint8_t> rgb; // kTileWidth x kTileHeight
    };
    static bool MakeTile(const Picture& picture, Tile* tile);

    std::vector<Tile> m_capture;
    std::vector<Tile> m_preview;
    std::vector<std::array<uint8_t, 2>> m_pairs;
    std::vector<int16_t> m_samples;
    uint32_t m_channels = 0;
};

} // namespace capture
