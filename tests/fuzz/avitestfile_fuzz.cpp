// Fuzz harness of the AVI test file's header checks and frame map: any bytes as the file. A file
// the checks take has a picture in the playable range and a frame size no smaller than its
// format needs; every frame the map lists lies inside the file behind a chunk header of a frame
// id and the frame size. A file they refuse lists no frame. Pool blocks must all be returned.
#include "avitestfile.h"
#include "km/pool.h"
#include "standin/control.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const uint64_t outstanding = standin::PoolUsageTotal().outstandingBlocks;
    {
        MemoryAviSource source(data, size);
        AviTestFile file;
        const bool checked = file.CheckHeaders(&source, u"\\DosDevices\\C:\\fuzz.avi");
        if (checked) {
            const LONG w = file.GetWidth(), h = file.GetHeight();
            if (w < AviTestFile::kMinimumDimension || w > AviTestFile::kMaximumWidth || (w & 1) != 0 ||
                h < AviTestFile::kMinimumDimension || h > AviTestFile::kMaximumHeight ||
                file.GetFrameSize() < AviTestFile::PictureBytes(file.GetBitmapInfo()) ||
                file.GetFrameSize() > AviTestFile::kMaximumFrameBytes)
                std::abort();
            const bool mapped = NT_SUCCESS(file.MapTheAviFile(&source, u"\\DosDevices\\C:\\fuzz.avi"));
            if (mapped != (file.GetFrameCount() != 0))
                std::abort();
            for (ULONG i = 0; i < file.GetFrameCount(); ++i) {
                const ULONGLONG offset = file.GetFrameOffset(i);
                if (offset < 8 || offset + file.GetFrameSize() > size)
                    std::abort();
                ULONG id, chunkSize;
                std::memcpy(&id, data + offset - 8, 4);
                std::memcpy(&chunkSize, data + offset - 4, 4);
                if ((id != file.GetCompressedChunkId() && id != file.GetDibChunkId()) || chunkSize != file.GetFrameSize())
                    std::abort();
            }
        } else if (file.GetFrameCount() != 0 || file.GetFrameSize() != 0) {
            std::abort();
        }
    }
    if (standin::PoolUsageTotal().outstandingBlocks != outstanding)
        std::abort();
    return 0;
}
