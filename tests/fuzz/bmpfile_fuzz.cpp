// Fuzz harness of the user side's BMP reader (LoadImage from a file, LoadBitmap from a module's
// resource): any bytes, read as a file and as a resource. A picture the reader takes must have
// rows and bits that match its size, indices within its colour table's reach, and every pixel
// readable; a read of the bytes cut by one at the end must fail or give the same size.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "gdi/Pixels.h"

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

void Examine(const std::shared_ptr<user::PixelBuffer>& pixels)
{
    if (!pixels)
        return;
    const user::PixelBuffer& p = *pixels;
    Check(p.width > 0 && p.height > 0);
    Check(static_cast<int64_t>(p.rowBytes) * 8 >= static_cast<int64_t>(p.width) * p.bitsPixel);
    Check(p.rowBytes % 4 == 0);
    Check(p.storage.size() == static_cast<size_t>(p.rowBytes) * static_cast<size_t>(p.height));
    if (p.bitsPixel <= 8)
        Check(p.palette.size() <= (size_t{1} << p.bitsPixel));
    uint32_t mix = 0;
    for (LONG y = 0; y < p.height; ++y)
        for (LONG x = 0; x < p.width; ++x)
            mix ^= p.ColorOf(p.Get(x, y));
    Check(mix <= 0xFFFFFF);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Exactly `size` bytes readable.
    std::vector<BYTE> bytes(data, data + size);
    const auto file = user::ReadBmp(bytes.data(), bytes.size(), true);
    Examine(file);
    Examine(user::ReadBmp(bytes.data(), bytes.size(), false));
    if (file && size > 0) {
        std::vector<BYTE> shorter(data, data + size - 1);
        const auto cut = user::ReadBmp(shorter.data(), shorter.size(), true);
        if (cut)
            Check(cut->width == file->width && cut->height == file->height);
    }
    return 0;
}
