#include "contactsheet.h"

#include <png.h>

#include <algorithm>
#include <cstring>

namespace capture {

namespace {

void Fill(std::vector<uint8_t>* rgb, int width, int x, int y, int w, int h, const std::array<uint8_t, 3>& colour)
{
    for (int row = y; row < y + h; ++row)
        for (int column = x; column < x + w; ++column)
            std::memcpy(&(*rgb)[(size_t(row) * width + column) * 3], colour.data(), 3);
}

bool OddParity(uint8_t byte)
{
    int ones = 0;
    for (int bit = 0; bit < 8; ++bit)
        ones += (byte >> bit) & 1;
    return ones % 2 == 1;
}

} // namespace

bool ContactSheet::MakeTile(const Picture& picture, Tile* tile)
{
    if (picture.data == nullptr || picture.width <= 0 || picture.height <= 0 ||
        (picture.bytesPerPixel != 3 && picture.bytesPerPixel != 4) ||
        picture.stride < size_t(picture.width) * picture.bytesPerPixel)
        return false;
    tile->rgb.resize(size_t(kTileWidth) * kTileHeight * 3);
    for (int y = 0; y < kTileHeight; ++y) {
        const int64_t pictureRow = int64_t(y) * picture.height / kTileHeight;
        const int64_t memoryRow = picture.bottomUp ? picture.height - 1 - pictureRow : pictureRow;
        const uint8_t* row = picture.data + size_t(memoryRow) * picture.stride;
        for (int x = 0; x < kTileWidth; ++x) {
            const uint8_t* pixel = row + size_t(int64_t(x) * picture.width / kTileWidth) * picture.bytesPerPixel;
            uint8_t* out = &tile->rgb[(size_t(y) * kTileWidth + x) * 3];
            out[0] = pixel[2];
            out[1] = pixel[1];
            out[2] = pixel[0];
        }
    }
    return true;
}

bool ContactSheet::AddCaptureFrame(const Picture& picture)
{
    Tile tile;
    if (!MakeTile(picture, &tile))
        return false;
    if (m_capture.size() < size_t(kColumns))
        m_capture.push_back(std::move(tile));
    return true;
}

bool ContactSheet::AddPreviewFrame(const Picture& picture)
{
    Tile tile;
    if (!MakeTile(picture, &tile))
        return false;
    if (m_preview.size() < size_t(kColumns))
        m_preview.push_back(std::move(tile));
    return true;
}

void ContactSheet::SetAudio(const std::vector<int16_t>& samples, uint32_t channels)
{
    m_channels = std::clamp<uint32_t>(channels, 1, 8);
    m_samples = samples;
    m_samples.resize(m_samples.size() / m_channels * m_channels);
}

std::vector<uint8_t> ContactSheet::Render(int* width, int* height) const
{
    const int w = kWidth;
    const int h = BandTop(std::max<uint32_t>(m_channels, 1));
    std::vector<uint8_t> rgb(size_t(w) * h * 3);
    Fill(&rgb, w, 0, 0, w, h, kBackground);
    auto blit = [&](const std::vector<Tile>& tiles, int top) {
        for (size_t i = 0; i < tiles.size(); ++i)
            for (int y = 0; y < kTileHeight; ++y)
                std::memcpy(&rgb[(size_t(top + y) * w + TileLeft(int(i))) * 3], &tiles[i].rgb[size_t(y) * kTileWidth * 3],
                            size_t(kTileWidth) * 3);
    };
    blit(m_capture, CaptureRowTop());
    blit(m_preview, PreviewRowTop());

    const size_t pairs = std::min(m_pairs.size(), size_t(kPairsShown));
    for (size_t p = 0; p < pairs; ++p) {
        for (int byte = 0; byte < 2; ++byte) {
            const uint8_t value = m_pairs[p][size_t(byte)];
            for (int bit = 0; bit < 8; ++bit) {
                std::array<uint8_t, 3> colour = ((value >> bit) & 1) ? std::array<uint8_t, 3>{255, 255, 255}
                                                                     : std::array<uint8_t, 3>{0, 0, 0};
                if (bit == 7 && !OddParity(value))
                    colour = kParityError;
                Fill(&rgb, w, kMargin + int(p) * kCellSize, StripTop() + (byte * 8 + bit) * kCellSize, kCellSize,
                     kCellSize, colour);
            }
        }
    }

    const size_t frames = m_channels ? m_samples.size() / m_channels : 0;
    const int columns = w - 2 * kMargin;
    for (uint32_t c = 0; c < m_channels; ++c) {
        const int top = BandTop(c);
        const int centre = top + kBandHeight / 2;
        Fill(&rgb, w, kMargin, centre, columns, 1, kCentreLine);
        if (frames == 0)
            continue;
        for (int x = 0; x < columns; ++x) {
            const size_t first = frames * size_t(x) / size_t(columns);
            const size_t last = std::max(first + 1, frames * size_t(x + 1) / size_t(columns));
            int lowest = 32767, highest = -32768;
            for (size_t f = first; f < last && f < frames; ++f) {
                const int s = m_samples[f * m_channels + c];
                lowest = std::min(lowest, s);
                highest = std::max(highest, s);
            }
            // Full scale (-32768 and 32767 alike) reaches band / 2 - 1 rows from the centre.
            auto rowOf = [&](int v) { return centre - std::clamp(v, -32767, 32767) * (kBandHeight / 2 - 1) / 32767; };
            const int y0 = rowOf(highest), y1 = rowOf(lowest);
            Fill(&rgb, w, kMargin + x, y0, 1, y1 - y0 + 1, kWaveform);
        }
    }
    *width = w;
    *height = h;
    return rgb;
}

bool ContactSheet::Write(const std::filesystem::path& path, std::string* error) const
{
    int width = 0, height = 0;
    const std::vector<uint8_t> rgb = Render(&width, &height);
    png_image image;
    std::memset(&image, 0, sizeof(image));
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(width);
    image.height = png_uint_32(height);
    image.format = PNG_FORMAT_RGB;
    if (png_image_write_to_file(&image, path.string().c_str(), 0, rgb.data(), width * 3, nullptr) == 0) {
        *error = "cannot write " + path.string() + ": " + image.message;
        png_image_free(&image);
        return false;
    }
    return true;
}

} // namespace capture
