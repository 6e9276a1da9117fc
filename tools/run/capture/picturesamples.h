// PictureSamples: the pictures of one pin that the contact sheet shows, picked as they arrive:
// those whose index (picture number from the first) is a multiple of `every`, the first
// ContactSheet::kColumns of them, in index order whatever order the reader threads hand them on
// in. Each is kept as the tile's nearest samples, not as the whole picture, so that a long
// capture holds a few tiles. Safe from any thread.
#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

#include "contactsheet.h"

namespace capture {

class PictureSamples {
public:
    // Pictures of `width` x `height` pixels of `bytesPerPixel` bytes (3 or 4), rows packed,
    // bottom-up.
    PictureSamples(int32_t width, int32_t height, uint32_t bytesPerPixel, int64_t every);

    // A delivered picture; one shorter than its size is left out.
    void Add(int64_t index, const uint8_t* data, uint32_t size);
    // The samples, in index order, as the sheet's capture or preview row.
    void AddTo(ContactSheet* sheet, bool capture) const;
    size_t Count() const;
    // Bytes of picture data held.
    size_t HeldBytes() const;

private:
    mutable std::mutex m_lock;
    int32_t m_width, m_height;
    uint32_t m_pixel;
    int64_t m_every;
    std::map<int64_t, std::vector<uint8_t>> m_kept;
};

} // namespace capture
