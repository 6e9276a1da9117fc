#include "picturesamples.h"

#include <cstring>

namespace capture {

PictureSamples::PictureSamples(int32_t width, int32_t height, uint32_t bytesPerPixel, int64_t every)
    : m_width(width), m_height(height), m_pixel(bytesPerPixel), m_every(every < 1 ? 1 : every)
{
}

void PictureSamples::Add(int64_t index, const uint8_t* data, uint32_t size)
{
    std::lock_guard<std::mutex> hold(m_lock);
    const size_t expected = size_t(m_width) * m_height * m_pixel;
    if (size < expected || index % m_every != 0 || m_kept.size() >= size_t(ContactSheet::kColumns))
        return;
    // Only the pixels the sheet's tile takes (its nearest samples), as a top-down picture of the
    // tile's size that the sheet then takes one for one: a sample costs a tile, not a picture.
    constexpr int32_t kWidth = ContactSheet::kTileWidth, kHeight = ContactSheet::kTileHeight;
    const size_t stride = size_t(m_width) * m_pixel;
    std::vector<uint8_t> tile(size_t(kWidth) * kHeight * m_pixel);
    for (int32_t y = 0; y < kHeight; ++y) {
        const int64_t pictureRow = int64_t(y) * m_height / kHeight;
        const uint8_t* row = data + size_t(m_height - 1 - pictureRow) * stride; // bottom-up rows
        for (int32_t x = 0; x < kWidth; ++x)
            std::memcpy(&tile[(size_t(y) * kWidth + x) * m_pixel], row + size_t(int64_t(x) * m_width / kWidth) * m_pixel,
                        m_pixel);
    }
    m_kept.emplace(index, std::move(tile));
}

void PictureSamples::AddTo(ContactSheet* sheet, bool capture) const
{
    std::lock_guard<std::mutex> hold(m_lock);
    for (const auto& [index, bytes] : m_kept) {
        Picture picture;
        picture.width = ContactSheet::kTileWidth;
        picture.height = ContactSheet::kTileHeight;
        picture.bytesPerPixel = m_pixel;
        picture.bottomUp = false;
        picture.stride = size_t(ContactSheet::kTileWidth) * m_pixel;
        picture.data = bytes.data();
        capture ? sheet->AddCaptureFrame(picture) : sheet->AddPreviewFrame(picture);
    }
}

size_t PictureSamples::Count() const
{
    std::lock_guard<std::mutex> hold(m_lock);
    return m_kept.size();
}

size_t PictureSamples::HeldBytes() const
{
    std::lock_guard<std::mutex> hold(m_lock);
    size_t bytes = 0;
    for (const auto& [index, kept] : m_kept)
        bytes += kept.size();
    return bytes;
}

} // namespace capture
