// Fuzz harness of the logo step's bitmap reader: any bytes as a logo file. A file the reader
// takes must give a picture of whole 16-pixel groups no narrower than the file, every byte of
// each pixel the file's own; a file it refuses must leave no picture. Pool blocks must all be returned.
#include "bmplogofile.h"
#include "km/pool.h"
#include "standin/control.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const uint64_t outstanding = standin::PoolUsageTotal().outstandingBlocks;
    {
        MemoryBitmapSource source(data, size);
        BmpLogoFile bitmap;
        bool taken = NT_SUCCESS(bitmap.ReadHeaders(source)) && NT_SUCCESS(bitmap.ReadPicture(source));
        if (taken) {
            if (!bitmap.Pixels() || bitmap.Width() % 16 != 0 || bitmap.Width() < bitmap.FileWidth() ||
                bitmap.Width() - bitmap.FileWidth() >= 16 || bitmap.Height() < 1 ||
                bitmap.Height() > BmpLogoFile::kMaxDimension)
                std::abort();
            // Every pixel is the file's pixel at column x * file width / width of its row, with
            // red and blue exchanged.
            const BITMAPINFOHEADER& info = bitmap.InfoHeader();
            const size_t rowBytes = size_t(BmpLogoFile::FileRowBytes(info.biWidth));
            for (int32_t y = 0; y < bitmap.Height(); ++y) {
                const int32_t fileRow = info.biHeight < 0 ? y : bitmap.Height() - 1 - y;
                const uint8_t* in = data + bitmap.FileHeader().bfOffBits + rowBytes * size_t(fileRow);
                const uint8_t* out = bitmap.Pixels() + size_t(bitmap.Stride()) * y;
                for (int32_t x = 0; x < bitmap.Width(); ++x) {
                    const size_t sourceX = size_t(int64_t(x) * bitmap.FileWidth() / bitmap.Width());
                    if (out[3 * x] != in[3 * sourceX + 2] || out[3 * x + 1] != in[3 * sourceX + 1] ||
                        out[3 * x + 2] != in[3 * sourceX])
                        std::abort();
                }
            }
        } else if (bitmap.Pixels()) {
            std::abort();
        }
    }
    if (standin::PoolUsageTotal().outstandingBlocks != outstanding)
        std::abort();
    return 0;
}
